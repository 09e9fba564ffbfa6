#pragma once
// The menu commands of the tools, each named once. A command is known by its
// number, the tag of its menu item and tool button; the number is what
// others keep: the settings buffer stores a check state, a shortcut and a
// right-click mark per number (cvbuf.h), the controller's Customise window
// and its ini file name commands by number, the controller hands a grid its
// command as the number (kMsgGridCommand), and the menus of the data module
// (ui/framework/tool_data_module.cpp) carry the numbers as their items'
// tags. So a value here never changes; a new command takes a number no
// other holds. Everywhere else a command is written by its name, here only
// by its number (scripts/check-command-numbers.py, test
// source_command_numbers, fails on a number written elsewhere).
//
// One number, one command, with these two to know of:
//  - Exit: the File menu's "Exit" closes the tool's window; "Close" is the
//    window's own close command, which the shared commands carry out.
//  - TagsOnly: "Tags only" of a concordance's view, a check item; the
//    word-list window carries it out as deleting the words that carry tags,
//    or those that do not, by the item's check state.
// Some numbers carry no item of the menu: Untagged (what an item given no
// tag reads), TextPageSpare (listed in the text page's menu set only), the
// grid's ActiveColumnChooser, UnmarkAll and UnmatchAll, LastFile (the
// recent-file items made at run time) and LanguageChangeDone (the
// controller's acknowledgement, handed to the shared commands). Its number
// and those of SettingsOfTool and IndexSettings are codes of the controller
// too (controller_codes.h names them by these): the two settings commands
// post their own number to the controller, as the Windows menu's do.

#include <cstdint>

namespace cv {

enum class TMenuCommand : int32_t {
    Untagged = 0,

    // File
    New = 8,
    Open = 3,
    OpenMovingWindow = 146,
    MergeWith = 78,
    Close = 26,
    Save = 1,
    SaveAsPlainText = 2,
    SaveAsXml = 24,
    SaveAsSpreadsheet = 28,
    SaveAsRtf = 184,
    SaveAsOwnFormat = 79,      // "o": the list type's own format, captioned by list type
    ExportBatchData = 113,
    ExportData = 175,          // the word-list window: export the index's data
    Print = 4,
    PageSetup = 84,
    PrintPreview = 5,
    FindFiles = 6,
    CompareTwoWordLists = 89,
    CompareWithTextFile = 90,
    PlayMediaFile = 95,
    Exit = 91,
    CauseACrash = 56,
    LastFile = 161,            // the recent-file items

    // Edit
    Undo = 82,
    Redo = 83,
    Copy = 22,
    Delete = 12,
    DeleteToEnd = 13,
    DeleteIf = 85,
    ReduceToN = 21,
    ReverseDelete = 198,
    RestoreDeleted = 14,
    RestoreToEnd = 15,
    InsertTags = 73,
    JoinRows = 19,
    AutoJoin = 104,
    Unjoin = 20,
    UnjoinAll = 47,
    JoinClusters = 48,
    Mark = 18,
    Unmark = 167,
    ClearAllMarking = 208,
    Resort = 10,
    SortAlphabetical = 96,
    SortCaseSensitive = 99,
    SortByPrefix = 126,
    SortBySuffix = 127,
    SortReverseWord = 97,
    SortWordLength = 98,
    CheckWordList = 202,       // the word-list window: entries of equal words
    Zap = 11,
    EditData = 23,
    Find = 170,
    SearchText = 16,
    SearchAndReplace = 17,
    RemoveDuplicates = 86,
    ChangeLanguage = 164,

