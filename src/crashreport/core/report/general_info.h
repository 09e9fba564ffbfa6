#pragma once
// The general information that opens every report: 47 items in seven
// numbered sections (Application, Exception, User, Active Controls,
// Computer, Operating System, Network), each with its label text and the
// show option that hides it. Item numbers are fixed by the items' order,
// shown or not: the log relies on "1.3" (version), "2.7" (error ID) and
// "2.8" (count).
//
// Values come from the system through TSystemFacts and from the exception
// handler through TGeneralInfoInput; an item with no counterpart on this
// system reads "N/A". docs/report-log.md lists where each value comes from.

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include <ucontext.h>

#include "crashreport/core/capture/system_facts.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/date_time.h"
#include "crashreport/core/support/exception_object.h"

namespace cv {

// The first line of every report.
inline constexpr const char* kReportVersionLine = "Crashbox 6.1.03";

// What the exception handler knows of the exception.
struct TGeneralInfoInput {
    TDateTime ExceptionTime = 0;
    uintptr_t ExceptionAddress = 0;
    const TExceptionObject* ExceptionObject = nullptr;
    // The signal's record and context, when the exception is a signal (may be null).
    const siginfo_t* ExceptionRecord = nullptr;
    const ucontext_t* Context = nullptr;
    std::string ErrorID;
    // The focused control, as the handler recorded it.
    std::string ActiveControlClass, ActiveControlText;
    // What the user entered in the exception dialog (empty until then).
    std::string UserEmail;
    // The running module's compilation time (UTC); 0 when unknown.
    TDateTime CompilationDate = 0;
    bool WebApplication = false;
};

struct TGeneralInformation {
    // The report's general piece: the version line, a blank line and the sections.
    std::string Text;
    // The values of the exception's type and message, which the handler
    // remembers as the last exception's.
    std::string ExceptionClass, ExceptionMessage;
};

// The general information as the options show it (labels and captions are
// the options' texts, variables expanded).
TGeneralInformation BuildGeneralInformation(const TCrashboxModuleOptions& options, const TSystemFacts& facts,
                                            const TGeneralInfoInput& input);

// The sections the handler adds after the general information, numbered 8
// and on from there; each text ends with CR LF. Custom data: one item per
// "name=value" line (name and value trimmed); none for no lines.
std::string CustomDataSection(const std::string& header, const std::vector<std::string>& lines);
// One item with an empty label holding the text.
std::string CustomTextSection(const std::string& header, const std::string& text);

// Every control character but CR and LF as one blank.
std::string CleanControlChars(std::string_view text);

// Helpers of the value texts, shared with the tests.
namespace generalinfo {
// "192.168.1.5" -> "192.168.001.005"; empty -> "000.000.000.000".
std::string FixedAddress(std::string_view address);
// Bytes in gigabytes with at most two decimals ("0.##"), "." as the separator.
std::string GigabytesText(uint64_t bytes);
// The six network values (IP, mask, gateway, DNS 1, DNS 2, DHCP), adapters joined by " - ".
std::vector<std::string> NetworkValues(const std::vector<TNetworkAdapterFacts>& adapters);
// The process's parameters: the command line without the program's name.
std::string ParametersText(const std::string& commandLine, const std::string& program);
} // namespace generalinfo

} // namespace cv
