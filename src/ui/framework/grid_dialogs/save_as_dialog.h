#pragma once
// "Save As": how a result grid is exported. The dialog collects the file
// name and format (plain text, XML, spreadsheet, RTF or the list type's own
// format), which rows and columns, row numbers, headings, thousands
// separators and the column separator, and fills the export record
// (TCVExportSettings) that the document's exports follow. It writes no data.
//
// Rows and columns are typed as number lists ("0,1-20,25"): grid rows with 0
// the heading row; columns from 1, column 1 holding the row numbers.

#include <QLocale>
#include <QString>

#include <cstdint>
#include <vector>

#include "model/export_settings.h"
#include "model/list_export.h"
#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace cv {

class TCV_Base_Grid;

// The help topic of "Save As" and of what it asks.
constexpr int kHelpSaveAs = 1360;

// The tool whose grids keep their first column in exports (no row-number column).
constexpr uint8_t kToolWithoutRowNumbers = 4;

// The grid's columns as the dialog numbers them: the row-number column
// first (number 1), then the other columns shown, in the order shown;
// hidden columns have no number, computed ones have theirs.
std::vector<int> ExportColumnsOfGrid(const TCV_Base_Grid& grid);
// What an export of the grid writes: the columns and rows the settings
// choose (numbered as above; rows as the grid shows them now), each cell
// as the grid shows it, read when it is written (also while the export
// keeps the grid's list marked busy). The grid must stay as it is meanwhile.
class TGridExportRows final : public TExportRows {
public:
    TGridExportRows(const TCV_Base_Grid& grid, const TCVExportSettings& settings);

protected:
    void CellsOfRow(int row, std::vector<TExportCell>& cells) const override;

private:
    const TCV_Base_Grid& fGrid;
    std::vector<int> fColumns;
    bool fSeparateThousands;
    QLocale fLocale;
};

// A grid's selected rectangle in the dialog's columns (0-based: 0 the
// row-number column) and grid rows (1 the first data row).
struct TGridSelection {
    int left = 0;
    int top = 1;
    int right = 0;
    int bottom = 1;
};
TGridSelection GridSelectionOf(const TCV_Base_Grid& grid);

// Single numbers and ranges separated by commas ("1,3-5" gives 1 3 4 5), in
// the order typed, each number once; numbers above maximum are dropped and
// ranges cut at it. False (out unchanged) when the text holds anything else.
// largestTyped, when given, gets the largest number typed (-1: none).
bool HumanAbbreviatedNumberListStringAsIntegers(const QString& text, int32_t maximum, std::vector<int32_t>& out,
                                                int64_t* largestTyped = nullptr);

class TSaveAsTxtDlgFeb2012 final : public TRememberingDialog {
public:
    explicit TSaveAsTxtDlgFeb2012(QWidget* parent = nullptr);

    // The list type and the file dialog's filter for it.
    void SetFilterForListType(uint8_t listType);
    // columns and rows: the grid's column count (with the row-number column)
    // and data-row count; gridKind 8 swaps them.
    void SetupSaveAs(int32_t columns, int32_t rows, const TGridSelection& selection, int32_t extraHeaders,
                     uint8_t listType, uint8_t gridKind, const TCVExportSettings& current, const QString& fileName,
                     int32_t concCharacters);

    // --- handlers (also driven by tests) ---
    // The default row and column texts for the boxes as they are set.
    void RangeTextsChange();
    void FormatChange(int format);
    void BrowseClick();
    // Reads the settings; true when they are complete and the dialog closed with OK.
    bool OKClick();
    void HelpClick();

    TSaveAsFormat Format() const { return ExportSettings.Format; }
    // The column text the dialog proposes for these boxes (see RangeTextsChange).
    QString DefaultColumnsText() const;
    QString DefaultRowsText() const;

    // --- fields ---
    int32_t AllColumnsSpecified = 0;
    int32_t AllRowsSpecified = 0;
    int32_t extra_headers = 0;
    uint8_t flist_type = 25;
    int32_t SaveAsConcCharacters = 0;
    TCVExportSettings ExportSettings;
    QString TopXML;
    QString BottomXML;
    TGridSelection selection;
    QString Filter;     // the file dialog's, Qt style
    QString StartFolder;

    // --- controls ---
    QLineEdit* FileNameEdit = nullptr;
    QPushButton* BrowseButton = nullptr;
    QComboBox* FormatCombo = nullptr;
    QCheckBox* ColumnsSelectionBox = nullptr;
    QCheckBox* RowsSelectionBox = nullptr;
    QLineEdit* ColumnsEdit = nullptr;
    QLineEdit* RowsEdit = nullptr;
    QCheckBox* IncludeNumbersBox = nullptr;
    QCheckBox* IncludeHeadingsBox = nullptr;
    QCheckBox* SeparateThousandsBox = nullptr;
    QRadioButton* TabRadio = nullptr;
    QRadioButton* SpecifyRadio = nullptr;
    QLineEdit* SeparatorEdit = nullptr;
    QSpinBox* CharactersSpin = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;

private:
    bool ParseList(QLineEdit* edit, int32_t maximum, std::vector<int32_t>& out);
    void ApplyCaption();
    bool m_settingUp = false;
};

} // namespace cv
