#include "ui/framework/grid_dialogs/grid_columns.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QTableView>

#include <cmath>
#include <limits>

#include "model/base_list.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/wdef.h"
#include "ui/framework/grid_dialogs/formula.h"

namespace cv {

namespace {

constexpr char kLayoutMagic[8] = {'C', 'V', 'L', 'A', 'Y', 'O', 'U', 'T'};
constexpr int32_t kLayoutVersion = 1;

QString InCase(const QString& text, uint8_t letterCase)
{
    switch (letterCase) {
    case kCaseUpper: return text.toUpper();
    case kCaseLower: return text.toLower();
    case kCaseTitle: {
        QString out = text.toLower();
        bool start = true;
        for (QChar& c : out) {
            if (start && c.isLetter())
                c = c.toUpper();
            start = !c.isLetterOrNumber() && c != u'\'';
        }
        return out;
    }
    default: return text;
    }
}

// A number with the column's decimals; a trailing "%" of the list's text stays.
QString WithDecimals(const TDrawgridDataRec& rec, int decimals)
{
    QString text = QString::number(rec.value, 'f', decimals);
    if (rec.text.endsWith(u'%'))
        text += u'%';
    return text;
}

// What a formula names a computed column by: below -1, so that -1 stays "none".
int ComputedColumnId(int ownNumber) { return -1 - ownNumber; }

} // namespace

bool HeadersDiffer(const TGrid_header_array& a, const TGrid_header_array& b)
{
    if (a.size() != b.size())
        return true;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i]))
            return true;
    return false;
}

QString CustomisedLayoutFileName(uint8_t listType)
{
    return QDir(GetUserReadWriteFolder()).filePath(ListTypeName(listType) + QStringLiteral(" customised.dat"));
}

bool SaveHeaderArray(const QString& fileName, uint8_t listType, const TGrid_header_array& headers, QString* error)
{
    TMemoryStream s;
    bool ok = s.WriteExact(kLayoutMagic, sizeof kLayoutMagic) && s.WriteI32(kLayoutVersion) && s.WriteU8(listType) &&
              s.WriteCount(int64_t(headers.size()));
    for (const TGrid_head32& h : headers)
        ok = ok && s.WriteBytes(h.Bytes()) && WriteAString(s, h.Heading) && WriteAString(s, h.Formula);
    if (!ok) {
        if (error)
            *error = QStringLiteral("Cannot write the layout of \"%1\"").arg(fileName);
        return false;
    }
    return s.SaveToFile(fileName, error);
}

bool LoadHeaderArray(const QString& fileName, uint8_t& listType, TGrid_header_array& headers, QString* error)
{
    TMemoryStream s;
    if (!s.LoadFromFile(fileName, error))
        return false;
    char magic[8] = {};
    int32_t version = 0;
    int32_t count = 0;
    auto damaged = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("Cannot read the layout in \"%1\": %2").arg(fileName, why);
        return false;
    };
    if (!s.ReadExact(magic, sizeof magic) || !std::equal(magic, magic + 8, kLayoutMagic))
        return damaged(QStringLiteral("it is not a column layout"));
    if (!s.ReadI32(version) || version < 1 || version > kLayoutVersion)
        return damaged(QStringLiteral("it was written by a newer version"));
    if (!s.ReadU8(listType) || !s.ReadCount(count, int64_t(TGrid_head32::kSize)))
        return damaged(QStringLiteral("the file is cut short"));
    TGrid_header_array read;
    read.resize(size_t(count));
    for (TGrid_head32& h : read) {
        std::vector<uint8_t> bytes(TGrid_head32::kSize);
        if (!s.ReadExact(bytes.data(), int64_t(bytes.size())) || !ReadAString(s, h.Heading) ||
            !ReadAString(s, h.Formula))
            return damaged(QStringLiteral("the file is cut short"));
        h.CopyBytesFrom(bytes);
    }
    headers = std::move(read);
    return true;
}

// ---------------------------------------------------------------------------
// The layout of one grid

