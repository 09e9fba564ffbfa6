#include "controller/controller.h"

#include "controller/controller_ini.h"
#include "controller/customise_window.h"
#include "controller/help_server.h"
#include "controller/settings_window.h"
#include "controller/text_chooser.h"
#include "runtime/language_list.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/named_mutex.h"
#include "suite/private_files.h"
#include "suite/text_settings.h"
#include "suite/window_messages.h"
#include "suite/window_placement.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace cv {

namespace {
const char* const kHelp =
    "commands (TOOL defaults to the last tool that registered):\n"
    "  send CODE [TOOL]    post command CODE (message 1025) to the tool's window\n"
    "  open FILE [TOOL]    name FILE in the settings buffer and send 613 (open it)\n"
    "  reread [TOOL]       233: re-read logging and settings\n"
    "  load KIND [TOOL]    234/236/238/240: load lemma (0), match (1), stop (2) or relation (3) list\n"
    "  clear KIND [TOOL]   235/237/239/241: clear that list\n"
    "  stop-eot [TOOL]     6120: stop at the end of the current text\n"
    "  stop [TOOL]         6121: stop as soon as possible\n"
    "  panic [TOOL]        6122: stop and end the tool\n"
    "  terminate [TOOL]    1350: end the tool\n"
    "  logging on|off      the tools' logging switch (then 'reread' each tool)\n"
    "  tools               the registered tool windows\n"
    "  progress            the progress record\n"
    "  help                this text\n"
    "  quit                end the controller";

QString hex(uint64_t v) { return QStringLiteral("0x%1").arg(v, 16, 16, QLatin1Char('0')); }
} // namespace

QString DescribeControllerCode(uint16_t code)
{
    switch (code) {
    case kCodeChosenTextsSaved: return QStringLiteral("chosen texts saved");
    case kCodeFileOpenedOrSaved: return QStringLiteral("file opened or saved: ") + GetMyTempFilename();
    case kCodeLanguageChosen: return QStringLiteral("language chosen");
    case kCodeChooseTexts: return QStringLiteral("choose texts");
    case kCodeNoMatchList: return QStringLiteral("no match list");
    case kCodeNoLemmaList: return QStringLiteral("no lemma list");
    case kCodeNoData: return QStringLiteral("data state: no data");
    case kCodeHasData: return QStringLiteral("data state: data");
    case kCodeNewWithData: return QStringLiteral("new while holding data");
    case kCodeSettingsChangedInTool: return QStringLiteral("settings changed in the tool");
    case kCodeAskingWindowCentre: return QStringLiteral("the asking window's centre");
    case kCodeSettingsColours: return QStringLiteral("settings: colours");
    case kCodeSettingsFont: return QStringLiteral("settings: font");
    case kCodeSettingsFolders: return QStringLiteral("settings: folders");
    case kCodeSettingsTags: return QStringLiteral("settings: tags");
    case kCodeSettingsLists: return QStringLiteral("settings: stop, lemma and match lists");
    case kCodeSettingsOfTool: return QStringLiteral("settings of the tool");
    case kCodeSettingsIndex: return QStringLiteral("settings: index");
    case kCodeSettingsCustomise: return QStringLiteral("customise menus");
    case kCodeAboutAndMemory: return QStringLiteral("about and memory");
    default: break;
    }
    if (code < kCodeProgressFirst || code > kCodeProgressLast)
        return QStringLiteral("code %1").arg(code);
    const auto p = GetProgressParams();
    switch (code) {
    case kCodeProgressShow: return QStringLiteral("progress: show (mode %1)").arg(p.Mode());
    case kCodeProgressClearBars: return QStringLiteral("progress: bars cleared");
    case kCodeProgressThisPercent: return QStringLiteral("progress: task %1%").arg(p.ThisPercent());
    case kCodeProgressOverallPercent: return QStringLiteral("progress: overall %1%").arg(p.OverallPercent());
    case kCodeProgressShortMessage: return QStringLiteral("progress: \"%1\"").arg(p.ShortMessage());
    case kCodeProgressShortMessageOutOf:
        return QStringLiteral("progress: \"%1\" (%2%)").arg(p.ShortMessage()).arg(p.ThisPercent());
    case kCodeProgressLongMessage: return QStringLiteral("progress: \"%1\"").arg(p.LongMessage());
    case kCodeProgressRunningWords: return QStringLiteral("progress: %1 running words").arg(p.RunningWords());
    case kCodeProgressHide: return QStringLiteral("progress: hide");
    case kCodeProgressMemory: return QStringLiteral("progress: memory %1 MB").arg(p.MemoryBytes() / (1024 * 1024));
    case kCodeProgressTimeToGo: return QStringLiteral("progress: %1 s to go").arg(p.SecondsToGo());
    default: return QStringLiteral("progress: code %1").arg(code);
    }
}

