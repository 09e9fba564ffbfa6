#pragma once
// The one way the programs save a file a user names, and every export: the
// file is written whole under a temporary name beside it and renamed over
// it by commit, so a failed save keeps the old file (as QSaveFile does),
// and in a folder others may write to it never goes through another user's
// link nor over another user's file (shared_folders.h): such a save is
// refused with the reason. The user's own links lead to the file they name,
// which is replaced, keeping its mode; a new file has the user's usual mode.
//
// A private save (files only their user may read: the suite's own files,
// the crash reports' options) follows no link at all (a link at the name is
// replaced by the file), refuses any file of another user, and makes the
// file 0600 whatever it replaces.
//
// The temporary file is "<file>.XXXXXX" (six letters), made new (O_EXCL,
// never through a link) in the file's folder.

#include <QFile>
#include <QString>

namespace cv {

class TSaveFile final : public QFile {
public:
    enum class TKind { Ordinary, Private };
    explicit TSaveFile(const QString& name, TKind kind = TKind::Ordinary);
    ~TSaveFile() override; // an uncommitted temporary file goes
    TSaveFile(const TSaveFile&) = delete;
    TSaveFile& operator=(const TSaveFile&) = delete;

    // Makes the temporary file, for writing (ReadWrite: for reading back
    // too). False with the reason in errorString().
    bool open(OpenMode mode) override;
    // Writes what waits, puts the file on the disk and renames it over the
    // name. False with the reason (a write that failed before, a refusal,
    // the system's reason); the old file stays as it was.
    bool commit();
    // The save will not be committed (commit removes the temporary file).
    void cancelWriting();
    // Where the file goes: the name, or where the user's own links lead.
    const QString& Target() const { return m_target; }

private:
    bool Fail(const QString& reason);
    void RemoveTemporary();

    TKind m_kind;
    QString m_target;
    QString m_temporary;
    bool m_cancelled = false;
};

} // namespace cv
