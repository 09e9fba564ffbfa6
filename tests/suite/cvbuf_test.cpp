#include "suite/cvbuf.h"

#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/process_utils.h"
#include "suite/wdef.h"
#include "support/test_support.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using cv::TBufSlot;
using cv::TSettingsBuffer;

// Every test starts on private defaults and leaves them behind.
class SettingsBuffer : public ::testing::Test {
protected:
    void SetUp() override { TSettingsBuffer::Instance().UsePrivate(); }
    void TearDown() override
    {
        TSettingsBuffer::Instance().UsePrivate();
        qunsetenv("CV_SETTINGS_BUFFER");
    }
    cvtest::TempDir dir;
};

QByteArray fileBytes(const QString& name) { return cvtest::readAll(name); }

void patchFile(const QString& name, qint64 offset, const QByteArray& bytes)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(offset);
    f.write(bytes);
}

// The id of a process that has ended.
uint32_t deadProcessId()
{
    QProcess p;
    p.start(QStringLiteral("true"));
    p.waitForStarted();
    const auto pid = uint32_t(p.processId());
    p.waitForFinished();
    return pid;
}

QByteArray le32(uint32_t v)
{
    QByteArray b(4, '\0');
    std::memcpy(b.data(), &v, 4);
    return b;
}

} // namespace

TEST_F(SettingsBuffer, PrivateBufferStartsWithDefaults)
{
    EXPECT_FALSE(TSettingsBuffer::Instance().IsShared());
    EXPECT_EQ(cv::GetTextSettings(), cv::TTextSettings::Defaults());
    EXPECT_EQ(cv::GetKeywordsSettings(), cv::TKeyWordsSettingsRec::Defaults());
    EXPECT_EQ(cv::GetConcSaveRec(), cv::TConcSettingsRec32::Defaults());
    EXPECT_EQ(cv::GetListSettings(cv::kToolWordList, 2), cv::TListSettingsRec::Defaults());
    EXPECT_FALSE(cv::GetLogging());
    EXPECT_TRUE(cv::GetTheLogFilename().endsWith(QStringLiteral("CVlog.txt")));
    EXPECT_FALSE(cv::GetUserReadWriteFolder().isEmpty());
    EXPECT_EQ(cv::GetShellWnd(), 0u);
    EXPECT_FALSE(cv::GetCVShellInitialised());
}

TEST_F(SettingsBuffer, PartialSettersChangeOnlyTheirField)
{
    auto c = cv::GetConcSaveRec();
    c.SetSearchWord(QStringLiteral("keep"));
    cv::SetConcSaveRec(c);
    cv::SetConcSaveRecEntriesWantedPerSw(2147483647);
    cv::SetConcSaveRecHideOptions(0x11);
    cv::SetConcSaveRecDisplayOptions(0x09);
    cv::SetConcSaveRecColouringOptions(0x03);
    cv::SetConcSaveRecCollocatesStopAt(6);
    const auto after = cv::GetConcSaveRec();
    EXPECT_EQ(after.SearchWord(), QStringLiteral("keep"));
    EXPECT_EQ(after.EntriesWantedPerSw(), 2147483647);
    EXPECT_EQ(after.HideOptions(), 0x11);
    EXPECT_EQ(after.DisplayOptions(), 0x09);
    EXPECT_EQ(after.ColouringOptions(), 0x03);
    EXPECT_EQ(after.CollocatesStopAt(), 6);
    EXPECT_EQ(cv::GetConcSaveRecCollocHorizons(), (cv::Tdouble_smallint_type{5, 5}));

    cv::SetKeywordsSettingsReferenceCorpus(QStringLiteral("/corpus/ref.lst"));
    EXPECT_EQ(cv::GetKeywordsSettingsReferenceCorpus(), QStringLiteral("/corpus/ref.lst"));
    EXPECT_EQ(cv::GetKeywordsSettings().MinFrequency(), cv::TKeyWordsSettingsRec::Defaults().MinFrequency());
}