struct TGridColumnLayout::TComputedColumn {
    int16_t number = 0;
    std::unique_ptr<TComputedFormula> formula;
};

TGridColumnLayout::TGridColumnLayout(TCV_Base_Grid& grid) : m_grid(grid) {}

TGridColumnLayout::~TGridColumnLayout() = default;

uint8_t TGridColumnLayout::ListType() const
{
    if (auto* page = qobject_cast<TCV_Grid*>(&m_grid); page && page->ListType != kListNone)
        return page->ListType;
    return m_list ? m_list->ListType() : uint8_t(kListNone);
}

int TGridColumnLayout::ListColumns() const { return m_list ? m_list->ColumnCount() : 0; }

int TGridColumnLayout::GridColumnOf(const TGrid_head32& header) const
{
    if (!header.Computed())
        return header.DataColumn() >= 0 && header.DataColumn() < ListColumns() ? header.DataColumn() : -1;
    for (size_t k = 0; k < m_computed.size(); ++k)
        if (m_computed[k]->number == header.OwnNumber())
            return ListColumns() + int(k);
    return -1;
}

const TGrid_head32* TGridColumnLayout::HeaderOfColumn(int column) const
{
    for (const TGrid_head32& h : m_headers)
        if (GridColumnOf(h) == column)
            return &h;
    return nullptr;
}

TGrid_head32 TGridColumnLayout::DefaultHeader(int column) const
{
    TGrid_head32 h;
    bool numeric = column == 0;
    if (m_list && column < ListColumns() && m_list->Count() > 0 && column > 0) {
        TDrawgridDataRec rec;
        m_list->DrawgridDataRec(0, column, m_grid.Model()->DisplayKind(), rec);
        numeric = rec.isNumber;
    }
    const bool setColumn = m_list && m_list->IsASetColumnColumn(column);
    h.SetDataColumn(column);
    h.SetNumeric(numeric ? 1 : 0);
    h.SetAlignment(numeric ? kAlignRight : kAlignLeft);
    h.SetCaseChangeable(!numeric && column > 0 ? 1 : 0);
    h.SetThreshold(kNoThreshold);
    h.SetDecimals(kListDecimals);
    h.SetLetterCase(kCaseSource);
    h.SetVisible(m_grid.ColumnVisible(column));
    h.SetWidth(int16_t(std::clamp(m_grid.ColWidths(column), 0, 32767)));
    h.SetSetColumn(setColumn ? 1 : 0);
    if (setColumn)
        h.SetOwnNumber(int16_t(m_list->SetNumberOfColumn(column)));
    return h;
}

void TGridColumnLayout::Rebuild()
{
    TGrid_header_array kept;
    std::vector<bool> present(size_t(ListColumns()) + m_computed.size(), false);
    for (const TGrid_head32& h : m_headers) {
        TGrid_head32 copy = h;
        // A set column is known by its set number: when one goes, those after it move up.
        if (!copy.Computed() && copy.SetColumn() && copy.OwnNumber() > 0) {
            int now = -1;
            for (int c = 0; c < ListColumns() && now < 0; ++c)
                if (m_list->SetNumberOfColumn(c) == copy.OwnNumber())
                    now = c;
            if (now < 0)
                continue;
            copy.SetDataColumn(now);
        }
        const int column = GridColumnOf(copy);
        if (column < 0 || present[size_t(column)])
            continue;
        present[size_t(column)] = true;
        if (!copy.Computed()) {
            // A set column may have come or gone at this place.
            const bool setColumn = m_list->IsASetColumnColumn(column);
            copy.SetSetColumn(setColumn ? 1 : 0);
            copy.SetOwnNumber(int16_t(setColumn ? m_list->SetNumberOfColumn(column) : 0));
        }
        kept.push_back(std::move(copy));
    }
    for (int c = 0; c < ListColumns(); ++c)
        if (!present[size_t(c)])
            kept.push_back(DefaultHeader(c));
    m_headers = std::move(kept);
}

