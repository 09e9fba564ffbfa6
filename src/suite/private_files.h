#pragma once
// The suite's own temporary folder and the files kept in it.
//
// The suite's processes meet in a folder that belongs to their user alone:
// the settings buffer, the controller's mutex and log, the message sockets,
// the tool's log, the files one tool hands to another and the scratch files
// of jobs live there, under the names they always had. On a machine shared
// by several users nobody else can read them, put a file or a link there
// before us, or make our programs write elsewhere through one.
//
// The folder is "$XDG_RUNTIME_DIR/corvantis" when the session has a runtime
// folder of this user's, else "corvantis-<uid>" in the system's temporary
// folder. It is made 0700; one found must be a folder of this user (not a
// link), else it is refused with the reason, and its mode is narrowed to
// 0700 when it was wider.
//
// Files opened here never follow a link at their name, new ones are made
// 0600, and a file found must be a regular file of this user: one that is
// not is refused with the reason and never used.

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;

namespace cv {

// $XDG_RUNTIME_DIR when the session has one and it is a folder of this
// user's; else empty (one inherited from another user's session through
// su is not the user's).
QString UsersRuntimeFolder();
// The folder's path; nothing is made or checked.
QString SuiteTempFolder();
// A name in that folder.
QString SuiteTempFile(const QString& name);
// A path for a suite file named by a setting: an absolute name is kept, a
// bare name is placed in the folder.
QString SuiteTempPath(const QString& nameOrPath);
// Whether `path` names a file directly inside the folder.
bool IsInSuiteTempFolder(const QString& path);
// Makes the folder when it is not there and checks it; false with the reason
// ("The suite's temporary folder "..." belongs to another user ...").
bool CheckSuiteTempFolder(QString* error = nullptr);

enum class TPrivateOpen {
    Read,      // an existing file, for reading
    ReadWrite, // an existing file, for reading and writing
    Create,    // reading and writing, made when absent
    Append,    // writing at the end, made when absent
    CreateNew, // a new file for reading and writing; one of the name must not exist
};

// Opens a file by the rules above (for a file inside the suite's folder, the
// folder is checked and made first). A descriptor closed on exec, or -1 with
// "Cannot open file "<name>": <reason>" in error.
int OpenPrivateFile(const QString& path, TPrivateOpen how, QString* error = nullptr);
// The same, as a QFile that owns the descriptor; null on failure.
std::unique_ptr<QFile> OpenPrivateQFile(const QString& path, TPrivateOpen how, QString* error = nullptr);
// A whole file, opened for reading as above (any thread).
bool ReadPrivateFile(const QString& path, QByteArray& bytes, QString* error = nullptr);

} // namespace cv
