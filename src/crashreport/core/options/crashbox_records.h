#pragma once
// The records the crash-report core passes between its parts and to event
// handlers, and the five lists that hold them while the program runs: the
// call stack of an exception, the loaded modules, the running processes, the
// threads of the process and the functions of a module.
//
// Addresses and handles are 64-bit here. A thread's ID is its kernel thread
// id (gettid), its handle the pthread_t. The system's exception record and
// CPU context are the signal's siginfo_t and ucontext_t.
//
// Locks: the module, process and function lists have a recursive lock (a
// walker that holds Lock may call GetItem); the threads list has a
// multi-reader single-writer lock in which a thread may nest reads and
// writes and take the write lock while it reads.

#include <QDateTime>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <ucontext.h>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/exception_object.h"
#include "suite/cv_stream.h"

namespace cv {

class TCrashboxStackList;
class TCrashboxModulesList;
class TCrashboxFunctionsList;
class TELDebugInfoSource;

// Handed by address to every event handler.
struct TCrashboxExceptionRecord {
    const TExceptionObject* ExceptionObject = nullptr;
    uintptr_t ExceptionAddress = 0;
    uint32_t ExceptionThreadID = 0;
    const siginfo_t* Win32ExceptionRecord = nullptr; // nil when unknown
    const ucontext_t* Win32Context = nullptr;        // nil when unknown
    std::string LogText;                             // the complete report text
    TCrashboxModulesList* ModulesList = nullptr;
    TCrashboxStackList* CallStack = nullptr;
    // In force for this exception; a handler may change them and the rest of
    // the handling uses the changed values.
    TCrashboxModuleOptions* CurrentModuleOptions = nullptr;
};

// What an interception path passes to the handler.
struct TExceptNotifyParams {
    bool Handled = false;
    const ucontext_t* Context = nullptr;
    const siginfo_t* ExceptionRecord = nullptr;
    TCrashboxStackList* CallStack = nullptr;
    uintptr_t TopOfStack = 0;
    uintptr_t StackPoint = 0;
    uint32_t ThreadID = 0;
    std::string ActiveControlClass;
    std::string ActiveControlText;
};

// How much is known about a code address.
enum class TCrashboxDebugDetail : uint8_t { ddNone, ddModule, ddProcedure, ddUnitAndProcedure, ddSourceCode };

enum class TCrashboxModuleType : uint8_t { mtUnknown, mtMainModule, mtBorlandPackage, mtOSLibrary };

struct TCrashboxModuleInfo;
using PCrashboxModuleInfo = TCrashboxModuleInfo*;

// One call-stack entry.
struct TCrashboxDebugInfo {
    TCrashboxDebugDetail DebugDetail = TCrashboxDebugDetail::ddNone;
    PCrashboxModuleInfo ModuleInfo = nullptr;
    uint32_t ThreadID = 0;
    bool RunningThread = false; // the first entry of a thread that was running
    bool ErrorLine = false;     // the line of the exception itself
    bool IsALeak = false;       // belongs to a memory-leak block
    std::string LeakType;       // leak class name (at most 64 bytes)
    uint32_t LeakSize = 0;
    uint32_t LeakCount = 0;
    uintptr_t Addr = 0;
    std::string UnitName, ClassName, ProcedureName; // at most 255 bytes each
    uint32_t Line = 0;           // 0 when unknown
    uint32_t ProcOffsetLine = 0; // lines from the start of the procedure
    std::string CustomMsg;       // at most 255 bytes
    // Not 0: the entry stands for that many frames of a recursion that the
    // call stack leaves out (its procedure name says so; it has no address).
    uint32_t FramesLeftOut = 0;
    // The code at Addr was inlined: the next entry, at the same address,
    // names the function it was inlined into, at the line of the call.
    bool Inlined = false;
};
using PCrashboxDebugInfo = TCrashboxDebugInfo*;

// A debug-information source of another format, owned by its module entry.
// It is declared here only; its maker supplies the deleter, where the class
// is complete.
using TDebugInfoSourceOwner = std::unique_ptr<TELDebugInfoSource, void (*)(TELDebugInfoSource*)>;

struct TCrashboxExtraInformation {
    uint16_t CrashboxVersion = 0; // version of the core that built the module's data
    QDateTime CompilationDate;
    std::unique_ptr<TCrashboxModuleOptions> Options;
    std::unique_ptr<TMemoryStream> DebugInformation; // nil when the module carries none
};

// One loaded module.
struct TCrashboxModuleInfo {
    TCrashboxModuleInfo();
    ~TCrashboxModuleInfo();
    TCrashboxModuleInfo(const TCrashboxModuleInfo&) = delete;
    TCrashboxModuleInfo& operator=(const TCrashboxModuleInfo&) = delete;

