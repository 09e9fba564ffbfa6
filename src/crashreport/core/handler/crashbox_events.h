#pragma once
// The crash-report events: how the program (and any other module of the
// process that carries the core) takes part in the handling of an exception.
//
// Nine events, each with three kinds of receiver, called in this order:
// 1. the module in which the exception arose, when that is another module
//    carrying the core: its exported "Crashbox_...Event" function (found by
//    name with dlsym; the exports of this module are at the end of this
//    file);
// 2. the notifier objects of this module, the last registered first;
// 3. the event's procedure cell (one plain procedure per event, process-wide,
//    none at first; the tool's own are in exception_handling_unit.h).
// The in-and-out parameter (a flag, the password, a string list) is shared:
// every receiver sees what the one before it left.
//
// The handlers run on the thread that raised the exception, one exception
// at a time; they get the exception's record by reference and may change its
// CurrentModuleOptions for the rest of the handling.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crashreport/core/options/crashbox_records.h"

namespace cv {

// What the core is about to do, or has done, for an exception: the action
// codes of the action and error events.
enum TCrashboxAction : uint8_t {
    caShowing = 0,       // before showing the exception
    caShown = 1,         // after showing it
    caSavingLog = 2,     // before saving the log file
    caSavedLog = 3,      // after saving it (to the error event: the save failed)
    caSendingEmail = 4,  // before sending by e-mail
    caSentEmail = 5,     // after sending by e-mail (to the error event: the send failed)
    caSendingWeb = 6,    // before sending by web
    caSentWeb = 7,       // after sending by web (to the error event: the send failed)
    caTerminating = 8    // the user asked to terminate or restart the program
};

// The longest password a receiver may give.
inline constexpr std::size_t kMaxEventPasswordLength = 255;

// Handled: clear it to leave the exception to the runtime (both the
// exception-notify and the handled-exception-notify events).
using TExceptionNotifyProc = void (*)(TCrashboxExceptionRecord& record, bool& handled);
// Execute: clear it to skip the action.
using TExceptionActionNotifyProc = void (*)(TCrashboxExceptionRecord& record, uint8_t action, bool& execute);
// Retry: set it to try the failed action again.
using TExceptionErrorNotifyProc = void (*)(TCrashboxExceptionRecord& record, uint8_t action, bool& retry);
// Password: the password of the module's enciphered debug data.
using TPasswordRequestProc = void (*)(TCrashboxExceptionRecord& record, std::string& password);
// A string list: custom data and web fields as "name=value" lines, attached
// files as file names; receivers add lines.
using TStringListRequestProc = void (*)(TCrashboxExceptionRecord& record, std::vector<std::string>& lines);
// CloseDialog: set it to close the dialog whose custom button was clicked.
using TCustomButtonClickProc = void (*)(TCrashboxExceptionRecord& record, bool& closeDialog);

// --- The procedure cells ---

void SetExceptionNotify(TExceptionNotifyProc procedure);
TExceptionNotifyProc ExceptionNotify();
void SetHandledExceptionNotify(TExceptionNotifyProc procedure);
TExceptionNotifyProc HandledExceptionNotify();
void SetExceptionActionNotify(TExceptionActionNotifyProc procedure);
TExceptionActionNotifyProc ExceptionActionNotify();
void SetExceptionErrorNotify(TExceptionErrorNotifyProc procedure);
TExceptionErrorNotifyProc ExceptionErrorNotify();
void SetPasswordRequest(TPasswordRequestProc procedure);
TPasswordRequestProc PasswordRequest();
void SetCustomDataRequest(TStringListRequestProc procedure);
TStringListRequestProc CustomDataRequest();
void SetAttachedFilesRequest(TStringListRequestProc procedure);
TStringListRequestProc AttachedFilesRequest();
void SetCustomWebFieldsRequest(TStringListRequestProc procedure);
TStringListRequestProc CustomWebFieldsRequest();
void SetCustomButtonClickNotify(TCustomButtonClickProc procedure);
TCustomButtonClickProc CustomButtonClickNotify();
// Every cell empty again (start-up clears the program's cells).
void ClearEventCells();

// --- Notifier objects ---

// A receiver object: it is in the notifier list from its construction to its
// destruction. An empty slot means no handler for that event.
class TCrashboxNotifier {
public:
    TCrashboxNotifier();
    ~TCrashboxNotifier();
    TCrashboxNotifier(const TCrashboxNotifier&) = delete;
    TCrashboxNotifier& operator=(const TCrashboxNotifier&) = delete;