TEST_F(SettingsBuffer, PerToolAndPerKindSlotsAreSeparate)
{
    cv::SetLemmaMatchStopWanted(cv::kToolWordList, 2, true);
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 2, QStringLiteral("stop.txt"));
    cv::SetLemmaMatchStopFilename(cv::kToolConcordance, 2, QStringLiteral("other.txt"));
    auto ls = cv::TListSettingsRec::Defaults();
    ls.SetCaseSensitive(true);
    cv::SetListSettings(cv::kToolWordList, 3, ls);
    cv::SetFastMinimalProcessing(cv::kToolConcordance, true);
    cv::SetLastUsedFile(23, QStringLiteral("corpus.types"));
    cv::SetLastMainToolFileName(cv::kToolKeyWords, QStringLiteral("k.kws"));

    EXPECT_TRUE(cv::GetLemmaMatchStopWanted(cv::kToolWordList, 2));
    EXPECT_FALSE(cv::GetLemmaMatchStopWanted(cv::kToolWordList, 1));
    EXPECT_FALSE(cv::GetLemmaMatchStopWanted(cv::kToolConcordance, 2));
    EXPECT_EQ(cv::GetLemmaMatchStopFilename(cv::kToolWordList, 2), QStringLiteral("stop.txt"));
    EXPECT_EQ(cv::GetLemmaMatchStopFilename(cv::kToolConcordance, 2), QStringLiteral("other.txt"));
    EXPECT_TRUE(cv::GetListSettings(cv::kToolWordList, 3).CaseSensitive());
    EXPECT_FALSE(cv::GetListSettings(cv::kToolWordList, 2).CaseSensitive());
    EXPECT_TRUE(cv::GetFastMinimalProcessing(cv::kToolConcordance));
    EXPECT_FALSE(cv::GetFastMinimalProcessing(cv::kToolWordList));
    EXPECT_EQ(cv::GetLastUsedFile(23), QStringLiteral("corpus.types"));
    EXPECT_TRUE(cv::GetLastUsedFile(22).isEmpty());
    EXPECT_EQ(cv::GetLastMainToolFileName(cv::kToolKeyWords), QStringLiteral("k.kws"));
}

TEST_F(SettingsBuffer, NumbersOutOfRangeAreHarmless)
{
    cv::SetLemmaMatchStopFilename(200, 0, QStringLiteral("x"));
    cv::SetLemmaMatchStopWanted(0, 9, true);
    cv::SetLastUsedFile(250, QStringLiteral("x"));
    cv::SetNewWnd(99, 1234);
    cv::SetMenuItemChecked(999, true);
    EXPECT_TRUE(cv::GetLemmaMatchStopFilename(200, 0).isEmpty());
    EXPECT_FALSE(cv::GetLemmaMatchStopWanted(0, 9));
    EXPECT_TRUE(cv::GetLastUsedFile(250).isEmpty());
    EXPECT_EQ(cv::GetToolWnd(99), 0u);
    EXPECT_FALSE(cv::GetMenuItemChecked(999));
    EXPECT_EQ(cv::GetListSettings(40, 0), cv::TListSettingsRec::Defaults());
}

TEST_F(SettingsBuffer, WindowRegistrationsAndToolsOpen)
{
    cv::SetNewWnd(cv::kToolWordList, 0x100000001ull);
    cv::SetActiveMainToolWindow(cv::kToolWordList, 0x100000001ull);
    cv::SetActiveChildToolWindow(cv::kToolWordList, 0x100000002ull);
    cv::SetNewWnd(cv::kToolController, 0x200000001ull);
    cv::SetNewWnd(cv::kToolKeyWords, 0x300000001ull);
    EXPECT_EQ(cv::GetToolsOpen(), 2) << "the controller is not a tool";

    cv::UnSetWnd(cv::kToolWordList, 0x1FFFFFFFFull); // another window: nothing happens
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), 0x100000001ull);
    cv::UnSetWnd(cv::kToolWordList, 0x100000001ull);
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), 0u);
    EXPECT_EQ(cv::GetActiveMainToolWindow(cv::kToolWordList), 0u);
    EXPECT_EQ(cv::GetActiveChildToolWindow(cv::kToolWordList), 0u) << "the window's own child goes with it";
    EXPECT_EQ(cv::GetToolsOpen(), 1);
}

