#pragma once
// "Search & Replace": a modeless dialog that searches one column of a
// result grid (or one language of a grid of aligned texts) for search
// words and, in replace mode, offers a replacement at each hit.
//
// The search words are the suite's (search_items.h: wildcards, phrases,
// "/" between alternatives); the search engine is fed the text of each row
// and reports each hit, which the dialog shows with its row and context and,
// when confirmation is wanted, waits for Yes / Skip / yes All / skip All /
// Cancel while the rest of the window stays usable. What a hit or a
// replacement does to the data is the owner's: the dialog tells it through
// callbacks. A pass that found hits starts again from the first row while
// the user is asked at each hit, so the search goes round until cancelled.

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "suite/search_engine.h"
#include "suite/search_items.h"
#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QComboBox;
class QEventLoop;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace cv {

class TCV_Grid;

// A grid of aligned texts: each row holds a text in several languages.
class TTextStringGridVirtual {
public:
    virtual ~TTextStringGridVirtual() = default;
    virtual int RowCount() const = 0;
    virtual QStringList Languages() const = 0;
    // The row's text in the language; false when the row has none.
    virtual bool RowText(int row, int language, QString& text) const = 0;
    // Scrolls the row into view (the row above it at the top) and makes it current.
    virtual void ShowRow(int row) = 0;
    virtual void Refresh() {}
};

class TSearchReplaceDlg;

// The grid is null for a grid of aligned texts.
// A replacement: the row's text before, and with the hit replaced.
using TOnReplacementWanted =
    std::function<void(TCV_Grid* grid, int searchColumn, const QString& original, const QString& replaced, int row)>;
using TOnSearchStarted = std::function<void(TCV_Grid* grid, const TSearchWordItems& searchWords)>;
using TOnSearchFound = std::function<void(TCV_Grid* grid, int hitNumber, int hitLength, int row, int searchColumn)>;
using TOnSearchLanguageChange = std::function<void(TSearchReplaceDlg* dialog, int language)>;
using TOnSearchColumnChange = std::function<void(TSearchReplaceDlg* dialog)>;

class TSearchReplaceDlg final : public TRememberingDialog {
public:
    explicit TSearchReplaceDlg(QWidget* parent = nullptr);
    ~TSearchReplaceDlg() override;

    // Prepares the dialog for a list grid, or for a grid of aligned texts.
    void Setup(bool AReplacing_too, TOnReplacementWanted AOnReplace, TOnSearchLanguageChange AOnAlignerLanguageChanging,
               TOnSearchColumnChange AOnGlobalSearchcolChanging, TOnSearchStarted AOnSearchStarted,
               TOnSearchFound AOnSearchFound, TCV_Grid* agridHandler);
    void Setup(bool AReplacing_too, TOnReplacementWanted AOnReplace, TOnSearchLanguageChange AOnAlignerLanguageChanging,
               TOnSearchStarted AOnSearchStarted, TOnSearchFound AOnSearchFound, TTextStringGridVirtual* textGrid);
    void SetReplacing(bool replacing);
    void SetLanguageToSearch(int index);
    // Forgets the search words and empties the column list.
    void Clear();
    // Runs the current search word over the current row.
    void StartSearchAndDo();
    // The engine's hit; whether to go on.
    bool SearchAndReplaceHit(const TSearchFound& found);
    // As Cancel.
    void Stop();

    // The buttons.
    void ButtonOKClick();
    void ButtonYesClick();
    void ButtonSkipClick();
    void ButtonAllClick();
    void ButtonSkipAllClick();
    void ButtonCancelClick();
    void ButtonHelpClick();
    // The user picked another column (or language) in the column list.
    void ColumnListClick();

    // Waiting at a hit for the user's decision.
    bool WaitingForDecision() const { return m_waiting; }
    TCV_Grid* Grid() const;
    TTextStringGridVirtual* TextGrid() const { return m_textGrid; }

    bool IsACVAdvStringGrid = false;
    bool IsATextStringGrid = false;
    bool IsNumericalColumn = false;
    QStringList TheHeadings;
    int32_t language_to_search = 0;
    int32_t last_hit_row = -1;
    int32_t hits_this_search = 0;
    TOnReplacementWanted fOnReplacementWanted;
    TOnSearchStarted fOnSearchStarted;
    TOnSearchFound fOnSearchFound;
    TOnSearchColumnChange fOnGlobalSearchcolChanging;
    TOnSearchLanguageChange fOnAlignerLanguageChanging;
    std::optional<TSearch_word_format_rec> last_sw;
    TSearchWordItems fsearch_items;
    QString freplace_text;
    QString fOriginalWide;
    bool yes = false;
    bool ButtonPressed = false;
    bool replace_too = false;
    std::unique_ptr<TSearchAndDoEngine> searchengine;
    TSearchWordItems sworditems; // the search words typed so far, newest first
    bool BusyInSearch = false;

    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ElComboBoxSearch = nullptr;
    QListWidget* ElListBox1 = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QWidget* PanelBottom = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* ReplaceLabel = nullptr;
    QPushButton* ButtonYes = nullptr;
    QPushButton* ButtonSkip = nullptr;
    QPushButton* ButtonAll = nullptr;
    QPushButton* ButtonSkipAll = nullptr;
    QPlainTextEdit* ElEditContextWhereFound = nullptr;
    QPlainTextEdit* ElEditReplacement = nullptr;
    QComboBox* ElComboBoxReplace = nullptr;
    QCheckBox* AdvOfficeCheckBoxConfirm = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetupCommon(bool replacing, TOnReplacementWanted onReplace, TOnSearchLanguageChange onLanguage,
                     TOnSearchStarted onStarted, TOnSearchFound onFound);
    void FillColumnList();
    void RecomputeNumerical();
    void RunSearch();
    // One pass of the current search word over every row.
    void Pass(int item);
    bool RowText(int row, QString& text) const;
    int Rows() const;
    // Waits for a decision when one is wanted; whether to go on with the hit.
    bool WaitForDecision();
    void EndWait();
    void ShowDecisionButtons(bool waiting);
    int CurrentSearchColumn() const;
    // Docks the dialog at the lower right of the screen, 10 pixels in from
    // the edges and a caption's height above the bottom one.
    void DockAtLowerRight();
    // The mode's controls shown or hidden, so the dialog has its mode's size.
    void ShowModeControls();

    QPointer<TCV_Grid> m_grid;
    bool m_dockPending = false;
    TTextStringGridVirtual* m_textGrid = nullptr;
    bool m_waiting = false;
    QEventLoop* m_waitLoop = nullptr;
    bool m_filling = false;
    // The current row as replaced so far, and how far its hits moved.
    QString m_rowText;
    int m_rowShift = 0;
    int m_row = -1;
    int m_item = 0;
};

} // namespace cv
