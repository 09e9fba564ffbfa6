#include "crashreport/core/handler/crashbox_events.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

namespace {

std::atomic<TExceptionNotifyProc> gExceptionNotify{nullptr};
std::atomic<TExceptionNotifyProc> gHandledExceptionNotify{nullptr};
std::atomic<TExceptionActionNotifyProc> gExceptionActionNotify{nullptr};
std::atomic<TExceptionErrorNotifyProc> gExceptionErrorNotify{nullptr};
std::atomic<TPasswordRequestProc> gPasswordRequest{nullptr};
std::atomic<TStringListRequestProc> gCustomDataRequest{nullptr};
std::atomic<TStringListRequestProc> gAttachedFilesRequest{nullptr};
std::atomic<TStringListRequestProc> gCustomWebFieldsRequest{nullptr};
std::atomic<TCustomButtonClickProc> gCustomButtonClickNotify{nullptr};

// The notifier list, in the order of registration.
std::mutex& NotifierLock()
{
    static std::mutex lock;
    return lock;
}
std::vector<TCrashboxNotifier*>& Notifiers()
{
    static std::vector<TCrashboxNotifier*> list;
    return list;
}

// The notifiers from the last registered to the first. Receivers run without
// the lock, so one may register or go while the event is raised.
std::vector<TCrashboxNotifier*> NotifiersLastFirst()
{
    std::lock_guard guard(NotifierLock());
    return {Notifiers().rbegin(), Notifiers().rend()};
}

bool StillRegistered(TCrashboxNotifier* notifier)
{
    std::lock_guard guard(NotifierLock());
    return std::find(Notifiers().begin(), Notifiers().end(), notifier) != Notifiers().end();
}

// The local receivers of one event: the notifiers' slot, then the cell.
template <typename Slot, typename Cell, typename... Args>
void RaiseLocal(Slot TCrashboxNotifier::*slot, const std::atomic<Cell>& cell, TCrashboxExceptionRecord& record, Args&&... args)
{
    // A receiver that fails ends only its own call.
    auto guarded = [](const std::function<void()>& call) {
        int signal = 0;
        if (!CallGuarded(call, &signal))
            RecordHandlerFault(signal);
    };
    for (TCrashboxNotifier* notifier : NotifiersLastFirst())
        if (StillRegistered(notifier) && notifier->*slot)
            guarded([&] { (notifier->*slot)(record, args...); });
    if (const Cell procedure = cell.load())
        guarded([&] { procedure(record, args...); });
}

// --- the other module ---

uintptr_t DefaultEventModule(const TCrashboxExceptionRecord& record)
{
    if (record.ExceptionAddress == 0)
        return 0;
    const uintptr_t module = ModuleHandleOfAddress(reinterpret_cast<const void*>(record.ExceptionAddress));
    return module != CrashboxLibraryModuleHandle() ? module : 0;
}

std::atomic<TEventModuleFinder> gModuleFinder{&DefaultEventModule};

// The other module's export of that name, when the module carries the core
// (it exports the events); null otherwise.
void* OtherModuleExport(const TCrashboxExceptionRecord& record, const char* name)
{
    const uintptr_t module = gModuleFinder.load()(record);
    if (module == 0)
        return nullptr;
    const std::string file = ModuleFileNameOfHandle(module);
    if (file.empty())
        return nullptr;
    void* handle = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        return nullptr;
    void* symbol = ::dlsym(handle, name);
    ::dlclose(handle);
    // A module without the core of its own finds our export through its
    // dependencies: that is no other module's receiver.
    Dl_info info{};
    if (symbol && (::dladdr(symbol, &info) == 0 || reinterpret_cast<uintptr_t>(info.dli_fbase) != module))
        return nullptr;
    return symbol;
}

template <typename Proc>
Proc OtherModuleEvent(const TCrashboxExceptionRecord& record, const char* name)
{
    return reinterpret_cast<Proc>(OtherModuleExport(record, name));
}

// The caller's record as this module sees it, in place of this module's
// last exception record for the time of one export call.
class TForeignRecordScope {
public:
    explicit TForeignRecordScope(TCrashboxExceptionRecord* callers) : fSaved(LastExceptionRecord())
    {
        TCrashboxExceptionRecord& local = LastExceptionRecord();
        if (callers) {
            local = *callers;
            local.ModulesList = HandlerModulesList();
            local.CurrentModuleOptions = OptionsOfModule(callers->CurrentModuleOptions ? callers->CurrentModuleOptions->ModuleHandle() : 0);
        }
    }
    ~TForeignRecordScope() { LastExceptionRecord() = std::move(fSaved); }
    TForeignRecordScope(const TForeignRecordScope&) = delete;
    TForeignRecordScope& operator=(const TForeignRecordScope&) = delete;
    TCrashboxExceptionRecord& Record() { return LastExceptionRecord(); }

private:
    TCrashboxExceptionRecord fSaved;
};

// A password as the exports pass it: a zero-terminated text in a buffer of maxLength + 1 bytes.
void CopyPasswordBack(const std::string& password, char* buffer, int32_t maxLength)
{
    if (!buffer || maxLength < 0)
        return;
    const std::size_t n = std::min<std::size_t>(password.size(), std::size_t(maxLength));
    std::memcpy(buffer, password.data(), n);
    buffer[n] = '\0';
}

void CutPassword(std::string& password)
{
    if (password.size() > kMaxEventPasswordLength)
        password.resize(kMaxEventPasswordLength);
}

} // namespace