void TGridColumnLayout::Apply()
{
    QTableView* view = m_grid.View();
    QHeaderView* header = view->horizontalHeader();
    int position = 0;
    for (const TGrid_head32& h : m_headers) {
        const int column = GridColumnOf(h);
        if (column < 0 || column >= m_grid.ColCount())
            continue;
        view->setColumnHidden(column, !h.Visible());
        if (h.Visible() && h.Width() > 0)
            view->setColumnWidth(column, h.Width());
        header->moveSection(header->visualIndex(column), position++);
    }
}

void TGridColumnLayout::ReloadGrid()
{
    m_reloading = true;
    m_grid.Model()->Reload();
    m_reloading = false;
    Apply();
    HideMatchColumn();
}

void TGridColumnLayout::HideMatchColumn()
{
    if (const int column = MatchColumn(); column >= 0 && column < m_grid.ColCount())
        m_grid.View()->setColumnHidden(column, true);
}

void TGridColumnLayout::ShowMatchesFirst(std::vector<bool> matchesByEntry)
{
    m_matches = std::move(matchesByEntry);
    if (m_matches.empty())
        m_matches.push_back(false);
    ReloadGrid();
    m_grid.SortOnRawValues(MatchColumn(), Qt::DescendingOrder);
}

void TGridColumnLayout::ListReset(TCVBaseDataClass* list)
{
    if (m_reloading)
        return;
    ++m_generation;
    if (list != m_list) {
        m_list = list;
        m_listColumns = ListColumns();
        const bool hadComputed = !m_computed.empty() || !m_matches.empty();
        m_computed.clear();
        m_matches.clear();
        m_headers.clear();
        m_customised = false;
        if (!m_list)
            return;
        Rebuild();
        if (!LoadCustomised() && hadComputed)
            ReloadGrid();
        return;
    }
    if (!m_list)
        return;
    if (m_listColumns != ListColumns()) {
        m_listColumns = ListColumns();
        Rebuild();
    }
    // A fresh model has forgotten hidden and moved columns.
    if (m_customised)
        Apply();
    HideMatchColumn();
}

const TGrid_header_array& TGridColumnLayout::Headers()
{
    if (m_list && m_listColumns != ListColumns()) {
        m_listColumns = ListColumns();
        Rebuild();
    }
    QHeaderView* header = m_grid.View()->horizontalHeader();
    for (TGrid_head32& h : m_headers) {
        const int column = GridColumnOf(h);
        if (column < 0 || column >= m_grid.ColCount())
            continue;
        h.SetVisible(m_grid.ColumnVisible(column));
        if (h.Visible())
            h.SetWidth(int16_t(std::clamp(m_grid.ColWidths(column), 0, 32767)));
    }
    std::stable_sort(m_headers.begin(), m_headers.end(), [&](const TGrid_head32& a, const TGrid_head32& b) {
        return header->visualIndex(GridColumnOf(a)) < header->visualIndex(GridColumnOf(b));
    });
    return m_headers;
}

void TGridColumnLayout::SetHeaders(const TGrid_header_array& headers)
{
    m_headers = headers;
    m_customised = true;
    // Computed columns whose header went are gone.
    std::erase_if(m_computed, [&](const std::unique_ptr<TComputedColumn>& c) {
        return std::none_of(m_headers.begin(), m_headers.end(),
                            [&](const TGrid_head32& h) { return h.Computed() && h.OwnNumber() == c->number; });
    });
    if (m_grid.ColCount() != ListColumns() + ExtraColumnCount())
        ReloadGrid();
    else
        Apply();
    ++m_generation;
    m_grid.Model()->CellsChanged();
}

int TGridColumnLayout::ColumnOfHeading(const QString& heading) const
{
    const QString wanted = heading.trimmed();
    if (wanted.startsWith(u'#')) {
        bool ok = false;
        const int number = wanted.mid(1).toInt(&ok);
        if (ok && ComputedByNumber(number))
            return ComputedColumnId(number);
    }
    auto textOf = [&](const TGrid_head32& h) {
        if (!h.Heading.isEmpty())
            return h.Heading;
        return h.Computed() ? h.Formula : (m_list ? m_list->Heading(h.DataColumn()) : QString());
    };
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
        for (const TGrid_head32& h : m_headers)
            if (GridColumnOf(h) >= 0 && textOf(h).trimmed().compare(wanted, cs) == 0)
                return h.Computed() ? ComputedColumnId(h.OwnNumber()) : h.DataColumn();
    return -1;
}

