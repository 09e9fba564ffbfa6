#include "crashreport/core/handler/crashbox_events.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "crashreport/core/handler/exception_handler.h"

using namespace cv;

namespace {

std::vector<std::string>* gCalls = nullptr;

void CellNotify(TCrashboxExceptionRecord&, bool& handled)
{
    gCalls->push_back(std::string("cell sees ") + (handled ? "true" : "false"));
}

class Events : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearEventCells();
        gCalls = &calls;
    }
    void TearDown() override
    {
        ClearEventCells();
        gCalls = nullptr;
    }
    std::vector<std::string> calls;
    TCrashboxExceptionRecord record;
};

} // namespace

TEST_F(Events, WithoutReceiversTheFlagsStayAsTheRaiserSetThem)
{
    bool handled = true, execute = true, retry = false, close = false;
    std::string password = "kept";
    std::vector<std::string> lines{"a=1"};
    RaiseExceptionNotify(record, handled);
    RaiseExceptionActionNotify(record, caShowing, execute);
    RaiseExceptionErrorNotify(record, caSavedLog, retry);
    RaiseCustomButtonClickNotify(record, close);
    RaisePasswordRequest(record, password);
    RaiseCustomDataRequest(record, lines);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(execute);
    EXPECT_FALSE(retry);
    EXPECT_FALSE(close);
    EXPECT_EQ(password, "kept");
    EXPECT_EQ(lines, std::vector<std::string>{"a=1"});
}

TEST_F(Events, NotifiersAreCalledLastRegisteredFirstAndTheCellAfterThem)
{
    TCrashboxNotifier first, second;
    first.OnExceptionNotify = [this](TCrashboxExceptionRecord&, bool& handled) {
        calls.push_back("first");
        handled = false;
    };
    second.OnExceptionNotify = [this](TCrashboxExceptionRecord&, bool&) { calls.push_back("second"); };
    SetExceptionNotify(CellNotify);
    bool handled = true;
    RaiseExceptionNotify(record, handled);
    EXPECT_EQ(calls, (std::vector<std::string>{"second", "first", "cell sees false"}));
    EXPECT_FALSE(handled);
}

TEST_F(Events, ANotifierLeavesTheListWhenItGoes)
{
    {
        TCrashboxNotifier passing;
        passing.OnHandledExceptionNotify = [this](TCrashboxExceptionRecord&, bool&) { calls.push_back("gone"); };
        EXPECT_EQ(NotifierCount(), 1);
    }
    bool handled = true;
    RaiseHandledExceptionNotify(record, handled);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(NotifierCount(), 0);
}

TEST_F(Events, AReceiverThatThrowsEndsOnlyItsOwnCall)
{
    TCrashboxNotifier failing, working;
    failing.OnExceptionActionNotify = [](TCrashboxExceptionRecord&, uint8_t, bool&) { throw std::runtime_error("receiver fails"); };
    working.OnExceptionActionNotify = [this](TCrashboxExceptionRecord&, uint8_t action, bool& execute) {
        calls.push_back("action " + std::to_string(action));
        execute = false;
    };
    bool execute = true;
    // The failing one registered first is called last; the one before it still ran.
    RaiseExceptionActionNotify(record, caSavingLog, execute);
    EXPECT_EQ(calls, std::vector<std::string>{"action 2"});
    EXPECT_FALSE(execute);

    TCrashboxNotifier afterFailing;
    afterFailing.OnExceptionActionNotify = [](TCrashboxExceptionRecord&, uint8_t, bool&) { throw std::logic_error("first called"); };
    calls.clear();
    RaiseExceptionActionNotify(record, caShown, execute);
    EXPECT_EQ(calls, std::vector<std::string>{"action 1"}) << "a receiver after a failing one still runs";
}

TEST_F(Events, APasswordLongerThan255BytesIsCut)
{
    TCrashboxNotifier notifier;
    notifier.OnPasswordRequest = [](TCrashboxExceptionRecord&, std::string& password) { password = std::string(300, 'p'); };
    std::string password;
    RaisePasswordRequest(record, password);
    EXPECT_EQ(password.size(), kMaxEventPasswordLength);
}

TEST_F(Events, TheExportsAreFoundByNameAndPutTheCallersRecordInPlace)
{
    void* self = ::dlopen(nullptr, RTLD_LAZY);
    ASSERT_NE(self, nullptr);
    for (const char* name : {"Crashbox_ExceptionNotifyEvent", "Crashbox_HandledExceptionNotifyEvent",
                             "Crashbox_ExceptionActionNotifyEvent", "Crashbox_ExceptionErrorNotifyEvent",
                             "Crashbox_PasswordRequestEventEx", "Crashbox_PasswordRequestEvent",
                             "Crashbox_CustomDataRequestEventEx", "Crashbox_AttachedFilesRequestEvent",
                             "Crashbox_CustomWebFieldsRequestEvent", "Crashbox_CustomButtonClickEvent", "ExceptionManager"})
        EXPECT_NE(::dlsym(self, name), nullptr) << name;
    auto exported = reinterpret_cast<void (*)(TCrashboxExceptionRecord*, std::vector<std::string>*)>(
        ::dlsym(self, "Crashbox_CustomDataRequestEventEx"));
    ::dlclose(self);
    ASSERT_NE(exported, nullptr);

    LastExceptionRecord().LogText = "this module's own";
    TCrashboxNotifier notifier;
    notifier.OnCustomDataRequest = [](TCrashboxExceptionRecord& seen, std::vector<std::string>& lines) {
        lines.push_back("Seen=" + seen.LogText);
        lines.push_back("Same=" + std::string(&seen == &LastExceptionRecord() ? "yes" : "no"));
    };
    TCrashboxExceptionRecord callers;
    callers.LogText = "the caller's";
    std::vector<std::string> lines{"Before=1"};
    exported(&callers, &lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Before=1", "Seen=the caller's", "Same=yes"}));
    EXPECT_EQ(LastExceptionRecord().LogText, "this module's own") << "restored after the call";
}

TEST_F(Events, TheOlderPasswordExportTakesAndGivesABuffer)
{
    TCrashboxNotifier notifier;
    notifier.OnPasswordRequest = [](TCrashboxExceptionRecord&, std::string& password) { password += "-secret"; };
    char buffer[8] = "pw";
    Crashbox_PasswordRequestEvent(buffer, 7);
    EXPECT_STREQ(buffer, "pw-secr") << "cut to the caller's length";
}
