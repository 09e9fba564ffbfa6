// The command line: the parser, the file it names, and what the window opens
// at start-up.

#include "wordlist_window_testutil.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <functional>
#include <new>
#include <utility>

#include "gui/cv_status_bar.h"
#include "index/index_files.h"
#include "index/index_handler.h"
#include "suite/logging.h"
#include "suite/zip_archive.h"
#include "ui/framework/parameter_handling.h"

namespace wordlist_window_test {
namespace {

using cv::ParseCommandLine;

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { cvtest::StartFromDefaults(); }
    void TearDown() override
    {
        cv::SwitchLogging(false);
        cv::current_tool_var = cv::kToolWordList;
    }
    cvtest::TempDir dir;
};

TEST_F(CommandLine, OptionSwitchesSetTheirFlagsAndStayOutOfTheFileName)
{
    const cv::TCVParamsFound p =
        ParseCommandLine({"-C", "/K", "\\W", "-I", "/G", "-c", "-x", "-CK", "file.lst"});
    EXPECT_EQ(p.parms_found, cv::kParmC | cv::kParmK | cv::kParmW | cv::kParmI | cv::kParmG);
    // Lower case and unknown letters set nothing; a longer parameter is no switch.
    EXPECT_EQ(p.formatted_params, QStringLiteral("-CK file.lst"));
    EXPECT_EQ(p.tool_wanted, cv::kToolNone);
    EXPECT_TRUE(p.logfilename.isEmpty());

    EXPECT_EQ(ParseCommandLine({"-F"}).parms_found, cv::kParmF);
    EXPECT_EQ(ParseCommandLine({"-Y"}).parms_found, cv::kParmF | cv::kParmY);
    EXPECT_EQ(ParseCommandLine({"-Y", "-F"}).parms_found, cv::kParmF); // F takes Y back
    EXPECT_EQ(ParseCommandLine({"-F", "/Y"}).parms_found, cv::kParmF | cv::kParmY);

    // Doubled slashes are ordinary parameters; empty ones are skipped.
    const cv::TCVParamsFound q = ParseCommandLine({"//", "", "\\\\", "x"});
    EXPECT_EQ(q.parms_found, 0);
    EXPECT_EQ(q.formatted_params, QStringLiteral("// \\\\ x"));
}

TEST_F(CommandLine, AToolsProgramNameSelectsThatToolExactly)
{
    const cv::TCVParamsFound p = ParseCommandLine({cv::GetShortToolFilename(cv::kToolConcordance), "a.lst"});
    EXPECT_EQ(p.parms_found, cv::kParmTool);
    EXPECT_EQ(p.tool_wanted, cv::kToolConcordance);
    EXPECT_EQ(p.formatted_params, cv::GetShortToolFilename(cv::kToolConcordance) + QStringLiteral(" a.lst"));
    const cv::TCVParamsFound q = ParseCommandLine({cv::GetShortToolFilename(cv::kToolConcordance).toUpper()});
    EXPECT_EQ(q.parms_found, 0);
    EXPECT_EQ(q.tool_wanted, cv::kToolNone);
}

TEST_F(CommandLine, LogTakesTheNextParameterWhateverItIsElseTheDefaultFile)
{
    const QString log = dir.file(QStringLiteral("my.log"));
    const cv::TCVParamsFound p = ParseCommandLine({"/log", log, "a.lst"});
    EXPECT_EQ(p.parms_found, cv::kParmLog);
    EXPECT_EQ(p.logfilename, log);
    EXPECT_EQ(p.formatted_params, QStringLiteral("a.lst"));
    EXPECT_TRUE(cv::LoggingIsOn());
    EXPECT_EQ(cv::LogFilename(), log);
    EXPECT_TRUE(QFileInfo::exists(log)); // a new section was started

    const cv::TCVParamsFound s = ParseCommandLine({"/log", "-C"});
    EXPECT_EQ(s.logfilename, QStringLiteral("-C"));
    EXPECT_EQ(s.parms_found, cv::kParmLog);

    cv::SetLogFilename(log);
    const cv::TCVParamsFound d = ParseCommandLine({"a.lst", "/log"});
    EXPECT_EQ(d.logfilename, cv::DefaultLogFilename());
    EXPECT_EQ(d.formatted_params, QStringLiteral("a.lst"));
    EXPECT_EQ(ParseCommandLine({"/LOG"}).parms_found, 0); // case matters
}

TEST_F(CommandLine, TheJoinedParametersNameTheFileToOpen)
{
    const QString spaced = dir.write(QStringLiteral("my file.lst"), "x");
    const cv::TCVParamsFound p = ParseCommandLine({dir.file(QStringLiteral("my")), "file.lst"});
    const cv::TCVStored_File_rec rec = cv::HandleCommandLineParameters(p.formatted_params);
    EXPECT_EQ(rec.FileName, spaced);
    EXPECT_EQ(rec.ListType, cv::kListWordList);

    EXPECT_EQ(cv::HandleCommandLineParameters(dir.file(QStringLiteral("absent.lst"))), cv::TCVStored_File_rec{});
    EXPECT_EQ(cv::HandleCommandLineParameters(QString()), cv::TCVStored_File_rec{});
    EXPECT_EQ(cv::HandleCommandLineParameters(dir.path()), cv::TCVStored_File_rec{}); // a folder is no file
    EXPECT_EQ(cv::HandleCommandLineParameters(dir.write(QStringLiteral("i.tokens"), "x")).ListType,
              cv::kListIndexWordList);
}

TEST_F(CommandLine, AZipOpensOnlyWhenItIsABatchOfResults)
{
    const QString other = dir.file(QStringLiteral("other.zip"));
    {
        cv::TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(other));
        ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("readme.txt"), std::vector<uint8_t>{'h', 'i'}));
    }
    EXPECT_EQ(cv::HandleCommandLineParameters(other).ListType, cv::kListNone);
    EXPECT_EQ(cv::HandleCommandLineParameters(other).FileName, other);

    const QString batch = dir.file(QStringLiteral("batch.zip"));
    {
        cv::TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(batch));
        ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("a.lst"), std::vector<uint8_t>{'x'}));
        ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("b.lst"), std::vector<uint8_t>{'y'}));
    }
    const cv::TCVStored_File_rec rec = cv::HandleCommandLineParameters(batch);
    EXPECT_EQ(rec.ListType, cv::kListWordList);
    EXPECT_EQ(rec.Count, 2);
}

