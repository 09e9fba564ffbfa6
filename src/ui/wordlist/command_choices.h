#pragma once
// What the commands of the word-list window need from the user's dialogs:
// the cluster and join-cluster choices, the relationship choices, the
// comparison with a reference list, the three-way sort, the auto-join
// affixes, the index export, the set-column category, and the windows that
// only show something (lemma forms, word frequencies per text, the breakdown,
// the start wizard, the moving-window plot).
//
// The window asks through this interface only, so the dialogs can be
// changed without the commands noticing; the program installs the dialogs.
// TFixedCommandChoices answers from values set beforehand and from the
// settings buffer: it is the window's own until dialogs are installed, and
// what tests use. Its defaults go on with the settings as they are (the
// cluster and relationship dialogs store their fields in the index settings
// record, the comparison dialog the reference list in the key-word
// settings), and cancel where only the user can supply something (affixes,
// an export file, a category).

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "index/index_moving_window.h"
#include "ui/framework/list_editing.h" // TThreeWaySortChoice

namespace cv {

class TCVBaseDataClass;
class TCVFileDetails;
class TCVStatsList;
class TCV_Grid;

// Which words clusters are made from: 0 every word, 1 the selected rows, 2 a list of words.
struct TClusterChoice {
    uint8_t wordChoice = 0;
    QStringList words; // for choice 2
};

// Which words relationships are computed for: 0 every word, 1 the selected
// rows, 2 the words of a text file (loaded as the relation-word list), 3
// the words starting with a character in the range.
struct TRelationshipChoice {
    uint8_t processSelection = 0;
    QChar startChar = u'A';
    QChar endChar = u'B';
    QString wordFile; // for choice 2
};

// One affix of automatic joining: 0 a suffix, 1 a prefix, 2 inside the word.
struct TAutoJoinAffix {
    QString text;
    uint8_t kind = 0;
    friend bool operator==(const TAutoJoinAffix&, const TAutoJoinAffix&) = default;
};

struct TAutoJoinChoice {
    std::vector<TAutoJoinAffix> affixes;
    bool confirmEach = false;
};

struct TIndexExportChoice {
    QString fileName;
    QString word;             // the word whose occurrences are listed; empty: none
    bool sentenceLengths = false;
};

// The settings of the moving-window analysis as the settings buffer holds
// them (the index record): running words per window and runs, within the
// bounds the analysis takes; the files go beside the index.
TMovingWindowSettings GetMovingWindowSettings();

class TWordListCommandChoices {
public:
    virtual ~TWordListCommandChoices() = default;

    // The cluster choice dialog; true on OK (the cluster settings are then
    // stored in the settings buffer's index record).
    virtual bool ChooseClusters(bool hasSelection, TClusterChoice& choice) = 0;
    // The join-clusters dialog: true on OK, with the direction.
    virtual bool ChooseJoinClusters(bool& smallerIntoLargest) = 0;
    // The relationship choice dialog; `selectedWord` is the one selected
    // row's word, empty unless exactly one row is selected.
    virtual bool ChooseRelationships(const QString& selectedWord, bool hasSelection, TRelationshipChoice& choice) = 0;
    // The comparison dialog: true on OK (the reference list is then the
    // key-word settings' reference corpus). `currentFile`: the study list.
    virtual bool ConfirmComparison(const QString& currentFile) = 0;
    // The three-way sort dialog on a list after a click on a column.
    virtual bool ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int helpContext,
                              TThreeWaySortChoice& choice) = 0;
    virtual bool ChooseAutoJoin(TAutoJoinChoice& choice) = 0;
    virtual bool ChooseIndexExport(TIndexExportChoice& choice) = 0;
    // The set-column category of a word: true on OK with the text and its
    // colour (0xAARRGGBB; alpha 0 keeps the entry's colour).
    virtual bool EditCategory(const QString& word, QString& category, uint32_t& colour) = 0;
    virtual TMovingWindowSettings MovingWindowSettings() = 0;