TController::TController(TOptions options) : m_options(std::move(options)) {}

TController::~TController() { Finish(); }

TWindowHandle TController::Handle() const { return m_window ? m_window->Handle() : 0; }

void TController::Log(const QString& line)
{
    AddToLogFile(line);
    if (m_options.echo) {
        QTextStream out(stdout);
        out << line << Qt::endl;
    }
}

bool TController::Start(QString* error)
{
    current_tool_var = kToolController;
    // Its mutex, buffer, log and sockets lie in the suite's own folder; one
    // that is not this user's is refused with the reason.
    if (!CheckSuiteTempFolder(error))
        return false;
    SetLogFilename(m_options.logFile);
    SwitchLogging(!m_options.logFile.isEmpty());
    StartNewLogSection(QStringLiteral("controller"));

    m_mutex = TNamedMutex::Create(ControllerMutexName(), error);
    if (!m_mutex)
        return false;
    const QString bufferFile = TSettingsBuffer::DefaultFileName();
    if (!TSettingsBuffer::Instance().CreateShared(bufferFile, false, error))
        return false;
    Log(QStringLiteral("settings buffer %1").arg(bufferFile));
    SetHelpDefaults();
    for (const QString& problem : ApplyControllerIni(m_options.iniFile))
        Log(problem);
    StartHelpServer();

    QString serverError;
    if (!StartMessageServer(&serverError)) {
        if (error)
            *error = serverError;
        return false;
    }
    m_window = std::make_unique<TMessageWindow>([this](uint32_t m, uint64_t w, int64_t l) { OnMessage(m, w, l); });
    const TWindowHandle h = m_window->Handle();
    SetShellWnd(h);
    SetNewWnd(kToolController, h);
    SetActiveMainToolWindow(kToolController, h);
    SetCVShellInitialised(true);
    Log(QStringLiteral("controller ready, window %1, process %2").arg(hex(h)).arg(QCoreApplication::applicationPid()));
    // Another program of the user that writes into this buffer (a second
    // suite started by hand, say) may take or clear the controller's place
    // in it; the tools would then post their commands nowhere.
    auto* keeper = new QTimer(this);
    connect(keeper, &QTimer::timeout, this, [this] { KeepRegistration(); });
    keeper->start(kRegistrationCheckMs);

    if (m_options.readStdin) {
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, [this] { ReadStdin(); });
    }
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { Finish(); });
    return true;
}

void TController::KeepRegistration()
{
    if (m_finished || !m_window)
        return;
    const TWindowHandle h = m_window->Handle();
    const TWindowHandle named = GetShellWnd();
    if (named == h && GetControllerProcessId() == QCoreApplication::applicationPid())
        return;
    SetShellWnd(h);
    SetNewWnd(kToolController, h);
    SetActiveMainToolWindow(kToolController, h);
    SetCVShellInitialised(true);
    Log(QStringLiteral("the settings buffer named window %1 as the controller; this controller (window %2) registered again")
            .arg(hex(named), hex(h)));
}

void TController::SetHelpDefaults()
{
    const QString folder = m_options.helpFolder.isEmpty()
                               ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help"))
                               : m_options.helpFolder;
    SetHelpfilename(QDir(folder).absoluteFilePath(QStringLiteral("index.html")));
    SetCVHelpAccessMode(1);
}