TEST_F(SettingsBuffer, EveryWindowOfAToolCountsAsOpenUntilItGoes)
{
    // A second window of the word-list tool registers over the first: both are open.
    const cv::TWindowHandle first = cv::MakeWindowHandle(cv::CurrentProcessId(), 1);
    const cv::TWindowHandle second = cv::MakeWindowHandle(cv::CurrentProcessId(), 2);
    cv::SetNewWnd(cv::kToolWordList, first);
    cv::SetNewWnd(cv::kToolWordList, second);
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), second);
    EXPECT_EQ(cv::GetToolsOpen(), 2);
    std::vector<cv::TWindowHandle> open;
    for (const cv::TOpenToolWindow& w : cv::GetOpenToolWindows()) {
        EXPECT_EQ(w.tool, cv::kToolWordList);
        open.push_back(w.wnd);
    }
    std::sort(open.begin(), open.end());
    EXPECT_EQ(open, (std::vector<cv::TWindowHandle>{first, second}));
    // Registering again lists nothing twice.
    cv::SetNewWnd(cv::kToolWordList, first);
    EXPECT_EQ(cv::GetToolsOpen(), 2);
    // The newer one closes: the older one is still open.
    cv::UnSetWnd(cv::kToolWordList, second);
    EXPECT_EQ(cv::GetToolsOpen(), 1);
    ASSERT_EQ(cv::GetOpenToolWindows().size(), 1u);
    EXPECT_EQ(cv::GetOpenToolWindows().front().wnd, first);
    // A window of a process that has ended is not open, and its place is taken again.
    cv::SetNewWnd(cv::kToolKeyWords, cv::MakeWindowHandle(deadProcessId(), 1));
    cv::SetNewWnd(cv::kToolKeyWords, cv::MakeWindowHandle(cv::CurrentProcessId(), 3));
    EXPECT_EQ(cv::GetToolsOpen(), 2);
    for (int i = 0; i < cv::kOpenToolWindowSlots + 4; ++i)
        cv::SetNewWnd(cv::kToolConcordance, cv::MakeWindowHandle(cv::CurrentProcessId(), uint32_t(10 + i)));
    EXPECT_LE(cv::GetOpenToolWindows().size(), size_t(cv::kOpenToolWindowSlots) + 1) << "the list is bounded";
}

TEST_F(SettingsBuffer, ControllerCountsAsInitialisedOnlyWhileItsProcessLives)
{
    // The private buffer never has a controller, so this runs on a shared one.
    const QString name = dir.file(QStringLiteral("buf"));
    qputenv("CV_SETTINGS_BUFFER", name.toLocal8Bit());
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, false));
    cv::SetCVShellInitialised(true);
    EXPECT_TRUE(cv::GetCVShellInitialised());
    EXPECT_EQ(cv::GetControllerProcessId(), cv::CurrentProcessId());

    patchFile(name, TSettingsBuffer::SlotOffset(TBufSlot::Windows) + 12, le32(deadProcessId()));
    EXPECT_FALSE(cv::GetCVShellInitialised()) << "a killed controller leaves its flag behind";
    cv::SetCVShellInitialised(false);
    EXPECT_FALSE(cv::GetCVShellInitialised());
}

TEST_F(SettingsBuffer, SharedFileHoldsRecordsAtTheDocumentedOffsets)
{
    const QString name = dir.file(QStringLiteral("buf"));
    QString error;
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, false, &error)) << error.toStdString();
    auto k = cv::GetKeywordsSettings();
    k.SetMatchPercentage(61);
    cv::SetKeywordsSettings(k);
    cv::SetMenuItemChecked(cv::TMenuCommand::SetCategories, true);

    const QByteArray bytes = fileBytes(name);
    ASSERT_EQ(bytes.size(), qsizetype(TSettingsBuffer::TotalSize()));
    EXPECT_EQ(bytes.left(8), QByteArray("CVSETBUF"));
    EXPECT_EQ(bytes.mid(16, 4), le32(TSettingsBuffer::TotalSize()));
    const auto kw = TSettingsBuffer::SlotOffset(TBufSlot::KeyWords);
    EXPECT_EQ(bytes.mid(kw + 1596, 4), le32(61));
    const auto general = TSettingsBuffer::SlotOffset(TBufSlot::General);
    const int checked = TagOf(cv::TMenuCommand::SetCategories); // a bit per tag
    EXPECT_EQ(uint8_t(bytes[general + cv::TGeneralSettingsRec::kMenuCheckedBitsOffset + checked / 8]), 1u << (checked % 8));
    // Slots never overlap and keep to the file.
    for (int s = 0; s + 1 < int(TBufSlot::Count); ++s) {
        const auto slot = TBufSlot(s);
        EXPECT_LE(TSettingsBuffer::SlotOffset(slot, TSettingsBuffer::SlotCount(slot)), TSettingsBuffer::SlotOffset(TBufSlot(s + 1)));
    }
    EXPECT_LE(TSettingsBuffer::SlotOffset(TBufSlot::LastUsedFiles, TSettingsBuffer::SlotCount(TBufSlot::LastUsedFiles)),
              TSettingsBuffer::TotalSize());
}

