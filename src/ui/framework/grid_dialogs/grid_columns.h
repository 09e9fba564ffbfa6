#pragma once
// The columns of a result grid as the columns dialog edits them: one header
// record per column (TGrid_head32) in the order the columns are shown, the
// computed columns the grid adds after the list's own, and the customised
// layout of a list type kept in the user's folder.
//
// TGridColumnLayout is the grid's column presenter (gui/cv_grid.h): it
// gives the grid its extra columns and the look of every column, and puts
// the headers' order, visibility and widths on the grid's view.

#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "gui/cv_grid.h"
#include "suite/settings_record.h"

namespace cv {

class TComputedFormula;

// Alignments of a column (offset 0).
enum : uint8_t { kAlignCentre = 0, kAlignLeft = 1, kAlignRight = 2, kAlignDecimal = 3, kAlignLeftToo = 5 };
// Typeface style bits (offset 1).
enum : uint8_t { kStyleBold = 1, kStyleItalics = 2, kStyleUnderlined = 4, kStyleStrikeout = 8 };
// Letter cases (offset 28).
enum : uint8_t { kCaseUpper = 0, kCaseTitle = 1, kCaseLower = 2, kCaseSource = 3 };
// The threshold that shows every value.
constexpr float kNoThreshold = -999999.0f;
// Decimals of the lists' own number cells.
constexpr uint8_t kListDecimals = 2;

// One column's header: 204 bytes with the fields at fixed offsets; the
// heading text (and a computed column's formula) is kept beside the bytes.
class TGrid_head32 : public TSettingsRecord<204> {
public:
    CV_FIELD(uint8_t, 0, Alignment)
    CV_FIELD(uint8_t, 1, FontStyle)
    CV_FIELD(float, 4, Threshold)          // cells are shown only from this value
    CV_FIELD(uint8_t, 8, Decimals)
    CV_FIELD(uint32_t, 16, Background)     // 0xAARRGGBB; alpha 0: the grid's own
    CV_FIELD(uint8_t, 20, CaseChangeable)  // the column's letter case may be changed
    CV_BOOL_FIELD(21, Computed)
    CV_FIELD(uint8_t, 22, Numeric)         // offered to the calculator, threshold applies
    CV_BOOL_FIELD(23, Visible)
    CV_FIELD(int16_t, 24, OwnNumber)       // computed and set columns
    CV_FIELD(int16_t, 26, Width)           // pixels
    CV_FIELD(uint8_t, 28, LetterCase)
    CV_FIELD(int32_t, 32, DataColumn)      // the list's column; -1 for a computed column
    CV_FIELD(uint8_t, 120, SetColumn)      // 1: the extra set column

    QString Heading;
    QString Formula;

    friend bool operator==(const TGrid_head32& a, const TGrid_head32& b)
    {
        return std::ranges::equal(a.Bytes(), b.Bytes()) && a.Heading == b.Heading && a.Formula == b.Formula;
    }
};

using TGrid_header_array = std::vector<TGrid_head32>;

// Different count, or any record differing in a byte or its texts.
bool HeadersDiffer(const TGrid_header_array& a, const TGrid_header_array& b);

// "<list type name> customised.dat" in the user's read/write folder.
QString CustomisedLayoutFileName(uint8_t listType);
// The layout file (docs/grid-dialogs.md); false with the reason in *error.
bool SaveHeaderArray(const QString& fileName, uint8_t listType, const TGrid_header_array& headers, QString* error);
bool LoadHeaderArray(const QString& fileName, uint8_t& listType, TGrid_header_array& headers, QString* error);

class TGridColumnLayout final : public TGridColumnPresenter {
public:
    explicit TGridColumnLayout(TCV_Base_Grid& grid);
    ~TGridColumnLayout() override;

    // --- presenter ---
    int ExtraColumnCount() const override { return int(m_computed.size()) + (m_matches.empty() ? 0 : 1); }
    QString Heading(int column, const QString& listHeading) const override;
    void ExtraCell(int entry, int column, TDrawgridDataRec& rec) const override;
    void Present(int column, TDrawgridDataRec& rec) const override;
    QVariant ColumnRole(int column, int role) const override;
    void ListReset(TCVBaseDataClass* list) override;
    void ValuesChanged() override { ++m_generation; }

    // The headers in the order shown, with widths and visibility as the
    // grid shows them now.
    const TGrid_header_array& Headers();
    // Takes changed headers and puts them on the grid.
    void SetHeaders(const TGrid_header_array& headers);

    // Adds a computed column; false with the reason in *error when the formula does not parse.
    bool AddComputedColumn(const QString& formula, QString* error);
    // Deletes the computed column with this own number; false when there is none.
    bool DeleteComputedColumn(int ownNumber);
    // What a heading of a formula names: a list column, or a computed column
    // (-1 - its own number; "#n" names computed column n); -1 when nothing has the heading.
    int ColumnOfHeading(const QString& heading) const;
    // The grid column of a header (-1 when its column is gone).
    int GridColumnOf(const TGrid_head32& header) const;

    // The view shows the entries meeting a search first, each group in its
    // order (a hidden column of marks sorts the view; the list keeps its order).
    void ShowMatchesFirst(std::vector<bool> matchesByEntry);

    // Stores the headers as the customised layout of the list's type.
    bool SaveAsCustomised(QString* error);
    // Takes the customised layout of the list's type when there is one.
    bool LoadCustomised();

    TCV_Base_Grid& Grid() const { return m_grid; }
    uint8_t ListType() const;

private:
    struct TComputedColumn;
    int ListColumns() const;
    const TGrid_head32* HeaderOfColumn(int column) const;
    TGrid_head32 DefaultHeader(int column) const;
    // Headers for the grid's columns now: kept ones first, new columns after.
    void Rebuild();
    void Apply();
    double ValueOf(int row, int columnId) const;
    const TComputedColumn* ComputedByNumber(int ownNumber) const;
    void ReloadGrid();
    int MatchColumn() const { return m_matches.empty() ? -1 : ListColumns() + int(m_computed.size()); }
    void HideMatchColumn();

    TCV_Base_Grid& m_grid;
    TCVBaseDataClass* m_list = nullptr;
    int m_listColumns = -1;
    TGrid_header_array m_headers;
    std::vector<std::unique_ptr<TComputedColumn>> m_computed;
    std::vector<bool> m_matches; // by entry, for ShowMatchesFirst
    bool m_customised = false; // the headers were changed or loaded: the view follows them
    bool m_reloading = false;
    uint64_t m_generation = 1;
};

// The layout of a grid, made (and installed) on first use.
TGridColumnLayout& ColumnLayoutOf(TCV_Base_Grid& grid);

} // namespace cv
