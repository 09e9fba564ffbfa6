#include "crashreport/dialogs/tab_pages.h"

#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTextEdit>

#include <cctype>
#include <charconv>
#include <cstdio>

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/processes_list.h"
#include "crashreport/core/report/call_stack_header.h"
#include "crashreport/core/support/date_time.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/profile_file.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/file_version.h"
#include "crashreport/dialogs/rtf_colouring.h"
#include "crashreport/dialogs/exception_dialog.h"
#include "crashreport/dialogs/ide_location.h"
#include "crashreport/dialogs/list_view_items.h"
#include "crashreport/dialogs/rtf_reader.h"

namespace cv {

namespace {

constexpr TListColumnSpec kCallStackColumns[] = {
    {mtCallStack_Address, "Col0", 89, 0, "FFFFFFFFFFFFFFFF"},
    {mtCallStack_Name, "Col1", 92, 0},
    {mtCallStack_Unit, "Col2", 126, 0},
    {mtCallStack_Class, "Col3", 126, 0},
    {mtCallStack_Procedure, "Col4", 200, 0},
    {mtCallStack_Line, "Col5", 61, 1, "99999[999]"},
};
// The last-modified column is kept under "ColMod6" and the path under
// "ColMod5", as the widths were always stored.
constexpr TListColumnSpec kModulesColumns[] = {
    {mtModules_Handle, "ColMod0", 80, 0, "FFFFFFFFFFFFFFFF"},
    {mtModules_Name, "ColMod1", 96, 0},
    {mtModules_Description, "ColMod2", 175, 0},
    {mtModules_Version, "ColMod3", 50, 1, "99.99.x"},
    {mtModules_Size, "ColMod4", 54, 1, "99999 Kb"},
    {mtModules_LastModified, "ColMod6", 80, 0, "0000-00-00 00:00:00"},
    {mtModules_Path, "ColMod5", 712, 0},
};
constexpr TListColumnSpec kProcessesColumns[] = {
    {mtProcesses_ID, "ColPro0", 48, 0, "4194304"},
    {mtProcesses_Name, "ColPro1", 134, 0},
    {mtProcesses_Description, "ColPro2", 232, 0},
    {mtProcesses_Version, "ColPro3", 56, 1, "99.99.x"},
    {mtProcesses_Memory, "ColPro4", 57, 1, "999999 Kb"},
    {mtProcesses_Priority, "ColPro5", 47, 1, "Above-Normal"},
    {mtProcesses_Threads, "ColPro6", 52, 1, "9999"},
    {mtProcesses_Path, "ColPro7", 330, 0},
};

// An address in 16 upper-case hexadecimal digits, as everywhere in the reports.
std::string HexAddress(uintptr_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
    return text;
}

int RowImage(const TCrashboxDebugInfo& entry)
{
    if (entry.DebugDetail == TCrashboxDebugDetail::ddSourceCode)
        return 3;
    switch (entry.ModuleInfo ? entry.ModuleInfo->ModuleType : TCrashboxModuleType::mtUnknown) {
    case TCrashboxModuleType::mtMainModule: return 2;
    case TCrashboxModuleType::mtBorlandPackage: return 1;
    default: return 0;
    }
}

std::string UpperExtension(const std::string& fileName)
{
    std::string extension = ExtractFileExt(fileName);
    for (char& c : extension)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return extension;
}

} // namespace

std::span<const TListColumnSpec> CallStackColumns() { return kCallStackColumns; }
std::span<const TListColumnSpec> ModulesColumns() { return kModulesColumns; }
std::span<const TListColumnSpec> ProcessesColumns() { return kProcessesColumns; }

int DefaultColumnWidth(const TListColumnSpec& column, bool firstColumn, const TTextMeasurer& measurer,
                       const QFont& font)
{
    if (!column.Sample)
        return column.DefaultWidth;
    // The margins the rows are drawn with: 4 + 16 + 2 in the first column
    // (the icon), 4 + 2 + 6 in the others.
    const int margins = firstColumn ? 22 : 12;
    return std::max(column.DefaultWidth, GetTextWidth(measurer, font, QString::fromLatin1(column.Sample)) + margins);
}

int ReadColumnWidth(const TListColumnSpec& column, int defaultWidth)
{
    const std::string text = TrimA(IniReadString("Crashbox.ini", "Coordinates", column.Key, std::to_string(defaultWidth)));
    int width = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), width);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || width < 0)
        return defaultWidth;
    return width;
}

bool CallStackDetailShown(TCrashboxDebugDetail detail, const TCrashboxModuleOptions& options)
{
    // The rows the report's text shows.
    return (GetCallStackModuleFilter(options) & DebugDetailBit(detail)) != 0;
}

