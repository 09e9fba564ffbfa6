// A stand-in tool process for the cross-process tests. Each mode does one
// thing a tool does and prints what happened, one "key value" per line.
//
//   read-records                   attach to the shared buffer, print some fields
//   write-records N TEXT           attach, write N and TEXT into several records
//   startup                        the tool's start-up (controller check and start)
//   job                            start-up, register a window, run a job that
//                                  polls the cancel state until a command stops it

#include "runtime/controller_link.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

// Dialogs are printed, never shown.
class TPrintedDialogs final : public cv::TDialogService {
public:
    cv::TDialogAnswer Show(const cv::TDialogRequest& r) override
    {
        out() << "dialog " << int(r.kind) << " " << r.caption << ": " << QString(r.text).replace(QLatin1Char('\n'), QLatin1String(" | "))
              << Qt::endl;
        return r.defaultAnswer;
    }
};

int readRecords()
{
    QString error;
    if (!cv::TSettingsBuffer::Instance().AttachShared(cv::TSettingsBuffer::DefaultFileName(), &error)) {
        out() << "error " << error << Qt::endl;
        return 1;
    }
    const auto k = cv::GetKeywordsSettings();
    out() << "kw.minfreq " << k.MinFrequency() << Qt::endl;
    out() << "kw.reference " << k.ReferenceListName() << Qt::endl;
    out() << "kw.language " << k.LanguageName() << Qt::endl;
    out() << "conc.wanted " << cv::GetConcSaveRec().EntriesWantedPerSw() << Qt::endl;
    out() << "index.dispersion " << int(cv::GetWordlistIndexSettings().ComputeDispersion()) << Qt::endl;
    out() << "text.minlength " << cv::GetTextSettings().MinWordLength() << Qt::endl;
    out() << "stop.file " << cv::GetLemmaMatchStopFilename(cv::kToolWordList, 2) << Qt::endl;
    return 0;
}

int writeRecords(int n, const QString& text)
{
    QString error;
    if (!cv::TSettingsBuffer::Instance().AttachShared(cv::TSettingsBuffer::DefaultFileName(), &error)) {
        out() << "error " << error << Qt::endl;
        return 1;
    }
    auto c = cv::GetConcSaveRec();
    c.SetEntriesWantedPerSw(n);
    c.SetSearchWord(text);
    cv::SetConcSaveRec(c);
    auto t = cv::GetTextSettings();
    t.SetMinWordLength(n % 7 + 1);
    cv::SetTextSettings(t);
    cv::SetLastUsedFile(23, text);
    out() << "written" << Qt::endl;
    return 0;
}

bool startup()
{
    cv::TToolStartupOptions o;
    o.tool = cv::kToolWordList;
    o.arguments = QCoreApplication::arguments();
    o.controllerWaitMs = qEnvironmentVariableIntValue("CV_PEER_WAIT_MS") > 0 ? qEnvironmentVariableIntValue("CV_PEER_WAIT_MS") : 20000;
    const bool ok = cv::ToolStartup(o);
    out() << "startup " << (ok ? "ok" : "failed") << Qt::endl;
    out() << "controller " << cv::GetControllerProcessId() << Qt::endl;
    return ok;
}

int job()
{
    if (!startup())
        return 10;
    cv::TMessageWindow window([](uint32_t msg, uint64_t wparam, int64_t) {
        if (msg != cv::kMsgControllerCommand)
            return;
        const uint16_t code = cv::CodeOfWParam(wparam);
        out() << "command " << code << Qt::endl;
        cv::SetCancelStateFromControllerCode(code);
    });
    cv::RegisterOwnWindowWithController(window.Handle());
    auto& progress = cv::GlobalProgress();
    progress.ClearAllAndShow({}, 0);
    progress.ProgressLongMessage(QStringLiteral("peer job"));
    out() << "ready" << Qt::endl;

    // The job: polls the cancel state between steps, yielding to the loop.
    QElapsedTimer t;
    t.start();
    int step = 0;
    while (cv::global_panic_state == cv::kPanicRun && t.elapsed() < 20000) {
        progress.ThisPercent(step++ / 10 % 100);
        cv::MyYieldProcess();
        QThread::msleep(5);
    }
    const int state = cv::global_panic_state;
    out() << "cancel " << state << Qt::endl;
    progress.Hide();
    cv::ToolShutdown();
    cv::FlushPostedMessages();
    return state;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TPrintedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("read-records"))
        return readRecords();
    if (mode == QLatin1String("write-records"))
        return writeRecords(args.value(2).toInt(), args.value(3));
    if (mode == QLatin1String("startup"))
        return startup() ? 0 : 3;
    if (mode == QLatin1String("job"))
        return job();
    out() << "unknown mode " << mode << Qt::endl;
    return 2;
}
