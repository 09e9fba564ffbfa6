#include "crashreport/core/report/report_text.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <vector>

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/processes_list.h"
#include "crashreport/core/report/call_stack_header.h"
#include "crashreport/core/report/report_assembler.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/file_version.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

namespace {

constexpr const char* kCRLF = "\r\n";

std::string HexDigits(uint64_t value, std::size_t digits)
{
    char text[40];
    std::snprintf(text, sizeof text, "%0*llX", int(std::min<std::size_t>(digits, 32)), static_cast<unsigned long long>(value));
    return text;
}

// A cell never breaks its row: CR, LF and "|" become "?".
std::string Cell(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '|')
            c = '?';
    return text;
}

// A table: a caption row, rows of cells left-aligned in columns as wide as
// their longest text, and rows of one cell across the whole table.
class TTable {
public:
    explicit TTable(std::vector<std::string> captions) : fCaptions(std::move(captions))
    {
        for (const std::string& caption : fCaptions)
            fWidths.push_back(caption.size());
    }

    void Widen(std::size_t column, std::size_t width) { fWidths[column] = std::max(fWidths[column], width); }
    void Fit(const std::vector<std::string>& cells)
    {
        for (std::size_t i = 0; i < cells.size() && i < fWidths.size(); ++i)
            Widen(i, cells[i].size());
    }
    // One cell across the table holds the text: the last column grows when
    // it would not.
    void FitWide(const std::string& text)
    {
        if (text.size() > WideWidth())
            fWidths.back() += text.size() - WideWidth();
    }
    std::size_t Width(std::size_t column) const { return fWidths[column]; }

    // "-" as long as a row without its line break.
    std::string Border() const { return std::string(WideWidth() + 2, '-') + kCRLF; }
    std::string CaptionRow() const { return Row(fCaptions); }
    std::string Row(const std::vector<std::string>& cells) const
    {
        std::string row = "|";
        for (std::size_t i = 0; i < fWidths.size(); ++i)
            row += PadRight(i < cells.size() ? cells[i] : std::string(), fWidths[i]) + "|";
        return row + kCRLF;
    }
    std::string WideRow(const std::string& text) const { return "|" + PadRight(text, WideWidth()) + "|" + kCRLF; }
    std::string Separator() const { return WideRow(std::string(WideWidth(), '-')); }
    std::string Blank() const { return WideRow({}); }

    // Caption line, border, caption row, border.
    std::string Head(const std::string& caption) const { return caption + ":" + kCRLF + Border() + CaptionRow() + Border(); }

private:
    // The row length less its two bars and line break.
    std::size_t WideWidth() const { return std::accumulate(fWidths.begin(), fWidths.end(), std::size_t(0)) + fWidths.size() - 1; }

    std::vector<std::string> fCaptions;
    std::vector<std::size_t> fWidths;
};

// A caption over a rule one longer than it, where a section is left out, so
// that an entry's captions keep their number and order.
std::string CaptionAlone(const std::string& caption)
{
    return caption + ":" + kCRLF + std::string(caption.size() + 1, '-') + kCRLF + kCRLF;
}

std::string LineCell(const TCrashboxDebugInfo& entry)
{
    // Inlined code can lie above its procedure's first line: the offset is signed.
    return entry.Line == 0 ? std::string()
                           : std::to_string(entry.Line) + "[" + std::to_string(int32_t(entry.ProcOffsetLine)) + "]";
}

