#include "crashreport/core/options/crashbox_records.h"

#include <set>

#include <unistd.h>

#include "crashreport/core/support/report_helpers.h"

namespace cv {

uint32_t CurrentThreadID() { return uint32_t(::gettid()); }

// ---------------------------------------------------------------- module entry

TCrashboxModuleInfo::TCrashboxModuleInfo() : FunctionsList(std::make_unique<TCrashboxFunctionsList>()) {}

TCrashboxModuleInfo::~TCrashboxModuleInfo()
{
    // In this order: the functions, the options, the other debug data, the debug stream.
    FunctionsList.reset();
    ExtraInformation.Options.reset();
    OtherDebugData.reset();
    ExtraInformation.DebugInformation.reset();
}

// ---------------------------------------------------------------- call stack

PCrashboxDebugInfo TCrashboxStackList::Add(std::unique_ptr<TCrashboxDebugInfo> item)
{
    m_items.push_back(std::move(item));
    return m_items.back().get();
}

PCrashboxDebugInfo TCrashboxStackList::AddFrom(const TCrashboxDebugInfo& item)
{
    auto entry = std::make_unique<TCrashboxDebugInfo>();
    entry->DebugDetail = item.DebugDetail;
    entry->ModuleInfo = item.ModuleInfo;
    entry->Addr = item.Addr;
    entry->UnitName = item.UnitName;
    entry->ClassName = item.ClassName;
    entry->ProcedureName = item.ProcedureName;
    entry->Line = item.Line;
    return Add(std::move(entry));
}

void TCrashboxStackList::Delete(int index) { m_items.erase(m_items.begin() + index); }

void TCrashboxStackList::Clear()
{
    while (!m_items.empty())
        m_items.pop_back();
}

PCrashboxModuleInfo TCrashboxStackList::SmallModuleRecord(uintptr_t handle, const std::string& fileName)
{
    for (const auto& module : m_smallModules)
        if (module->Handle == handle)
            return module.get();
    auto module = std::make_unique<TCrashboxModuleInfo>();
    module->Handle = handle;
    module->Name = fileName;
    m_smallModules.push_back(std::move(module));
    return m_smallModules.back().get();
}

// ---------------------------------------------------------------- the read/write lock

void TMultiReadExclusiveWriteLock::BeginRead()
{
    const auto me = std::this_thread::get_id();
    std::unique_lock lock(m_mutex);
    // The writer itself, and a thread that reads already, go on at once.
    if (m_writer != me && m_readers.find(me) == m_readers.end())
        m_changed.wait(lock, [this] { return m_writeDepth == 0; });
    ++m_readers[me];
}

void TMultiReadExclusiveWriteLock::EndRead()
{
    const auto me = std::this_thread::get_id();
    std::lock_guard lock(m_mutex);
    const auto it = m_readers.find(me);
    if (it == m_readers.end())
        return;
    if (--it->second == 0)
        m_readers.erase(it);
    m_changed.notify_all();
}

void TMultiReadExclusiveWriteLock::BeginWrite()
{
    const auto me = std::this_thread::get_id();
    std::unique_lock lock(m_mutex);
    if (m_writer == me && m_writeDepth > 0) {
        ++m_writeDepth;
        return;
    }
    m_changed.wait(lock, [this, me] {
        if (m_writeDepth != 0)
            return false;
        for (const auto& [reader, count] : m_readers)
            if (reader != me && count > 0)
                return false;
        return true;
    });
    m_writer = me;
    m_writeDepth = 1;
}

void TMultiReadExclusiveWriteLock::EndWrite()
{
    std::lock_guard lock(m_mutex);
    if (m_writeDepth == 0 || m_writer != std::this_thread::get_id())
        return;
    if (--m_writeDepth == 0) {
        m_writer = std::thread::id();
        m_changed.notify_all();
    }
}

// ---------------------------------------------------------------- threads

namespace {

// Holds the read or the write lock of a list for a scope.
template <void (TCrashboxThreadsList::*Begin)(), void (TCrashboxThreadsList::*End)()>
class TListGuard {
public:
    explicit TListGuard(TCrashboxThreadsList& list) : m_list(list) { (m_list.*Begin)(); }
    ~TListGuard() { (m_list.*End)(); }
    TListGuard(const TListGuard&) = delete;
    TListGuard& operator=(const TListGuard&) = delete;

private:
    TCrashboxThreadsList& m_list;
};
using TReadGuard = TListGuard<&TCrashboxThreadsList::BeginRead, &TCrashboxThreadsList::EndRead>;
using TWriteGuard = TListGuard<&TCrashboxThreadsList::BeginWrite, &TCrashboxThreadsList::EndWrite>;

} // namespace

TCrashboxThreadsList::TCrashboxThreadsList() : FLock(std::make_unique<TMultiReadExclusiveWriteLock>()) {}

TCrashboxThreadsList::TCrashboxThreadsList(TCrashboxThreadsList& source) : FSimpleCopy(true)
{
    TReadGuard guard(source);
    m_items.reserve(source.m_items.size());
    for (const auto& item : source.m_items)
        m_items.push_back(std::make_unique<TCrashboxThreadInfo>(*item));
}

TCrashboxThreadsList::~TCrashboxThreadsList() { Clear(); }

void TCrashboxThreadsList::BeginRead()
{
    if (FLock)
        FLock->BeginRead();
}

void TCrashboxThreadsList::EndRead()
{
    if (FLock)
        FLock->EndRead();
}

void TCrashboxThreadsList::BeginWrite()
{
    if (FLock)
        FLock->BeginWrite();
}

void TCrashboxThreadsList::EndWrite()
{
    if (FLock)
        FLock->EndWrite();
}

std::unique_ptr<TCrashboxThreadInfo> TCrashboxThreadsList::NewDetachedItem() { return std::make_unique<TCrashboxThreadInfo>(); }

PCrashboxThreadInfo TCrashboxThreadsList::NewItem() { return Add(NewDetachedItem()); }

PCrashboxThreadInfo TCrashboxThreadsList::Add(std::unique_ptr<TCrashboxThreadInfo> item)
{
    TWriteGuard guard(*this);
    m_items.push_back(std::move(item));
    return m_items.back().get();
}

int TCrashboxThreadsList::Count()
{
    TReadGuard guard(*this);
    return int(m_items.size());
}

PCrashboxThreadInfo TCrashboxThreadsList::GetItem(int index)
{
    TReadGuard guard(*this);
    return m_items.at(std::size_t(index)).get();
}

template <typename Match>
int TCrashboxThreadsList::FindLast(Match match)
{
    TReadGuard guard(*this);
    for (int i = int(m_items.size()) - 1; i >= 0; --i)
        if (match(*m_items[std::size_t(i)]))
            return i;
    return -1;
}

int TCrashboxThreadsList::FindByThreadID(uint32_t id)
{
    return FindLast([id](const TCrashboxThreadInfo& t) { return t.ID == id; });
}

int TCrashboxThreadsList::FindByThreadHandle(uintptr_t handle)
{
    return FindLast([handle](const TCrashboxThreadInfo& t) { return t.Handle == handle; });
}

int TCrashboxThreadsList::FindByThreadObject(const QThread* thread)
{
    return FindLast([thread](const TCrashboxThreadInfo& t) { return thread && t.Thread.data() == thread; });
}

void TCrashboxThreadsList::Delete(int index)
{
    // Dumps are shared: a snapshot's entry going never frees the live list's dump.
    std::unique_ptr<TCrashboxThreadInfo> detached;
    TWriteGuard guard(*this);
    detached = std::move(m_items.at(std::size_t(index)));
    m_items.erase(m_items.begin() + index);
}

void TCrashboxThreadsList::Clear()
{
    TWriteGuard guard(*this);
    while (!m_items.empty())
        m_items.pop_back();
}

void TCrashboxThreadsList::RemoveCurrentThread()
{
    TWriteGuard guard(*this);
    const int index = FindByThreadID(CurrentThreadID());
    if (index >= 0)
        Delete(index);
}

void TCrashboxThreadsList::PurgeList()
{
    std::set<uint32_t> ended;
    {
        TReadGuard guard(*this);
        for (const auto& item : m_items)
            if (!IsThreadRunning(pid_t(item->ID)))
                ended.insert(item->ID);
    }
    if (ended.empty())
        return;
    TWriteGuard guard(*this);
    for (int i = int(m_items.size()) - 1; i >= 0; --i)
        if (ended.count(m_items[std::size_t(i)]->ID))
            Delete(i);
}

} // namespace cv
