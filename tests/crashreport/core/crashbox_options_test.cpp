#include "crashreport/core/crashbox_options.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

// Options that count their publications.
class CountingOptions final : public cv::TCrashboxModuleOptions {
public:
    using TCrashboxModuleOptions::TCrashboxModuleOptions;
    void StoreSharedData() override { ++published; }
    int published = 0;
};

struct CrashboxOptions : ::testing::Test {
    void TearDown() override { cv::DeactivateCrashbox(); }
};

TEST_F(CrashboxOptions, CurrentOptionsNeedCrashReportingSwitchedOn)
{
    cv::DeactivateCrashbox();
    try {
        cv::CurrentCrashboxOptions();
        FAIL() << "no exception";
    } catch (const cv::ECrashboxNotActive& e) {
        EXPECT_NE(QString::fromStdString(e.what()).indexOf(QCoreApplication::applicationFilePath()), -1);
        EXPECT_NE(QString::fromStdString(e.what()).indexOf(QStringLiteral("without activate Crashbox")), -1);
    }
    cv::ActivateCrashbox(QCoreApplication::applicationFilePath());
    cv::TCrashboxModuleOptions& options = cv::CurrentCrashboxOptions();
    EXPECT_EQ(options.ModuleHandle(), cv::kCrashboxProgramModuleHandle);
    EXPECT_TRUE(options.OutputPath().isEmpty());
    options.SetOutputPath(QStringLiteral("/home/user/Corvantis"));
    // A second activation keeps what the first made.
    cv::ActivateCrashbox(QStringLiteral("other"));
    EXPECT_EQ(cv::CurrentCrashboxOptions().OutputPath(), QStringLiteral("/home/user/Corvantis"));
}

TEST_F(CrashboxOptions, ChangesInsideAnUpdateArePublishedOnceAtItsEnd)
{
    cv::ActivateCrashbox(QCoreApplication::applicationFilePath());
    CountingOptions options(QCoreApplication::applicationFilePath());
    options.SetOutputPath(QStringLiteral("/a"));
    EXPECT_EQ(options.published, 1);
    options.BeginUpdate();
    for (int i = 0; i < 20; ++i)
        options.SetOutputPath(QStringLiteral("/b%1").arg(i));
    EXPECT_EQ(options.published, 1);
    options.EndUpdate();
    EXPECT_EQ(options.published, 2);
    EXPECT_EQ(options.OutputPath(), QStringLiteral("/b19"));
    options.SetToDefaultOptions();
    EXPECT_EQ(options.published, 3);
    EXPECT_TRUE(options.OutputPath().isEmpty());
}

TEST_F(CrashboxOptions, OptionsOfAnotherModuleAreNeverPublished)
{
    cv::ActivateCrashbox(QCoreApplication::applicationFilePath());
    CountingOptions plugin(QStringLiteral("/usr/lib/libsomething.so"));
    CountingOptions unnamed{QString()};
    EXPECT_EQ(plugin.ModuleHandle(), 0u);
    EXPECT_EQ(unnamed.ModuleHandle(), 0u);
    plugin.SetOutputPath(QStringLiteral("/x"));
    unnamed.SetOutputPath(QStringLiteral("/x"));
    EXPECT_EQ(plugin.published + unnamed.published, 0);
    EXPECT_EQ(plugin.OutputPath(), QStringLiteral("/x"));
}

} // namespace