std::string CallStackTable(const TCrashboxModuleOptions& options, const TReportInput& input)
{
    TTable table({options.GetExpandedText(mtCallStack_Address), options.GetExpandedText(mtCallStack_Name),
                  options.GetExpandedText(mtCallStack_Unit), options.GetExpandedText(mtCallStack_Class),
                  options.GetExpandedText(mtCallStack_Procedure), options.GetExpandedText(mtCallStack_Line)});
    table.Widen(0, 8);
    const std::string caption = options.GetExpandedText(mtDialog_CallStackHeader);
    if (!input.CallStack)
        return table.Head(caption) + table.Border() + kCRLF;

    // The rows, each with the header of the block it opens.
    struct TRow {
        std::vector<std::string> cells;
        std::optional<std::string> header;
        bool running = false;
    };
    TCrashboxThreadsList noThreads;
    TCrashboxThreadsList& threads = input.Threads ? *input.Threads : noThreads;
    const TCrashboxDebugDetails shown = GetCallStackModuleFilter(options);
    std::vector<TRow> rows;
    const TCrashboxDebugInfo* previous = nullptr;
    for (int i = 0; i < input.CallStack->Count(); ++i) {
        const TCrashboxDebugInfo& entry = *input.CallStack->GetItem(i);
        if ((shown & DebugDetailBit(entry.DebugDetail)) == 0)
            continue;
        TRow row;
        const bool hasModule = entry.DebugDetail != TCrashboxDebugDetail::ddNone && entry.ModuleInfo;
        row.cells = {entry.FramesLeftOut != 0 ? std::string() : HexDigits(entry.Addr, 2 * sizeof(uintptr_t)),
                     Cell(hasModule ? ExtractFileName(entry.ModuleInfo->Name) : std::string()),
                     Cell(entry.UnitName),
                     Cell(entry.ClassName),
                     Cell(entry.ProcedureName),
                     LineCell(entry)};
        row.running = entry.RunningThread;
        if (OpensCallStackBlock(previous, entry))
            row.header = Cell(FormatCallStackHeader(entry, true, threads, options, input.MainThreadID));
        table.Fit(row.cells);
        rows.push_back(std::move(row));
        previous = &entry;
    }
    for (const TRow& row : rows)
        if (row.header)
            table.FitWide(*row.header);

    std::string text = table.Head(caption);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TRow& row = rows[i];
        if (row.header) {
            if (i > 0) {
                text += table.Separator();
                if (row.running)
                    text += table.Blank();
            }
            text += table.WideRow(*row.header) + table.Separator();
        }
        text += table.Row(row.cells);
    }
    return text + table.Border() + kCRLF;
}

std::string ModulesTable(const TCrashboxModuleOptions& options, TCrashboxModulesList* modules)
{
    TTable table({options.GetExpandedText(mtModules_Handle), options.GetExpandedText(mtModules_Name),
                  options.GetExpandedText(mtModules_Description), options.GetExpandedText(mtModules_Version),
                  options.GetExpandedText(mtModules_Size), options.GetExpandedText(mtModules_LastModified),
                  options.GetExpandedText(mtModules_Path)});
    // Handles have as many digits as their column is wide, at least an address's.
    table.Widen(0, 2 * sizeof(uintptr_t));
    std::vector<uintptr_t> handles;
    std::vector<std::vector<std::string>> rows;
    if (modules) {
        modules->Lock();
        for (int i = 0, n = modules->Count(); i < n; ++i) {
            const TCrashboxModuleInfo& module = *modules->GetItem(i);
            handles.push_back(module.Handle);
            rows.push_back({std::string(), Cell(ExtractFileName(module.Name)), Cell(module.Description), Cell(module.Version),
                            std::to_string(module.Size), DateTimeToLogString(module.LastModified), Cell(ExtractCleanFilePath(module.Name))});
            table.Fit(rows.back());
        }
        modules->Unlock();
    }
    std::string text = table.Head(options.GetExpandedText(mtDialog_ModulesHeader));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i][0] = HexDigits(handles[i], table.Width(0));
        text += table.Row(rows[i]);
    }
    return text + table.Border() + kCRLF;
}

