#pragma once
// The report text of one exception: the text the dialogs show, the console
// and the senders get, and the log keeps as one entry. In this order:
//
//   the general piece   "Crashbox 6.1.03", a blank line, the general
//                       information (general_info.h), then the sections the
//                       handler inserts (custom data, the steps to reproduce)
//   the tables          call stack (always), modules and processes (or
//                       their captions alone)
//   the assembler       caption, rule and listing (report_assembler.h)
//   the CPU block       registers, stack and memory dump
//
// Every caption and column name is the options' text, variables expanded.
// docs/report-log.md shows the layout; the log reads it back item by item.

#include <cstdint>
#include <string>

#include "crashreport/core/capture/system_facts.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/report/general_info.h"
#include "crashreport/core/report/report_process.h"

namespace cv {

// What the handler has gathered of the exception. The lists are the
// process's (or a test's); any may be missing.
struct TReportInput {
    // The exception, its record and context (General.Context gives the
    // registers, General.ExceptionAddress the listing's and dump's address).
    TGeneralInfoInput General;
    // The call stacks of every thread shown, in blocks (the raising thread first).
    const TCrashboxStackList* CallStack = nullptr;
    // Locked while they are written.
    TCrashboxModulesList* Modules = nullptr;
    TCrashboxProcessesList* Processes = nullptr;
    // For the block headers' priority and class; a thread whose priority is
    // not known yet is asked for it and the answer stored back.
    TCrashboxThreadsList* Threads = nullptr;
    uint32_t MainThreadID = 0;
};

struct TReportText {
    std::string General;    // the general piece (its last line ended), grown by InsertSection
    std::string Tables;     // call stack, modules, processes
    std::string AsmCaption; // caption and rule of the listing
    std::string Assembler;  // the listing, every line ended by CR LF
    std::string CPU;
    // The dialog's header: the error caption and two CR LF.
    std::string DialogHeader;
    // The exception's type and message as the general information shows them.
    std::string ExceptionClass, ExceptionMessage;

    // The whole report.
    std::string Text() const;
    // Puts a section (CustomDataSection, CustomTextSection: numbered 8)
    // after the general information and after every section inserted before
    // it, one blank line before and after it. An empty text inserts nothing.
    void InsertSection(const std::string& section);
};

TReportText BuildReportText(const TCrashboxModuleOptions& options, const TSystemFacts& facts,
                            const TReportProcessView& process, const TReportInput& input);

} // namespace cv
