#include "concordance/concordance_line_plugin.h"

#include <gtest/gtest.h>

#include "lines_testutil.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/shared_library.h"

using cv::TConcordanceLinePlugin;

namespace {

QString pluginFile(const char* name)
{
    return QStringLiteral(CV_TEST_LINE_FILTER_DIR "/lib%1.so").arg(QString::fromLatin1(name));
}

} // namespace

TEST(ConcordanceLinePlugin, LoadsAndFiltersLines)
{
    QString error;
    auto filter = TConcordanceLinePlugin::Load(pluginFile("test_line_filter"), &error);
    ASSERT_TRUE(filter) << error.toStdString();
    QString line = QStringLiteral("a line with the cat in it");
    const QString file = QStringLiteral("/texts/a.txt");
    EXPECT_TRUE(filter->KeepLine(line, 16, 3, 100, 5, file));
    EXPECT_EQ(line.toStdString(), "a line with the CAT in it");
    QString drop = QStringLiteral("please drop this cat");
    EXPECT_FALSE(filter->KeepLine(drop, 17, 3, 100, 5, file));
    EXPECT_EQ(filter->FaultCount(), 0);
    EXPECT_EQ(filter->LibraryPath(), pluginFile("test_line_filter"));
}

TEST(ConcordanceLinePlugin, MissingLibraryOrEntryPointIsAClearError)
{
    QString error;
    EXPECT_FALSE(TConcordanceLinePlugin::Load(pluginFile("not_there"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not_there"))) << error.toStdString();
    EXPECT_FALSE(TConcordanceLinePlugin::Load(pluginFile("no_line_entry_point"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("HandleConcordanceLine"))) << error.toStdString();
}

TEST(ConcordanceLinePlugin, AFilterThatShortensALineLosesItAndCountsAFault)
{
    QString error;
    auto library = cv::TSharedLibrary::Open(pluginFile("test_line_filter"), &error);
    ASSERT_TRUE(library) << error.toStdString();
    auto* shortens = reinterpret_cast<cv::THandleConcordanceLineFunction>(library->Symbol("ShortensLines", &error));
    ASSERT_TRUE(shortens) << error.toStdString();
    auto filter = TConcordanceLinePlugin::FromFunction(shortens, QStringLiteral("shortener"));
    QString line = QStringLiteral("one two three");
    EXPECT_FALSE(filter->KeepLine(line, 4, 3, 0, 1, QStringLiteral("f")));
    EXPECT_EQ(filter->FaultCount(), 1);
    EXPECT_TRUE(filter->FirstFault().contains(QStringLiteral("shortener")));
    auto throws = TConcordanceLinePlugin::FromFunction(
        [](uint16_t*, int32_t, int32_t, int64_t, int32_t, int32_t, const uint16_t*) -> int32_t { throw 1; },
        QStringLiteral("thrower"));
    QString other = QStringLiteral("x");
    EXPECT_FALSE(throws->KeepLine(other, 0, 1, 0, 1, QStringLiteral("f")));
    EXPECT_EQ(throws->FaultCount(), 1);
}

TEST(ConcordanceLinePlugin, ProcessorBindsTheFilterTheSettingsName)
{
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    const uint8_t tool = cv::current_tool_var;
    cv::SetUseUserFilter(tool, true);
    cv::SetUserDLLFileName(tool, pluginFile("test_line_filter"));
    {
        lines_test::ConcRun r;
        const QString far = QStringLiteral(" far away words go here and on").repeated(3);
        ASSERT_TRUE(r.Run(QStringLiteral("the cat sat. drop the cat here.") + far + QStringLiteral("\nA cat again"),
                          QStringLiteral("cat")));
        // The first two lines hold "drop" within their 60 characters: only the last stays.
        QStringList hits;
        for (int i = 0; i < r.lines.Count(); ++i)
            hits << r.Line(i).fData.conc_line.mid(r.Line(i).fData.base.midpoint, 3);
        EXPECT_EQ(hits, QStringList{QStringLiteral("CAT")});
        EXPECT_TRUE(dialogs.Requests().empty());
    }
    cv::SetUserDLLFileName(tool, pluginFile("no_line_entry_point"));
    {
        lines_test::ConcRun r;
        ASSERT_TRUE(r.Run(QStringLiteral("the cat sat"), QStringLiteral("cat")));
        EXPECT_EQ(r.lines.Count(), 1); // unfiltered, and the user is told once why
        ASSERT_EQ(dialogs.Requests().size(), 1u);
        EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("HandleConcordanceLine")));
    }
    cv::SetUseUserFilter(tool, false);
    cv::SetUserDLLFileName(tool, QString());
}