// --- cells ---

void SetExceptionNotify(TExceptionNotifyProc procedure) { gExceptionNotify.store(procedure); }
TExceptionNotifyProc ExceptionNotify() { return gExceptionNotify.load(); }
void SetHandledExceptionNotify(TExceptionNotifyProc procedure) { gHandledExceptionNotify.store(procedure); }
TExceptionNotifyProc HandledExceptionNotify() { return gHandledExceptionNotify.load(); }
void SetExceptionActionNotify(TExceptionActionNotifyProc procedure) { gExceptionActionNotify.store(procedure); }
TExceptionActionNotifyProc ExceptionActionNotify() { return gExceptionActionNotify.load(); }
void SetExceptionErrorNotify(TExceptionErrorNotifyProc procedure) { gExceptionErrorNotify.store(procedure); }
TExceptionErrorNotifyProc ExceptionErrorNotify() { return gExceptionErrorNotify.load(); }
void SetPasswordRequest(TPasswordRequestProc procedure) { gPasswordRequest.store(procedure); }
TPasswordRequestProc PasswordRequest() { return gPasswordRequest.load(); }
void SetCustomDataRequest(TStringListRequestProc procedure) { gCustomDataRequest.store(procedure); }
TStringListRequestProc CustomDataRequest() { return gCustomDataRequest.load(); }
void SetAttachedFilesRequest(TStringListRequestProc procedure) { gAttachedFilesRequest.store(procedure); }
TStringListRequestProc AttachedFilesRequest() { return gAttachedFilesRequest.load(); }
void SetCustomWebFieldsRequest(TStringListRequestProc procedure) { gCustomWebFieldsRequest.store(procedure); }
TStringListRequestProc CustomWebFieldsRequest() { return gCustomWebFieldsRequest.load(); }
void SetCustomButtonClickNotify(TCustomButtonClickProc procedure) { gCustomButtonClickNotify.store(procedure); }
TCustomButtonClickProc CustomButtonClickNotify() { return gCustomButtonClickNotify.load(); }

void ClearEventCells()
{
    SetExceptionNotify(nullptr);
    SetHandledExceptionNotify(nullptr);
    SetExceptionActionNotify(nullptr);
    SetExceptionErrorNotify(nullptr);
    SetPasswordRequest(nullptr);
    SetCustomDataRequest(nullptr);
    SetAttachedFilesRequest(nullptr);
    SetCustomWebFieldsRequest(nullptr);
    SetCustomButtonClickNotify(nullptr);
}

// --- notifiers ---

TCrashboxNotifier::TCrashboxNotifier()
{
    std::lock_guard guard(NotifierLock());
    Notifiers().push_back(this);
}

TCrashboxNotifier::~TCrashboxNotifier()
{
    std::lock_guard guard(NotifierLock());
    std::erase(Notifiers(), this);
}