TEST_F(CommandLine, ForToolFiveAnythingButASavedResultIsAPlainTextList)
{
    cv::current_tool_var = 5;
    const QString text = dir.write(QStringLiteral("words.lst"), "the\t5\n");
    EXPECT_EQ(cv::HandleCommandLineParameters(text).ListType, cv::kListPlainTextWordList);
}

// ---- the window's start-up ------------------------------------------------------

class StartUp : public WordListWindowTest {
protected:
    // A window made with this command line, shown, after its start-up steps
    // (`afterOpenFile`: the window's hook).
    void StartWith(const QStringList& commandLine, std::function<void()> afterOpenFile = {})
    {
        window.reset();
        window = std::make_unique<TestWindow>(commandLine);
        window->afterOpenFile = std::move(afterOpenFile);
        window->SetJobChoices(&choices);
        bool finished = false;
        QObject::connect(window.get(), &cv::TFormWordList::StartupFinished, [&] { finished = true; });
        window->show();
        QElapsedTimer t;
        t.start();
        while (!finished && t.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_TRUE(finished);
    }
};

TEST_F(StartUp, AWordListNamedOnTheCommandLineOpensOnceTheWindowIsUp)
{
    const QString saved = SavedWordList(QStringLiteral("corpus"), QStringLiteral("the cat and the dog"));
    StartWith({saved});
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->Count(), 4);
    EXPECT_EQ(Doc()->MainFile.FileName, saved);
    EXPECT_EQ(window->parms.formatted_params, saved);
    EXPECT_EQ(CurrentGrid(), window->CVGridFreq);
    EXPECT_EQ(window->CVGridFreq->List(), Words());
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(cv::GetLastMainToolFileName(cv::kToolWordList), saved);
}

