#pragma once
// Files as the system keeps them: what kind of file a name stands for, the
// system's own text for a failure, advisory locks, files written so that
// they reach the disk whole, renames that replace, and files read at given
// offsets. Code above src/suite reaches these system calls only through here.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "files/system_error.h"

namespace cv {

// A write beyond the process's file-size limit (ulimit -f) fails with
// EFBIG, told as the reason, instead of the signal that would end the
// process with the file half written. First thing in main.
void ReportFileSizeLimitAsFailure();

// Empty when `path` is a regular file (or does not exist: opening it then
// says so); otherwise why it cannot be read as a file: "it is a folder",
// "it is a named pipe (FIFO)", "it is a device", "it is a socket". Asked
// before a file is opened: a FIFO opened for reading waits for a writer.
QString NotARegularFileReason(const QString& path);

// Empty when `path` is a regular file this process may read; otherwise the
// true cause, for "skipped" and "cannot open" messages: "it does not
// exist", "it is a link to nothing (dangling link)", "its links lead round in
// a loop", "its path is too long", "its name is not valid UTF-8, so it cannot
// be opened by name", "permission denied", or what NotARegularFileReason
// says. Asked before a file is opened (a FIFO is never opened here).
QString CannotReadReason(const QString& path);

// What a walk of a folder meets. A name that is not valid UTF-8 cannot be
// made into a name to open the file by: it is shown with its odd bytes as
// \xNN and `badName` is set.
struct TFolderEntry {
    QString path;
    bool folder = false;  // a folder (walked into unless it is a link)
    bool link = false;    // a symbolic link
    bool badName = false;
};
// Every entry under `folder`, folders before their contents, in the order
// the system lists them; links to folders are not walked into. Unlike
// Qt's walk, names that are not UTF-8 are met too. False with the reason
// when `folder` cannot be read (its sub-folders that cannot be are met as
// entries, whose reason CannotReadFolderReason gives).
bool WalkFolder(const QString& folder, const std::function<void(const TFolderEntry&)>& visit, QString* error = nullptr);
// Empty when the folder can be listed; else why not.
QString CannotReadFolderReason(const QString& folder);

// An advisory lock (flock) on a lock file, held until Release or
// destruction (and by the system only as long as the process lives, so a
// crashed holder leaves no lock behind). The lock file itself stays.
class TFileLock {
public:
    TFileLock() = default;
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // Takes the exclusive lock, waiting at most `waitMs` milliseconds for
    // another holder to let it go. The lock file is made when absent; a
    // link there, or a file of another user, is refused (never followed or
    // used: "... it belongs to another user (user nobody (uid 65534)); it
    // is not used"). False with the reason; `busy` tells that
    // another holder kept it the whole time (as opposed to a file that
    // cannot be made).
    bool Lock(const QString& lockFile, int waitMs, QString* error, bool* busy = nullptr);
    bool Locked() const { return m_fd >= 0; }
    void Release();

private:
    int m_fd = -1;
};

// A file written so that it is on the disk, whole, before anything names
// it: made new (O_EXCL, never through a link; with the user's usual mode;
// a file or link of this user's at the name is removed first, one of
// another user's refused with its owner named), written through a buffer,
// then flushed to the disk (fsync) by Finish. Failures carry the system's
// reason: "Cannot write file "<name>": No space left on device". A file
// not finished is removed when the object goes.
class TDurableFile {
public:
    explicit TDurableFile(QString name);
    ~TDurableFile();
    TDurableFile(const TDurableFile&) = delete;
    TDurableFile& operator=(const TDurableFile&) = delete;

    bool Create(QString* error);
    bool Write(const void* data, int64_t n, QString* error);
    // Writes over bytes already written (a header known only at the end).
    bool WriteAt(int64_t offset, const void* data, int64_t n, QString* error);
    // Writes what waits, flushes the file to the disk and closes it.
    bool Finish(QString* error);
    const QString& FileName() const { return m_name; }
    int64_t Written() const { return m_written; }

private:
    bool Flush(QString* error);
    bool Fail(const QString& what, int err, QString* error);

    QString m_name;
    int m_fd = -1;
    bool m_created = false;
    bool m_finished = false;
    int64_t m_written = 0;
    std::vector<uint8_t> m_buffer;
};

// Whether another process holds the lock of this lock file (false when
// the file does not exist or nobody holds it).
bool LockIsHeld(const QString& lockFile);

// A save through a temporary file that is killed after the file got its
// name ("<file>.XXXXXX", six letters) and before the rename
// leaves it beside `file`. Removes those of `file` not written to for a
// minute (one just written may be another program's save going on), and
// only this user's (in a shared folder the name may be another user's).
void RemoveLeftoversOfKilledSaves(const QString& file);

// rename(2): `to` is replaced at once; false with the system's reason.
bool RenameReplacing(const QString& from, const QString& to, QString* error);
// Flushes the folder holding `file` to the disk, so that renames and
// removals in it last (false with the reason).
bool SyncFolderOf(const QString& file, QString* error);

// What can be read at given offsets: a file opened for reading, or a scratch file.
class TFileReader {
public:
    virtual ~TFileReader() = default;
    // Reads exactly n bytes at `offset`; false (with the reason) when the
    // file ends first or cannot be read.
    virtual bool ReadAt(int64_t offset, void* data, int64_t n, QString* error) const = 0;
    virtual int64_t Size() const = 0;
    virtual const QString& FileName() const = 0;
};

// A file opened once for reading pieces at given offsets. It stays the file
// that was opened even when another is put in its place under its name.
class TReadOnlyFile final : public TFileReader {
public:
    TReadOnlyFile() = default;
    ~TReadOnlyFile();
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

    // Refuses what is not a regular file, also one put in its place after
    // the check (opened without waiting: a named pipe never holds it up).
    // False with the reason.
    bool Open(const QString& name, QString* error);
    bool IsOpen() const { return m_fd >= 0; }
    void Close();
    bool ReadAt(int64_t offset, void* data, int64_t n, QString* error) const override;
    // Reads on from where the last Read ended (the start at first): up to
    // `max` bytes, fewer only where the file ends; -1 with the reason.
    int64_t Read(void* data, int64_t max, QString* error);
    int64_t Size() const override { return m_size; }
    const QString& FileName() const override { return m_name; }
    // Whether the file was written to since it was opened: its size or the
    // time of its last change is not what it was then.
    bool ChangedSinceOpened() const;

private:
    QString m_name;
    int m_fd = -1;
    int64_t m_size = 0;
    int64_t m_next = 0; // where Read goes on
    int64_t m_changedNs = 0; // the time of the last change when opened, in nanoseconds
};

// A file a job writes what does not fit its memory into and reads back:
// made in a folder (the disk the job's result goes to) without a name, so
// that it goes with the process however that ends. Written at its end,
// read at any offset.
class TScratchFile final : public TFileReader {
public:
    TScratchFile() = default;
    ~TScratchFile() override;
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;

    // False with the system's reason.
    bool Create(const QString& folder, QString* error);
    bool IsOpen() const { return m_fd >= 0; }
    // The file and its bytes go.
    void Close();
    bool Append(const void* data, int64_t n, QString* error);
    bool ReadAt(int64_t offset, void* data, int64_t n, QString* error) const override;
    int64_t Size() const override { return m_size; }
    const QString& FileName() const override { return m_name; }

private:
    QString m_folder;
    QString m_name; // for messages: the folder and "(scratch file)"
    int m_fd = -1;
    int64_t m_size = 0;
};

} // namespace cv
