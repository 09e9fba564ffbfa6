#include "crashreport/core/support/exception_object.h"

#include <cxxabi.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "crashreport/core/support/text_routines.h"

namespace cv {

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (auto& c : out)
        c = char(std::tolower(uint8_t(c)));
    return out;
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The kind registry: lower-cased name -> parent as registered.
class TKindRegistry {
public:
    TKindRegistry()
    {
        static constexpr const char* kInitial[][2] = {
            {"Exception", ""},
            {"std::exception", "Exception"},
            {"EAbort", "Exception"},
            {"EExternal", "Exception"},
            {"EAccessViolation", "EExternal"},
            {"EBusError", "EExternal"},
            {"EStackOverflow", "EExternal"},
            {"EPrivilege", "EExternal"},
            {"EIllegalInstruction", "EExternal"},
            {"EIntError", "EExternal"},
            {"EDivByZero", "EIntError"},
            {"EIntOverflow", "EIntError"},
            {"EMathError", "EExternal"},
            {"EZeroDivide", "EMathError"},
            {"EOverflow", "EMathError"},
            {"EUnderflow", "EMathError"},
            {"EInvalidOp", "EMathError"},
            {"EAbortSignal", "EExternal"},
            {"EBreakpoint", "EExternal"},
            {"EExternalException", "EExternal"},
            {"EMemoryLeak", "Exception"},
            {"EMemoryOverrun", "Exception"},
            {"EMultiFree", "Exception"},
            {"EFrozenApplication", "Exception"},
            {"ECrashboxSocketError", "Exception"},
            {"TActiveXException", "Exception"},
        };
        for (const auto& [kind, parent] : kInitial)
            m_parents[Lower(kind)] = parent;
    }

    void Register(const std::string& kind, const std::string& parent)
    {
        std::lock_guard guard(m_lock);
        m_parents[Lower(TrimBlanks(kind))] = std::string(TrimBlanks(parent));
    }

    std::string Parent(std::string_view kind) const
    {
        std::lock_guard guard(m_lock);
        const auto it = m_parents.find(Lower(TrimBlanks(kind)));
        return it == m_parents.end() ? std::string() : it->second;
    }

private:
    mutable std::mutex m_lock;
    std::map<std::string, std::string> m_parents;
};

TKindRegistry& Registry()
{
    static TKindRegistry registry;
    return registry;
}

// The direct base classes of a C++ class, from the Itanium ABI's type information.
std::vector<const std::type_info*> CppBases(const std::type_info& type)
{
    std::vector<const std::type_info*> bases;
    if (const auto* single = dynamic_cast<const abi::__si_class_type_info*>(&type)) {
        bases.push_back(single->__base_type);
    } else if (const auto* multiple = dynamic_cast<const abi::__vmi_class_type_info*>(&type)) {
        for (unsigned i = 0; i < multiple->__base_count; ++i)
            bases.push_back(multiple->__base_info[i].__base_type);
    }
    return bases;
}

} // namespace

std::string CppTypeName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                          &std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

void RegisterExceptionKind(const std::string& kind, const std::string& parent) { Registry().Register(kind, parent); }

std::string ExceptionKindParent(std::string_view kind) { return Registry().Parent(kind); }

std::string SignalKindName(int signal, int code, bool stackOverflow)
{
    switch (signal) {
    case SIGSEGV: return stackOverflow ? "EStackOverflow" : "EAccessViolation";
    case SIGBUS: return "EBusError";
    case SIGILL: return code == ILL_ILLOPN || code == ILL_PRVOPC || code == ILL_PRVREG ? "EPrivilege" : "EIllegalInstruction";
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV: return "EDivByZero";
        case FPE_INTOVF: return "EIntOverflow";
        case FPE_FLTDIV: return "EZeroDivide";
        case FPE_FLTOVF: return "EOverflow";
        case FPE_FLTUND: return "EUnderflow";
        default: return "EInvalidOp";
        }
    case SIGABRT: return "EAbortSignal";
    case SIGTRAP: return "EBreakpoint";
    default: return "EExternalException";
    }
}

TExceptionObject ExceptionObjectFromType(const std::type_info& type, std::string message)
{
    TExceptionObject object;
    object.CppType = &type;
    object.ClassName = CppTypeName(type);
    object.Message = std::move(message);
    return object;
}

TExceptionObject ExceptionObjectFromPtr(std::exception_ptr exception)
{
    if (!exception)
        return {};
    TExceptionObject object;
    try {
        std::rethrow_exception(exception);
    } catch (const TActiveXException& e) {
        object = ExceptionObjectFromType(typeid(e), e.what());
        object.Parents = e.Parents();
    } catch (const std::exception& e) {
        object = ExceptionObjectFromType(typeid(e), e.what());
    } catch (...) {
        if (const std::type_info* type = abi::__cxa_current_exception_type())
            object = ExceptionObjectFromType(*type);
    }
    object.Object = exception;
    return object;
}