void TController::StartHelpServer()
{
    if (!GetCVHelpBaseAddress().isEmpty()) {
        // Without its key: the address itself stays in the settings buffer.
        Log(QStringLiteral("help pages at %1").arg(QUrl(GetCVHelpBaseAddress()).adjusted(QUrl::RemovePath).toString()));
        return;
    }
    m_helpServer = new THelpServer([] { return QFileInfo(GetHelpfilename()).absolutePath(); }, this);
    QString error;
    if (!m_helpServer->Listen(&error)) {
        // The tools fall back on the help file's folder.
        Log(error);
        delete m_helpServer;
        m_helpServer = nullptr;
        return;
    }
    // The address with its key goes only where the user alone can read it.
    SetCVHelpBaseAddress(m_helpServer->BaseAddress().toString());
    Log(QStringLiteral("help pages of %1 served on 127.0.0.1 port %2, to this user's browser")
            .arg(QFileInfo(GetHelpfilename()).absolutePath())
            .arg(m_helpServer->Port()));
}

QString TController::HelpAddress() const { return m_helpServer ? m_helpServer->BaseAddress().toString() : QString(); }

void TController::Finish()
{
    if (m_finished || !m_window)
        return;
    m_finished = true;
    // Tools must not take a dead controller for a running one.
    SetCVShellInitialised(false);
    SetShellWnd(0);
    // No tool may send its user to an address nobody answers.
    if (m_helpServer && GetCVHelpBaseAddress() == m_helpServer->BaseAddress().toString())
        SetCVHelpBaseAddress(QString());
    UnSetWnd(kToolController, m_window->Handle());
    Log(QStringLiteral("controller closing"));
    for (QWidget* w : {static_cast<QWidget*>(m_chooser.data()), static_cast<QWidget*>(m_settings.data()),
                       static_cast<QWidget*>(m_customise.data()), static_cast<QWidget*>(m_about.data())})
        delete w;
    m_window.reset();
    m_mutex.reset();
}

void TController::ReadStdin()
{
    char buf[4096];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
        m_stdin->setEnabled(false); // end of input: go on running
        return;
    }
    QByteArray& pending = m_stdinPending;
    pending.append(buf, qsizetype(n));
    qsizetype eol;
    while ((eol = pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(pending.left(eol)).trimmed();
        pending.remove(0, eol + 1);
        if (!line.isEmpty())
            ExecuteCommand(line);
    }
}

void TController::OnMessage(uint32_t msg, uint64_t wparam, int64_t lparam)
{
    switch (msg) {
    case kMsgToolRegistered: {
        const int tool = int(wparam & 0xFF);
        const TWindowHandle wnd = TWindowHandle(lparam);
        // A window we cannot answer (another run's, whose messages go
        // elsewhere) must not stand in for the tool: its registration goes,
        // and the tool's other windows are answered as before.
        if (tool >= kToolSlots || !CanReachWindow(wnd)) {
            Log(QStringLiteral("1252 tool %1 (%2) registered window %3, which cannot be reached: refused")
                    .arg(tool)
                    .arg(Tool_Name(uint8_t(tool)), hex(wnd)));
            if (tool < kToolSlots)
                UnSetWnd(uint8_t(tool), wnd);
            break;
        }
        m_lastTool = tool;
        Log(QStringLiteral("1252 tool %1 (%2) registered window %3").arg(tool).arg(Tool_Name(uint8_t(tool)), hex(wnd)));
        break;
    }
    case kMsgControllerCommand: {
        const uint16_t code = CodeOfWParam(wparam);
        const uint8_t tool = ToolOfWParam(wparam);
        if (tool != kToolController)
            m_lastTool = tool;
        Log(QStringLiteral("1025 from tool %1 (%2): %3 [%4]").arg(tool).arg(Tool_Name(tool), DescribeControllerCode(code)).arg(code));
        // The commands a user can give only through the controller's windows.
        const TWindowHandle asking = TWindowHandle(lparam);
        std::optional<QPoint> over;
        if (const auto at = m_askingCentres.find(tool); at != m_askingCentres.end()) {
            over = at->second;
            m_askingCentres.erase(at);
        }
        if (code == kCodeChooseTexts)
            ShowTextChooser(tool, asking, over);
        else if (IsSettingsWindowCode(code))
            ShowSettingsWindow(code, tool, asking, over);
        else if (code == kCodeSettingsCustomise)
            ShowCustomiseWindow(tool, over);
        else if (code == kCodeAboutAndMemory)
            ShowAboutWindow(over);
        else if (code == kCodeNewWithData)
            StartNewToolInstance(tool, TWindowHandle(lparam));
        else if (code == kCodeSettingsChangedInTool)
            KeepSettings();
        break;
    }
    case kMsgControllerParam:
        Log(QStringLiteral("1026 from tool %1 (%2): code %3, parameter %4")
                .arg(ToolOfWParam(wparam))
                .arg(Tool_Name(ToolOfWParam(wparam)))
                .arg(CodeOfWParam(wparam))
                .arg(lparam));
        if (CodeOfWParam(wparam) == kCodeLanguageChosen)
            LanguageChosen(int(lparam), ToolOfWParam(wparam));
        else if (CodeOfWParam(wparam) == kCodeAskingWindowCentre)
            m_askingCentres[ToolOfWParam(wparam)] = UnpackScreenPoint(lparam);
        break;
    default:
        Log(QStringLiteral("message %1 (WParam %2, LParam %3)").arg(msg).arg(wparam).arg(lparam));
        break;
    }
}