    uintptr_t Handle = 0; // the module's load address
    std::string Name, Description, Version;
    uint64_t Size = 0; // image size
    std::unique_ptr<TCrashboxFunctionsList> FunctionsList;
    TCrashboxModuleType ModuleType = TCrashboxModuleType::mtUnknown;
    TCrashboxExtraInformation ExtraInformation;
    TDebugInfoSourceOwner OtherDebugData{nullptr, nullptr};
    QDateTime LastModified;
    std::string EncryptPassword;
    bool IsValidEncryptPassword = false;
};

// The value of Priority while it is not known.
constexpr int32_t kUnknownThreadPriority = INT32_MIN; // 0x80000000

// One thread.
struct TCrashboxThreadInfo {
    uint32_t ID = 0;        // kernel thread id
    uintptr_t Handle = 0;   // pthread_t
    uint32_t CallerID = 0;  // the thread that started it
    int32_t Priority = kUnknownThreadPriority;
    QPointer<QThread> Thread; // the thread object, when the thread has one; null once it is gone
    uintptr_t TopOfStack = 0;
    uintptr_t ExecuteMethod = 0;
    uintptr_t BeginThreadFunction = 0;
    uintptr_t CreateThreadFunction = 0;
    uintptr_t Parameter = 0;
    // A copy of the creator's stack; shared with the snapshots made of the
    // list, so deleting an entry of a snapshot never frees it.
    uint32_t CallerStackSize = 0;
    std::shared_ptr<const std::vector<uint8_t>> CallerStackDump;
    // The creator's registers where the copy begins, and where its first
    // byte lay in the creator's stack: the copy's frames are then proven
    // by unwinding from them, not guessed by scanning. Null: the copy is
    // scanned alone.
    std::shared_ptr<const ucontext_t> CallerContext;
    uintptr_t CallerStackFrom = 0;
    bool IsACopy = false; // came from another module
};
using PCrashboxThreadInfo = TCrashboxThreadInfo*;

// One running process.
struct TCrashboxProcessInfo {
    uint32_t ProcessID = 0;
    std::string Name, Description, Version;
    int32_t Priority = 0;
    uint64_t Memory = 0;
    uint32_t Threads = 0;
    // Name is the name the system keeps for the process (it has no program
    // file this user may see), not a path: a "/" in it splits nothing.
    bool ShortName = false;
};

// One function of a module.
struct TCrashboxFunctionInfo {
    std::string Name;
    uintptr_t Addr = 0;
    uint64_t Size = 0;
};

// The call stack of one exception; no lock.
class TCrashboxStackList {
public:
    int Count() const { return int(m_items.size()); }
    PCrashboxDebugInfo GetItem(int index) const { return m_items.at(std::size_t(index)).get(); }
    PCrashboxDebugInfo Add(std::unique_ptr<TCrashboxDebugInfo> item);
    // A new entry with the detail, module, address, unit, class, procedure
    // and line of item; its other fields zero.
    PCrashboxDebugInfo AddFrom(const TCrashboxDebugInfo& item);
    void Delete(int index);
    void Clear();
    // The small module record (handle and file name) that entries made
    // without debug data point at; one per module, owned by the list.
    PCrashboxModuleInfo SmallModuleRecord(uintptr_t handle, const std::string& fileName);

private:
    std::vector<std::unique_ptr<TCrashboxDebugInfo>> m_items;
    std::vector<std::unique_ptr<TCrashboxModuleInfo>> m_smallModules;
};

// A list of owned records behind a recursive lock. GetItem takes the lock
// for the read; Delete takes it only to detach the entry and frees the entry
// outside it. Callers that walk the list hold Lock/Unlock around the walk.
template <typename T>
class TCrashboxLockedList {
public:
    TCrashboxLockedList() = default;
    virtual ~TCrashboxLockedList() { Clear(); }
    TCrashboxLockedList(const TCrashboxLockedList&) = delete;
    TCrashboxLockedList& operator=(const TCrashboxLockedList&) = delete;

    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }

