#pragma once
// The exception object as the crash-report core sees it, and the registry of
// exception-kind ancestors.
//
// An exception reaches the core in one of three forms: a C++ exception (its
// thrown type, and the object itself when it is held), a fatal signal, or one
// of the core's own named kinds (a memory leak, a frozen application, ...).
// TExceptionObject holds any of them with its class name and message.
//
// Filters and the handler ask whether an exception "inherits from" a class
// name. For C++ exceptions the ancestors are the real base classes, read from
// the thrown type's run-time type information (single, multiple and virtual
// bases, demangled names such as "std::runtime_error"). Every kind, and every
// C++ class that has no base of its own, is then continued through the kind
// registry, which names a parent for each kind. The registry starts with:
//
//   Exception                                   the root of every kind
//     std::exception                            the root of C++ exceptions
//     EAbort                                    silent exceptions, never reported
//     EExternal                                 raised by the system (signals)
//       EAccessViolation     SIGSEGV
//       EBusError            SIGBUS
//       EStackOverflow       SIGSEGV on the guard page of a thread's stack
//       EPrivilege           SIGILL with an illegal operand or privileged opcode
//       EIllegalInstruction  any other SIGILL
//       EIntError
//         EDivByZero         SIGFPE, integer division by zero
//         EIntOverflow       SIGFPE, integer overflow
//       EMathError
//         EZeroDivide        SIGFPE, floating division by zero
//         EOverflow          SIGFPE, floating overflow
//         EUnderflow         SIGFPE, floating underflow
//         EInvalidOp         SIGFPE, any other floating fault
//       EAbortSignal         SIGABRT (abort(), failed assertions)
//       EBreakpoint          SIGTRAP
//       EExternalException   any other signal
//     EMemoryLeak, EMemoryOverrun, EMultiFree   the leak catcher's reports
//     EFrozenApplication                        the freeze watchdog's report
//     ECrashboxSocketError                      the socket layer's failures
//     TActiveXException                         carries its own list of class names
//                                               (cv::TActiveXException: Parents holds them)
//
// Programs add their own kinds (and parents for C++ classes, for example to
// put a library's root exception class under "Exception") with
// RegisterExceptionKind. Names compare without regard to letter case.

#include <csignal>
#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace cv {

// An exception raised by an ActiveX object: its type and ancestry as lines.
class TActiveXException : public std::exception {
public:
    // `parents`: one type name a line, the exception's own type first.
    TActiveXException(std::string message, std::string_view parents);
    const char* what() const noexcept override { return fMessage.c_str(); }
    const std::string& ExceptionType() const { return FExceptionType; }
    const std::vector<std::string>& Parents() const { return FParents; }

private:
    std::string fMessage;
    std::string FExceptionType;
    std::vector<std::string> FParents;
};

// The silent exception: it ends an operation without a message, and the
// handler never reports it (its kind is "EAbort").
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

struct TExceptionObject {
    // The most derived class or kind name; empty for no (or an invalid) object.
    std::string ClassName;
    std::string Message;
    // C++ exceptions: the thrown type, and the object itself when it is held.
    const std::type_info* CppType = nullptr;
    std::exception_ptr Object;
    // Fatal signals: the signal and its si_code.
    int Signal = 0;
    int SignalCode = 0;
    // The class names an ActiveX-style exception carries in its own list.
    std::vector<std::string> Parents;

    bool IsValid() const { return !ClassName.empty(); }
};

// The exception being handled in a catch block of the calling thread (an
// invalid object outside one).
TExceptionObject CurrentExceptionObject();
// A held C++ exception: its dynamic type, and its what() as the message when
// it derives from std::exception.
TExceptionObject ExceptionObjectFromPtr(std::exception_ptr exception);
// A C++ exception known only by its thrown type (as at a raise hook).
TExceptionObject ExceptionObjectFromType(const std::type_info& type, std::string message = {});
// A fatal signal, named by its kind (EAccessViolation, EDivByZero, ...),
// with the fault as its message.
TExceptionObject ExceptionObjectFromSignal(int signal, int code, bool stackOverflow = false);
// The same from the signal's whole record: a signal that a process sent
// (kill, tgkill, sigqueue) carries its sender where a fault carries its
// address, and its message says who sent it (SignalSenderText). abort()'s
// own SIGABRT, sent by the process itself, keeps the abort's message.
TExceptionObject ExceptionObjectFromSignalRecord(const siginfo_t& record, bool stackOverflow = false);
// One of the named kinds.
TExceptionObject ExceptionObjectOfKind(std::string kind, std::string message);

// Whether a process sent the signal (si_code SI_USER, SI_TKILL or SI_QUEUE)
// rather than the system raising it for a fault.
bool SignalSentByProcess(const siginfo_t& record);
// "signal N sent by process P (user U)" (U: the sender's user ID); empty
// for a signal the system raised.
std::string SignalSenderText(const siginfo_t& record);

// The kind name of a signal with its si_code.
std::string SignalKindName(int signal, int code, bool stackOverflow = false);
// What the fault of a signal with its si_code was ("Integer division by zero").
std::string SignalMessage(int signal, int code, bool stackOverflow = false);
// The demangled name of a C++ type ("std::runtime_error").
std::string CppTypeName(const std::type_info& type);

// Adds (or re-parents) a kind; parent empty makes it a root.
void RegisterExceptionKind(const std::string& kind, const std::string& parent);
// The parent registered for a kind (empty when none).
std::string ExceptionKindParent(std::string_view kind);

// The object's class name followed by every ancestor, nearest first, each
// once: C++ bases from the type information, then the registry's parents.
std::vector<std::string> ClassAndAncestorNames(const TExceptionObject& object);
// Whether the object's class or an ancestor is named name (letter case and
// blanks around name ignored; a name without "::" matches a class of that
// name in any namespace). An invalid object inherits from nothing.
bool InheritsFromName(const TExceptionObject& object, std::string_view name);

} // namespace cv