int NotifierCount()
{
    std::lock_guard guard(NotifierLock());
    return int(Notifiers().size());
}

void SetEventModuleFinder(TEventModuleFinder finder) { gModuleFinder.store(finder ? finder : &DefaultEventModule); }

// --- raising ---

void RaiseExceptionNotify(TCrashboxExceptionRecord& record, bool& handled)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_ExceptionNotifyEvent)>(record, "Crashbox_ExceptionNotifyEvent"))
        other(&record, &handled);
    RaiseLocal(&TCrashboxNotifier::OnExceptionNotify, gExceptionNotify, record, handled);
}

void RaiseHandledExceptionNotify(TCrashboxExceptionRecord& record, bool& handled)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_HandledExceptionNotifyEvent)>(record, "Crashbox_HandledExceptionNotifyEvent"))
        other(&record, &handled);
    RaiseLocal(&TCrashboxNotifier::OnHandledExceptionNotify, gHandledExceptionNotify, record, handled);
}

void RaiseExceptionActionNotify(TCrashboxExceptionRecord& record, uint8_t action, bool& execute)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_ExceptionActionNotifyEvent)>(record, "Crashbox_ExceptionActionNotifyEvent"))
        other(&record, action, &execute);
    RaiseLocal(&TCrashboxNotifier::OnExceptionActionNotify, gExceptionActionNotify, record, action, execute);
}

void RaiseExceptionErrorNotify(TCrashboxExceptionRecord& record, uint8_t action, bool& retry)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_ExceptionErrorNotifyEvent)>(record, "Crashbox_ExceptionErrorNotifyEvent"))
        other(&record, action, &retry);
    RaiseLocal(&TCrashboxNotifier::OnExceptionErrorNotify, gExceptionErrorNotify, record, action, retry);
}

void RaisePasswordRequest(TCrashboxExceptionRecord& record, std::string& password)
{
    CutPassword(password);
    char buffer[kMaxEventPasswordLength + 1];
    if (auto other = OtherModuleEvent<decltype(&Crashbox_PasswordRequestEventEx)>(record, "Crashbox_PasswordRequestEventEx")) {
        CopyPasswordBack(password, buffer, int32_t(kMaxEventPasswordLength));
        other(&record, buffer, int32_t(kMaxEventPasswordLength));
        password = buffer;
    } else if (auto older = OtherModuleEvent<decltype(&Crashbox_PasswordRequestEvent)>(record, "Crashbox_PasswordRequestEvent")) {
        CopyPasswordBack(password, buffer, int32_t(kMaxEventPasswordLength));
        older(buffer, int32_t(kMaxEventPasswordLength));
        password = buffer;
    }
    RaiseLocal(&TCrashboxNotifier::OnPasswordRequest, gPasswordRequest, record, password);
    CutPassword(password);
}

void RaiseCustomDataRequest(TCrashboxExceptionRecord& record, std::vector<std::string>& dataFields)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_CustomDataRequestEventEx)>(record, "Crashbox_CustomDataRequestEventEx"))
        other(&record, &dataFields);
    RaiseLocal(&TCrashboxNotifier::OnCustomDataRequest, gCustomDataRequest, record, dataFields);
}

void RaiseAttachedFilesRequest(TCrashboxExceptionRecord& record, std::vector<std::string>& attachedFiles)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_AttachedFilesRequestEvent)>(record, "Crashbox_AttachedFilesRequestEvent"))
        other(&record, &attachedFiles);
    RaiseLocal(&TCrashboxNotifier::OnAttachedFilesRequest, gAttachedFilesRequest, record, attachedFiles);
}

void RaiseCustomWebFieldsRequest(TCrashboxExceptionRecord& record, std::vector<std::string>& webFields)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_CustomWebFieldsRequestEvent)>(record, "Crashbox_CustomWebFieldsRequestEvent"))
        other(&record, &webFields);
    RaiseLocal(&TCrashboxNotifier::OnCustomWebFieldsRequest, gCustomWebFieldsRequest, record, webFields);
}