const TGridColumnLayout::TComputedColumn* TGridColumnLayout::ComputedByNumber(int ownNumber) const
{
    for (const auto& c : m_computed)
        if (c->number == ownNumber)
            return c.get();
    return nullptr;
}

bool TGridColumnLayout::AddComputedColumn(const QString& formula, QString* error)
{
    if (!m_list) {
        if (error)
            *error = QStringLiteral("The grid shows no list");
        return false;
    }
    auto parsed = TComputedFormula::Parse(formula, [this](const QString& h) { return ColumnOfHeading(h); }, error);
    if (!parsed)
        return false;
    int16_t number = 1;
    for (const auto& c : m_computed)
        number = std::max<int16_t>(number, int16_t(c->number + 1));
    auto column = std::make_unique<TComputedColumn>();
    column->number = number;
    column->formula = std::move(parsed);
    m_computed.push_back(std::move(column));

    Headers(); // widths and visibility as shown now
    TGrid_head32 h;
    h.SetComputed(true);
    h.SetDataColumn(-1);
    h.SetOwnNumber(number);
    h.SetNumeric(1);
    h.SetAlignment(kAlignRight);
    h.SetThreshold(kNoThreshold);
    h.SetDecimals(kListDecimals);
    h.SetLetterCase(kCaseSource);
    h.SetVisible(true);
    h.SetWidth(int16_t(std::max(60, m_grid.View()->horizontalHeader()->defaultSectionSize())));
    h.Formula = formula.trimmed();
    m_headers.push_back(std::move(h));
    m_customised = true;
    ReloadGrid();
    return true;
}

bool TGridColumnLayout::DeleteComputedColumn(int ownNumber)
{
    Headers();
    const auto before = m_headers.size();
    std::erase_if(m_headers, [&](const TGrid_head32& h) { return h.Computed() && h.OwnNumber() == ownNumber; });
    if (m_headers.size() == before)
        return false;
    SetHeaders(TGrid_header_array(m_headers));
    return true;
}

QString TGridColumnLayout::Heading(int column, const QString& listHeading) const
{
    const TGrid_head32* h = HeaderOfColumn(column);
    if (!h)
        return listHeading;
    if (!h->Heading.isEmpty())
        return h->Heading;
    return h->Computed() ? h->Formula : listHeading;
}

double TGridColumnLayout::ValueOf(int row, int columnId) const
{
    if (!m_list)
        return std::numeric_limits<double>::quiet_NaN();
    if (columnId < -1) {
        const TComputedColumn* c = ComputedByNumber(-1 - columnId);
        if (!c)
            return std::numeric_limits<double>::quiet_NaN();
        TFormulaData data{m_list->Count(), [this](int r, int col) { return ValueOf(r, col); }, m_generation};
        return c->formula->Evaluate(row, data);
    }
    if (columnId < 0 || columnId >= m_list->ColumnCount())
        return std::numeric_limits<double>::quiet_NaN();
    TDrawgridDataRec rec;
    m_list->DrawgridDataRec(row, columnId, m_grid.Model()->DisplayKind(), rec);
    return rec.isNumber ? rec.value : std::numeric_limits<double>::quiet_NaN();
}

void TGridColumnLayout::ExtraCell(int entry, int column, TDrawgridDataRec& rec) const
{
    rec = {};
    if (column == MatchColumn()) {
        rec.isNumber = true;
        rec.value = entry >= 0 && entry < int(m_matches.size()) && m_matches[size_t(entry)] ? 1 : 0;
        return;
    }
    const int k = column - ListColumns();
    if (!m_list || entry < 0 || k < 0 || k >= int(m_computed.size()))
        return;
    const double v = ValueOf(entry, ComputedColumnId(m_computed[size_t(k)]->number));
    if (std::isnan(v))
        return;
    const TGrid_head32* h = HeaderOfColumn(column);
    rec.value = v;
    rec.isNumber = true;
    rec.text = QString::number(v, 'f', h ? h->Decimals() : kListDecimals);
}

