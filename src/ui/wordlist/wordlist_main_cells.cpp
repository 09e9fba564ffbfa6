// Part of TFormWordList (ui/wordlist/wordlist_main.h), the word-list window,
// whose members stand in files by topic: the cell handlers of the window's
// pages (how a page's cells look beyond what its list draws) and the typing
// box of the tool bar: find as you type, or edit the word of the current row.

#include "ui/wordlist/wordlist_main.h"

#include <QLocale>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QTableView>

#include "gui/cv_grid.h"
#include "index/index_handler.h"
#include "index/index_relationships.h"
#include "model/stats_list.h"
#include "suite/cvbuf.h"
#include "suite/menu_commands.h"
#include "ui/framework/list_editing.h"
#include "ui/framework/tool_pages.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/keyword_list.h"
#include "wordlist/wordlist_holder.h"

namespace cv {

namespace {

// Colours of the marks the cell handlers set (0xAARRGGBB).
constexpr uint32_t kMarkedCellBackground = 0xFFFFF2A8; // a per-list frequency of a marked consistency list
// What the Set column of a marked relationship shows.
const QString kMarkedPairMarker = QStringLiteral("\u2713");
constexpr uint32_t kNegativeKeyWord = 0xFFB00000;      // key words less frequent than in the reference list
constexpr uint32_t kTextNotOnDisk = 0xFF909090;        // a text that is no longer where it was read

// The typing box's modes (the settings buffer keeps the current one).
enum : uint8_t { kTypeToFind = 0, kTypeSetCategories = 1, kTypeToEdit = 2 };

// The first row (from 1) of the grid whose word is the text, or failing
// that begins with it; 0 when none.
int FindTypedRow(const TCV_Grid& grid, const QString& text, bool caseSensitive)
{
    const TCVBaseDataClass* list = grid.List();
    if (!list)
        return 0;
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (const int exact = list->Find_WordStr(text, caseSensitive); exact >= 0)
        if (const int row = TFormWordList::GridRowOfEntry(&grid, exact); row > 0)
            return row;
    for (int row = 1; row < grid.RowCount(); ++row) {
        const TCVBaseListObject* e = list->Get(grid.EntryOfGridRow(row));
        if (e && e->MainWordAsPointer().startsWith(text, cs))
            return row;
    }
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Cell handlers

void TFormWordList::BindCellHandler(TCV_Grid* grid, TGridTweak tweak)
{
    if (!tweak) {
        grid->SetCellTweak({});
        return;
    }
    grid->SetCellTweak(
        [this, grid, tweak](int entry, int column, TDrawgridDataRec& rec) { (this->*tweak)(grid, column, entry, rec); });
}

// The word lists draw everything themselves.
void TFormWordList::GridTweak_Freq(TCV_Grid*, int, int, TDrawgridDataRec&) {}
void TFormWordList::GridTweak_Alph(TCV_Grid*, int, int, TDrawgridDataRec&) {}
void TFormWordList::GridTweak_IndexFreq(TCV_Grid*, int, int, TDrawgridDataRec&) {}
void TFormWordList::GridTweak_IndexAlph(TCV_Grid*, int, int, TDrawgridDataRec&) {}

void TFormWordList::GridTweak_IndexRelations(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec)
{
    // Every relationships entry is written and read with all eleven scores,
    // log ratio (column 14) included, from the first version of the file
    // on: no cell of a score is ever not applicable.
    // A pair the user marked (Edit > Marking > Mark) shows the marker in
    // its Set column, where it has no category of its own.
    if (!GridMayBeWorkedOn(grid) || column != TRelationshipsList::kColSet)
        return;
    const TCVBaseDataClass* list = grid->List();
    const TCVBaseListObject* e = dynamic_cast<const TRelationshipsList*>(list) ? list->Get(entry) : nullptr;
    if (!e)
        return;
    // A list whose Set column holds no categories has nothing to show there but the marker.
    if (list->SetNumberOfColumn(column) == 0)
        rec = {};
    if (rec.text.isEmpty() && e->Mark() > 0)
        rec.text = kMarkedPairMarker;
}

void TFormWordList::GridTweak_Consistency(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    const auto* list = dynamic_cast<const TDetailedConsistencyList*>(grid->List());
    // With marking on, each list in which the word occurs shows.
    if (list && list->Marking() && entry >= 0 && rec.isNumber && rec.value > 0 && list->ListOfColumn(column) >= 0)
        rec.background = kMarkedCellBackground;
    // Row percentages: each list's share of the row's total.
    if (list && m_rowPercentages && entry >= 0 && entry < list->Count() && rec.isNumber &&
        list->ListOfColumn(column) >= 0) {
        const int64_t total = list->DetailedConsistencyData(entry).total;
        const double percent = total > 0 ? 100.0 * rec.value / double(total) : 0.0;
        rec.value = percent;
        rec.isInteger = false;
        rec.text = QLocale().toString(percent, 'f', 2) + QLatin1Char('%');
    }
}

void TFormWordList::GridTweak_KWs(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    const auto* list = dynamic_cast<const TKeyWordList*>(grid->List());
    if (list && entry >= 0 && entry < list->Count() && list->Entry(entry).fData.Negative && rec.foreground == 0)
        rec.foreground = kNegativeKeyWord;
}

void TFormWordList::GridTweak_Filenames(TCV_Grid* grid, int column, int entry, TDrawgridDataRec& rec)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    const auto* list = dynamic_cast<const TCVStatsList*>(grid->List());
    if (!list || entry < 0 || entry >= list->Count())
        return;
    const TStatsRec& r = list->Row(entry)->Data();
    if (r.Folder.isEmpty() || r.FileName.isEmpty())
        return; // the overall row
    const QString file = QDir(r.Folder).filePath(r.FileName);
    auto known = m_textPresent.find(file);
    if (known == m_textPresent.end())
        known = m_textPresent.insert(file, QFileInfo(file).isFile());
    if (!known.value() && rec.foreground == 0)
        rec.foreground = kTextNotOnDisk;
}

// ---------------------------------------------------------------------------
// Rows

int TFormWordList::GridRowOfEntry(const TCV_Grid* grid, int entry)
{
    if (!grid || !grid->List() || entry < 0)
        return 0;
    const TCVGridModel* model = grid->Model();
    const auto rowOfSource = [&](int source) {
        const QModelIndex view = grid->Proxy()->mapFromSource(model->index(source, 0));
        return view.isValid() ? view.row() + 1 : 0;
    };
    // Where the list shows the entry in its own order, then in frequency order.
    std::vector<int> guesses{entry + grid->List()->OverallCount()};
    if (const auto* words = dynamic_cast<const TCVWordList*>(grid->List()))
        guesses.push_back(words->FrequencyPlaceOf(entry));
    for (int source : guesses)
        if (source >= 0 && source < model->rowCount() && model->EntryOfRow(source) == entry)
            return rowOfSource(source);
    for (int source = 0; source < model->rowCount(); ++source)
        if (model->EntryOfRow(source) == entry)
            return rowOfSource(source);
    return 0;
}

// ---------------------------------------------------------------------------
// The typing box

void TFormWordList::InstallTypingBox()
{
    ElComboBoxTyping->setInsertPolicy(QComboBox::NoInsert);
    connect(ElComboBoxTyping, &QComboBox::editTextChanged, this, [this] { EditTypingChange(); });
    ElComboBoxTyping->lineEdit()->installEventFilter(this);
}

bool TFormWordList::TypeIntoCell(TCV_Grid* grid, TCVBaseDataClass& list, const QString& text, QString& oldText)
{
    return cv::TypeIntoCell(list, text, grid->Row(), oldText, grid);
}

void TFormWordList::EditTypingChange()
{
    if (RefusedWhileInUse("typing"))
        return;
    const QString text = ElComboBoxTyping->currentText();
    T_WholeWordlistHolder* doc = WordlistDocument();
    TCV_Grid* grid = ToolWindowList().CurrentGrid();
    if (!doc || text.isEmpty() || !grid || !grid->List())
        return;
    const bool caseSensitive = AdvOfficeCheckBoxCaseSensitiveSearch->isChecked();
    switch (GetKeypressMode()) {
    case kTypeToFind: {
        int row = 0;
        switch (grid->KindOfDisplay) {
        case kGridKindAlphabetical:
        case kGridKindFrequency:
        case kGridKindConsistency:
        case kGridKindConsistencyRelations:
            row = FindTypedRow(*grid, text, caseSensitive);
            break;
        case kGridKindIndexRelations:
            if (auto* relations = dynamic_cast<TRelationshipsList*>(grid->List()); relations && doc->fIndexHandler) {
                // Typed words are sought in the column the list is sorted on.
                const int32_t key = relations->SortLevel(0).key;
                if (key == TRelationshipsList::kSortWord1)
                    relations->SetCompareFunct(0);
                else if (key == TRelationshipsList::kSortWord2)
                    relations->SetCompareFunct(2);
                row = GridRowOfEntry(grid, relations->FindTypedWord(text));
            }
            break;
        case kGridKindFilenames:
            // The row where the typed name would stand.
            if (const int count = grid->List()->Count(); count > 0)
                row = GridRowOfEntry(grid, std::min(grid->List()->Find_PosWordStr(text), count - 1));
            break;
        default:
            break;
        }
        if (row > 0)
            GoToGridRow(row);
        break;
    }
    case kTypeToEdit: {
        TCVBaseDataClass* list = nullptr;
        switch (grid->KindOfDisplay) {
        case kGridKindConsistency:
            list = doc->fDetailedConsistencyList.get();
            break;
        case kGridKindAlphabetical:
        case kGridKindFrequency:
            list = grid->List();
            break;
        case kGridKindConsistencyRelations:
            list = doc->fDetailedConsistencyList ? doc->fDetailedConsistencyList->RelationsList() : nullptr;
            break;
        default:
            break;
        }
        const int entry = grid->EntryOfGridRow(grid->Row());
        QString old;
        if (!list || list != grid->List() || !TypeIntoCell(grid, *list, text, old))
            break;
        // The word the row had before this edit began goes into the box's list.
        const bool sameEdit = m_typedList == list && m_typedEntry == entry && old == m_typedText;
        m_typedList = list;
        m_typedEntry = entry;
        m_typedText = text;
        if (!sameEdit) {
            const QSignalBlocker quiet(ElComboBoxTyping);
            const int cursor = ElComboBoxTyping->lineEdit()->cursorPosition();
            ElComboBoxTyping->insertItem(0, old);
            ElComboBoxTyping->setCurrentIndex(-1);
            ElComboBoxTyping->setEditText(text);
            ElComboBoxTyping->lineEdit()->setCursorPosition(cursor);
        }
        break;
    }
    default:
        // Setting categories: the grid takes the keys itself.
        break;
    }
}

bool TFormWordList::EditTypingKeyDown(int key)
{
    if (key != 13 || !fData || ElComboBoxTyping->currentText().isEmpty() || !ContainBoxMainTop->isVisibleTo(this))
        return false;
    // The tool bar stays only when the user keeps it.
    if (!GetMenuItemChecked(TMenuCommand::MainToolbar))
        ToolButtonCloseClick();
    if (TCV_Grid* grid = ToolWindowList().CurrentGrid(); grid && grid->isVisibleTo(this)) {
        // In typing mode the text found becomes the grid's current item.
        if (GetKeypressMode() == kTypeToFind && grid->HandlersB.ParseStringAdded)
            grid->HandlersB.ParseStringAdded(grid, ElComboBoxTyping->currentText());
        grid->View()->setFocus();
    }
    return true;
}

} // namespace cv