void RaiseCustomButtonClickNotify(TCrashboxExceptionRecord& record, bool& closeDialog)
{
    if (auto other = OtherModuleEvent<decltype(&Crashbox_CustomButtonClickEvent)>(record, "Crashbox_CustomButtonClickEvent"))
        other(&record, &closeDialog);
    RaiseLocal(&TCrashboxNotifier::OnCustomButtonClickNotify, gCustomButtonClickNotify, record, closeDialog);
}

} // namespace cv

// --- exports ---

using namespace cv;

namespace {

// One export call: the caller's record in place, the in-and-out parameter
// copied in, the local receivers, the result copied back.
template <typename Value, typename Slot, typename Cell, typename... Extra>
void ExportedEvent(TCrashboxExceptionRecord* record, Value* value, Slot TCrashboxNotifier::*slot, const std::atomic<Cell>& cell,
                   Extra... extra)
{
    if (!value)
        return;
    TForeignRecordScope scope(record);
    Value local = *value;
    RaiseLocal(slot, cell, scope.Record(), extra..., local);
    *value = std::move(local);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void Crashbox_ExceptionNotifyEvent(TCrashboxExceptionRecord* record, bool* handled)
{
    ExportedEvent(record, handled, &TCrashboxNotifier::OnExceptionNotify, gExceptionNotify);
}

__attribute__((visibility("default"))) void Crashbox_HandledExceptionNotifyEvent(TCrashboxExceptionRecord* record, bool* handled)
{
    ExportedEvent(record, handled, &TCrashboxNotifier::OnHandledExceptionNotify, gHandledExceptionNotify);
}

__attribute__((visibility("default"))) void Crashbox_ExceptionActionNotifyEvent(TCrashboxExceptionRecord* record, uint8_t action,
                                                                                bool* execute)
{
    ExportedEvent(record, execute, &TCrashboxNotifier::OnExceptionActionNotify, gExceptionActionNotify, action);
}

__attribute__((visibility("default"))) void Crashbox_ExceptionErrorNotifyEvent(TCrashboxExceptionRecord* record, uint8_t action,
                                                                               bool* retry)
{
    ExportedEvent(record, retry, &TCrashboxNotifier::OnExceptionErrorNotify, gExceptionErrorNotify, action);
}

__attribute__((visibility("default"))) void Crashbox_PasswordRequestEventEx(TCrashboxExceptionRecord* record, char* password,
                                                                            int32_t maxLength)
{
    if (!password)
        return;
    std::string local = password;
    ExportedEvent(record, &local, &TCrashboxNotifier::OnPasswordRequest, gPasswordRequest);
    CopyPasswordBack(local, password, std::min<int32_t>(maxLength, int32_t(kMaxEventPasswordLength)));
}

__attribute__((visibility("default"))) void Crashbox_PasswordRequestEvent(char* password, int32_t maxLength)
{
    Crashbox_PasswordRequestEventEx(nullptr, password, maxLength);
}

__attribute__((visibility("default"))) void Crashbox_CustomDataRequestEventEx(TCrashboxExceptionRecord* record,
                                                                              std::vector<std::string>* dataFields)
{
    ExportedEvent(record, dataFields, &TCrashboxNotifier::OnCustomDataRequest, gCustomDataRequest);
}

__attribute__((visibility("default"))) void Crashbox_AttachedFilesRequestEvent(TCrashboxExceptionRecord* record,
                                                                               std::vector<std::string>* attachedFiles)
{
    ExportedEvent(record, attachedFiles, &TCrashboxNotifier::OnAttachedFilesRequest, gAttachedFilesRequest);
}

__attribute__((visibility("default"))) void Crashbox_CustomWebFieldsRequestEvent(TCrashboxExceptionRecord* record,
                                                                                 std::vector<std::string>* webFields)
{
    ExportedEvent(record, webFields, &TCrashboxNotifier::OnCustomWebFieldsRequest, gCustomWebFieldsRequest);
}

__attribute__((visibility("default"))) void Crashbox_CustomButtonClickEvent(TCrashboxExceptionRecord* record, bool* closeDialog)
{
    ExportedEvent(record, closeDialog, &TCrashboxNotifier::OnCustomButtonClickNotify, gCustomButtonClickNotify);
}

} // extern "C"