TEST_F(SettingsBuffer, ControllerRestartKeepsOrResetsSettings)
{
    const QString name = dir.file(QStringLiteral("buf"));
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, false));
    cv::SetTagsWanted(7);
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, true));
    EXPECT_EQ(cv::GetTagsWanted(), 7);
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, false));
    EXPECT_EQ(cv::GetTagsWanted(), 0);
}

TEST_F(SettingsBuffer, DamagedFilesAreRefusedWithTheReason)
{
    struct Case {
        const char* what;
        std::function<void(const QString&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"wrong signature", [](const QString& n) { patchFile(n, 0, "XXXXXXXX"); }, "not a settings buffer"},
        {"newer version", [](const QString& n) { patchFile(n, 8, le32(99)); }, "version 99"},
        {"other layout", [](const QString& n) { patchFile(n, 20, le32(0xDEADBEEF)); }, "layout differs"},
        {"truncated", [](const QString& n) { QFile::resize(n, 5000); }, "truncated"},
        {"header cut", [](const QString& n) { QFile::resize(n, 10); }, "truncated"},
        {"empty", [](const QString& n) { QFile::resize(n, 0); }, "truncated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = dir.file(QString::fromLatin1(c.what));
        ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, false));
        TSettingsBuffer::Instance().UsePrivate();
        c.damage(name);
        cv::SetTagsWanted(3); // the private buffer in use must survive a refused attach
        QString error;
        EXPECT_FALSE(TSettingsBuffer::Instance().AttachShared(name, &error));
        EXPECT_TRUE(error.contains(name)) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        EXPECT_FALSE(TSettingsBuffer::Instance().IsShared());
        EXPECT_EQ(cv::GetTagsWanted(), 3);
        // The controller repairs it.
        ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, true, &error)) << error.toStdString();
        EXPECT_EQ(cv::GetTextSettings(), cv::TTextSettings::Defaults());
        TSettingsBuffer::Instance().UsePrivate();
        EXPECT_TRUE(TSettingsBuffer::Instance().AttachShared(name, &error)) << error.toStdString();
        TSettingsBuffer::Instance().UsePrivate();
    }
}

TEST_F(SettingsBuffer, SetupWarnsOnceAboutADamagedBufferAndGoesOnWithDefaults)
{
    const QString file = dir.write(QStringLiteral("damaged.buf"), QByteArray(300, 'z'));
    qputenv("CV_SETTINGS_BUFFER", file.toLocal8Bit());
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);

    EXPECT_FALSE(cv::SetupCVBufSharing());
    EXPECT_FALSE(cv::SetupCVBufSharing());
    EXPECT_FALSE(cv::GetCVShellInitialised());
    ASSERT_EQ(dialogs.Requests().size(), 1u) << "one warning, not one per attempt";
    EXPECT_EQ(dialogs.Requests()[0].kind, cv::TDialogKind::Warning);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(file));
    EXPECT_EQ(cv::GetTextSettings(), cv::TTextSettings::Defaults());
}

TEST_F(SettingsBuffer, MissingBufferMeansStandaloneWithoutAMessage)
{
    qputenv("CV_SETTINGS_BUFFER", dir.file(QStringLiteral("absent.buf")).toLocal8Bit());
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    EXPECT_FALSE(cv::SetupCVBufSharing());
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("absent.buf")))) << "a tool never creates the buffer";
}

TEST_F(SettingsBuffer, ALockLeftByADeadProcessIsTakenOver)
{
    const QString name = dir.file(QStringLiteral("buf"));
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, false));
    patchFile(name, 24, le32(deadProcessId()));
    const auto before = TSettingsBuffer::Instance().WriteCount();
    cv::SetTagsWanted(5); // would hang for ever if the dead owner were waited for
    EXPECT_EQ(cv::GetTagsWanted(), 5);
    EXPECT_GT(TSettingsBuffer::Instance().WriteCount(), before);
}

TEST_F(SettingsBuffer, LayoutMatchesTheDocumentedTable)
{
    // docs/settings-buffer.md lists these; change both together.
    EXPECT_EQ(TSettingsBuffer::TotalSize(), 185280u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::General), 1088u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::TextSettings), 38720u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::KeyWords), 40768u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::Concordance), 43440u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::WordlistIndex), 46032u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::Progress), 49792u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::ListSettings, 4 * cv::kToolConcordance + 2), 118400u + 256u * 6u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::LastUsedFiles), 151168u);
    EXPECT_EQ(TSettingsBuffer::SlotOffset(TBufSlot::GridDefaults), 184960u);
}