    std::function<void(TCrashboxExceptionRecord&, bool& handled)> OnExceptionNotify;
    std::function<void(TCrashboxExceptionRecord&, bool& handled)> OnHandledExceptionNotify;
    std::function<void(TCrashboxExceptionRecord&, uint8_t action, bool& execute)> OnExceptionActionNotify;
    std::function<void(TCrashboxExceptionRecord&, uint8_t action, bool& retry)> OnExceptionErrorNotify;
    std::function<void(TCrashboxExceptionRecord&, std::string& password)> OnPasswordRequest;
    std::function<void(TCrashboxExceptionRecord&, std::vector<std::string>& dataFields)> OnCustomDataRequest;
    std::function<void(TCrashboxExceptionRecord&, std::vector<std::string>& attachedFiles)> OnAttachedFilesRequest;
    std::function<void(TCrashboxExceptionRecord&, std::vector<std::string>& webFields)> OnCustomWebFieldsRequest;
    std::function<void(TCrashboxExceptionRecord&, bool& closeDialog)> OnCustomButtonClickNotify;
};
// The number of registered notifiers.
int NotifierCount();

// --- Raising the events (all three kinds of receiver, in order) ---

void RaiseExceptionNotify(TCrashboxExceptionRecord& record, bool& handled);
void RaiseHandledExceptionNotify(TCrashboxExceptionRecord& record, bool& handled);
void RaiseExceptionActionNotify(TCrashboxExceptionRecord& record, uint8_t action, bool& execute);
void RaiseExceptionErrorNotify(TCrashboxExceptionRecord& record, uint8_t action, bool& retry);
// A password longer than kMaxEventPasswordLength is cut.
void RaisePasswordRequest(TCrashboxExceptionRecord& record, std::string& password);
void RaiseCustomDataRequest(TCrashboxExceptionRecord& record, std::vector<std::string>& dataFields);
void RaiseAttachedFilesRequest(TCrashboxExceptionRecord& record, std::vector<std::string>& attachedFiles);
void RaiseCustomWebFieldsRequest(TCrashboxExceptionRecord& record, std::vector<std::string>& webFields);
void RaiseCustomButtonClickNotify(TCrashboxExceptionRecord& record, bool& closeDialog);

// The module whose receivers are reached first: the other module that the
// exception arose in (the handle of the module holding the record's
// exception address), when it carries the core; 0 when there is none. A
// test may put another answer in place (null restores the default).
using TEventModuleFinder = uintptr_t (*)(const TCrashboxExceptionRecord& record);
void SetEventModuleFinder(TEventModuleFinder finder);

} // namespace cv

// --- The exports: the other modules' way in ---
//
// Each takes the exception record of the calling module and the event's
// parameters; it puts the record in place of this module's last exception
// record for the call, raises the event to this module's notifiers and cell,
// and gives the in-and-out parameter back. C linkage and default visibility,
// so that dlsym finds them (the program exports them: see the core's
// CMakeLists.txt).
extern "C" {
void Crashbox_ExceptionNotifyEvent(cv::TCrashboxExceptionRecord* record, bool* handled);
void Crashbox_HandledExceptionNotifyEvent(cv::TCrashboxExceptionRecord* record, bool* handled);
void Crashbox_ExceptionActionNotifyEvent(cv::TCrashboxExceptionRecord* record, uint8_t action, bool* execute);
void Crashbox_ExceptionErrorNotifyEvent(cv::TCrashboxExceptionRecord* record, uint8_t action, bool* retry);
// password: a buffer of maxLength + 1 bytes holding a zero-terminated text.
void Crashbox_PasswordRequestEventEx(cv::TCrashboxExceptionRecord* record, char* password, int32_t maxLength);
// The older form: the password alone, at most 255 bytes.
void Crashbox_PasswordRequestEvent(char* password, int32_t maxLength);
void Crashbox_CustomDataRequestEventEx(cv::TCrashboxExceptionRecord* record, std::vector<std::string>* dataFields);
void Crashbox_AttachedFilesRequestEvent(cv::TCrashboxExceptionRecord* record, std::vector<std::string>* attachedFiles);
void Crashbox_CustomWebFieldsRequestEvent(cv::TCrashboxExceptionRecord* record, std::vector<std::string>* webFields);
void Crashbox_CustomButtonClickEvent(cv::TCrashboxExceptionRecord* record, bool* closeDialog);
}
