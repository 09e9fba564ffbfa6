#pragma once
// The register of a tool window's result pages: one holder per page of the
// window's pager, telling what the page shows (a grid, a memo or a rich
// edit), its list type and kind of display, the control that shows it and
// the result list attached to it. Index 0 is the main (start) screen; page i
// of the pager is holder i + 1.
//
// There is one register per process (ToolWindowList()), filled once by the
// main window's creation (BuildToolWindowPages). It also keeps the cell
// handler the page grids share, fits the main menu to the current list type,
// and loads the lemma, match and stop lists into the lemmatiser.

#include <QPointer>
#include <QString>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "gui/cv_grid.h"
#include "suite/wdef.h"

class QAction;
class QMenu;
class QTabWidget;
class QWidget;

namespace cv {

class TCVBaseLemmaMatchCapableList;
class TCVStatusBar;

enum TTool_window_type : uint8_t { tw_mainscreen = 0, tw_grid = 1, tw_Memo = 2, tw_Richedit = 3 };

struct TOneToolWindowDataRec {
    uint8_t ListType = kListNone;
    uint8_t KindOfDisplay = 0;
    TTool_window_type datatype = tw_mainscreen;
    QPointer<QObject> the_object;                  // the page's grid, memo or rich edit
    TCVBaseLemmaMatchCapableList* CVList = nullptr; // the list shown; null until a job attaches one
    int32_t page_index = 0;                         // 0 the main screen, else pager index + 1
};

class TOneToolWindowHolder {
public:
    explicit TOneToolWindowHolder(const TOneToolWindowDataRec& d) : data(d) { listWatch.Watch(AsBaseList(d.CVList)); }
    TOneToolWindowHolder(const TOneToolWindowHolder&) = delete;
    TOneToolWindowHolder& operator=(const TOneToolWindowHolder&) = delete;
    // Attaches a list to the page (null: none).
    void SetList(TCVBaseLemmaMatchCapableList* list)
    {
        data.CVList = list;
        listWatch.Watch(AsBaseList(list));
    }
    TOneToolWindowDataRec data;

private:
    static const TCVBaseDataClass* AsBaseList(const TCVBaseLemmaMatchCapableList* list);
    // A list freed while attached is no longer the page's.
    TListWatch listWatch{[this] { data.CVList = nullptr; }};
};

// What happened since the current page was last set up (a set of action numbers 0..31).
enum : uint8_t {
    kActionPageChanged = 2,
    kActionWordlistMade = 6,       // set by the tool's window
    kActionColumnsChanged = 8,     // relative entropy computed, a column added or deleted
    kActionIndexMade = 10,         // set by the tool's window
    kActionConsistencyMade = 11,   // set by the tool's window
    kActionFileOpened = 14,        // set by the tool's window
    kActionRowsChanged = 15,       // merge, reduce, redo, undo, removal of marked entries
};

class TLastActions {
public:
    void Include(uint8_t action) { m_bits |= 1u << (action & 31); }
    bool Contains(uint8_t action) const { return (m_bits >> (action & 31)) & 1u; }
    bool Empty() const { return m_bits == 0; }
    void Clear() { m_bits = 0; }
    uint32_t Bits() const { return m_bits; }

private:
    uint32_t m_bits = 0;
};

// Menu tags: the command number a menu item carries (QAction::data();
// suite/menu_commands.h names them). An item that carries none reads
// TMenuHeader::NoCommand.
constexpr int kLastCheckableMenuTag = 231;
int MenuTag(const QAction* action);
void SetMenuTag(QAction* action, int tag);

// A set of menu tags 0..231.
using TMenuTagSet = std::bitset<kLastCheckableMenuTag + 1>;
// Gives the tags visible for a list type and kind of display (the data module's menu sets).
using TMenuSetProvider = std::function<TMenuTagSet(uint8_t listType, uint8_t kindOfDisplay)>;

struct TMenuFittingRec {
    uint8_t for_list = 0xFF; // nothing fitted yet
    TTool_window_type for_page = tw_mainscreen;
    uint8_t for_grid = 0xFF;
};

// Whether each lemmatiser list kind (0 lemma, 1 match, 2 stop, 3 relation words) is loaded.
extern std::array<bool, 4> Global_stopLemmaMatchLoaded;

class TOneToolWindowList {
public:
    TOneToolWindowList();
    ~TOneToolWindowList();
    TOneToolWindowList(const TOneToolWindowList&) = delete;
    TOneToolWindowList& operator=(const TOneToolWindowList&) = delete;