// Memory that runs out while the list named is opened and shown: the window
// drops it, says why, ends its start-up (an unattended run then ends) and
// goes on.
TEST_F(StartUp, AListThatRunsShortOfMemoryWhileItIsShownGoesAndTheStartUpEnds)
{
    const QString saved = SavedWordList(QStringLiteral("corpus"), QStringLiteral("the cat and the dog"));
    bool shortage = true;
    StartWith({saved}, [&] {
        if (std::exchange(shortage, false))
            throw std::bad_alloc();
    });
    EXPECT_EQ(Doc(), nullptr);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NotEnoughMemory")});
    EXPECT_FALSE(cv::Global_Busy_Dont_Show_Data);

    // With the memory back, the list opens.
    cv::StartupOpenFileRec().FileName = saved;
    cv::StartupOpenFileRec().ListType = cv::kListWordList;
    ASSERT_TRUE(window->OpenFile());
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->Count(), 4);
}

TEST_F(StartUp, AnIndexNamedOnTheCommandLineOpensAsAnIndex)
{
    cv::TCVFileDetails texts(true, {});
    texts.ToolAddAFile(Text(QStringLiteral("a.txt"), QStringLiteral("one two two three")));
    const QString base = dir.file(QStringLiteral("corpus"));
    QString error;
    ASSERT_TRUE(cv::MakeIndexOfTexts(texts, base, cv::kIndexOpenNew, &error)) << error.toStdString();
    StartWith({cv::IndexFileName(base, cv::TIndexFileKind::Tokens)});
    ASSERT_NE(Words(cv::kListIndexWordList), nullptr);
    EXPECT_EQ(Words(cv::kListIndexWordList)->Count(), 3);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageIndexFreq);
}

TEST_F(StartUp, AnEmptyFirstParameterOrAMissingFileOpensNothing)
{
    StartWith({QString(), QStringLiteral("ignored")});
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_TRUE(window->AdvPanelToolname->isVisibleTo(window.get()));
    StartWith({dir.file(QStringLiteral("absent.lst"))});
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_TRUE(dialogs.Requests().empty()) << dialogs.Routines().join(u',').toStdString();
}

TEST_F(StartUp, WithoutParametersTheLastFileOpensWhenTheSettingsSaySo)
{
    const QString saved = SavedWordList(QStringLiteral("corpus"), QStringLiteral("a b c"));
    cv::SetLastMainToolFileName(cv::kToolWordList, saved);
    StartWith({});
    EXPECT_EQ(window->Data(), nullptr);

    cv::TStartupOptionsRec options = cv::GetStartupOptions();
    options.SetReopenLastFile(true);
    cv::SetStartupOptions(options);
    StartWith({});
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(Words()->Count(), 3);
}

TEST_F(StartUp, TheSecondStepReportsWhatTheStartUpLeftAndClearsIt)
{
    cv::SetCustomLanguageTagsLoaded(true);
    cv::SetTagsWanted(12);
    Choose({{QStringLiteral("a.txt"), QStringLiteral("one two")}});
    Request(cv::kListWordList);
    ASSERT_NE(Doc(), nullptr);
    Doc()->fApplicable = false;
    cv::ToolWindowList().Last_actions.Include(cv::kActionFileOpened);
    cv::AfterStartup(*window);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NotApplicableExplanation")});
    EXPECT_TRUE(cv::ToolWindowList().Last_actions.Empty());
    EXPECT_TRUE(window->AdvOfficeStatusBar1->PanelText(cv::kPanelInfo).contains(QStringLiteral("12")));
    // Nothing left to report: nothing is said.
    dialogs.Clear();
    cv::AfterStartup(*window);
    EXPECT_TRUE(dialogs.Requests().empty());
}

} // namespace
} // namespace wordlist_window_test
