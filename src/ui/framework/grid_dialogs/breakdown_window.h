#pragma once
// "Breakdown": counts the entries of a result list that match each of
// several search expressions (one per line; the search words of the suite's
// search engine, "/" between alternatives), optionally adds up a numeric
// column over the matches ("cumulative column") and breaks the matches down
// by the values of another column ("breakdown by", e.g. the text files of a
// concordance).
//
// The window asks the tool window for the counts through fOnSummaryStats;
// the window's operation calls ComputeSearchSummary with its text settings.

#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "gui/cv_grid.h"
#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace cv {

class TCVBaseDataClass;
class TCV_Grid;
class TTextSettings;

// One value of the breakdown column: how many matches have it, and how many
// entries of the whole list do.
struct BreakdownRec {
    QString value;
    int32_t count = 0;
    int32_t total = 0;
};

// One element per search expression in each array.
struct TSummaryArrays {
    std::vector<int32_t> counts;
    std::vector<double> sums;
    std::vector<std::vector<BreakdownRec>> breakdowns;
    void Resize(int expressions);
};

// What to count: columns are the list's own (data) columns, -1 none.
struct TSearchSummaryRequest {
    bool breakdown = false;
    bool cumulative = false;
    int searchColumn = 1;
    int breakdownColumn = -1;
    int cumulativeColumn = -1;
    int displayKind = 0;
    std::function<void(int percent)> progress;
};

// Fills the summary for the expressions (messages pumped; stops when the
// cancel state is set, leaving the rest zero). An expression that gives no
// search word counts nothing. Breakdown values come in the order of their
// frequency in the whole list, the commonest first.
void ComputeSearchSummary(const TCVBaseDataClass& list, const TSearchSummaryRequest& request,
                          const QStringList& expressions, const TTextSettings& textSettings, TSummaryArrays& summary);

// The tool window's search-summary operation.
using TSummaryStatsProc = std::function<void(const TCVBaseDataClass& list, const TSearchSummaryRequest& request,
                                             const QStringList& expressions, TSummaryArrays& summary)>;

// The lines of the results memo for one expression (Count's layout).
QStringList BreakdownResultLines(const QString& expression, int expressionIndex, int expressionCount,
                                 const TSummaryArrays& summary, const TSearchSummaryRequest& request,
                                 const QString& breakdownHeading, bool breakdownIsTextFiles);

class TFormBreakdown final : public TRememberingDialog {
public:
    explicit TFormBreakdown(QWidget* parent = nullptr);

    // The combo boxes list the grid's shown columns after the first (numeric
    // ones for the cumulative column); `column` (a list column) is searched.
    void SetTheHeaders(int column, TCV_Grid* grid, TSummaryStatsProc onSummaryStats);
    // A concordance is broken down by its text files.
    void SetBreakDownToFiles();
    void FeedTheMemoIfEmpty(const QStringList& strings);
    void ComboBoxSearchSelect();
    void ButtonLoadClick();
    void ButtonCountClick();
    // The data of the list go: a count under way stops before it touches
    // the list again, and the list is forgotten.
    void StopCounting();
    void ElPopupButtonStopClick();
    void AdvGlowButtonSaveREsultsClick();
    void ButtonHelpClick();

    TSummaryStatsProc fOnSummaryStats;
    int fDataColumn = 1;
    TCVBaseDataClass* fDataList = nullptr;
    uint8_t fListType = 0;
    int fDisplayKind = 0;

    QPlainTextEdit* ElMemoSearches = nullptr;
    QPlainTextEdit* ElMemoResults = nullptr;
    QGroupBox* GroupSearchColumn = nullptr;
    QComboBox* ComboBoxSearch = nullptr;
    QComboBox* ComboBoxCumulative = nullptr;
    QCheckBox* CheckBoxCumulative = nullptr;
    QComboBox* ComboBoxBreakdown = nullptr;
    QCheckBox* CheckBoxBreakdown = nullptr;
    QPushButton* ButtonLoad = nullptr;
    QPushButton* ButtonCount = nullptr;
    QPushButton* ElPopupButtonStop = nullptr;
    QPushButton* AdvGlowButtonSaveREsults = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

private:
    // The list column of a combo box's selection; -1 when none.
    static int SelectedColumn(const QComboBox* box);
    QString HeadingOf(int column) const;
    // The list is the grid's at each count: the grid lets go of it before it goes.
    QPointer<TCV_Grid> m_grid;
    bool m_counting = false;
};

} // namespace cv