    int Count() const { return int(m_items.size()); }
    TOneToolWindowHolder* Items(int index) const;
    void Add(const TOneToolWindowDataRec& rec);
    // Frees every holder and the sub-page lists.
    void Clear();

    // The grid of the current page; when the current page shows no grid, the
    // first page grid; null without a current page.
    TCV_Grid* CurrentGrid() const;
    TCV_Grid* GridOfPage(int index) const;
    int32_t PageIndexOfHolder(int index) const;     // -2 out of range
    uint8_t ListTypeOfPage(int index) const;        // 25 out of range
    void SetListOfPage(int index, TCVBaseLemmaMatchCapableList* list);
    void ClearBaseList(int index);                  // never the main screen's holder
    // Makes current the holder of a pager tab (page index); returns its kind
    // (0, with no current holder, when none has that index).
    TTool_window_type SetCurrentGridToTab(int tab);
    // Refreshes every visible page grid.
    void TellAllGrids(int code);
    // Gives every page grid the colours of the current style.
    void SetAllGridsToStyle();
    // Every page grid shows counts of running words as the number display says.
    void SetAllGridsNumberDisplay(TNumberDisplay display);

    // Shows the menu items of the list type and kind of display of the grid
    // (25 and 29 without one), captions and checks them. Nothing is refitted
    // while the list type and kind are those of the last fit, unless forced.
    void FitMenuToListType(QWidget* menuBar, TCV_Grid* grid, bool force, const TMenuSetProvider& menuSet);

    // Builds the holders of the window's pages (once, at the window's creation).
    void BuildToolWindowPages(QWidget* window, QTabWidget* pager, QWidget* toolbar, TCVStatusBar* statusBar,
                              QMenu* statusBarPopup, QMenu* gridPopup, QMenu* sourceTextPopup, QMenu* notesPopup);
    // Loads the current tool's list of this kind into the lemmatiser, if its file is named.
    bool LoadLemmaMatchStopList(uint8_t kind);
    void ShowToolbarAndStatusBar(QWidget* toolbar, TCVStatusBar* statusBar);

    // The lemmatiser's progress while it loads a list.
    void SetNLines(int n, const QString& fileName);
    void ShowDLLProgress(int count);

    // --- fields ---
    TOneToolWindowHolder* CurrentToolWindowHolder = nullptr;
    bool fHasData = false;
    int32_t DLLN_Lines = 1;
    TLastActions Last_actions;
    TMenuFittingRec last_menu_fit;
    std::unique_ptr<TCVGridCellHandler> GeneralCellHandler;
    std::vector<QPointer<QObject>> SubPageLists;
    // Set by a settings change: the current grid takes the document's language at the next page set-up.
    bool fRefreshLanguage = false;

private:
    void MakePageHolder(QWidget* page, int32_t pageIndex, QWidget* window, QTabWidget* pager, QMenu* gridPopup,
                        QMenu* sourceTextPopup, QMenu* notesPopup);
    void SetUpPageGrid(TCV_Grid* grid, QWidget* window, QTabWidget* pager, QMenu* gridPopup);

    std::vector<std::unique_ptr<TOneToolWindowHolder>> m_items;
    uint8_t m_loadingKind = 0;
};

// The process-wide register of the tool window's pages.
TOneToolWindowList& ToolWindowList();

// The grid options of a list type's page grids.
uint32_t GridOptionsForListType(uint8_t listType);
// The narrowest first column of a kind of display, in pixels, at a pager width.
int MinimumFirstColumnWidth(uint8_t kindOfDisplay, int pagerWidth);

} // namespace cv