    int Count() const
    {
        std::lock_guard guard(m_lock);
        return int(m_items.size());
    }
    T* GetItem(int index) const
    {
        std::lock_guard guard(m_lock);
        return m_items.at(std::size_t(index)).get();
    }
    T* Add(std::unique_ptr<T> item)
    {
        std::lock_guard guard(m_lock);
        m_items.push_back(std::move(item));
        return m_items.back().get();
    }
    void Delete(int index)
    {
        std::unique_ptr<T> detached;
        {
            std::lock_guard guard(m_lock);
            detached = std::move(m_items.at(std::size_t(index)));
            m_items.erase(m_items.begin() + index);
        }
    }
    virtual void Clear()
    {
        // Detached whole under the lock, freed outside it, the last first.
        std::vector<std::unique_ptr<T>> detached;
        {
            std::lock_guard guard(m_lock);
            detached.swap(m_items);
        }
        while (!detached.empty())
            detached.pop_back();
    }
    // Orders the entries (a stable sort) under the lock.
    template <typename Less>
    void Sort(Less less)
    {
        std::lock_guard guard(m_lock);
        std::stable_sort(m_items.begin(), m_items.end(), [&](const auto& a, const auto& b) { return less(*a, *b); });
    }

private:
    mutable std::recursive_mutex m_lock;
    std::vector<std::unique_ptr<T>> m_items;
};

// Deleting a module entry frees its functions, options, other debug data and debug stream.
class TCrashboxModulesList : public TCrashboxLockedList<TCrashboxModuleInfo> {
public:
    // Set while the list is being refreshed (changed only under its lock):
    // modules added meanwhile are recorded cheaply and built in full on
    // their first lookup.
    bool Refreshing = false;
};
class TCrashboxProcessesList : public TCrashboxLockedList<TCrashboxProcessInfo> {};
class TCrashboxFunctionsList : public TCrashboxLockedList<TCrashboxFunctionInfo> {};

// A multi-reader single-writer lock in which one thread may nest reads and
// writes in any order (a reader may become the writer once other readers
// have left).
class TMultiReadExclusiveWriteLock {
public:
    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread::id m_writer;
    int m_writeDepth = 0;
    std::map<std::thread::id, int> m_readers;
};

// The threads of the process.
class TCrashboxThreadsList {
public:
    // An empty list with its own lock.
    TCrashboxThreadsList();
    // A snapshot of source: every entry copied under its read lock. The
    // snapshot has no lock (its Begin/End calls do nothing) and shares the
    // caller-stack dumps with the source.
    explicit TCrashboxThreadsList(TCrashboxThreadsList& source);
    ~TCrashboxThreadsList();
    TCrashboxThreadsList(const TCrashboxThreadsList&) = delete;
    TCrashboxThreadsList& operator=(const TCrashboxThreadsList&) = delete;

    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();
    bool IsSnapshot() const { return FSimpleCopy; }

    // A zeroed entry (priority unknown), appended under the write lock.
    PCrashboxThreadInfo NewItem();
    // A zeroed entry that is not in any list yet (a thread being made).
    static std::unique_ptr<TCrashboxThreadInfo> NewDetachedItem();
    // Appends an entry under the write lock.
    PCrashboxThreadInfo Add(std::unique_ptr<TCrashboxThreadInfo> item);

    int Count();
    // Entry index under the read lock.
    PCrashboxThreadInfo GetItem(int index);
    // Under the read lock, from the last entry to the first: the index, or -1.
    int FindByThreadID(uint32_t id);
    int FindByThreadHandle(uintptr_t handle);
    int FindByThreadObject(const QThread* thread);
    void Delete(int index);
    void Clear();
    // Deletes the entry of the calling thread, if there is one.
    void RemoveCurrentThread();
    // Deletes every entry whose thread has ended; running threads stay.
    void PurgeList();

private:
    template <typename Match>
    int FindLast(Match match);

    std::unique_ptr<TMultiReadExclusiveWriteLock> FLock; // none in a snapshot
    bool FSimpleCopy = false;
    std::vector<std::unique_ptr<TCrashboxThreadInfo>> m_items;
};

// The kernel thread id of the calling thread.
uint32_t CurrentThreadID();

} // namespace cv
