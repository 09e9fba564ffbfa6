// Pictures of every crash-report dialog, in the screen's own fonts, for
// people to look at: each dialog is shown, captured through the screenshot
// code (the active window alone) and written as PNG into the folder named by
// CV_ARTEFACTS_DIR. Skipped when that is not set. Run under a real X server
// (scripts/dialog-pictures.sh does this).

#include <gtest/gtest.h>

#include <QDir>
#include <QScreen>
#include <QTabBar>

#include "crashreport/dialogs/detailed_dialog.h"
#include "crashreport/dialogs/ms_classic_dialog.h"
#include "crashreport/dialogs/reproduce_dialog.h"
#include "crashreport/dialogs/screenshot.h"
#include "crashreport/dialogs/send_dialog.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

class DialogArtefacts : public cvtest::DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        folder = qEnvironmentVariable("CV_ARTEFACTS_DIR");
        if (folder.isEmpty())
            GTEST_SKIP() << "CV_ARTEFACTS_DIR is not set";
        QDir().mkpath(folder);
        host.Measurer = nullptr; // the screen's fonts
        if (QScreen* screen = QGuiApplication::primaryScreen())
            ExceptionDialogState().DialogWorkArea = screen->availableGeometry();
        host.ErrorMessage = "Access violation at address 0000555555561234 in module 'corvantis-wordlist'.\r\n"
                            "Read of address 0000000000000010.";
        host.Texts.General =
            "Crashbox 6.1.03\r\n\r\nApplication:\r\n-------------------------------------------------\r\n"
            "  1.1 Start Date      : Tue, 5 Mar 2024 14:03:09 +0100\r\n  1.2 Name/Description: corvantis-wordlist\r\n"
            "  1.3 Version Number  : 0.1\r\n\r\nException:\r\n-------------------------------------------------\r\n"
            "  2.1 Date          : Tue, 5 Mar 2024 14:05:44 +0100\r\n  2.2 Address       : 0000555555561234\r\n"
            "  2.5 Type          : EAccessViolation\r\n  2.6 Message       : Access violation\r\n"
            "  2.7 ID            : 7A3F\r\n\r\nUser:\r\n-------------------------------------------------\r\n"
            "  3.1 ID      : linguist\r\n  3.3 Email   : \r\n";
        host.Texts.Assembler = "; wordlist_job.cpp.MakeWordlist (Line=212 - Offset=7)\r\n"
                               "; -------------------------------------------------\r\n"
                               "0000555555561230  mov rax, qword ptr [rbx+8]\r\n"
                               "0000555555561234  mov eax, dword ptr [rax+16]  ; <-- EXCEPTION\r\n"
                               "0000555555561237  add rsp, 24\r\n0000555555561240  ret\r\n";
        host.Texts.CPU = "Registers:\r\n-----------------------------\r\nEAX: 00000000   EDI: 5F3A2010\r\n"
                         "EBX: 00401000   ESI: 00000001\r\nECX: 0000000A   ESP: FFFFD2C0\r\nEDX: 00000000   EIP: 55561234\r\n\r\n"
                         "Stack:               Memory Dump:\r\n"
                         "------------------   ---------------------------------------------------------------------------\r\n"
                         "FFFFD2C0: 00000001 55561234: 8B 40 10 48 83 C4 18 C3 90 90 90 90 55 48 89 E5  .@.H........UH..\r\n";
        mainModule.Name = "/opt/corvantis/bin/corvantis-wordlist";
        mainModule.ModuleType = TCrashboxModuleType::mtMainModule;
        mainModule.Handle = 0x555555554000;
        mainModule.Description = "Corvantis WordList";
        mainModule.Version = "0.1.0.0";
        mainModule.Size = 6 * 1024 * 1024;
        library.Name = "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6";
        library.ModuleType = TCrashboxModuleType::mtOSLibrary;
        AddEntry(1001, TCrashboxDebugDetail::ddSourceCode, &mainModule, 0x555555561234, "wordlist_job.cpp", "TWordlistJob",
                 "MakeWordlist", 212, true, false);
        AddEntry(1001, TCrashboxDebugDetail::ddSourceCode, &mainModule, 0x555555560F10, "wordlist_window.cpp",
                 "TFormWordList", "StartJob", 88, false, false);
        AddEntry(1001, TCrashboxDebugDetail::ddProcedure, &library, 0x7FFFF7A12345, "", "QObject", "event", 0, false,
                 false);
        AddEntry(1002, TCrashboxDebugDetail::ddSourceCode, &mainModule, 0x555555570000, "freeze_watch.cpp", "",
                 "WatchLoop", 40, false, true);
        host.CallStack = &stack;
        host.Threads = &threads;
        host.MainThreadID = 1001;
        auto module = std::make_unique<TCrashboxModuleInfo>();
        module->Name = mainModule.Name;
        module->Handle = mainModule.Handle;
        module->Description = mainModule.Description;
        module->Version = mainModule.Version;
        module->Size = mainModule.Size;
        module->ModuleType = TCrashboxModuleType::mtMainModule;
        module->LastModified = QDateTime(QDate(2024, 3, 1), QTime(9, 30));
        modules.Add(std::move(module));
        auto qt = std::make_unique<TCrashboxModuleInfo>();
        qt->Name = library.Name;
        qt->Handle = 0x7FFFF7800000;
        qt->Version = "6.4.2";
        qt->Size = 6 * 1024 * 1024 + 300000;
        modules.Add(std::move(qt));
        host.Modules = &modules;
        auto process = std::make_unique<TCrashboxProcessInfo>();
        process->ProcessID = 4242;
        process->Name = "/usr/bin/bash";
        process->Description = "GNU Bourne-Again SHell";
        process->Memory = 5 * 1024 * 1024;
        process->Priority = 32;
        process->Threads = 1;
        processes.Add(std::move(process));
        host.Processes = &processes;
        options->SetCallStackOptions({csoShowDLLs});
    }

    void AddEntry(uint32_t thread, TCrashboxDebugDetail detail, TCrashboxModuleInfo* module, uintptr_t address,
                  const char* unit, const char* cls, const char* procedure, uint32_t line, bool error, bool running)
    {
        auto entry = std::make_unique<TCrashboxDebugInfo>();
        entry->ThreadID = thread;
        entry->DebugDetail = detail;
        entry->ModuleInfo = module;
        entry->Addr = address;
        entry->UnitName = unit;
        entry->ClassName = cls;
        entry->ProcedureName = procedure;
        entry->Line = line;
        entry->ProcOffsetLine = line ? 7 : 0;
        entry->ErrorLine = error;
        entry->RunningThread = running;
        stack.Add(std::move(entry));
    }

    // Shows the dialog, captures it and writes <name>.png.
    void Capture(TCrashDialog& dialog, const QString& name)
    {
        dialog.show();
        dialog.raise();
        dialog.activateWindow();
        QApplication::setActiveWindow(&dialog);
        for (int i = 0; i < 30; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        TCrashboxModuleOptions capture("");
        capture.SetCommonSendOptions({sndUseOnlyActiveWindow});
        RememberScreenshotFocus(std::nullopt, std::nullopt);
        CaptureScreenshot(capture);
        const QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
        EXPECT_TRUE(SaveScreenshotToPNG(file.toStdString())) << file.toStdString();
        FreeScreenshot();
        dialog.hide();
    }

    void OfferEverything()
    {
        options->SetEMailSendMode(esmSMTPClient);
        options->SetCommonSendOptions({sndSendScreenshot});
        options->SetExceptionDialogOptions({edoShowSendErrorReportOption, edoShowAttachScreenshotOption,
                                            edoShowCopyToClipOption, edoShowDetailsButton, edoSendErrorReportChecked,
                                            edoShowCustomButton});
        options->SetLogOptions({loAppendReproduceText, loSaveModulesAndProcessesSections, loSaveAssemblerAndCPUSections});
        options->SetSupportURL("http://127.0.0.1/support");
        options->SetErrorsNumberToShowTerminateBtn(0);
        ExceptionDialogState().SendChecked = true;
    }

    QString folder;
    TCrashboxModuleInfo mainModule, library;
    TCrashboxStackList stack;
    TCrashboxThreadsList threads;
    TCrashboxModulesList modules;
    TCrashboxProcessesList processes;
};