namespace {

// A window of the controller comes up in front of the tool that asked,
// over that window when its place is known.
void Present(QWidget* w, std::optional<QPoint> over)
{
    w->setAttribute(Qt::WA_DeleteOnClose);
    if (over) {
        const QScreen* screen = QGuiApplication::screenAt(*over);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QSize size = w->testAttribute(Qt::WA_Resized) ? w->size() : w->sizeHint();
        if (screen)
            w->setGeometry(NewWindowRect(screen->availableGeometry(), size, w->minimumSize(), over));
    }
    w->show();
    w->raise();
    w->activateWindow();
}

} // namespace

TTextChooser* TController::TextChooser() const { return m_chooser; }
TControllerSettingsWindow* TController::SettingsWindow() const { return m_settings; }
TControllerCustomiseWindow* TController::CustomiseWindow() const { return m_customise; }
TControllerAboutWindow* TController::AboutWindow() const { return m_about; }

std::vector<TWindowHandle> TController::OpenToolWindows(int tool)
{
    std::vector<TWindowHandle> windows;
    for (const TOpenToolWindow& w : GetOpenToolWindows())
        if (tool < 0 || w.tool == tool)
            windows.push_back(w.wnd);
    return windows;
}

std::vector<uint8_t> TController::RegisteredTools() const
{
    std::vector<uint8_t> tools;
    for (int t = 0; t < kToolSlots; ++t)
        if (t != kToolController && GetToolWnd(uint8_t(t)) != 0)
            tools.push_back(uint8_t(t));
    return tools;
}

void TController::ShowTextChooser(uint8_t tool, TWindowHandle asking, std::optional<QPoint> over)
{
    if (m_chooser && m_chooser->Tool() != tool)
        m_chooser->close();
    if (!m_chooser) {
        m_chooser = new TTextChooser(tool, SuiteTempFolder());
        m_chooser->OnChosen = [this, tool, asking] {
            Log(QStringLiteral("texts chosen for tool %1 (%2): %3")
                    .arg(tool)
                    .arg(Tool_Name(tool))
                    .arg(m_chooser ? m_chooser->Texts().size() : 0));
            SendCode(kCodeReReadChosenTexts, tool, asking);
        };
    }
    Present(m_chooser, over);
}

void TController::ShowSettingsWindow(uint16_t code, uint8_t tool, TWindowHandle asking, std::optional<QPoint> over)
{
    (void)asking; // stored settings reach every tool window
    if (m_settings)
        m_settings->close();
    m_settings = new TControllerSettingsWindow(SettingsWindowTitle(code, tool), SettingKeysOfCommand(code, tool));
    m_settings->OnStored = [this, code, tool] { SettingsStored(code, tool); };
    Present(m_settings, over);
}

void TController::ShowCustomiseWindow(uint8_t tool, std::optional<QPoint> over)
{
    if (m_customise)
        m_customise->close();
    m_customise = new TControllerCustomiseWindow(m_menuCommands ? *m_menuCommands : TMenuCommandsOfTools{});
    m_customise->OnStored = [this, tool] { SettingsStored(kCodeSettingsCustomise, tool); };
    Present(m_customise, over);
}

void TController::ShowAboutWindow(std::optional<QPoint> over)
{
    if (!m_about)
        m_about = new TControllerAboutWindow;
    m_about->Refresh();
    Present(m_about, over);
}

