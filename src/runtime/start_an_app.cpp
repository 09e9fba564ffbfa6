#include "runtime/start_an_app.h"

#include "runtime/controller_link.h"
#include "runtime/language_list.h"
#include "runtime/progress.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/named_mutex.h"
#include "suite/private_files.h"
#include "suite/process_utils.h"
#include "suite/window_messages.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#if defined(__GLIBC__)
#include <malloc.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#endif

namespace cv {

namespace {

void showCantStart(const QString& file, const QString& reason, TDialogKind kind)
{
    TDialogRequest r;
    r.routine = QStringLiteral("StartAnApp");
    r.kind = kind;
    r.caption = kind == TDialogKind::Fatal ? QStringLiteral("Fatal Error") : QStringLiteral("Error");
    r.text = QStringLiteral("Can't start %1\n%2").arg(QDir::toNativeSeparators(file), reason);
    AddToLogFile(r.text);
    ShowDialog(r);
}

// Why a program file cannot be started, or empty when it can.
QString programFileProblem(const QString& file)
{
    if (file.isEmpty())
        return QStringLiteral("No program file is known for this tool.");
    const QFileInfo info(file);
    if (!info.exists())
        return QStringLiteral("The file does not exist.");
    if (!info.isFile())
        return QStringLiteral("It is not a file.");
    if (!info.isExecutable())
        return QStringLiteral("The file is not executable.");
    return {};
}

// Starts a program file on its own (it outlives this process); a program
// that cannot be started is reported with a message of the given kind.
bool launch(const QString& file, const QStringList& arguments, TDialogKind failureKind, qint64* pid)
{
    QString reason = programFileProblem(file);
    if (reason.isEmpty()) {
        QProcess process;
        process.setProgram(file);
        process.setArguments(arguments);
        process.setWorkingDirectory(QFileInfo(file).absolutePath());
        // It runs on its own: it must not hold on to this process's terminal.
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        if (process.startDetached(pid))
            return true;
        reason = QStringLiteral("The program could not be started: %1").arg(process.errorString());
    }
    showCantStart(file, reason, failureKind);
    return false;
}

bool ensureController(const QStringList& arguments, int waitMs)
{
    // The controller meets the tools in the suite's own folder: when that is
    // not this user's, neither can run, and the user is told why.
    QString folderProblem;
    if (!CheckSuiteTempFolder(&folderProblem)) {
        showCantStart(ControllerProgramFile(), folderProblem, TDialogKind::Fatal);
        return false;
    }
    if (ControllerMutexExists()) {
        SetupCVBufSharing();
        return true;
    }
    const QString file = ControllerProgramFile();
    qint64 pid = 0;
    if (!launch(file, arguments, TDialogKind::Fatal, &pid))
        return false;
    AddToLogFile(QStringLiteral("started the controller %1 (process %2)").arg(file).arg(pid));
    QDeadlineTimer deadline(waitMs);
    while (!GetCVShellInitialised()) {
        if (!ProcessIsAlive(pid) && !ControllerMutexExists()) {
            showCantStart(file, QStringLiteral("The program ended before it was ready."), TDialogKind::Fatal);
            return false;
        }
        if (deadline.hasExpired()) {
            showCantStart(file, QStringLiteral("The program did not report ready within %1 seconds.").arg(waitMs / 1000.0),
                          TDialogKind::Fatal);
            return false;
        }
        MyYieldProcess();
        QThread::msleep(20);
    }
    return true;
}

} // namespace

QString ControllerProgramFile()
{
    const QString env = qEnvironmentVariable("CV_CONTROLLER_PROGRAM");
    return env.isEmpty() ? ToolProgramFile(kToolController) : env;
}

bool StartAnApp(uint8_t tool, const QStringList& arguments, int waitMs)
{
    if (tool == kToolController)
        return ensureController(arguments, waitMs);
    qint64 pid = 0;
    return launch(ToolProgramFile(tool), arguments, TDialogKind::Error, &pid);
}

namespace {

#if defined(__GLIBC__) && defined(__linux__) && defined(MADV_HUGEPAGE)
// A job's type tables, word lists and records are fresh memory, written
// once each: with 4 KB pages that is a fault per page, and in a virtual
// machine faults cost more than the counting itself (some 5,000 of them for
// a corpus of 1.5 million words, and several times dearer after the machine
// has been idle). Backed by 2 MB pages the same memory takes a fault per
// 2 MB: the word-list job ran some 13 % faster, on a corpus of 20 million
// words about 30 %, at the same peak memory. So the heap is grown once by
// 192 MB (untouched: nothing is backed until written), the space freed
// again (kept as the heap's top, below the trim threshold), and the system
// asked to back it with large pages. Where it cannot or will not, the heap
// stays as it was.
constexpr std::size_t kLargePage = std::size_t(2) << 20;
constexpr std::size_t kLargePagePiece = std::size_t(48) << 20; // below the mapping threshold: from the heap
constexpr int kLargePagePieces = 4;

// The heap below the first 2 MB boundary of the span cannot have large
// pages (they start at such boundaries). Blocks placed there took a fault
// per 4 KB page (some 250 in a job on a corpus of 1.5 million words,
// together as dear as two or three 2 MB faults), so that stretch is taken
// by one block that nothing writes to (only its header page is backed) and
// kept for the life of the process.
struct TFreeBlock {
    void operator()(void* p) const { std::free(p); }
};

void AskForLargePagesInTheHeap()
{
    static std::unique_ptr<void, TFreeBlock> belowFirstLargePage;
    if (belowFirstLargePage)
        return;
    std::array<void*, kLargePagePieces> pieces{};
    for (void*& p : pieces)
        p = std::malloc(kLargePagePiece);
    auto address = [](void* p) { return reinterpret_cast<std::uintptr_t>(p); };
    // The pieces follow one another in the heap unless it could not grow
    // (then some came from mappings of their own, unmapped when freed): the
    // span asked for is that of the pieces that follow the first.
    std::uintptr_t from = address(pieces[0]), to = from;
    for (void* p : pieces) {
        if (p == nullptr || address(p) < to || address(p) > to + 64)
            break;
        to = address(p) + kLargePagePiece;
    }
    for (auto p = pieces.rbegin(); p != pieces.rend(); ++p)
        std::free(*p);
    from = (from + kLargePage - 1) & ~(kLargePage - 1);
    to &= ~(kLargePage - 1);
    if (pieces[0] == nullptr || to <= from)
        return;
    madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    // The freed pieces are again the heap's top, starting where the first
    // one did: the next block taken from it starts there too.
    if (from > address(pieces[0]))
        belowFirstLargePage.reset(std::malloc(from - address(pieces[0])));
}
#endif

} // namespace

void PrepareMemoryForJobs()
{
#if defined(__GLIBC__)
    // Under a limit of the address space (prlimit --as) the heap neither
    // grows ahead nor keeps what is freed at its top: room it held would be
    // missing to all that maps memory of its own (a library or plug-in
    // loaded, a thread's stack), and the program ran short with room to spare.
    const bool limited = AddressSpaceLimit() != 0;
    // Blocks below 64 MB come from the heap (not from a mapping of their
    // own, unmapped when freed), and the heap's top is given back only
    // beyond 256 MB free.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    if (!limited)
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Threads that read texts for a job take their memory from this heap
    // too, not from heaps of their own: those would be backed by 4 KB pages
    // (a word list read on eight threads took some 10,000 faults instead of
    // 500), and memory one thread gave back would be fresh memory for the
    // next step on another. The threads take large blocks, seldom: one lock
    // is no bottleneck.
    mallopt(M_ARENA_MAX, 1);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (!limited)
        AskForLargePagesInTheHeap();
#endif
#endif
}

void GiveBackFreedMemory()
{
#if defined(__GLIBC__)
    // The heap keeps up to the trim threshold (256 MB) of freed memory at its
    // top and every free page below it; both go back now.
    malloc_trim(0);
#endif
}

TEndForWantOfMemory::TEndForWantOfMemory(const QString& program)
    : m_text(QStringLiteral("%1 cannot go on: there is not enough memory. The limit of memory for this user may "
                            "be reached: close other programs or raise the limit, and start it again.\n")
                 .arg(program)
                 .toLocal8Bit()
                 .toStdString())
{
}

void TEndForWantOfMemory::operator()() const noexcept
{
    std::fputs(m_text.c_str(), stderr);
    std::fflush(nullptr);
    std::_Exit(1);
}

bool ToolStartup(const TToolStartupOptions& options)
{
    current_tool_var = options.tool;
    // Module initialisations.
    SetupCVBufSharing();
    InitLoggingFromSharedSettings();
    SwitchOnLoggingFromArguments(options.arguments);
    TLanguageList::Instance();
    GlobalProgress();
    FillStopAtEntries();
    AddToLogFile(QStringLiteral("%1 starting").arg(Tool_Name(options.tool)));

    if (!options.startController)
        return true;
    return StartAnApp(kToolController, {}, options.controllerWaitMs);
}

void ToolShutdown()
{
    GlobalProgress().SetProgressStatusBar(nullptr);
    UnregisterOwnWindowFromController();
    AddToLogFile(QStringLiteral("%1 closing").arg(Tool_Name(current_tool_var)));
}

} // namespace cv
