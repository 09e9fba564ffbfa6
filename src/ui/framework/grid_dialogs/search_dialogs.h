#pragma once
// The dialogs that find grid rows by conditions on their columns.
//
// "Search Requirements" (TFormSearchRequirements) edits one requirement of
// a search: a data column, a condition, the values X and Y, a number of
// words, another column in X's place, "negative", and how an additional
// requirement joins the main one.
//
// "Colour Categories" (TFormTestWhether) keeps the search being edited and,
// in its colour-category mode (194), a checked list of searches each with a
// colour; "Find" moves the grid to the next row meeting them, "Find all"
// counts the rows and acts on them by mode (TConditionsMode): colour
// categories give them the search's colour category in the list's set
// column, "Delete if" marks them deleted, search ("Find") selects them.

#include <QColor>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "gui/cv_grid.h"
#include "suite/menu_commands.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/row_conditions.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace cv {

// The modes of the conditions dialog. Not commands: each mode keeps the
// number of the menu command that opens the dialog in it, as ActionTag.
enum class TConditionsMode : int32_t {
    DeleteIf = TagOf(TMenuCommand::DeleteIf),
    Search = TagOf(TMenuCommand::Find),
    ColourCategories = TagOf(TMenuCommand::ColourCategories),
};

// Told the finished requirement: the search with it, which one it is, and its text.
using TFormSearchReportProc =
    std::function<void(const TDoubleSearchCategoryRec& search, TConditionOrder order, const QString& text)>;

class TFormSearchRequirements final : public TRememberingDialog {
public:
    explicit TFormSearchRequirements(QWidget* parent = nullptr);

    // Labels the column and condition boxes with the requirement's number.
    void SetRequirementNumber(TConditionOrder order);
    void SetLinkType(uint8_t link);
    void SetTextVersion(const QString& text) { m_textVersion = text; }
    QString TextVersion() const { return m_textVersion; }
    // The column boxes list the grid's visible columns.
    void SetTheHeaders(TCV_Base_Grid* grid);
    // Starts editing one requirement of a search; the controls show it.
    void EditRequirement(const TDoubleSearchCategoryRec& search, TConditionOrder order);
    // Reads every control into the requirement being edited.
    void RecomputeTheSettings();
    // Empties the values and zeroes the search.
    void ClearTheDecks();
    // The condition list for the chosen column and number of words, keeping the choice.
    void RebuildConditionList();
    // Reports the requirement when it changed; closes with OK.
    void OKClick();

    TFormSearchReportProc fOnReportRequirement;
    TDoubleSearchCategoryRec fDoubleCategoryRec;
    TConditionOrder current_Order = TConditionOrder::Main;

    QLabel* ColumnLabel = nullptr;
    QComboBox* ColumnCombo = nullptr;
    QLabel* ConditionLabel = nullptr;
    QComboBox* ConditionCombo = nullptr;
    QLabel* XLabel = nullptr;
    QLineEdit* XEdit = nullptr;
    QLabel* YLabel = nullptr;
    QLineEdit* YEdit = nullptr;
    QLabel* WordsLabel = nullptr;
    QSpinBox* WordsSpin = nullptr;
    QCheckBox* OtherColumnBox = nullptr;
    QComboBox* OtherColumnCombo = nullptr;
    QCheckBox* NegativeBox = nullptr;
    QGroupBox* LinkGroup = nullptr;
    QButtonGroup* LinkButtons = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    TSearchRequirement& Edited();
    QString HeadingOfColumn(int gridColumn) const;
    void ShowValueControls();
    QString m_textVersion;
    TDoubleSearchCategoryRec m_given;
    std::vector<bool> m_numeric; // per item of ColumnCombo
    bool m_filling = false;
};

// An item of the list of searches.
struct TRequirementsArrayHolder {
    TDoubleSearchCategoryRec search;
};

class TFormTestWhether final : public TRememberingDialog {
public:
    explicit TFormTestWhether(QWidget* parent = nullptr);
    ~TFormTestWhether() override;

    // Points the dialog at a grid and its list, in a mode.
    void SetUp(TCV_Grid* grid, TConditionsMode actionTag);
    void SetTheHeaders();
    // "Find" (the next row, upwards when "up" is checked) or "Find all".
    void ProcessTheConditions(bool findAll = false);
    // Detaches the dialog from its grid and list.
    void Stop();
    void ClearTheDecks();
    // After a requirement changed: the description, and the search controls enabled.
    void TestWhetherFrameChangeMade();
    // "Main Requirement" and "Add" (the additional one): the requirement editor on it.
    void RequirementClick(TConditionOrder order);
    void AddSearchClick();
    void DeleteClick();
    void ClearColoursClick();
    void ShowSortedClick();
    void HelpClick();

    int SearchCount() const { return int(m_searches.size()); }
    const TDoubleSearchCategoryRec& SearchAt(int i) const { return m_searches[size_t(i)]->search; }
    // The colours offered for categories.
    static const std::vector<QColor>& CategoryColours();

    std::unique_ptr<TFormSearchRequirements> FormSearchRequirements;
    TConditionsMode ActionTag = TConditionsMode::ColourCategories;
    int full_height = 0;
    TConditionOrder current_order = TConditionOrder::Main;
    bool processing_data = false;
    QPointer<TCV_Grid> Grid;
    TCVBaseDataClass* CurrentList = nullptr;
    // The search being edited.
    TDoubleSearchCategoryRec CurrentSearch;

    QLabel* DescriptionLabel = nullptr;
    QListWidget* SearchList = nullptr;
    QListWidget* ColourList = nullptr;
    QPushButton* MainButton = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* AddSearchButton = nullptr;
    QPushButton* FindButton = nullptr;
    QPushButton* FindAllButton = nullptr;
    QCheckBox* UpBox = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* ClearColoursButton = nullptr;
    QPushButton* ShowSortedButton = nullptr;
    QLabel* ResultLabel = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* HelpButton = nullptr;

private:
    void ApplyMode();
    void RefreshSearchList();
    TConditionCells GridCells() const;
    int RowCount() const;
    // The set number that holds colour categories; 0 when the list has no set column.
    int32_t ColourSetNumber() const;
    void ApplyToRows(const TConditionResults& results, const std::vector<int>& searchOfCondition);

    std::vector<std::unique_ptr<TRequirementsArrayHolder>> m_searches;
};

} // namespace cv
