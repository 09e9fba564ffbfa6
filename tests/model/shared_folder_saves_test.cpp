// A word list saved or exported into a folder other users may write to
// (/tmp): a link another user put at the name is refused with the reason,
// on every road (the document, each export), and the user's own file it
// points at stays as it was; the user's own link leads to its file as ever.
// The other user is played by a child process that gives up root.

#include "model_testutil.h"

#include "suite/dialogs.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using cvtest::TTestDocument;

namespace {

struct SharedFolderSaves : ::testing::Test {
    void SetUp() override
    {
        other = cvtest::otherUser();
        if (!other)
            GTEST_SKIP() << "needs root to act as a second user";
        shared = cvtest::makeSharedFolder(dir);
        precious = dir.write(QStringLiteral("precious.txt"), "the user's own");
        ::chmod(QFile::encodeName(precious).constData(), 0600);
        d.words.AddWord(QStringLiteral("the"), 12);
        d.words.AddWord(QStringLiteral("word"), 3);
    }
    cvtest::TempDir dir;
    std::optional<cvtest::OtherUser> other;
    QString shared, precious;
    TTestDocument d;
};

TEST_F(SharedFolderSaves, EveryRoadRefusesAnotherUsersLinkAndSaysWhy)
{
    const std::vector<std::pair<const char*, std::function<bool(const QString&)>>> roads{
        {"v.lst", [&](const QString& name) { return d.SaveToFile(name); }},
        {"v.txt", [&](const QString& name) { d.ExportSettings.FileName = name; return d.SaveListAsTXT(d.words); }},
        {"v.xml", [&](const QString& name) { d.ExportSettings.FileName = name; return d.SaveListAsXML(d.words); }},
        {"v.rtf", [&](const QString& name) { d.ExportSettings.FileName = name; return d.SaveListAsRTF(d.words); }},
        {"v.xlsx", [&](const QString& name) { d.ExportSettings.FileName = name; return d.SaveListAsExcel(d.words); }},
    };
    for (const auto& [file, save] : roads) {
        SCOPED_TRACE(file);
        cv::TScriptedDialogs dialogs;
        cv::TDialogServiceGuard guard(&dialogs);
        const QString name = QDir(shared).filePath(QLatin1String(file));
        ASSERT_EQ(cvtest::linkAsOtherUser(*other, precious, name), QString());
        EXPECT_FALSE(save(name));
        EXPECT_EQ(cvtest::readAll(precious), "the user's own");
        ASSERT_FALSE(dialogs.Requests().empty());
        EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("symbolic link of another user")))
            << dialogs.Requests().back().text.toStdString();
    }
    EXPECT_EQ(QDir(shared).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(), 5)
        << "only the links are there: no temporary file was left";
}

TEST_F(SharedFolderSaves, TheUsersOwnLinkThereStillLeadsToItsFile)
{
    const QString name = QDir(shared).filePath(QStringLiteral("mine.lst"));
    ASSERT_TRUE(QFile::link(precious, name));
    EXPECT_TRUE(d.SaveToFile(name));
    EXPECT_TRUE(QFileInfo(name).isSymLink());
    EXPECT_NE(cvtest::readAll(precious), "the user's own");
    EXPECT_EQ(cvtest::modeOf(precious), 0600u);
}

} // namespace
