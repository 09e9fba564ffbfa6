#pragma once
// The suite's shared settings buffer.
//
// One block of fixed-size settings records that the controller creates in a
// memory-mapped file and every tool of the suite maps too, so a setting
// changed in one process is seen by the others at once. Tools never keep
// settings: they fetch a record with its getter at the start of each job and
// write back only window state and hand-over values.
//
// Layout (docs/settings-buffer.md): a 64-byte header (magic, version, sizes,
// a layout signature, a lock word), then each record at a fixed offset.
// Without a shared file (tests, benchmarks, a tool run on its own) the same
// layout lives in private memory with default settings.

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "suite/list_settings.h"
#include "suite/menu_commands.h"
#include "suite/settings_records.h"
#include "suite/text_settings.h"
#include "suite/window_handle.h"

class QFile;

namespace cv {

// The slots of the buffer; some hold one record per tool, per tool and list
// kind, or per list type.
enum class TBufSlot : uint8_t {
    Windows,         // window registrations, controller state
    General,         // switches, folders, menu states
    ToolFiles,       // per tool: last result file, user plug-in
    TextSettings,
    KeyWords,
    Concordance,
    WordlistIndex,
    WordlistSettings,
    Clipboard,
    WordCloud,
    RulerPlot,
    Startup,
    CollocateScript,
    MutualChecks,
    Progress,
    ListChoices,     // per tool and lemmatiser list kind: wanted, file name
    ListSettings,    // per tool and lemmatiser list kind: TListSettingsRec
    LastUsedFiles,   // per list type
    GridDefaults,    // printer preferences of the grids, columns shown by default per list type
    Count
};

class TSettingsBuffer {
public:
    enum class TMode { Private, Shared };

    static constexpr char kMagic[8] = {'C', 'V', 'S', 'E', 'T', 'B', 'U', 'F'};
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kHeaderSize = 64;
    static constexpr int kLemmaListKinds = 4;
    static constexpr int kListTypes = 64;

    static TSettingsBuffer& Instance();

    // The file name the suite uses: $CV_SETTINGS_BUFFER (an absolute path, or
    // a name in the suite's own temporary folder), else "corvantis-settings.buf" there.
    static QString DefaultFileName();
    // Whole size of a valid buffer and the offset of a slot's element.
    static uint32_t TotalSize();
    static uint32_t SlotOffset(TBufSlot slot, int index = 0);
    static uint32_t SlotSize(TBufSlot slot);
    static int SlotCount(TBufSlot slot);
    static uint32_t LayoutSignature();

    // A tool maps an existing buffer; it never creates one. False (and the
    // reason in error) when the file is missing, unreadable, damaged or of
    // another layout; the current buffer is then left as it was.
    bool AttachShared(const QString& fileName, QString* error = nullptr);
    // The controller creates the file, or reuses a valid one keeping its
    // settings when keepValid is set; a damaged file is rewritten with defaults.
    bool CreateShared(const QString& fileName, bool keepValid, QString* error = nullptr);
    // Private memory with default settings (tests, benchmarks, standalone).
    void UsePrivate();

    TMode Mode() const { return m_mode; }
    bool IsShared() const { return m_mode == TMode::Shared; }
    QString FileName() const;

    // Every record back to its default.
    void ResetToDefaults();

    // Raw access to one element of a slot (locked against other processes).
    void Read(TBufSlot slot, int index, std::span<uint8_t> out) const;
    void Write(TBufSlot slot, int index, std::span<const uint8_t> in);
    // Changes bytes of an element in place under one lock.
    template <typename F>
    void Modify(TBufSlot slot, int index, F&& change)
    {
        TLock lock(*this);
        change(ElementBytes(slot, index));
        BumpWriteCount();
    }

    template <typename Rec>
    Rec ReadRecord(TBufSlot slot, int index = 0) const
    {
        Rec r;
        Read(slot, index, r.Bytes());
        return r;
    }
    template <typename Rec>
    void WriteRecord(TBufSlot slot, const Rec& r, int index = 0)
    {
        Write(slot, index, r.Bytes());
    }

