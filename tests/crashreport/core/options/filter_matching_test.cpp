#include "crashreport/core/options/filter_matching.h"

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

#include "crashreport/core/support/report_helpers.h"

using namespace cv;

namespace {

TCrashboxExceptionFilter Filter(const std::string& className, TFilterExceptionType type = fetAll, bool active = true)
{
    TCrashboxExceptionFilter filter;
    filter.Active = active;
    filter.ExceptionClassName = className;
    filter.ExceptionType = type;
    return filter;
}

struct FilterMatching : ::testing::Test {
    TCrashboxModuleOptions options{std::string()};
    const TExceptionObject accessViolation = ExceptionObjectFromSignal(SIGSEGV, SEGV_MAPERR);
    const TExceptionObject outOfRange = ExceptionObjectFromPtr(std::make_exception_ptr(std::out_of_range("7")));
};

} // namespace

TEST_F(FilterMatching, EmptyListFindsNothing)
{
    EXPECT_EQ(FindFilter(options, accessViolation, false), -1);
}

TEST_F(FilterMatching, ABaseClassCatchesItsDescendantsWhateverTheLetterCaseAndBlanks)
{
    options.ExceptionsFilters().Add(Filter("  exCEPtion "));
    EXPECT_TRUE(FilterMatches(options, accessViolation, 0, false));
    EXPECT_TRUE(FilterMatches(options, outOfRange, 0, true));
    options.ExceptionsFilters().Add(Filter("std::logic_error"));
    EXPECT_TRUE(FilterMatches(options, outOfRange, 1, false));
    EXPECT_FALSE(FilterMatches(options, accessViolation, 1, false));
    EXPECT_FALSE(FilterMatches(options, TExceptionObject(), 0, false)) << "no object matches nothing";
}

TEST_F(FilterMatching, TheFirstActiveMatchWins)
{
    options.ExceptionsFilters().Add(Filter("EAccessViolation", fetAll, false)); // inactive: passed over
    options.ExceptionsFilters().Add(Filter("std::exception"));
    options.ExceptionsFilters().Add(Filter("EExternal"));
    options.ExceptionsFilters().Add(Filter("Exception"));
    EXPECT_EQ(FindFilter(options, accessViolation, false), 2);
    EXPECT_EQ(FindFilter(options, outOfRange, false), 1);
    EXPECT_EQ(FindFilter(options, ExceptionObjectOfKind("EFrozenApplication", ""), false), 3);
}

struct KindCase {
    TFilterExceptionType type;
    bool handled;
    bool matches;
};

class FilterKinds : public FilterMatching, public ::testing::WithParamInterface<KindCase> {};

TEST_P(FilterKinds, HandledAndUnhandled)
{
    options.ExceptionsFilters().Add(Filter("EAccessViolation", GetParam().type));
    EXPECT_EQ(FindFilter(options, accessViolation, GetParam().handled), GetParam().matches ? 0 : -1);
}

INSTANTIATE_TEST_SUITE_P(FilterMatching, FilterKinds,
                         ::testing::Values(KindCase{fetAll, false, true}, KindCase{fetAll, true, true},
                                           KindCase{fetHandled, true, true}, KindCase{fetHandled, false, false},
                                           KindCase{fetUnhandled, false, true}, KindCase{fetUnhandled, true, false},
                                           KindCase{TFilterExceptionType(7), false, false}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(FilterMatching, ActiveXExceptionsMatchTheNamesTheyCarry)
{
    const TExceptionObject activeX =
        ExceptionObjectFromPtr(std::make_exception_ptr(TActiveXException("no server", "EOleSysError\nEOleError")));
    options.ExceptionsFilters().Add(Filter("eoleerror"));                // exact names only
    options.ExceptionsFilters().Add(Filter("Exception"));                // not among its names
    options.ExceptionsFilters().Add(Filter("EOleError", fetHandled));    // its kind is not asked
    EXPECT_EQ(FindFilter(options, activeX, false), 2);
    EXPECT_TRUE(ListContains("EOleError", activeX.Parents));
    EXPECT_FALSE(ListContains("eoleerror", activeX.Parents));
    EXPECT_FALSE(ListContains("EOle", activeX.Parents));
}

TEST(FilterDialog, AFilterChoosesTheDialogOrKeepsTheOptionsOwn)
{
    EXPECT_EQ(FilterDialogType(fdtNone, edtCrashbox), edtNone);
    EXPECT_EQ(FilterDialogType(fdtMessageBox, edtCrashbox), edtMessageBox);
    EXPECT_EQ(FilterDialogType(fdtMSClassic, edtNone), edtMSClassic);
    EXPECT_EQ(FilterDialogType(fdtCrashbox, edtMessageBox), edtCrashbox);
    EXPECT_EQ(FilterDialogType(fdtUnchanged, edtMSClassic), edtMSClassic);
    EXPECT_EQ(FilterDialogType(TFilterDialogType(9), edtMessageBox), edtMessageBox);
}
