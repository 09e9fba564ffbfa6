#include "wordlist/word_filter_plugin.h"

#include <gtest/gtest.h>

#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

using cv::TWordFilterPlugin;

namespace {

QString pluginFile(const char* name)
{
    return QStringLiteral(CV_TEST_WORD_FILTER_DIR "/lib%1.so").arg(QString::fromLatin1(name));
}

std::unique_ptr<TWordFilterPlugin> loadTestFilter()
{
    QString error;
    auto filter = TWordFilterPlugin::Load(pluginFile("test_word_filter"), &error);
    EXPECT_TRUE(filter) << error.toStdString();
    return filter;
}

struct Filtered {
    bool kept;
    QString word;
    int32_t frequency;
};

Filtered run(TWordFilterPlugin& f, const QString& word, int32_t frequency)
{
    Filtered r{false, word, frequency};
    r.kept = f.ChangeWord(r.word, r.frequency);
    return r;
}

} // namespace

TEST(WordFilterPlugin, KeepsDropsAndChangesWords)
{
    auto f = loadTestFilter();
    ASSERT_TRUE(f);

    Filtered r = run(*f, QStringLiteral("house"), 12);
    EXPECT_TRUE(r.kept);
    EXPECT_EQ(r.word, QStringLiteral("house"));
    EXPECT_EQ(r.frequency, 12);

    EXPECT_FALSE(run(*f, QStringLiteral("dropme"), 5).kept);

    r = run(*f, QStringLiteral("colour"), 7);
    EXPECT_TRUE(r.kept);
    EXPECT_EQ(r.word, QStringLiteral("color"));
    EXPECT_EQ(r.frequency, 7);

    r = run(*f, QStringLiteral("double"), 21);
    EXPECT_TRUE(r.kept);
    EXPECT_EQ(r.word, QStringLiteral("double"));
    EXPECT_EQ(r.frequency, 42);

    // An empty replacement and a frequency of 0 leave nothing to list.
    EXPECT_FALSE(run(*f, QStringLiteral("empty"), 3).kept);
    EXPECT_FALSE(run(*f, QStringLiteral("zero"), 3).kept);
    EXPECT_EQ(f->FaultCount(), 0);
}

TEST(WordFilterPlugin, UnicodeTravelsUnchangedBothWays)
{
    auto f = loadTestFilter();
    ASSERT_TRUE(f);
    // Non-Latin letters and a character outside the BMP (a surrogate pair).
    const QString word = QString::fromUtf8("+naïve\xF0\x9D\x92\x9Cжё");
    Filtered r = run(*f, word, 1);
    ASSERT_TRUE(r.kept);
    EXPECT_EQ(r.word, word.mid(1));

    // A word longer than the buffer given for the answer: the filter leaves it alone.
    const QString longWord = QStringLiteral("+") + QString(TWordFilterPlugin::kNewWordCapacity + 5, u'a');
    r = run(*f, longWord, 1);
    EXPECT_TRUE(r.kept);
    EXPECT_EQ(r.word, longWord);
}

TEST(WordFilterPlugin, BrokenAnswersKeepTheWordAndAreCounted)
{
    auto f = loadTestFilter();
    ASSERT_TRUE(f);
    for (const char* w : {"bad", "toolong", "negative"}) {
        Filtered r = run(*f, QString::fromLatin1(w), 9);
        EXPECT_TRUE(r.kept) << w;
        EXPECT_EQ(r.word, QString::fromLatin1(w));
        EXPECT_EQ(r.frequency, 9) << w;
    }
    EXPECT_EQ(f->FaultCount(), 3);
    // The first fault is described, naming the library and the word.
    EXPECT_TRUE(f->FirstFault().contains(QStringLiteral("answered 7")));
    EXPECT_TRUE(f->FirstFault().contains(QStringLiteral("\"bad\"")));
    EXPECT_TRUE(f->FirstFault().contains(f->LibraryPath()));
}