TEST_F(DialogArtefacts, ReproduceDialog)
{
    options->SetReproduceText("1. Opened the corpus folder\r\n2. Pressed Make a word list");
    TReproduceDialog dialog(*options, host.TextMeasurer());
    Capture(dialog, QStringLiteral("reproduce"));
}

TEST_F(DialogArtefacts, ClassicDialogs)
{
    OfferEverything();
    {
        TMSClassicDialog dialog(host, host.TextMeasurer());
        Capture(dialog, QStringLiteral("classic-everything"));
    }
    options->SetEMailSendMode(esmNoSend);
    options->SetExceptionDialogOptions({});
    options->SetLogOptions({});
    TMSClassicDialog plain(host, host.TextMeasurer());
    Capture(plain, QStringLiteral("classic-no-sending"));
}

TEST_F(DialogArtefacts, DetailedDialogs)
{
    OfferEverything();
    {
        TDetailedDialog compact(host, host.TextMeasurer());
        Capture(compact, QStringLiteral("detailed-compact"));
        compact.DetailsClicked();
        const char* names[] = {"general", "callstack", "modules", "processes", "assembler", "cpu"};
        for (int tab = 0; tab < compact.Tabs()->count(); ++tab) {
            compact.Tabs()->setCurrentIndex(tab);
            Capture(compact, QStringLiteral("detailed-") + QLatin1String(names[tab]));
        }
        compact.OKClicked();
    }
    options->SetExceptionDialogOptions({edoUseCrashboxLookAndFeel, edoShowDetailsButton, edoShowCopyToClipOption});
    TDetailedDialog ownCaption(host, host.TextMeasurer());
    Capture(ownCaption, QStringLiteral("detailed-compact-own-caption"));
    ownCaption.DetailsClicked();
    ownCaption.Tabs()->setCurrentIndex(1);
    Capture(ownCaption, QStringLiteral("detailed-callstack-own-caption"));
}

TEST_F(DialogArtefacts, SendDialogs)
{
    OfferEverything();
    for (const bool modal : {true, false}) {
        TSendDialog dialog(*options, modal, host.TextMeasurer());
        dialog.SetStatus(QStringLiteral("Message 1/2: Connecting with server..."));
        dialog.SetPosition(60);
        Capture(dialog, modal ? QStringLiteral("send-modal") : QStringLiteral("send-modeless"));
        dialog.End();
    }
}

} // namespace
} // namespace cv