void AddCallStackRows(TListViewItems& items, const TCrashboxStackList& stack, const TCrashboxModuleOptions& options,
                      TCrashboxThreadsList& threads, uint32_t mainThreadID)
{
    const TCrashboxDebugInfo* previous = nullptr;
    for (int i = 0; i < stack.Count(); ++i) {
        const TCrashboxDebugInfo& entry = *stack.GetItem(i);
        if (!CallStackDetailShown(entry.DebugDetail, options))
            continue;
        if (entry.ModuleInfo && entry.ModuleInfo->ModuleType == TCrashboxModuleType::mtMainModule &&
            entry.DebugDetail == TCrashboxDebugDetail::ddUnitAndProcedure)
            continue;
        if (OpensCallStackBlock(previous, entry)) {
            if (entry.RunningThread && previous)
                items.AddRow(std::vector<std::string>(6), -1, 0, false, {});
            items.AddRow(std::vector<std::string>(6), -1, intptr_t(entry.RunningThread) + 2 * intptr_t(entry.ErrorLine),
                         true, FormatCallStackHeader(entry, false, threads, options, mainThreadID));
        }
        std::string line;
        if (entry.Line != 0)
            line = std::to_string(entry.Line) + "[" + std::to_string(entry.ProcOffsetLine) + "]";
        const std::string module = entry.DebugDetail != TCrashboxDebugDetail::ddNone && entry.ModuleInfo
                                       ? ExtractFileName(entry.ModuleInfo->Name)
                                       : std::string();
        items.AddRow({entry.FramesLeftOut != 0 ? std::string() : HexAddress(entry.Addr), module, entry.UnitName, entry.ClassName, entry.ProcedureName, line},
                     RowImage(entry), 0, false, {});
        previous = &entry;
    }
}

int GetModuleIcon(const TCrashboxModuleInfo& module)
{
    const std::string extension = UpperExtension(module.Name);
    if (extension == ".BPL" || extension == ".DPL")
        return 1;
    if (extension == ".EXE" || module.ModuleType == TCrashboxModuleType::mtMainModule)
        return 2;
    return 0;
}

void AddModulesRows(TListViewItems& items, TCrashboxModulesList& modules)
{
    modules.Lock();
    for (int i = 0; i < modules.Count(); ++i) {
        const TCrashboxModuleInfo& m = *modules.GetItem(i);
        items.AddRow({HexAddress(m.Handle), ExtractFileName(m.Name), m.Description, VersionMajorMinorX(m.Version),
                      SizeToKbText(m.Size), DateTimeToLogString(m.LastModified), ExtractCleanFilePath(m.Name)},
                     GetModuleIcon(m), 0, false, {});
    }
    modules.Unlock();
}

void AddProcessesRows(TListViewItems& items, TCrashboxProcessesList& processes)
{
    processes.Lock();
    for (int i = 0; i < processes.Count(); ++i) {
        const TCrashboxProcessInfo& p = *processes.GetItem(i);
        items.AddRow({std::to_string(p.ProcessID), ProcessFileName(p), p.Description, VersionMajorMinorX(p.Version),
                      SizeToKbText(p.Memory), PriorityClassToText(p.Priority), IntToTextOrUnknown(p.Threads),
                      ProcessFolder(p)},
                     2, 0, false, {});
    }
    processes.Unlock();
}

std::optional<TSourceLocationRequest> LocationOfRow(const std::vector<std::string>& cells)
{
    auto cell = [&](std::size_t i) { return i < cells.size() ? TrimA(cells[i]) : std::string(); };
    const std::string line = cell(5);
    if (line.empty())
        return std::nullopt;
    TSourceLocationRequest request;
    request.OffsetText = "-1";
    const auto bracket = line.find('[');
    if (bracket != std::string::npos) {
        std::size_t end = bracket + 1;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end])))
            ++end;
        // The digits count only when something (the "]") ends them.
        if (end < line.size())
            request.OffsetText = line.substr(bracket + 1, end - bracket - 1);
    }
    std::size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits])))
        ++digits;
    request.LineText = line.substr(0, digits);
    request.UnitName = cell(2);
    request.ClassName = cell(3);
    request.ProcedureName = cell(4);
    const std::string address = cell(0);
    unsigned long long value = 0;
    std::from_chars(address.data(), address.data() + address.size(), value, 16);
    request.Address = uintptr_t(value);
    return request;
}

// --- The page ---

