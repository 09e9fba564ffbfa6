#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/module_handles.h"

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/report_helpers.h"
#include "suite/cv_stream.h"

#include <gtest/gtest.h>

#include <QCoreApplication>


namespace {

// Options that count their publications and the calls of their virtual setters.
class CountingOptions final : public cv::TCrashboxModuleOptions {
public:
    using TCrashboxModuleOptions::TCrashboxModuleOptions;
    void StoreSharedData() override { ++published; }
    void SetFreezeActivate(bool value) override
    {
        ++freezeSetterCalls;
        TCrashboxModuleOptions::SetFreezeActivate(value);
    }
    int published = 0;
    int freezeSetterCalls = 0;
};

std::string ProgramFile() { return QCoreApplication::applicationFilePath().toStdString(); }

std::vector<uint8_t> StreamOf(const cv::TCrashboxModuleOptions& options)
{
    cv::TMemoryStream stream;
    EXPECT_TRUE(options.SaveToStream(stream));
    return stream.Bytes();
}

// Every option given a value other than its default.
void ChangeEverything(cv::TCrashboxModuleOptions& o)
{
    using namespace cv;
    o.SetSMTPFrom("me@host.test");
    o.SetSMTPHost("smtp.host.test");
    o.SetSMTPPort(2525);
    o.SetSMTPUserID("user");
    o.SetSMTPPassword("secret");
    o.SetProxyURL("proxy.test");
    o.SetProxyUserID("puser");
    o.SetProxyPassword("ppass");
    o.SetProxyPort(3128);
    o.SetTrakerUserID("tuser");
    o.SetTrakerPassword("tpass");
    o.SetTrakerAssignTo("dev");
    o.SetTrakerProject("WordList");
    o.SetTrakerCategory("crash");
    o.SetTrakerTrialID("trial");
    o.SetZipPassword("zip");
    o.SetPreBuildEvent("pre");
    o.SetPostSuccessfulBuildEvent("ok");
    o.SetPostFailureBuildEvent("fail");
    o.SetCompiledFileOptions({cfoUseEL7});
    o.SetTerminateBtnOperation(tbTerminate);
    o.SetFreezeActivate(true);
    o.SetFreezeTimeout(7);
    o.SetShowOptions({soAppName, soNetDHCP, soCustomData});
    o.SetExceptionDialogType(edtCrashbox);
    o.SetTextsCollection("German");
    o.SetCustomizedTexts(mtDialog_Caption, "Fehler");
    o.SetActivateLog(true);
    o.SetActivateHandle(false);
    o.SetAppendLogs(true);
    o.SetSaveLogFile(false);
    o.SetLogOptions({loNoDuplicateErrors, loAddComputerNameInLogFileName});
    o.SetCommonSendOptions({sndSendXMLLogCopy, sndAddComputerNameInFileName});
    o.SetForegroundTab(ftCPU);
    o.SetErrorsNumberToSave(5);
    o.SetErrorsNumberToShowTerminateBtn(9);
    o.SetOutputPath("/var/log/x");
    o.SetEMailAddresses("a@b.test");
    o.SetEMailSubject("crash");
    o.SetEMailMessage("see attached");
    o.SetEMailSendMode(esmSMTPServer);
    o.SetWebSendMode(wsmMantis);
    o.SetAttachedFiles("a.txt;b.txt");
    o.SetExceptionDialogOptions({edoShowInTopMostMode, edoShowCustomButton});
    o.SetAutoCloseDialogSecs(30);
    o.SetSupportURL("https://support.test");
    o.SetHTMLLayout("<p><%HTML_TAG%></p>");
    o.SetAutoCrashOperation(tbTerminate);
    o.SetAutoCrashNumber(4);
    o.SetAutoCrashMinutes(2);
    o.SetCallStackOptions({csoDoNotStoreProcNames});
    o.SetBehaviourOptions({boCatchHandledExceptions, boPauseBorlandThreads});
    o.SetWebURL("https://upload.test");
    o.SetWebPort(8443);
    o.SetWebPassword("wpass");
    o.SetWebUserID("wuser");
    o.SetReproduceText("clicked twice");
    TCrashboxExceptionFilter filter;
    filter.ExceptionClassName = "EAccessViolation";
    filter.ExceptionMessage = "read of address";
    filter.ExceptionType = fetHandled;
    filter.DialogType = fdtCrashbox;
    filter.HandlerType = fhtRTL;
    filter.ActionType = fatRestart;
    o.ExceptionsFilters().Add(filter);
}

struct CrashboxOptions : cvtest::CrashboxFolders {
    void TearDown() override
    {
        cv::DeactivateCrashbox();
        CrashboxFolders::TearDown();
    }
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
    cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
    cv::TCrashboxModuleOptions& options = cv::CurrentCrashboxOptions();
    // The program holds the crash-report code: its options are the published ones.
    EXPECT_NE(options.ModuleHandle(), 0u);
    EXPECT_EQ(options.ModuleHandle(), cv::CrashboxLibraryModuleHandle());
    EXPECT_TRUE(options.OutputPath().empty());
    options.SetOutputPath("/home/user/Corvantis");
    // A second activation keeps what the first made.
    cv::ActivateCrashbox("other");
    EXPECT_EQ(cv::CurrentCrashboxOptions().OutputPath(), "/home/user/Corvantis");
}

TEST_F(CrashboxOptions, ChangesInsideAnUpdateArePublishedOnceAtItsEnd)
{
    cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
    CountingOptions options(QCoreApplication::applicationFilePath().toStdString());
    options.SetOutputPath("/a");
    EXPECT_EQ(options.published, 1);
    options.BeginUpdate();
    for (int i = 0; i < 20; ++i)
        options.SetOutputPath("/b" + std::to_string(i));
    EXPECT_EQ(options.published, 1);
    options.EndUpdate();
    EXPECT_EQ(options.published, 2);
    EXPECT_EQ(options.OutputPath(), "/b19");
    options.SetToDefaultOptions();
    EXPECT_EQ(options.published, 3);
    EXPECT_TRUE(options.OutputPath().empty());
}

TEST_F(CrashboxOptions, OptionsOfAnotherModuleAreNeverPublished)
{
    cv::ActivateCrashbox(QCoreApplication::applicationFilePath().toStdString());
    CountingOptions plugin("/usr/lib/libsomething.so");
    CountingOptions unnamed{std::string()};
    EXPECT_EQ(plugin.ModuleHandle(), 0u);
    EXPECT_EQ(unnamed.ModuleHandle(), 0u);
    plugin.SetOutputPath("/x");
    unnamed.SetOutputPath("/x");
    EXPECT_EQ(plugin.published + unnamed.published, 0);
    EXPECT_EQ(plugin.OutputPath(), "/x");
}

TEST_F(CrashboxOptions, AFreshObjectHoldsTheDefaults)
{
    using namespace cv;
    const TCrashboxModuleOptions o("");
    EXPECT_EQ(o.SMTPFrom(), kDefaultSMTPFrom);
    EXPECT_NE(o.SMTPFrom().find('@'), std::string::npos);
    EXPECT_EQ(o.SMTPPort(), 25);
    EXPECT_EQ(o.ProxyPort(), 8080);
    EXPECT_EQ(o.CompiledFileOptions(), TCompiledFileOptions{cfoReduceFileSize});
    EXPECT_EQ(o.CompiledFileOptions().ToBytes()[0], 1);
    EXPECT_EQ(o.TerminateBtnOperation(), tbRestart);
    EXPECT_EQ(o.ForcedTerminateBtnOperation(), tbNone);
    EXPECT_FALSE(o.FreezeActivate());
    EXPECT_EQ(o.FreezeTimeout(), 60);
    EXPECT_EQ(o.ShowOptions().ToBytes(), (std::array<uint8_t, 6>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(o.ExceptionDialogType(), edtMSClassic);
    EXPECT_EQ(o.ExceptionsFilters().Count(), 0);
    EXPECT_EQ(o.TextsCollection(), "English");
    EXPECT_EQ(o.GetCustomizedTexts(mtDialog_ErrorMsgCaption),
              "An error has occurred during program execution.\r\nPlease read the following information for further "
              "details.");
    EXPECT_EQ(o.GetCustomizedTexts(mtInvalidEmailMsg), "Invalid email.");
    EXPECT_FALSE(o.ActivateLog());
    EXPECT_TRUE(o.ActivateHandle());
    EXPECT_FALSE(o.AppendLogs());
    EXPECT_TRUE(o.SaveLogFile());
    EXPECT_EQ(o.LogOptions().ToBytes()[0], 0x30); // the modules/processes and assembler/CPU sections
    EXPECT_EQ(o.CommonSendOptions().ToBytes(), (std::array<uint8_t, 2>{0x51, 0x00}));
    EXPECT_EQ(o.ExceptionDialogOptions().ToBytes(), (std::array<uint8_t, 2>{0x8F, 0x01}));
    EXPECT_EQ(o.ForegroundTab(), ftGeneral);
    EXPECT_EQ(o.ErrorsNumberToSave(), 32);
    EXPECT_EQ(o.ErrorsNumberToShowTerminateBtn(), 3);
    EXPECT_EQ(o.EMailSendMode(), esmNoSend);
    EXPECT_EQ(o.WebSendMode(), wsmNoSend);
    EXPECT_EQ(o.AutoCloseDialogSecs(), 0);
    EXPECT_EQ(o.HTMLLayout().find("<%HTML_TAG%>"), std::size_t(std::string(kDefaultHTMLLayout).find("<%HTML_TAG%>")));
    EXPECT_EQ(o.HTMLLayout().substr(0, 8), "<html>\r\n");
    EXPECT_EQ(o.AutoCrashOperation(), tbRestart);
    EXPECT_EQ(o.AutoCrashNumber(), 10);
    EXPECT_EQ(o.AutoCrashMinutes(), 1);
    EXPECT_EQ(o.CallStackOptions().ToBytes()[0], 0x0F);
    EXPECT_EQ(o.BehaviourOptions().ToBytes(), (std::array<uint8_t, 2>{0x58, 0x00}));
    EXPECT_EQ(o.LeaksOptions().ToBytes()[0], 0x1E);
    EXPECT_EQ(o.WebPort(), 0);
    EXPECT_TRUE(o.Active());
    EXPECT_EQ(o.UpdateDepth(), 0);
}

TEST_F(CrashboxOptions, SettersWithRulesOfTheirOwn)
{
    using namespace cv;
    TCrashboxModuleOptions o("");
    o.SetErrorsNumberToSave(0);
    EXPECT_EQ(o.ErrorsNumberToSave(), 1);
    o.SetTerminateBtnOperation(tbTerminate);
    EXPECT_EQ(o.ForcedTerminateBtnOperation(), tbNone);
    o.SetForcedTerminateBtnOperation(tbTerminate);
    EXPECT_EQ(o.TerminateBtnOperation(), tbTerminate);
    EXPECT_EQ(o.ForcedTerminateBtnOperation(), tbTerminate);
    // A forced operation follows later changes of the plain one.
    o.SetTerminateBtnOperation(tbRestart);
    EXPECT_EQ(o.ForcedTerminateBtnOperation(), tbRestart);
    // Another filter list takes the place of the first, which comes back.
    auto other = std::make_unique<TCrashboxExceptionsFilters>(nullptr);
    other->Add(TCrashboxExceptionFilter{});
    TCrashboxExceptionsFilters* added = other.get();
    auto previous = o.SetExceptionsFilters(std::move(other));
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(&o.ExceptionsFilters(), added);
    EXPECT_EQ(o.ExceptionsFilters().Owner(), &o);
}

TEST_F(CrashboxOptions, EveryKindOfChangeIsPublishedUnlessInsideAnUpdate)
{
    using namespace cv;
    CountingOptions o(ProgramFile());
    o.SetCustomizedTexts(mtDialog_Caption, "x");
    o.ExceptionsFilters().Add(TCrashboxExceptionFilter{});
    o.ExceptionsFilters().Insert(0, std::make_unique<TCrashboxExceptionFilter>());
    o.ExceptionsFilters().Delete(1);
    o.SetForcedTerminateBtnOperation(tbTerminate);
    o.SetActive(false);
    EXPECT_EQ(o.published, 6);
    o.BeginUpdate();
    o.BeginUpdate();
    ChangeEverything(o);
    o.EndUpdate();
    EXPECT_EQ(o.published, 6);
    o.EndUpdate();
    EXPECT_EQ(o.published, 7);
    EXPECT_THROW(o.ExceptionsFilters().Delete(5), std::out_of_range);
    EXPECT_THROW(o.ExceptionsFilters().Items(-1), std::out_of_range);
    EXPECT_EQ(o.published, 7);
}

TEST_F(CrashboxOptions, AssignCopiesEveryOptionOnceAndKeepsTheTargetsIdentity)
{
    using namespace cv;
    TCrashboxModuleOptions source("libother.so");
    ChangeEverything(source);
    source.SetForcedTerminateBtnOperation(tbTerminate);
    source.SetActive(false);
    CountingOptions target(ProgramFile());
    const uintptr_t handle = target.ModuleHandle();
    target.Assign(&source);
    EXPECT_EQ(target.published, 1);
    EXPECT_EQ(target.freezeSetterCalls, 1);
    EXPECT_EQ(StreamOf(target), StreamOf(source));
    EXPECT_EQ(target.ExceptionsFilters(), source.ExceptionsFilters());
    EXPECT_EQ(target.ReproduceText(), "clicked twice");
    EXPECT_EQ(target.PreBuildEvent(), "pre");
    EXPECT_EQ(target.ForcedTerminateBtnOperation(), tbTerminate);
    EXPECT_TRUE(target.Active());
    EXPECT_EQ(target.ModuleName(), ProgramFile());
    EXPECT_EQ(target.ModuleHandle(), handle);
    // The filters are copies: the source's stay the source's.
    source.ExceptionsFilters().Items(0).ExceptionMessage = "changed";
    EXPECT_EQ(target.ExceptionsFilters()[0].ExceptionMessage, "read of address");

    target.Assign(&target);
    EXPECT_EQ(target.published, 1);
    const auto before = StreamOf(target);
    EXPECT_THROW(target.Assign(nullptr), EConvertError);
    try {
        target.Assign(nullptr);
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Impossible to assign nil as TCrashboxModuleOptions.");
    }
    EXPECT_EQ(StreamOf(target), before);
    EXPECT_EQ(target.UpdateDepth(), 0);
}

TEST_F(CrashboxOptions, DefaultsComeBackWithTheModuleAndForcedOperationKept)
{
    using namespace cv;
    CountingOptions o(ProgramFile());
    ChangeEverything(o);
    o.SetForcedTerminateBtnOperation(tbTerminate);
    const int published = o.published;
    o.SetToDefaultOptions();
    EXPECT_EQ(o.published, published + 1);
    EXPECT_EQ(StreamOf(o), StreamOf(TCrashboxModuleOptions("")));
    EXPECT_EQ(o.ForcedTerminateBtnOperation(), tbTerminate);
    EXPECT_EQ(o.ModuleName(), ProgramFile());
    EXPECT_NE(o.ModuleHandle(), 0u);
    EXPECT_TRUE(o.ReproduceText().empty());
}

TEST_F(CrashboxOptions, OutputFilesGoWhereTheOutputPathSays)
{
    using namespace cv;
    TCrashboxModuleOptions o("/opt/tool/WordList.vshost.exe");
    // A log file named outright is used as it is (the extension in any case).
    const std::string named = path("logs/deep/my.ELF");
    o.SetOutputPath(named);
    EXPECT_EQ(o.OutputLogFile(""), named);
    EXPECT_TRUE(DirectoryExistsA(path("logs/deep")));
    // A folder: the file's own name in it, the folder made.
    o.SetOutputPath(path("reports"));
    EXPECT_EQ(o.OutputFile("/somewhere/Screenshot.png"), path("reports") + "/Screenshot.png");
    EXPECT_TRUE(DirectoryExistsA(path("reports")));
    EXPECT_EQ(o.OutputLogFile(""), path("reports") + "/WordList.elf");
    EXPECT_EQ(o.OutputLogFile("/x/y/Tool.exe"), path("reports") + "/Tool.elf");
    // No output path: beside the file.
    o.SetOutputPath("");
    EXPECT_EQ(o.OutputFile(path("near/a.txt")), path("near/a.txt"));
    // The computer's name in the log's name, without characters a file name cannot hold.
    o.SetOutputPath(path("reports"));
    o.SetLogOptions({loAddComputerNameInLogFileName});
    std::string computer = GetComputerNameStr();
    for (char& c : computer)
        if (std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos)
            c = '_';
    EXPECT_EQ(o.OutputLogFile(""), path("reports") + "/WordList_" + computer + ".elf");
}

TEST_F(CrashboxOptions, AFolderThatCannotBeWrittenGivesWayToTheLibraryDataFolder)
{
    using namespace cv;
    // A file where the folder should be: no one, not even the superuser, writes there.
    dir.write(QStringLiteral("blocked"), "not a folder");
    TCrashboxModuleOptions o("");
    o.SetOutputPath(path("blocked/logs"));
    const std::string program = ChangeFileExt(ExtractFileName(GetExeFileNameA()), "");
    EXPECT_EQ(o.OutputFile("report.elf"), dataFolder() + "/" + program + "/report.elf");
    EXPECT_TRUE(DirectoryExistsA(dataFolder() + "/" + program));
}

} // namespace
