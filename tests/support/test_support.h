#pragma once
// Helpers shared by the test programs.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace cvtest {

// A fresh folder removed at the end of the test.
class TempDir {
public:
    TempDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // Writes bytes into a file of this folder and returns its full name.
    QString write(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
};

// Gives this process a runtime folder of its own ($XDG_RUNTIME_DIR, where
// the suite's processes meet) and the suite's default names
// for the settings buffer, the controller's mutex, sockets and log, and an
// ini file of its own, for as long as the object lives: what the process and
// the programs it starts do with the suite stays out of the user's. One per
// test program, first thing in main.
class OwnSuiteFolder {
public:
    OwnSuiteFolder();
    ~OwnSuiteFolder();
    OwnSuiteFolder(const OwnSuiteFolder&) = delete;
    OwnSuiteFolder& operator=(const OwnSuiteFolder&) = delete;

private:
    QTemporaryDir m_dir;
};

QByteArray readAll(const QString& fileName);
// The permission bits of a file or folder (07777; a link's own), or
// 0xFFFF when there is none.
unsigned modeOf(const QString& path);
QByteArray toBytes(const std::vector<uint8_t>& v);
// Folder with the saved files kept for compatibility tests (tests/data).
QString testDataDir();
// Gives each input kept for a fuzz target (the folder tests/data/fuzz/<name>,
// in name order) to read; the sum of its answers. An empty folder fails the test.
int replayKeptFuzzInputs(const QString& name, const std::function<int(const uint8_t*, size_t)>& read);

// Runs `job` in a child process (fork) and returns the text it returned.
// `result`: the child's exit code, or minus the signal that ended it. A
// child that takes longer than `limit` is killed (a test failure).
QString runInChild(const std::function<QString()>& job, int* result = nullptr,
                   std::chrono::milliseconds limit = std::chrono::seconds(20));
// Another user of the machine, for the tests of what one user can do to
// another's files: the tests run as root here and in CI, and become this
// user in a child process. Without root they are skipped.
struct OtherUser {
    unsigned uid = 0;
    unsigned gid = 0;
};
// The other user (nobody), or nothing when this process cannot act as one.
std::optional<OtherUser> otherUser();
// Runs `job` in a child process as `user` (runInChild); "" when it ran.
QString asOtherUser(const OtherUser& user, const std::function<QString()>& job);
// Hands a file or folder to `user` (chown, not following a link); false when
// that cannot be done.
bool giveToOtherUser(const OtherUser& user, const QString& path);
// A folder like /tmp in `dir`: everyone may write to it, the sticky bit
// set, reachable by the other user (`dir` is opened to others for that).
QString makeSharedFolder(const TempDir& dir, const QString& name = QStringLiteral("tmp"));
// Makes a symbolic link `link` -> `target` as `user`; "" when made.
QString linkAsOtherUser(const OtherUser& user, const QString& target, const QString& link);

// Limits this process's address space to what it has mapped now and
// `extraBytes` more (for a child of runInChild: a job that asks for far more
// memory than it needs then fails at once instead of taking the machine's).
void limitAddressSpace(uint64_t extraBytes);
// Waits for a child at most `limit` (then kills it, a test failure): its
// exit code, or minus the signal that ended it.
int waitForChild(int pid, std::chrono::milliseconds limit = std::chrono::seconds(20));

// How a program run by runProgram ended.
struct ProgramRun {
    int status = 0; // the exit code, or minus the signal that ended it
    QString output; // standard output and error
};
// Runs a program in `dir` (its output goes to dir/out.txt) with extra
// environment variables ("NAME=value", each replacing the caller's of that
// name) and QT_QPA_PLATFORM=offscreen; `limit` at most (see waitForChild).
// Waits until no process of this machine has `text` in its command line
// (processes a run left behind, such as a crash reporter in a session of
// its own); those still there after `limit` are killed (a test failure).
void waitForProcessesNaming(const QString& text, std::chrono::milliseconds limit = std::chrono::seconds(20));
// The processes of this machine (this one left out) that have `text` in their command line.
std::vector<int> processesNaming(const QString& text);
ProgramRun runProgram(const QString& program, const QStringList& arguments, const QString& dir,
                      const QStringList& environment = {}, std::chrono::milliseconds limit = std::chrono::seconds(20));

} // namespace cvtest