TTabPageWidget::TTabPageWidget(TTabPage page, TExceptionDialogHost& host, const TDialogFonts& fonts,
                               const TTextMeasurer& measurer, QWidget* parent)
    : QWidget(parent), m_page(page), m_host(host)
{
    const TCrashboxModuleOptions& options = *host.Options;
    static constexpr TMessageType kHeaders[] = {mtDialog_GeneralHeader, mtDialog_CallStackHeader, mtDialog_ModulesHeader,
                                                mtDialog_ProcessesHeader, mtDialog_AsmHeader, mtDialog_CPUHeader};
    m_header = new QLabel(QString::fromStdString(options.GetExpandedText(kHeaders[page])), this);
    m_header->setFont(fonts.Message);
    const int headerHeight = std::max(13, measurer.Extent(fonts.Message, m_header->text()).cy);
    m_header->setGeometry(4, 3, 693, headerHeight);
    m_bodyTop = std::max(20, 3 + headerHeight + 4);

    if (page == tpGeneral || page == tpAssembler || page == tpCPU) {
        m_text = new QTextEdit(this);
        m_text->setReadOnly(true);
        m_text->setLineWrapMode(QTextEdit::NoWrap);
        m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_text->setFont(fonts.Fixed);
        QPalette colours = m_text->palette();
        colours.setColor(QPalette::Base, Qt::white);
        colours.setColor(QPalette::Text, Qt::black);
        m_text->setPalette(colours);
        const TRTFFont font{0, fonts.Fixed.family().toStdString(), std::max(1, int(fonts.Fixed.pointSizeF() + 0.5))};
        const std::string rtf = page == tpGeneral     ? GeneralTextToRTF(host.Texts.General, font)
                                : page == tpAssembler ? AssemblerTextToRTF(host.Texts.Assembler, font)
                                                      : CPUTextToRTF(host.Texts.CPU, font);
        RtfToTextDocument(rtf, *m_text->document(), fonts.Fixed);
        // The page opens at its start, its first line in view (moving the
        // cursor scrolls by the size the view has before it is laid out).
        m_text->moveCursor(QTextCursor::Start);
        m_text->verticalScrollBar()->setValue(0);
        m_text->horizontalScrollBar()->setValue(0);
        return;
    }

    m_items = std::make_unique<TListViewItems>(measurer, fonts.List);
    m_list = new TListViewControl(*m_items, this);
    m_list->header()->setFont(fonts.Message);
    const std::span<const TListColumnSpec> columns = Columns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        AddListViewColumn(*m_list, int(i),
                          ReadColumnWidth(columns[i], DefaultColumnWidth(columns[i], i == 0, measurer, fonts.List)),
                          QString::fromStdString(options.GetExpandedText(columns[i].Title)), columns[i].Format);
    if (page == tpCallStack) {
        if (host.CallStack) {
            TCrashboxThreadsList noThreads;
            AddCallStackRows(*m_items, *host.CallStack, options, host.Threads ? *host.Threads : noThreads,
                             host.MainThreadID);
        }
        m_list->OnClick = [this](int row, const QPoint& point) { RowClicked(row, point); };
        m_list->OnActivate = [this](int row) { RowActivated(row); };
    } else if (page == tpModules && host.Modules) {
        AddModulesRows(*m_items, *host.Modules);
    } else if (page == tpProcesses && host.Processes) {
        AddProcessesRows(*m_items, *host.Processes);
    }
}

TTabPageWidget::~TTabPageWidget()
{
    if (m_list) {
        const std::span<const TListColumnSpec> columns = Columns();
        for (std::size_t i = 0; i < columns.size(); ++i)
            IniWriteString("Crashbox.ini", "Coordinates", columns[i].Key,
                           std::to_string(m_list->header()->sectionSize(int(i))));
        // The list goes before the rows it shows.
        delete m_list;
        m_list = nullptr;
    }
}

std::span<const TListColumnSpec> TTabPageWidget::Columns() const
{
    switch (m_page) {
    case tpCallStack: return CallStackColumns();
    case tpModules: return ModulesColumns();
    case tpProcesses: return ProcessesColumns();
    default: return {};
    }
}

QWidget* TTabPageWidget::Body() const
{
    if (m_text)
        return m_text;
    return m_list;
}

void TTabPageWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_header->resize(std::max(1, width() - 8), m_header->height());
    if (QWidget* body = Body())
        body->setGeometry(3, m_bodyTop, std::max(1, width() - 8), std::max(1, height() - m_bodyTop - 4));
}

void TTabPageWidget::RowClicked(int row, const QPoint& point)
{
    if (m_items)
        m_items->ClickOnItem(row, point, true);
}

void TTabPageWidget::RowActivated(int row)
{
    if (!m_items)
        return;
    const TListViewItemRec* rec = m_items->Shown(row);
    if (!rec)
        return;
    const std::optional<TSourceLocationRequest> location = LocationOfRow(rec->Cols);
    if (!location) {
        const QPoint at = m_list->viewport()->mapFromGlobal(QCursor::pos()) - m_list->RowOrigin(row);
        m_items->ClickOnItem(row, at, false);
        return;
    }
    TDateTime compiled = 0;
    if (m_host.ModuleCompilationDate) {
        const QDateTime date = m_host.ModuleCompilationDate(location->Address);
        if (date.isValid())
            compiled = UnixTimeToDateTime(date.toSecsSinceEpoch()) + date.time().msec() / 86400000.0;
    }
    SendLocationToIDE(location->LineText, location->UnitName, location->ClassName, location->OffsetText, compiled,
                      location->ProcedureName);
}

} // namespace cv