TExceptionObject CurrentExceptionObject() { return ExceptionObjectFromPtr(std::current_exception()); }

std::string SignalMessage(int signal, int code, bool stackOverflow)
{
    switch (signal) {
    case SIGSEGV: return stackOverflow ? "Stack overflow" : "Access violation";
    case SIGBUS: return "Bus error";
    case SIGILL:
        switch (code) {
        case ILL_ILLOPC: return "Illegal opcode";
        case ILL_ILLOPN: return "Illegal operand";
        case ILL_PRVOPC: return "Privileged instruction";
        case ILL_PRVREG: return "Privileged register";
        default: return "Illegal instruction";
        }
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV: return "Integer division by zero";
        case FPE_INTOVF: return "Integer overflow";
        case FPE_FLTDIV: return "Floating point division by zero";
        case FPE_FLTOVF: return "Floating point overflow";
        case FPE_FLTUND: return "Floating point underflow";
        default: return "Invalid floating point operation";
        }
    case SIGABRT: return "Abnormal program termination (abort)";
    case SIGTRAP: return "Breakpoint";
    default: return "External exception: signal " + std::to_string(signal);
    }
}

TExceptionObject ExceptionObjectFromSignal(int signal, int code, bool stackOverflow)
{
    TExceptionObject object;
    object.ClassName = SignalKindName(signal, code, stackOverflow);
    object.Message = SignalMessage(signal, code, stackOverflow);
    object.Signal = signal;
    object.SignalCode = code;
    return object;
}

bool SignalSentByProcess(const siginfo_t& record)
{
    return record.si_code == SI_USER || record.si_code == SI_TKILL || record.si_code == SI_QUEUE;
}

std::string SignalSenderText(const siginfo_t& record)
{
    if (!SignalSentByProcess(record))
        return {};
    return "signal " + std::to_string(record.si_signo) + " sent by process " + std::to_string(record.si_pid) + " (user "
           + std::to_string(record.si_uid) + ")";
}

TExceptionObject ExceptionObjectFromSignalRecord(const siginfo_t& record, bool stackOverflow)
{
    const bool sent = SignalSentByProcess(record);
    TExceptionObject object = ExceptionObjectFromSignal(record.si_signo, record.si_code, stackOverflow && !sent);
    const bool ownAbort = record.si_signo == SIGABRT && record.si_pid == ::getpid();
    if (sent && !ownAbort)
        object.Message = SignalSenderText(record);
    return object;
}

TExceptionObject ExceptionObjectOfKind(std::string kind, std::string message)
{
    TExceptionObject object;
    object.ClassName = std::move(kind);
    object.Message = std::move(message);
    return object;
}

std::vector<std::string> ClassAndAncestorNames(const TExceptionObject& object)
{
    std::vector<std::string> names;
    if (!object.IsValid())
        return names;
    auto seen = [&names](const std::string& name) {
        const std::string lower = Lower(name);
        return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return Lower(n) == lower; });
    };
    // Breadth first over the C++ bases, nearest first.
    std::deque<const std::type_info*> pending;
    if (object.CppType)
        pending.push_back(object.CppType);
    else
        names.push_back(object.ClassName);
    while (!pending.empty()) {
        const std::type_info* type = pending.front();
        pending.pop_front();
        const std::string name = CppTypeName(*type);
        if (seen(name))
            continue;
        names.push_back(name);
        for (const std::type_info* base : CppBases(*type))
            pending.push_back(base);
    }
    // Then the registry's parents of every name found so far, in order.
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string parent = Registry().Parent(names[i]);
        if (!parent.empty() && !seen(parent))
            names.push_back(parent);
    }
    return names;
}

bool InheritsFromName(const TExceptionObject& object, std::string_view name)
{
    // A name without "::" also names a class of any namespace ("EAbort" is cv::EAbort too).
    const std::string wanted = Lower(TrimBlanks(name));
    const bool unqualified = wanted.find("::") == std::string::npos;
    for (const std::string& n : ClassAndAncestorNames(object)) {
        const std::string lower = Lower(n);
        const std::size_t scope = lower.rfind("::");
        if (lower == wanted || (unqualified && scope != std::string::npos && lower.compare(scope + 2, std::string::npos, wanted) == 0))
            return true;
    }
    return false;
}

TActiveXException::TActiveXException(std::string message, std::string_view parents) : fMessage(std::move(message))
{
    for (const std::string_view line : SplitTextLines(parents))
        FParents.emplace_back(line);
    if (!FParents.empty())
        FExceptionType = FParents.front();
}

} // namespace cv