TEST_F(SettingsBuffer, PrinterPreferencesSizeTheWordColumnAndColumnsHaveDefaults)
{
    EXPECT_EQ(cv::GetDefaultColumnVisibility(cv::kListKeyWords), 0xFFFFFFFFu);
    const cv::TPrinterPrefs prefs = cv::GetPrinterPrefs();
    EXPECT_EQ(prefs.wordColumnTenthsMm, 400);
    EXPECT_EQ(prefs.screenDpi, 96);
    // 40 mm at 96 dots per inch: 151.18 pixels.
    EXPECT_EQ(cv::PixelWidth(prefs), 151);
    EXPECT_EQ(cv::PixelWidth({254, 200}), 200);
    EXPECT_EQ(cv::PixelWidth({0, 96}), 1);
    cv::SetDefaultColumnVisibility(cv::kListKeyWords, 0x5u);
    cv::SetPrinterPrefs({508, 120});
    EXPECT_EQ(cv::GetDefaultColumnVisibility(cv::kListKeyWords), 0x5u);
    EXPECT_EQ(cv::GetDefaultColumnVisibility(200), 0xFFFFFFFFu) << "no such list type: every column";
    EXPECT_EQ(cv::PixelWidth(cv::GetPrinterPrefs()), 240);
}

TEST_F(SettingsBuffer, TheSuitesBufferIsInItsOwnFolderForTheUserAlone)
{
    EXPECT_EQ(TSettingsBuffer::DefaultFileName(), cv::SuiteTempFile(QStringLiteral("corvantis-settings.buf")));
    QString error;
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(TSettingsBuffer::DefaultFileName(), false, &error)) << error.toStdString();
    EXPECT_EQ(cvtest::modeOf(TSettingsBuffer::DefaultFileName()), 0600u);
    EXPECT_EQ(TSettingsBuffer::Instance().FileName(), TSettingsBuffer::DefaultFileName());
    EXPECT_TRUE(cv::GetTheLogFilename().startsWith(cv::SuiteTempFolder())) << "the tools' log lies there too";
}

TEST_F(SettingsBuffer, ALinkInThePlaceOfTheBufferIsNotWrittenThrough)
{
    // A file of the user's that a link at the buffer's name points to.
    const QString mine = dir.write(QStringLiteral("thesis.txt"), "chapter one");
    const QString name = dir.file(QStringLiteral("buf"));
    ASSERT_TRUE(QFile::link(mine, name));
    QString error;
    EXPECT_FALSE(TSettingsBuffer::Instance().CreateShared(name, false, &error));
    EXPECT_TRUE(error.contains(name) && error.contains(QStringLiteral("symbolic link"))) << error.toStdString();
    EXPECT_FALSE(TSettingsBuffer::Instance().AttachShared(name, &error));
    EXPECT_FALSE(TSettingsBuffer::Instance().IsShared());
    EXPECT_EQ(fileBytes(mine), QByteArray("chapter one"));
}

TEST_F(SettingsBuffer, ABufferAnotherUserMadeIsNeitherSharedNorTakenOver)
{
    const auto other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    // The other user's buffer, open to all, in which they named a plug-in for our tools to load.
    const QString name = dir.file(QStringLiteral("theirs.buf"));
    ASSERT_TRUE(TSettingsBuffer::Instance().CreateShared(name, false));
    cv::SetUserDLLFileName(cv::kToolWordList, QStringLiteral("/home/other/evil.so"));
    cv::SetUseUserFilter(cv::kToolWordList, true);
    TSettingsBuffer::Instance().UsePrivate();
    ::chmod(QFile::encodeName(name).constData(), 0666);
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, name));
    const QByteArray before = fileBytes(name);

    QString error;
    EXPECT_FALSE(TSettingsBuffer::Instance().AttachShared(name, &error));
    EXPECT_TRUE(error.contains(name) && error.contains(QStringLiteral("belongs to another user"))) << error.toStdString();
    EXPECT_FALSE(TSettingsBuffer::Instance().CreateShared(name, false, &error));
    EXPECT_FALSE(cv::GetUseUserFilter(cv::kToolWordList));
    EXPECT_TRUE(cv::GetUserDLLFileName(cv::kToolWordList).isEmpty());
    EXPECT_EQ(fileBytes(name), before) << "nothing of ours is written into it";
}