void TController::KeepSettings()
{
    QString error;
    if (!m_options.iniFile.isEmpty() && !WriteControllerIni(m_options.iniFile, &error))
        Log(QStringLiteral("the settings are in use but not kept: %1").arg(error));
    else
        Log(QStringLiteral("settings stored in %1").arg(m_options.iniFile));
}

void TController::SettingsStored(uint16_t code, uint8_t tool)
{
    KeepSettings();
    // The lists are loaded or let go as now wanted.
    // Each window keeps its own lists and settings: every one is told.
    if (code == kCodeSettingsLists)
        for (uint8_t kind = 0; kind < 4; ++kind) {
            const bool wanted = GetLemmaMatchStopWanted(tool, kind) && !GetLemmaMatchStopFilename(tool, kind).isEmpty();
            for (TWindowHandle w : OpenToolWindows(tool))
                SendCodeToWindow(uint16_t(kCodeLoadLemmaList + 2 * kind + (wanted ? 0 : 1)), w);
        }
    for (TWindowHandle w : OpenToolWindows())
        SendCodeToWindow(kCodeReReadSettings, w);
}

void TController::LanguageChosen(int index, uint8_t tool)
{
    const auto& languages = TLanguageList::Instance();
    if (index < 0 || index >= languages.Count()) {
        Log(QStringLiteral("language %1 is not in the language list; nothing changed").arg(index));
        return;
    }
    TTextSettings text = GetTextSettings();
    ApplyLanguage(text, index);
    SetTextSettings(text);
    Log(QStringLiteral("language of the texts: %1").arg(languages.At(index).name));
    SendCode(kCodeAcknowledge, tool);
    SettingsStored(kCodeSettingsLanguage, tool);
}

QString TController::ProgramOfToolWindow(uint8_t tool, TWindowHandle window)
{
    if (const int64_t pid = WindowHandleProcess(window); pid > 0) {
        // A program replaced since it started reads "... (deleted)": not executable.
        const QFileInfo exe(QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget());
        if (exe.isFile() && exe.isExecutable())
            return exe.absoluteFilePath();
    }
    return ToolProgramFile(tool);
}

bool TController::StartNewToolInstance(uint8_t tool, TWindowHandle asking)
{
    const QString program = ProgramOfToolWindow(tool, asking);
    const bool started = StartProgram ? StartProgram(program) : QProcess::startDetached(program, {});
    Log(started ? QStringLiteral("started a new %1 window: %2").arg(Tool_Name(tool), program)
                : QStringLiteral("a new %1 window could not be started from %2").arg(Tool_Name(tool), program));
    return started;
}

bool TController::SendCode(uint16_t code, int tool, TWindowHandle asking)
{
    if (tool < 0)
        tool = m_lastTool;
    if (tool < 0 || tool >= kToolSlots) {
        Log(QStringLiteral("no tool to send %1 to: name one").arg(code));
        return false;
    }
    // The window that asked, the tool's active and registered windows, then
    // any other window of the tool: a window that cannot be reached (its
    // process ended, or it is another run's) is passed over, never the end.
    const std::vector<TWindowHandle> open = OpenToolWindows(tool);
    std::vector<TWindowHandle> candidates;
    if (std::find(open.begin(), open.end(), asking) != open.end())
        candidates.push_back(asking);
    candidates.push_back(GetActiveMainToolWindow(uint8_t(tool)));
    candidates.push_back(GetToolWnd(uint8_t(tool)));
    candidates.insert(candidates.end(), open.begin(), open.end());
    std::vector<TWindowHandle> tried;
    for (const TWindowHandle target : candidates) {
        if (target == 0 || std::find(tried.begin(), tried.end(), target) != tried.end())
            continue;
        tried.push_back(target);
        if (PostMessage(target, kMsgControllerCommand, PackToolCode(code, kToolController), int64_t(Handle()))) {
            Log(QStringLiteral("sent %1 to tool %2 window %3").arg(code).arg(tool).arg(hex(target)));
            return true;
        }
        Log(QStringLiteral("window %1 of tool %2 cannot be reached; %3 not sent there").arg(hex(target)).arg(tool).arg(code));
    }
    Log(QStringLiteral("tool %1 has no window that can be reached; %2 not sent").arg(tool).arg(code));
    return false;
}