    // View
    Filenames = 38,
    SourceText = 40,
    LoadKeywords = 70,
    Layout = 29,
    Grow = 30,
    Shrink = 31,
    GrowCurrentRow = 199,
    ShrinkCurrentRow = 200,
    AutoRowHeight = 32,
    FreezeTopRows = 195,
    Refresh = 33,
    TagsOnly = 112,            // see above
    SentenceOnly = 101,
    TagsHidden = 219,          // the tag display of word lists, four radio items
    TagsAsPrefix = 220,
    TagsAsSuffix = 221,
    WordsHidden = 223,
    TagListColours = 77,       // the tag display of concordances
    WordsColoured = 165,
    TagsColoured = 138,
    HideTagFileTags = 100,
    HideUndefinedTags = 117,
    HideSentenceTag = 118,
    HideParagraphTag = 119,
    HideHeadingTag = 120,
    HideSectionTag = 121,
    SearchWordHidden = 181,    // the search word of concordances
    SearchWordPadding = 87,
    SearchWordMoveLeft = 182,
    SearchWordMoveRight = 183,
    SearchWordToCentre = 197,
    CopyToSetColumn = 154,
    HighlightSelectedCollocate = 150,
    ColumnTotals = 114,
    DefaultColumnWidths = 166,
    DiceCoefficients = 92,     // the word-list window: the lemma shower
    NumbersDefault = 108,      // the number display, four radio items in this order of values
    NumbersPercent = 105,
    NumbersPerThousand = 106,
    NumbersPerMillion = 107,
    RowPercentages = 196,
    ShowRelatedTexts = 75,
    Play = 186,                // the current row read aloud
    Ruler = 46,
    UniformPlot = 55,
    StatusBar = 80,
    FindUnusualToolbar = 131,
    MainToolbar = 81,          // also shows the word-list window's typing tool bar

    // Compute
    Concordance = 50,
    KeyWords = 49,             // the word-list window: compare with a reference list
    WordList = 51,
    NewColumn = 52,
    Align = 130,
    AssociatesFollowUp = 43,
    AssociatesRecompute = 45,
    Breakdown = 37,
    Clusters = 42,
    ColourCategories = 194,
    Concgrams = 160,
    Dispersion = 93,
    KwdbTextCentrality = 211,
    FollowCollocate = 155,
    LemmaMatches = 25,
    SaveLemmaFile = 193,
    CheckConsistency = 201,
    Links = 41,                // the word-list window: the key words' links
    ListOfFileNames = 163,
    SetUpMatching = 158,       // the match commands: the method, then four radio items
    MarkMatches = 7,
    ClearAllMatches = 209,
    DeleteAllMatched = 156,
    DeleteAllUnmatched = 157,
    MovingWindow = 151,
    ModifySourceTextsSet = 141,
    ModifySourceTextsSearchPhrase = 142,
    UndoSourceTextModifications = 143,
    Relationships = 53,
    RelativeEntropy = 210,
    Patterns = 44,
    Plot = 39,                 // the word-list window: the key words' plot
    Collocates = 34,
    Timeline = 58,
    Tokens = 162,              // the word-list window: the tokens counted again
    WordCloud = 179,

    // Settings: most are the controller's windows (SettingsCommandCode)
    ChooseTexts = 69,
    SettingsOfTool = 66,       // "Specific to this Tool"
    ClearSetColumn = 54,
    EditSetColumn = 180,
    ActiveColumn = 207,
    CtrlRequired = 185,        // selecting rows needs Ctrl
    TypeIn = 176,              // the typing mode, three radio items in this order of values
    SetCategories = 177,
    EditingData = 178,
    Colours = 60,
    Font = 61,
    IndexSettings = 72,        // "Index"
    Language = 62,
    Folders = 63,
    StopLemmaMatchLists = 65,
    TagSettings = 64,          // "Tags"
    Customise = 71,

    // Windows
    TileVertically = 110,
    TileHorizontally = 111,

    // Help
    Help = 144,
    ContextHelp = 103,
    AboutAndMemory = 145,

    // Without an item of the menu
    TextPageSpare = 57,
    ActiveColumnChooser = 203,
    UnmarkAll = 204,
    UnmatchAll = 205,
    LanguageChangeDone = 701,
};

// Tags of menu items that are not commands: a top-level menu, the headers of
// the submenus (shown when one of their items is), and items of no command.
enum class TMenuHeader : int32_t {
    TopLevelMenu = -999,
    NoCommand = -1,            // "Fast Exit" and "Selecting Rows"
    SaveAs = -79,
    Deleting = -12,
    Joining = -19,
    Marking = -18,
    OtherSorts = -10,
    Searching = -170,
    GrowShrink = -329,
    ConcordanceView = -344,
    TagDisplay = -64,          // both, of word lists and of concordances
    SearchWord = -16,
    NumberDisplay = -88,
    Associates = -45,
    Lemmas = -25,
    Matches = -7,
    ModifySourceTexts = -38,
    SetColumns = -177,
    TypingMode = -218,
};

// The number of a command or header, as menu items, the settings buffer and
// the controller keep it.
constexpr int TagOf(TMenuCommand command) { return static_cast<int>(command); }
constexpr int TagOf(TMenuHeader header) { return static_cast<int>(header); }

} // namespace cv