void TGridColumnLayout::Present(int column, TDrawgridDataRec& rec) const
{
    const TGrid_head32* h = HeaderOfColumn(column);
    if (!h)
        return;
    if (rec.isNumber) {
        if (h->Threshold() > kNoThreshold && rec.value < double(h->Threshold())) {
            rec.text.clear();
            return;
        }
        if (!rec.isInteger && !h->Computed() && h->Decimals() != kListDecimals)
            rec.text = WithDecimals(rec, h->Decimals());
    } else if (h->CaseChangeable() && h->LetterCase() != kCaseSource) {
        rec.text = InCase(rec.text, h->LetterCase());
    }
    if ((rec.background >> 24) == 0 && (h->Background() >> 24) != 0)
        rec.background = h->Background();
}

QVariant TGridColumnLayout::ColumnRole(int column, int role) const
{
    // Until the user lays the columns out, the grid's own look stands.
    const TGrid_head32* h = m_customised ? HeaderOfColumn(column) : nullptr;
    if (!h)
        return {};
    if (role == Qt::TextAlignmentRole) {
        switch (h->Alignment()) {
        case kAlignCentre: return int(Qt::AlignHCenter | Qt::AlignVCenter);
        case kAlignRight:
        case kAlignDecimal: return int(Qt::AlignRight | Qt::AlignVCenter);
        default: return int(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    if (role == Qt::FontRole && h->FontStyle() != 0) {
        QFont font = m_grid.font();
        font.setBold(h->FontStyle() & kStyleBold);
        font.setItalic(h->FontStyle() & kStyleItalics);
        font.setUnderline(h->FontStyle() & kStyleUnderlined);
        font.setStrikeOut(h->FontStyle() & kStyleStrikeout);
        return font;
    }
    return {};
}

bool TGridColumnLayout::SaveAsCustomised(QString* error)
{
    return SaveHeaderArray(CustomisedLayoutFileName(ListType()), ListType(), Headers(), error);
}

bool TGridColumnLayout::LoadCustomised()
{
    const QString fileName = CustomisedLayoutFileName(ListType());
    if (!m_list || !QFileInfo::exists(fileName))
        return false;
    uint8_t listType = kListNone;
    TGrid_header_array loaded;
    if (!LoadHeaderArray(fileName, listType, loaded, nullptr) || listType != ListType())
        return false;
    // Computed columns are made again from their formulas, in their order;
    // headers of columns this list does not have are dropped.
    m_computed.clear();
    TGrid_header_array headers;
    for (TGrid_head32& h : loaded) {
        if (h.Computed()) {
            auto parsed = TComputedFormula::Parse(
                h.Formula, [this](const QString& heading) { return ColumnOfHeading(heading); }, nullptr);
            if (!parsed || ComputedByNumber(h.OwnNumber()))
                continue;
            auto column = std::make_unique<TComputedColumn>();
            column->number = h.OwnNumber();
            column->formula = std::move(parsed);
            m_computed.push_back(std::move(column));
        } else if (h.DataColumn() < 0 || h.DataColumn() >= ListColumns()) {
            continue;
        }
        headers.push_back(h);
        // Later formulas may name the columns read so far.
        m_headers.push_back(h);
    }
    m_headers = std::move(headers);
    Rebuild();
    m_customised = true;
    ReloadGrid();
    return true;
}

TGridColumnLayout& ColumnLayoutOf(TCV_Base_Grid& grid)
{
    if (auto* layout = dynamic_cast<TGridColumnLayout*>(grid.ColumnPresenter()))
        return *layout;
    auto layout = std::make_unique<TGridColumnLayout>(grid);
    TGridColumnLayout& ref = *layout;
    grid.SetColumnPresenter(std::move(layout));
    return ref;
}

} // namespace cv