bool TController::SendCodeToWindow(uint16_t code, TWindowHandle target)
{
    if (target == 0 || !PostMessage(target, kMsgControllerCommand, PackToolCode(code, kToolController), int64_t(Handle()))) {
        Log(QStringLiteral("window %1 cannot be reached; %2 not sent").arg(hex(target)).arg(code));
        return false;
    }
    Log(QStringLiteral("sent %1 to window %2").arg(code).arg(hex(target)));
    return true;
}

bool TController::ExecuteCommand(const QString& line)
{
    const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return false;
    const QString cmd = w[0].toLower();
    auto number = [&](int i, int fallback) {
        bool ok = false;
        const int n = i < w.size() ? w[i].toInt(&ok) : fallback;
        return i < w.size() && !ok ? -2 : n;
    };
    auto toolArg = [&](int i) { return number(i, -1); };

    if (cmd == QLatin1String("help")) {
        Log(QString::fromLatin1(kHelp));
        return true;
    }
    if (cmd == QLatin1String("quit") || cmd == QLatin1String("exit")) {
        QCoreApplication::quit();
        return true;
    }
    if (cmd == QLatin1String("tools")) {
        for (int t = 0; t < kToolSlots; ++t)
            if (const TWindowHandle h = GetToolWnd(uint8_t(t)))
                Log(QStringLiteral("tool %1 (%2): window %3, active %4").arg(t).arg(Tool_Name(uint8_t(t)), hex(h), hex(GetActiveMainToolWindow(uint8_t(t)))));
        return true;
    }
    if (cmd == QLatin1String("progress")) {
        const auto p = GetProgressParams();
        Log(QStringLiteral("progress of tool %1: %2, task %3%, overall %4%, \"%5\" / \"%6\", %7 running words")
                .arg(p.Tool())
                .arg(p.Visible() ? QStringLiteral("shown") : QStringLiteral("hidden"))
                .arg(p.ThisPercent())
                .arg(p.OverallPercent())
                .arg(p.ShortMessage(), p.LongMessage())
                .arg(p.RunningWords()));
        return true;
    }
    if (cmd == QLatin1String("logging") && w.size() >= 2) {
        SetLogging(w[1].toLower() == QLatin1String("on"));
        Log(QStringLiteral("tools' logging switch %1 (log file %2)").arg(GetLogging() ? "on" : "off", GetTheLogFilename()));
        return true;
    }
    if (cmd == QLatin1String("send") && w.size() >= 2) {
        const int code = number(1, -1);
        if (code < 0 || code > 0xFFFF || toolArg(2) == -2) {
            Log(QStringLiteral("send CODE [TOOL]: numbers wanted"));
            return false;
        }
        return SendCode(uint16_t(code), toolArg(2));
    }
    if (cmd == QLatin1String("open") && w.size() >= 2) {
        // The file name may hold spaces; a trailing number names the tool.
        QStringList parts = w.mid(1);
        int tool = -1;
        bool isTool = false;
        if (parts.size() > 1) {
            const int t = parts.last().toInt(&isTool);
            if (isTool) {
                tool = t;
                parts.removeLast();
            }
        }
        SetMyTempFilename(parts.join(QLatin1Char(' ')));
        return SendCode(kCodeOpenTempFile, tool);
    }
    if ((cmd == QLatin1String("load") || cmd == QLatin1String("clear")) && w.size() >= 2) {
        const int kind = number(1, -1);
        if (kind < 0 || kind > 3) {
            Log(QStringLiteral("%1 KIND: 0 lemma, 1 match, 2 stop, 3 relation").arg(cmd));
            return false;
        }
        return SendCode(uint16_t(kCodeLoadLemmaList + 2 * kind + (cmd == QLatin1String("clear") ? 1 : 0)), toolArg(2));
    }
    static const struct {
        const char* name;
        uint16_t code;
    } kSimple[] = {{"reread", kCodeReReadSettings}, {"stop-eot", kCodeStopAtEndOfText}, {"stop", kCodeStopNow},
                   {"panic", kCodePanicStop},       {"terminate", kCodeTerminate}};
    for (const auto& s : kSimple)
        if (cmd == QLatin1String(s.name))
            return SendCode(s.code, toolArg(1));
    Log(QStringLiteral("not understood: \"%1\" (type help)").arg(line));
    return false;
}

} // namespace cv