TEST(WordFilterPlugin, MissingOrWrongLibrariesGiveClearErrors)
{
    cvtest::TempDir dir;
    QString error;

    EXPECT_FALSE(TWordFilterPlugin::Load(dir.file(QStringLiteral("absent.so")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("absent.so")));
    EXPECT_TRUE(error.contains(QStringLiteral("does not exist")));

    error.clear();
    EXPECT_FALSE(TWordFilterPlugin::Load(QString(), &error));
    EXPECT_FALSE(error.isEmpty());

    // A text file under a library's name.
    const QString fake = dir.write(QStringLiteral("fake.so"), "not a library\n");
    error.clear();
    EXPECT_FALSE(TWordFilterPlugin::Load(fake, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot load library")));
    EXPECT_TRUE(error.contains(QStringLiteral("fake.so")));

    // A folder is no library either.
    error.clear();
    EXPECT_FALSE(TWordFilterPlugin::Load(dir.path(), &error));
    EXPECT_FALSE(error.isEmpty());

    // A real library without the entry point.
    error.clear();
    EXPECT_FALSE(TWordFilterPlugin::Load(pluginFile("no_entry_point"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("WordlistChangeWord")));
    EXPECT_TRUE(error.contains(QStringLiteral("libno_entry_point.so")));
}

// A filter runs as the user: one another user could have changed (the
// file, or a folder above it, theirs or open to them) is not loaded.
TEST(WordFilterPlugin, ALibraryOthersCouldChangeIsRefused)
{
    cvtest::TempDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const auto copyInto = [&](const QString& folder, mode_t folderMode) {
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), folderMode);
        const QString copy = QDir(folder).filePath(QStringLiteral("libfilter.so"));
        EXPECT_TRUE(QFile::copy(pluginFile("test_word_filter"), copy));
        ::chmod(QFile::encodeName(copy).constData(), 0755);
        return copy;
    };
    QString error;
    const QString sticky = copyInto(dir.file(QStringLiteral("tmp")), 01777);
    EXPECT_TRUE(TWordFilterPlugin::Load(sticky, &error)) << "a file of the user's in a folder like /tmp: " << error.toStdString();

    const QString open = copyInto(dir.file(QStringLiteral("open")), 0777);
    EXPECT_FALSE(TWordFilterPlugin::Load(open, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("the folder \"%1\" may be changed by every user of the machine; it is not loaded")
                                   .arg(dir.file(QStringLiteral("open")))))
        << error.toStdString();
    ::chmod(QFile::encodeName(sticky).constData(), 0666);
    EXPECT_FALSE(TWordFilterPlugin::Load(sticky, &error));
    EXPECT_TRUE(error.endsWith(QStringLiteral("it may be changed by every user of the machine; it is not loaded"))) << error.toStdString();
    ::chmod(QFile::encodeName(sticky).constData(), 0755);

    const std::optional<cvtest::OtherUser> other = cvtest::otherUser();
    if (!other)
        return;
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, sticky));
    EXPECT_FALSE(TWordFilterPlugin::Load(sticky, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("it belongs to another user (user nobody"))) << error.toStdString();
    const QString theirs = copyInto(dir.file(QStringLiteral("theirs")), 0755);
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, dir.file(QStringLiteral("theirs"))));
    EXPECT_FALSE(TWordFilterPlugin::Load(theirs, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("the folder \"%1\" belongs to another user").arg(dir.file(QStringLiteral("theirs")))))
        << error.toStdString();
}

TEST(WordFilterPlugin, TheSettingsNameTheFilterPerTool)
{
    cv::TSettingsBuffer::Instance().UsePrivate();
    const uint8_t tool = cv::kToolWordList;
    QString error = QStringLiteral("stale");

    cv::SetUseUserFilter(tool, false);
    cv::SetUserDLLFileName(tool, pluginFile("test_word_filter"));
    EXPECT_FALSE(TWordFilterPlugin::LoadForTool(tool, &error));
    EXPECT_TRUE(error.isEmpty());

    cv::SetUseUserFilter(tool, true);
    cv::SetUserDLLFileName(tool, QString());
    EXPECT_FALSE(TWordFilterPlugin::LoadForTool(tool, &error));
    EXPECT_TRUE(error.isEmpty());

    cv::SetUserDLLFileName(tool, pluginFile("test_word_filter"));
    auto f = TWordFilterPlugin::LoadForTool(tool, &error);
    ASSERT_TRUE(f) << error.toStdString();
    QString w = QStringLiteral("dropme");
    int32_t n = 1;
    EXPECT_FALSE(f->ChangeWord(w, n));

    cv::SetUserDLLFileName(tool, pluginFile("no_entry_point"));
    EXPECT_FALSE(TWordFilterPlugin::LoadForTool(tool, &error));
    EXPECT_FALSE(error.isEmpty());

    cv::TSettingsBuffer::Instance().ResetToDefaults();
}