std::string ProcessesTable(const TCrashboxModuleOptions& options, TCrashboxProcessesList* processes)
{
    TTable table({options.GetExpandedText(mtProcesses_ID), options.GetExpandedText(mtProcesses_Name),
                  options.GetExpandedText(mtProcesses_Description), options.GetExpandedText(mtProcesses_Version),
                  options.GetExpandedText(mtProcesses_Memory), options.GetExpandedText(mtProcesses_Priority),
                  options.GetExpandedText(mtProcesses_Threads), options.GetExpandedText(mtProcesses_Path)});
    std::vector<std::vector<std::string>> rows;
    if (processes) {
        processes->Lock();
        for (int i = 0, n = processes->Count(); i < n; ++i) {
            const TCrashboxProcessInfo& process = *processes->GetItem(i);
            rows.push_back({std::to_string(process.ProcessID), Cell(ProcessFileName(process)), Cell(process.Description),
                            Cell(process.Version), std::to_string(process.Memory), PriorityClassToText(process.Priority),
                            IntToTextOrUnknown(process.Threads), Cell(ProcessFolder(process))});
            table.Fit(rows.back());
        }
        processes->Unlock();
    }
    std::string text = table.Head(options.GetExpandedText(mtDialog_ProcessesHeader));
    for (const std::vector<std::string>& row : rows)
        text += table.Row(row);
    return text + table.Border() + kCRLF;
}

} // namespace

std::string TReportText::Text() const { return General + kCRLF + Tables + AsmCaption + kCRLF + Assembler + kCRLF + CPU; }

void TReportText::InsertSection(const std::string& section)
{
    std::size_t end = section.size();
    while (end >= 2 && section.compare(end - 2, 2, kCRLF) == 0)
        end -= 2;
    if (end == 0)
        return;
    // Sections stand one blank line apart: the report's break after the
    // general piece, the section's lines, and its own blank line, which the
    // general piece takes in so that the next section goes after it.
    General += kCRLF;
    General.append(section, 0, end);
    General += kCRLF;
}

TReportText BuildReportText(const TCrashboxModuleOptions& options, const TSystemFacts& facts,
                            const TReportProcessView& process, const TReportInput& input)
{
    TReportText report;
    TGeneralInformation general = BuildGeneralInformation(options, facts, input.General);
    // The general piece ends with its last line's break, so a blank line
    // parts it from the tables.
    report.General = std::move(general.Text) + kCRLF;
    report.ExceptionClass = std::move(general.ExceptionClass);
    report.ExceptionMessage = std::move(general.ExceptionMessage);
    report.DialogHeader = options.GetExpandedText(mtDialog_ErrorMsgCaption) + kCRLF + kCRLF;

    const TLogOptions log = options.LogOptions();
    report.Tables = CallStackTable(options, input);
    if (log.Contains(loSaveModulesAndProcessesSections))
        report.Tables += ModulesTable(options, input.Modules) + ProcessesTable(options, input.Processes);
    else
        report.Tables += CaptionAlone(options.GetExpandedText(mtDialog_ModulesHeader))
                         + CaptionAlone(options.GetExpandedText(mtDialog_ProcessesHeader));

    const std::string asmCaption = options.GetExpandedText(mtDialog_AsmHeader);
    if (log.Contains(loSaveAssemblerAndCPUSections)) {
        const std::vector<std::string> lines = AssemblerListingLines(process, input.General.ExceptionAddress);
        std::size_t longest = 0;
        for (const std::string& line : lines) {
            longest = std::max(longest, line.size());
            report.Assembler += line + kCRLF;
        }
        // Without a listing the rule is as long as without the option, so
        // the caption keeps a rule under it.
        report.AsmCaption = asmCaption + ":" + kCRLF + std::string(lines.empty() ? asmCaption.size() + 1 : longest, '-');
        report.CPU = CPUBlock(options, process, input.General.Context, input.General.ExceptionAddress);
    } else {
        report.AsmCaption = asmCaption + ":" + kCRLF + std::string(asmCaption.size() + 1, '-');
        const std::string registers = options.GetExpandedText(mtCPU_Registers);
        report.CPU = registers + ":" + kCRLF + std::string(registers.size() + 1, '-') + kCRLF + kCRLF;
    }
    return report;
}

} // namespace cv
