#include "crashreport/core/support/exception_object.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

#include <unistd.h>

using namespace cv;

namespace {

struct Mixin {
    virtual ~Mixin() = default;
};
struct WordListError : std::runtime_error, Mixin {
    using std::runtime_error::runtime_error;
};
struct IndexError : WordListError {
    using WordListError::WordListError;
};

} // namespace

namespace cv {
struct EWordListStopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};
} // namespace cv

TEST(ExceptionObject, CppClassesInheritTheirRealBasesThenTheRegistryRoot)
{
    try {
        throw std::out_of_range("index 7");
    } catch (...) {
        const TExceptionObject object = CurrentExceptionObject();
        EXPECT_EQ(object.ClassName, "std::out_of_range");
        EXPECT_EQ(object.Message, "index 7");
        EXPECT_TRUE(object.Object);
        EXPECT_EQ(ClassAndAncestorNames(object),
                  (std::vector<std::string>{"std::out_of_range", "std::logic_error", "std::exception", "Exception"}));
    }
    // Multiple inheritance: every base, nearest first.
    const TExceptionObject object = ExceptionObjectFromPtr(std::make_exception_ptr(IndexError("no index")));
    const std::vector<std::string> names = ClassAndAncestorNames(object);
    ASSERT_GE(names.size(), 5u);
    EXPECT_NE(names[0].find("IndexError"), std::string::npos);
    EXPECT_NE(names[1].find("WordListError"), std::string::npos);
    EXPECT_TRUE(InheritsFromName(object, "std::runtime_error"));
    EXPECT_TRUE(InheritsFromName(object, names[3])); // the mixin
    EXPECT_TRUE(InheritsFromName(object, "  EXCEPTION "));
    EXPECT_FALSE(InheritsFromName(object, "std::logic_error"));
}

TEST(ExceptionObject, ThrownValuesThatAreNoClassAndNoException)
{
    try {
        throw 42;
    } catch (...) {
        const TExceptionObject object = CurrentExceptionObject();
        EXPECT_EQ(object.ClassName, "int");
        EXPECT_TRUE(object.Message.empty());
        EXPECT_FALSE(InheritsFromName(object, "Exception"));
    }
    const TExceptionObject none = CurrentExceptionObject();
    EXPECT_FALSE(none.IsValid());
    EXPECT_FALSE(InheritsFromName(none, "Exception"));
    EXPECT_TRUE(ClassAndAncestorNames(none).empty());
}

struct SignalCase {
    int signal, code;
    bool overflow;
    const char* kind;
    const char* parent;
};

class SignalKinds : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalKinds, NameAndAncestors)
{
    const SignalCase& c = GetParam();
    const TExceptionObject object = ExceptionObjectFromSignal(c.signal, c.code, c.overflow);
    EXPECT_EQ(object.ClassName, c.kind);
    EXPECT_EQ(ExceptionKindParent(c.kind), c.parent);
    EXPECT_TRUE(InheritsFromName(object, "EExternal"));
    EXPECT_TRUE(InheritsFromName(object, "exception"));
    EXPECT_FALSE(InheritsFromName(object, "std::exception"));
}

INSTANTIATE_TEST_SUITE_P(
    ExceptionObject, SignalKinds,
    ::testing::Values(SignalCase{SIGSEGV, SEGV_MAPERR, false, "EAccessViolation", "EExternal"},
                      SignalCase{SIGSEGV, SEGV_MAPERR, true, "EStackOverflow", "EExternal"},
                      SignalCase{SIGBUS, BUS_ADRERR, false, "EBusError", "EExternal"},
                      SignalCase{SIGILL, ILL_PRVOPC, false, "EPrivilege", "EExternal"},
                      SignalCase{SIGILL, ILL_ILLOPC, false, "EIllegalInstruction", "EExternal"},
                      SignalCase{SIGFPE, FPE_INTDIV, false, "EDivByZero", "EIntError"},
                      SignalCase{SIGFPE, FPE_INTOVF, false, "EIntOverflow", "EIntError"},
                      SignalCase{SIGFPE, FPE_FLTDIV, false, "EZeroDivide", "EMathError"},
                      SignalCase{SIGFPE, FPE_FLTINV, false, "EInvalidOp", "EMathError"},
                      SignalCase{SIGABRT, 0, false, "EAbortSignal", "EExternal"},
                      SignalCase{SIGTRAP, 0, false, "EBreakpoint", "EExternal"},
                      SignalCase{SIGUSR1, 0, false, "EExternalException", "EExternal"}),
    [](const auto& info) { return std::string(info.param.kind) + std::to_string(info.index); });

