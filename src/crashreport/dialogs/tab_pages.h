#pragma once
// The pages of the detailed exception dialog, one at a time inside its tab
// control: General, Call stack, Modules, Processes, Assembler, CPU. Three
// show a piece of the report as coloured text (the core's rich-text
// colouring), three show lists (TListViewItems) whose column widths are
// kept in "Crashbox.ini", section "Coordinates", and written back when the
// page goes. Activating a call-stack line with a source line sends its
// location to the development environment (ide_location.h).

#include <QWidget>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/support/crashbox_texts.h"
#include "crashreport/dialogs/dialog_toolkit.h"

class QLabel;
class QTextEdit;

namespace cv {

struct TExceptionDialogHost;
class TListViewItems;
class TListViewControl;

enum TTabPage : int { tpGeneral, tpCallStack, tpModules, tpProcesses, tpAssembler, tpCPU };
inline constexpr int kTabPageCount = 6;

// One list column: title, ini key, default width, alignment (0 left,
// 1 right) and a typical widest value the column starts wide enough for
// (64-bit addresses, process numbers, dates in this system's fonts).
struct TListColumnSpec {
    TMessageType Title;
    const char* Key;
    int DefaultWidth;
    int Format;
    const char* Sample = nullptr;
};
std::span<const TListColumnSpec> CallStackColumns();
std::span<const TListColumnSpec> ModulesColumns();
std::span<const TListColumnSpec> ProcessesColumns();

// The width a column starts with: the designed one, at least the width of
// its sample and the margins (and the row's icon in the first column).
int DefaultColumnWidth(const TListColumnSpec& column, bool firstColumn, const TTextMeasurer& measurer,
                       const QFont& font);
// A stored width, or the default when none is stored or it is no whole
// number of pixels (0 or more).
int ReadColumnWidth(const TListColumnSpec& column, int defaultWidth);

// The detail levels the call-stack list shows, as the report's text does
// (GetCallStackModuleFilter): full source always, with csoShowDLLs
// procedures and frames known by their module alone, with csoShowBPLs
// units and procedures.
bool CallStackDetailShown(TCrashboxDebugDetail detail, const TCrashboxModuleOptions& options);

// The rows of the call-stack list: per block of a thread (or the line of the
// exception) a group row headed by the block header, a separator before a
// running thread's block; then one row per shown entry.
void AddCallStackRows(TListViewItems& items, const TCrashboxStackList& stack, const TCrashboxModuleOptions& options,
                      TCrashboxThreadsList& threads, uint32_t mainThreadID);
// The icon of a module: 1 a package (".bpl", ".dpl"), 2 the program (".exe",
// or the main module, as programs here have no extension), 0 otherwise.
int GetModuleIcon(const TCrashboxModuleInfo& module);
void AddModulesRows(TListViewItems& items, TCrashboxModulesList& modules);
void AddProcessesRows(TListViewItems& items, TCrashboxProcessesList& processes);

// What an activated call-stack row sends: from its address, unit, class,
// procedure and line cells. None when the line cell is empty (the row then
// folds or unfolds instead).
struct TSourceLocationRequest {
    std::string LineText;   // the line cell's leading digits
    std::string OffsetText; // the digits after "[", or "-1"
    std::string UnitName, ClassName, ProcedureName;
    uintptr_t Address = 0;
};
std::optional<TSourceLocationRequest> LocationOfRow(const std::vector<std::string>& cells);

// A page: its header and its body.
class TTabPageWidget final : public QWidget {
public:
    TTabPageWidget(TTabPage page, TExceptionDialogHost& host, const TDialogFonts& fonts, const TTextMeasurer& measurer,
                   QWidget* parent);
    ~TTabPageWidget() override;

    TTabPage Page() const { return m_page; }
    QLabel* Header() const { return m_header; }
    // The body: a text for the coloured pages, a list for the others.
    QTextEdit* Text() const { return m_text; }
    TListViewControl* List() const { return m_list; }
    TListViewItems* Items() const { return m_items.get(); }
    QWidget* Body() const;

    // A list row clicked at a point of its rectangle, and activated.
    void RowClicked(int row, const QPoint& point);
    void RowActivated(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::span<const TListColumnSpec> Columns() const;

    TTabPage m_page;
    TExceptionDialogHost& m_host;
    QLabel* m_header = nullptr;
    QTextEdit* m_text = nullptr;
    std::unique_ptr<TListViewItems> m_items;
    TListViewControl* m_list = nullptr;
    int m_bodyTop = 20;
};

} // namespace cv