    // Windows that show something.
    virtual void ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows) = 0;
    // The frequencies of the words in each text of the list (extra details).
    virtual void ShowWordFrequenciesPerText(const QStringList& words, const TCVStatsList& texts) = 0;
    virtual void ShowBreakdown(TCV_Grid* grid) = 0;
    virtual void ShowStartWizard(TCVFileDetails* texts) = 0;
    // Opens a moving-window plot file in the plot view; false when it cannot.
    virtual bool OpenMovingWindowPlot(const QString& fileName) = 0;
    // Shows a source text with these words highlighted; false when it cannot be shown.
    virtual bool ShowSourceText(const QString& fileName, const QStringList& words) = 0;
    // The language dialog (TFormLangChange): the index chosen in `names`.
    virtual std::optional<int> ChooseLanguage(const QStringList& names, const QString& current) = 0;
};

class TFixedCommandChoices final : public TWordListCommandChoices {
public:
    // Answers; "accept" false makes the dialog count as cancelled.
    bool acceptClusters = true;
    TClusterChoice clusters;          // its word choice is 1 whenever there is a selection
    bool acceptJoinClusters = true;
    bool joinSmallerIntoLargest = true;
    bool acceptRelationships = true;
    TRelationshipChoice relationships; // its selection is 1 whenever there is a selection
    bool acceptComparison = true;
    bool acceptThreeWaySort = true;
    TThreeWaySortChoice threeWaySort; // columns[0] -1: the pressed column, ascending as the list's first level
    TAutoJoinChoice autoJoin;         // no affixes: cancelled
    TIndexExportChoice indexExport;   // no file name: cancelled
    bool acceptCategory = false;
    QString category;
    uint32_t categoryColour = 0;
    // Unset: the settings buffer's (GetMovingWindowSettings).
    std::optional<TMovingWindowSettings> movingWindow;
    bool plotViewOpens = true;
    std::optional<int> language; // the language chosen; unset: cancelled

    // What was asked and shown.
    int clusterChoiceShown = 0;
    bool lastHadSelection = false;
    int joinClustersShown = 0;
    int relationshipChoiceShown = 0;
    QString lastSelectedWord;
    int comparisonShown = 0;
    int threeWaySortShown = 0;
    int lastSortHelpContext = 0;
    int autoJoinShown = 0;
    int indexExportShown = 0;
    int categoryShown = 0;
    QString lemmaShowerCaption;
    QStringList lemmaShowerHeadings;
    QStringList lemmaShowerRows;
    int lemmaShowerShown = 0;
    QStringList wordFrequencyWords;
    int wordFrequenciesShown = 0;
    int breakdownShown = 0;
    int wizardShown = 0;
    TCVFileDetails* wizardTexts = nullptr;
    QStringList plotsOpened;
    QStringList sourceTextsShown;
    QStringList sourceTextWords;
    int languageChoiceShown = 0;

    bool ChooseClusters(bool hasSelection, TClusterChoice& choice) override;
    bool ChooseJoinClusters(bool& smallerIntoLargest) override;
    bool ChooseRelationships(const QString& selectedWord, bool hasSelection, TRelationshipChoice& choice) override;
    bool ConfirmComparison(const QString& currentFile) override;
    bool ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int helpContext,
                      TThreeWaySortChoice& choice) override;
    bool ChooseAutoJoin(TAutoJoinChoice& choice) override;
    bool ChooseIndexExport(TIndexExportChoice& choice) override;
    bool EditCategory(const QString& word, QString& category, uint32_t& colour) override;
    TMovingWindowSettings MovingWindowSettings() override;
    void ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows) override;
    void ShowWordFrequenciesPerText(const QStringList& words, const TCVStatsList& texts) override;
    void ShowBreakdown(TCV_Grid* grid) override { ++breakdownShown; }
    void ShowStartWizard(TCVFileDetails* texts) override;
    bool OpenMovingWindowPlot(const QString& fileName) override;
    bool ShowSourceText(const QString& fileName, const QStringList& words) override;
    std::optional<int> ChooseLanguage(const QStringList& names, const QString& current) override;
};

} // namespace cv