// The record decides: a fault the system raised is told by its kind, a
// signal a process sent by its sender; abort()'s own SIGABRT (sent by the
// process to itself) stays the abort.
TEST(ExceptionObject, ASignalsRecordTellsAFaultFromASignalAProcessSent)
{
    siginfo_t record{};
    record.si_signo = SIGSEGV;
    record.si_code = SEGV_MAPERR;
    EXPECT_FALSE(SignalSentByProcess(record));
    EXPECT_EQ(SignalSenderText(record), "");
    EXPECT_EQ(ExceptionObjectFromSignalRecord(record).Message, "Access violation");
    EXPECT_EQ(ExceptionObjectFromSignalRecord(record, true).ClassName, "EStackOverflow");

    record.si_code = SI_QUEUE;
    record.si_pid = 4321;
    record.si_uid = 1001;
    EXPECT_TRUE(SignalSentByProcess(record));
    const TExceptionObject sent = ExceptionObjectFromSignalRecord(record, true);
    EXPECT_EQ(sent.ClassName, "EAccessViolation") << "a sent signal is no stack overflow";
    EXPECT_EQ(sent.Message, "signal 11 sent by process 4321 (user 1001)");
    EXPECT_EQ(sent.Signal, SIGSEGV);

    record.si_signo = SIGABRT;
    record.si_code = SI_TKILL;
    record.si_pid = getpid();
    EXPECT_EQ(ExceptionObjectFromSignalRecord(record).Message, "Abnormal program termination (abort)");
    record.si_code = SI_USER;
    record.si_pid = 4321;
    EXPECT_EQ(ExceptionObjectFromSignalRecord(record).Message, "signal 6 sent by process 4321 (user 1001)");
}

TEST(ExceptionObject, RegisteredKindsAndParentsForCppClasses)
{
    EXPECT_TRUE(InheritsFromName(ExceptionObjectOfKind("EMemoryLeak", "3 leaks"), "Exception"));
    EXPECT_FALSE(InheritsFromName(ExceptionObjectOfKind("EMemoryLeak", ""), "EExternal"));

    RegisterExceptionKind("ENoSuchFile", "EInOutError");
    RegisterExceptionKind("EInOutError", "Exception");
    EXPECT_EQ(ClassAndAncestorNames(ExceptionObjectOfKind("enosuchfile", "")),
              (std::vector<std::string>{"enosuchfile", "EInOutError", "Exception"}));

    // A C++ class can be put under a kind as well, beside its real bases.
    const TExceptionObject object = ExceptionObjectFromType(typeid(std::bad_alloc));
    EXPECT_FALSE(InheritsFromName(object, "EOutOfMemory"));
    RegisterExceptionKind("std::bad_alloc", "EOutOfMemory");
    RegisterExceptionKind("EOutOfMemory", "Exception");
    EXPECT_TRUE(InheritsFromName(object, "EOutOfMemory"));
    EXPECT_TRUE(InheritsFromName(object, "std::exception"));

    // A cycle ends.
    RegisterExceptionKind("ELoopA", "ELoopB");
    RegisterExceptionKind("ELoopB", "ELoopA");
    EXPECT_EQ(ClassAndAncestorNames(ExceptionObjectOfKind("ELoopA", "")).size(), 2u);
}

TEST(ExceptionObject, NamesWithoutNamespaceAndActiveXParents)
{
    const TExceptionObject stopped = ExceptionObjectFromPtr(std::make_exception_ptr(cv::EWordListStopped("stopped")));
    EXPECT_EQ(stopped.ClassName, "cv::EWordListStopped");
    EXPECT_TRUE(InheritsFromName(stopped, "EWordListStopped"));
    EXPECT_TRUE(InheritsFromName(stopped, "cv::ewordliststopped"));
    EXPECT_TRUE(InheritsFromName(stopped, "runtime_error"));
    EXPECT_FALSE(InheritsFromName(stopped, "other::EWordListStopped"));
    EXPECT_FALSE(InheritsFromName(stopped, "WordListStopped"));

    const TExceptionObject activeX =
        ExceptionObjectFromPtr(std::make_exception_ptr(TActiveXException("no server", "EOleSysError\nEOleError\nException")));
    EXPECT_TRUE(InheritsFromName(activeX, "TActiveXException"));
    EXPECT_EQ(activeX.Message, "no server");
    EXPECT_EQ(activeX.Parents, (std::vector<std::string>{"EOleSysError", "EOleError", "Exception"}));
}

TEST(ReportProcess, AnActiveXExceptionKnowsItsTypeAndAncestry)
{
    const TActiveXException e("Class not registered", "EOleSysError\r\nEOleError\nException");
    EXPECT_STREQ(e.what(), "Class not registered");
    EXPECT_EQ(e.ExceptionType(), "EOleSysError");
    EXPECT_EQ(e.Parents(), (std::vector<std::string>{"EOleSysError", "EOleError", "Exception"}));
    EXPECT_EQ(TActiveXException("x", "").ExceptionType(), "");
}