    // Rises with every write; lets a reader see that something changed.
    uint32_t WriteCount() const;

    ~TSettingsBuffer();
    TSettingsBuffer(const TSettingsBuffer&) = delete;
    TSettingsBuffer& operator=(const TSettingsBuffer&) = delete;

private:
    TSettingsBuffer();

    class TLock {
    public:
        explicit TLock(const TSettingsBuffer& b);
        ~TLock();

    private:
        uint32_t* m_word;
    };

    std::span<uint8_t> ElementBytes(TBufSlot slot, int index) const;
    void BumpWriteCount();
    void WriteDefaults(uint8_t* base) const;
    static void WriteRecordDefaults(uint8_t* base);
    static std::unique_ptr<QFile> OpenFile(const QString& fileName, bool create, QString* headerProblem, QString* error);
    bool Adopt(std::unique_ptr<QFile> file, const QString& fileName, QString* error);
    void Unmap();
    static QString ValidateHeader(const uint8_t* base, int64_t fileSize);

    TMode m_mode = TMode::Private;
    uint8_t* m_base = nullptr;
    std::vector<uint64_t> m_private; // 8-byte aligned backing of the private buffer
    std::unique_ptr<QFile> m_file;
    QString m_fileName; // the mapped file's (a file opened by its descriptor has no name of its own)
};

// Opens the link to the suite's shared buffer (module initialisation of a
// tool). Without a shared buffer the tool runs on private defaults; a damaged
// one is reported once (warning dialog) and also replaced by defaults.
// Returns whether the shared buffer is in use.
bool SetupCVBufSharing();

// ---- window registration and the controller ------------------------------
void SetNewWnd(uint8_t tool, TWindowHandle wnd);
void UnSetWnd(uint8_t tool, TWindowHandle wnd);
TWindowHandle GetToolWnd(uint8_t tool);
void SetActiveMainToolWindow(uint8_t tool, TWindowHandle wnd);
TWindowHandle GetActiveMainToolWindow(uint8_t tool);
void SetActiveChildToolWindow(uint8_t tool, TWindowHandle wnd);
TWindowHandle GetActiveChildToolWindow(uint8_t tool);
// Every tool window open now, with its tool (the controller not counted):
// each tool's registered window above, and every other window of a tool
// (a second window of the same tool too), listed from its registration
// (SetNewWnd) to UnSetWnd. A listed window whose process has ended is left
// out and its place reused; at most kOpenToolWindowSlots are listed.
struct TOpenToolWindow {
    uint8_t tool = 0;
    TWindowHandle wnd = 0;
};
constexpr int kOpenToolWindowSlots = 26;
std::vector<TOpenToolWindow> GetOpenToolWindows();
// Number of tool windows open (GetOpenToolWindows).
int GetToolsOpen();
TWindowHandle GetShellWnd();
void SetShellWnd(TWindowHandle wnd);
// True when the controller has set up the buffer and is still alive. A tool
// on private settings looks for the shared buffer again first.
bool GetCVShellInitialised();
// The controller's own: set with its process id, cleared at its exit.
void SetCVShellInitialised(bool initialised);
int64_t GetControllerProcessId();

// ---- progress hand-over -----------------------------------------------------
void SetProgressParams(const TProgressParamsRec& params);
TProgressParamsRec GetProgressParams();

// ---- logging ------------------------------------------------------------------
bool GetLogging();
void SetLogging(bool on);
QString GetTheLogFilename();
void SetTheLogFilename(const QString& name);

// ---- folders and hand-over file names ----------------------------------------
QString GetUserReadWriteFolder();
void SetUserReadWriteFolder(const QString& folder);
QString GetDefaultFolder();
void SetDefaultFolder(const QString& folder);
QString GetLastOpenedFolder();
void SetLastOpenedFolder(const QString& folder);
// Where a file never saved is offered: the default folder, else the folder
// last opened (the texts'), else the home folder; always an absolute
// folder that exists (a user's documents folder may not).
QString FolderForNewFiles();
QString GetHelpfilename();
void SetHelpfilename(const QString& name);
// The file named by the last hand-over (code 613 opens it, code 615 reports it).
QString GetMyTempFilename();
void SetMyTempFilename(const QString& name);
QString GetLastMainToolFileName(uint8_t tool);
void SetLastMainToolFileName(uint8_t tool, const QString& name);
QString GetLastUsedFile(uint8_t listType);
void SetLastUsedFile(uint8_t listType, const QString& name);

// ---- settings records -----------------------------------------------------------
// The general record whole (the controller applies its ini file through it).
TGeneralSettingsRec GetGeneralSettings();
void SetGeneralSettings(const TGeneralSettingsRec& g);
TTextSettings GetTextSettings();
void SetTextSettings(const TTextSettings& s);
TKeyWordsSettingsRec GetKeywordsSettings();
void SetKeywordsSettings(const TKeyWordsSettingsRec& s);
// The user's one-way (false) or two-way (true) choice for comparisons.
bool GetKeywordsSettingsHandleAmount();
QString GetKeywordsSettingsReferenceCorpus();
void SetKeywordsSettingsReferenceCorpus(const QString& name);
TConcSettingsRec32 GetConcSaveRec();
void SetConcSaveRec(const TConcSettingsRec32& s);
void SetConcSaveRecEntriesWantedPerSw(int32_t n);
void SetConcSaveRecHideOptions(uint8_t optionSet);
void SetConcSaveRecDisplayOptions(uint8_t optionSet);
void SetConcSaveRecColouringOptions(uint8_t optionSet);
void SetConcSaveRecCollocatesStopAt(uint8_t stopAt);
Tdouble_smallint_type GetConcSaveRecCollocHorizons();
int32_t GetConcCharactersForTextOnly();
void SetConcCharactersForTextOnly(int32_t n);
TWordlist_index_settings_rec GetWordlistIndexSettings();
void SetWordlistIndexSettings(const TWordlist_index_settings_rec& s);
TWordlistSettingsRec GetWordlistSettings();
void SetWordlistSettings(const TWordlistSettingsRec& s);
TCVClipboardSettings GetClipboardSettings();
void SetClipboardSettings(const TCVClipboardSettings& s);
TWordCloudSettingsRec GetWordCloudSettings();
void SetWordCloudSettings(const TWordCloudSettingsRec& s);
TRulerPlotWordCloudFeatures GetRulerPlotWordCloudFeatures();
// The printer preferences of the grids: the word column's printed width and
// the screen's resolution; PixelWidth gives that width on the screen
// (tenths of a millimetre / 254 x dots per inch, rounded; at least 1).
struct TPrinterPrefs {
    int32_t wordColumnTenthsMm = 400;
    int32_t screenDpi = 96;
};
TPrinterPrefs GetPrinterPrefs();
void SetPrinterPrefs(const TPrinterPrefs& prefs);
int PixelWidth(const TPrinterPrefs& prefs);
// The grid columns of a list type shown by default: bit c for column c.
uint32_t GetDefaultColumnVisibility(uint8_t listType);
void SetDefaultColumnVisibility(uint8_t listType, uint32_t mask);
void SetRulerPlotWordCloudFeatures(const TRulerPlotWordCloudFeatures& r);
TStartupOptionsRec GetStartupOptions();
void SetStartupOptions(const TStartupOptionsRec& s);
TCollocateScriptSettings GetCollocateScriptSettings();
void SetCollocateScriptSettings(const TCollocateScriptSettings& s);
TConcgramMutualChecks GetConcgramMutualChecks();
void SetConcgramMutualChecks(const TConcgramMutualChecks& c);

// ---- lemma, match, stop and relation-word lists (kinds 0 to 3) ------------------
bool GetLemmaMatchStopWanted(uint8_t tool, uint8_t kind);
void SetLemmaMatchStopWanted(uint8_t tool, uint8_t kind, bool wanted);
QString GetLemmaMatchStopFilename(uint8_t tool, uint8_t kind);
void SetLemmaMatchStopFilename(uint8_t tool, uint8_t kind, const QString& name);
TListSettingsRec GetListSettings(uint8_t tool, uint8_t kind);
void SetListSettings(uint8_t tool, uint8_t kind, const TListSettingsRec& s);
// The "relate to" choice of relationship work: 0 only words in the list, 1 ignore them.
uint8_t GetRelationMatchWanted(uint8_t tool);
void SetRelationMatchWanted(uint8_t tool, uint8_t choice);

// ---- job switches ------------------------------------------------------------------
bool GetFastMinimalProcessing(uint8_t tool);
void SetFastMinimalProcessing(uint8_t tool, bool on);
bool GetUseUserFilter(uint8_t tool);
void SetUseUserFilter(uint8_t tool, bool on);
QString GetUserDLLFileName(uint8_t tool);
void SetUserDLLFileName(uint8_t tool, const QString& name);
bool GetRandomising();
int32_t GetRandomRange();
void SetRandomising(bool on, int32_t range);
int32_t GetTagsWanted();
void SetTagsWanted(int32_t n);
bool GetCustomLanguageTagsLoaded();
void SetCustomLanguageTagsLoaded(bool loaded);
bool GetMaySaveCVBufferFile();
bool GetRemoveDuplicatesAutomatically();
bool GetPostProcessSaveFilenames();
bool GetShouldColourPercentages();
// Whether the procedure a menu tag stands for is carried out after a run.
bool GetCarryoutProcedureTagBoolean(int tag);
void SetCarryoutProcedureTagBoolean(int tag, bool on);
uint8_t GetTimeLinePlotBase();
uint8_t GetTimeLinePlotBaseRounding();
bool GetAskWhetherToSaveModifiedData();
int32_t GetAutoSaveMinutes();
bool GetRestrictTo3LetterExtensions();

// ---- menus (tags 0 to 255; short cuts for tags 0 to 224) ---------------------------
bool GetMenuItemChecked(int tag);
void SetMenuItemChecked(int tag, bool checked);
inline bool GetMenuItemChecked(TMenuCommand command) { return GetMenuItemChecked(TagOf(command)); }
inline void SetMenuItemChecked(TMenuCommand command, bool checked) { SetMenuItemChecked(TagOf(command), checked); }
bool GetMenuAltered();
void SetMenuAltered(bool altered);
uint16_t GetMenuShortcut(int tag);
void SetMenuShortcut(int tag, uint16_t shortcut);
bool GetPopupMenuTagInUse(int tag);
void SetPopupMenuTagInUse(int tag, bool inUse);
void ClearPopupMenuTagsInUse();
// The short cuts of tags 0 to 224 at once (index: tag).
std::array<uint16_t, TGeneralSettingsRec::kShortcutTags> GetMenuCurrentShortcuts();
// The typing (key-press) mode of the grids: 0 type-in, 1 set categories, 2 editing data.
uint8_t GetKeypressMode();
void SetKeyPressMode(uint8_t mode);
// How numbers of the grids are shown: 0 default, 2 percent, 3 per thousand, 4 per million.
uint8_t GetDisplayWordsPerMillion();
void SetDisplayWordsPerMillion(uint8_t mode);

// ---- help ---------------------------------------------------------------------------------
// 0: the help file (GetHelpfilename); 1: the help pages at the help address.
uint8_t GetCVHelpAccessMode();
void SetCVHelpAccessMode(uint8_t mode);
// The base address of the help pages (ends with "/"); empty means the folder of the help file.
QString GetCVHelpBaseAddress();
void SetCVHelpBaseAddress(const QString& address);

// ---- edit controls --------------------------------------------------------------------------------
// Whether the customised dead-key list ("customised deadkeys.dat") is read at start.
bool GetDeadKeyListCustomised();
void SetDeadKeyListCustomised(bool wanted);
// The keyboard layout the tool switches to at start; empty: none.
QString GetKeyboardChoice();
void SetKeyboardChoice(const QString& layout);
// File dialogs: 0 the desktop's own, 1 the program's.
uint8_t GetOpenAndSaveDialogOption();
void SetOpenAndSaveDialogOption(uint8_t option);

} // namespace cv
