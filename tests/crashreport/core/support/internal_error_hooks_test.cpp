#include "crashreport/core/support/internal_error_hooks.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

std::string gInternalError;
void RecordInternalError(const std::string& message) { gInternalError = message; }
void FailingSection() { throw std::runtime_error("no lists"); }
void ThrowingSomething() { throw 42; }
void QuietSection() {}

TEST(CrashboxUnitSections, AFailingSectionIsReportedOrRaisedAgain)
{
    cv::SetInternalErrorProcedure(nullptr);
    EXPECT_NO_THROW(cv::CallUnitSection(&QuietSection, "Quiet.Init"));
    try {
        cv::CallUnitSection(&FailingSection, "ExceptionLog.Init");
        FAIL() << "no exception";
    } catch (const cv::ECrashboxCriticalError& e) {
        EXPECT_STREQ(e.what(), "Critical error at: \"ExceptionLog.Init\"\r\nError: \"no lists\".");
    }
    try {
        cv::CallUnitSection(&ThrowingSomething, "ExceptionLog.Done");
        FAIL() << "no exception";
    } catch (const cv::ECrashboxCriticalError& e) {
        EXPECT_STREQ(e.what(), "Critical error at: \"ExceptionLog.Done\"\r\nError: \"General internal error.\".");
    }
    cv::SetInternalErrorProcedure(&RecordInternalError);
    EXPECT_NO_THROW(cv::CallUnitSection(&FailingSection, "EHook.Init"));
    char address[32];
    std::snprintf(address, sizeof address, "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&FailingSection)));
    EXPECT_EQ(gInternalError, std::string("EHook.Init (Address: ") + address + ")");
    cv::SetInternalErrorProcedure(nullptr);
}

} // namespace
