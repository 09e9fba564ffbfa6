#pragma once
// "Columns: Layout & Format": how the columns of a result grid look (shown
// or hidden, width, decimals, alignment, typeface, background, letter case,
// visibility threshold, order, heading), computed columns written in the
// calculator language (formula.h), and the extra set columns. The dialog
// edits a copy of the grid's headers; every change goes to the grid at once
// through OnGridHeadersChanged, and "Restore" brings back the opening state.

#include <QColor>
#include <QString>

#include <functional>

#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/grid_columns.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace cv {

// Asks the grid to create or delete a column: the grid, a set column or a
// computed one, the column's own number (-1 for a new one), create, and the
// formula of a new computed column.
using TCVGridNewColumnEvent =
    std::function<void(TCV_Base_Grid* grid, bool setColumn, int column, bool create, const QString& formula)>;
// Asks the grid to store its headers as the customised layout; whether it did.
using TCV_StringBooleanFunctionEvent = std::function<bool(TCV_Base_Grid* grid)>;
// Gives the grid changed headers.
using TCVGridGridHeadersChangedEvent = std::function<void(TCV_Base_Grid* grid, const TGrid_header_array& headers)>;

// Width units of the dialog.
enum : uint8_t { kUnitsInches = 0, kUnitsCentimetres = 1 };
constexpr double kInchesToCentimetres = 2.54;

class TFormColumns final : public TRememberingDialog {
public:
    explicit TFormColumns(QWidget* parent = nullptr);
    ~TFormColumns() override;

    void AssignDetails(TCV_Base_Grid* grid, const TGrid_header_array& headers, bool setColumnPageVisible,
                       uint8_t listType, uint8_t units, TCVGridNewColumnEvent onNewColumnCreateOrDelete,
                       TCV_StringBooleanFunctionEvent onSaveCustomisedHeadings,
                       TCVGridGridHeadersChangedEvent onGridHeadersChanged);

    // --- handlers (also driven by tests) ---
    // The columns of these lines of the heading list become the selection.
    void SelectHeadings(const std::vector<int>& lines);
    void AlignmentClick(uint8_t alignment);
    void StyleClick(uint8_t styleBit, bool on);
    void VisibilityClick(bool visible);
    void CaseClick(uint8_t letterCase);
    void DecimalsChange(int decimals);
    void ThresholdChange(const QString& text);
    // Runs the colour dialog; the colour chosen goes to BackgroundColourChosen.
    void ColourButtonClick();
    void BackgroundColourChosen(const QColor& colour);
    void WidthChange(double shownWidth);
    void UnitsClick(uint8_t units);
    void MoveClick(bool up);
    // Insert shows the current column, Delete hides it.
    void HeadingListKey(int key);
    // Asks "Change Heading" for the line's heading.
    void HeadingDoubleClick(int line);
    void SaveClick();
    void RestoreClick();
    void HelpClick();
    void EditClick();
    void DelClick();
    // Calculator: keys insert their caption at the caret; functions, columns
    // of "Your data" and a column's row insert their tokens.
    void CalculatorKeyClick(const QString& caption);
    void FunctionInsert(int index);
    void DataColumnInsert(int line);
    void RowInsert(int line, int row);
    // "OK" of the computed page: brackets checked, precedence made explicit
    // (when the user agrees), the formula checked, the column made.
    void ComputeOKClick();
    void AddSetClick();
    void DeleteSetClick();

    // --- fields ---
    TCVGridNewColumnEvent OnNewColumnCreateOrDelete;
    TCV_StringBooleanFunctionEvent OnSaveCustomisedHeadings;
    TCVGridGridHeadersChangedEvent OnGridHeadersChanged;
    bool busy_refreshing = false;
    bool ColumnsBusy = false;
    uint8_t fList_type = 25;
    uint8_t fUnits = kUnitsInches;
    TGrid_header_array PreviousHeadings;
    TGrid_header_array Headings;
    TCV_Base_Grid* ColumnsGrid = nullptr;

    // --- controls ---
    QTabWidget* PageControl = nullptr;
    QWidget* LayoutPage = nullptr;
    QWidget* ComputedPage = nullptr;
    QWidget* SetColumnPage = nullptr;
    QListWidget* HeadingList = nullptr;
    QButtonGroup* AlignmentGroup = nullptr;
    QCheckBox* BoldBox = nullptr;
    QCheckBox* ItalicsBox = nullptr;
    QCheckBox* UnderlinedBox = nullptr;
    QCheckBox* StrikeoutBox = nullptr;
    QRadioButton* ShowButton = nullptr;
    QRadioButton* HideButton = nullptr;
    QGroupBox* CaseGroup = nullptr;
    QButtonGroup* CaseButtons = nullptr;
    QSpinBox* DecimalsSpin = nullptr;
    QComboBox* ThresholdCombo = nullptr;
    QPushButton* ColourButton = nullptr;
    QDoubleSpinBox* WidthSpin = nullptr;
    QRadioButton* InchesRadio = nullptr;
    QRadioButton* CentimetresRadio = nullptr;
    QToolButton* MoveUpButton = nullptr;
    QToolButton* MoveDownButton = nullptr;
    QPushButton* DelButton = nullptr;
    QPushButton* EditButton = nullptr;
    QComboBox* FormulaCombo = nullptr;
    QListWidget* FunctionList = nullptr;
    QListWidget* DataList = nullptr;
    QCheckBox* CumulativeBox = nullptr;
    QSpinBox* RowSpin = nullptr;
    QPushButton* ComputeOKButton = nullptr;
    QListWidget* SetColumnList = nullptr;
    QPushButton* AddSetButton = nullptr;
    QPushButton* DeleteSetButton = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* RestoreButton = nullptr;
    QPushButton* HelpButton = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString HeadingText(const TGrid_head32& h) const;
    std::vector<int> SelectedColumns() const;
    void FillHeadingLists();
    void FillControls();
    void ShowWidth();
    // Applies a change to every selected column, then notifies.
    void ChangeSelected(const std::function<void(TGrid_head32&)>& change);
    void NotifyChange();
    void InsertToken(const QString& token);
    int PixelsPerInch() const;

    TGrid_header_array m_lastGiven; // what the grid was last given
};

} // namespace cv
