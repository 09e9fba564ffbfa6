#pragma once
// Zip archives: the batch results, zipped word lists and key-word files, and
// texts kept inside zips.
//
// One TZipArchive names one archive file and holds its directory while it is
// open. Reading keeps the file open; every change (add, delete) writes a
// complete new archive beside the old one and renames it over the old one, so
// a failure half-way never damages the archive that was there. Entry names are
// stored in UTF-8 with the language-encoding flag (bit 11) set.
//
// Untrusted archives are expected: a damaged or truncated file, an entry
// whose data does not match its CRC, an entry whose inflated size exceeds the
// set limit (a "zip bomb"), encrypted entries or unknown compression methods
// are all refused with a message (ErrorString) that names the archive and the
// reason. Nothing here throws.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "suite/cv_stream.h"

namespace cv {

// DOS attribute bits kept in the low byte of an entry's external attributes.
enum : uint32_t {
    kZipAttrReadOnly = 0x01,
    kZipAttrHidden = 0x02,
    kZipAttrSystem = 0x04,
    kZipAttrDirectory = 0x10,
    kZipAttrArchive = 0x20, // what every result file gets when it is added
};

struct TZipEntryInfo {
    QString name;             // the stored name, decoded (UTF-8, else code page 437)
    QByteArray rawName;       // the stored bytes of the name
    int64_t compressedSize = 0;
    int64_t uncompressedSize = 0;
    QDateTime time;           // local time, two-second resolution
    uint32_t dosDateTime = 0; // the stored DOS date (high word) and time (low word)
    uint32_t attributes = 0;  // external attributes; the low byte holds the DOS bits above
    uint32_t crc32 = 0;
    uint16_t flags = 0;       // general-purpose bit flags
    uint16_t method = 0;      // 0 stored, 8 deflated
    uint16_t versionMadeBy = 0;

    bool IsDirectory() const { return name.endsWith(u'/') || (attributes & kZipAttrDirectory); }
    bool HasUtf8Name() const { return flags & 0x0800; }
    bool IsEncrypted() const { return flags & 0x0001; }
};

// An entry to be written.
struct TZipNewEntry {
    QString name;                  // stored name; "\" becomes "/", a leading "/" is dropped
    std::vector<uint8_t> data;
    QDateTime time = QDateTime::currentDateTime();
    uint32_t attributes = kZipAttrArchive;
};

class TReadOnlyFile;

// One entry of an open archive read a piece at a time, as a loose file is
// read: what it unpacks to is never held whole (TZipArchive::OpenEntry).
// It keeps the archive's file open for itself, so it may outlive the
// TZipArchive that made it. Its size and its CRC are checked at its end.
class TZipEntryReader final {
public:
    ~TZipEntryReader();
    TZipEntryReader(const TZipEntryReader&) = delete;
    TZipEntryReader& operator=(const TZipEntryReader&) = delete;

    // Up to `max` unpacked bytes, fewer only at the entry's end (0 there);
    // -1 with the reason (naming the archive and the entry) when its data
    // is damaged, ends early, gives more or less than the entry declares,
    // or does not match its CRC.
    int64_t Read(uint8_t* to, int64_t max, QString* error);
    // The size the entry declares, which Read holds it to.
    int64_t Size() const { return m_size; }
    bool AtEnd() const { return m_done; }

private:
    friend class TZipArchive;
    TZipEntryReader() = default;
    int64_t fail(const QString& why, QString* error);
    int64_t inflateInto(uint8_t* to, int64_t room, QString* error);

    std::shared_ptr<const TReadOnlyFile> m_file;
    QString m_what;           // "Cannot read zip archive "<name>": entry "<entry>""
    int64_t m_at = 0;         // where its compressed data goes on in the archive's file
    int64_t m_left = 0;       // compressed bytes not read yet
    int64_t m_size = 0;
    int64_t m_made = 0;       // unpacked bytes handed out
    uint32_t m_crc = 0, m_expectedCrc = 0;
    bool m_deflated = false;
    bool m_streamEnded = false; // the deflated data ended
    bool m_done = false;
    bool m_failed = false;
    struct Inflater;
    std::unique_ptr<Inflater> m_inflater;
};

class TZipArchive final {
public:
    // Largest inflated size of one entry read into memory (ExtractToStream).
    static constexpr int64_t kDefaultMaxEntrySize = int64_t(1) << 30;
    // Largest number of entries an archive may list.
    static constexpr int kMaxEntries = 1000000;
    // Largest size all the entries of one archive may unpack to, together.
    static constexpr int64_t kDefaultMaxArchiveSize = int64_t(64) << 30;

    TZipArchive();
    ~TZipArchive();
    TZipArchive(const TZipArchive&) = delete;
    TZipArchive& operator=(const TZipArchive&) = delete;

    // Opens an existing archive and reads its directory. False (with
    // ErrorString) when the file is missing, unreadable or not a sound
    // archive: among those, one whose entries overlap (share their data,
    // as a "zip bomb" does to unpack to far more than it holds) and one
    // whose entries would unpack to more than MaxArchiveSize together.
    // zip64 archives (sizes and places beyond 32 bits) are read.
    bool OpenArchive(const QString& fileName);
    // Makes a new, empty archive under this name, replacing any file of that
    // name, and leaves it open.
    bool CreateArchive(const QString& fileName);
    // Opens the archive when it exists, else creates it.
    bool OpenOrCreateArchive(const QString& fileName);
    void CloseArchive();
    bool IsOpen() const { return m_open; }
    QString FileName() const { return m_fileName; }

    int FileCount() const { return int(m_entries.size()); }
    const std::vector<TZipEntryInfo>& Entries() const { return m_entries; }
    const TZipEntryInfo& Entry(int index) const { return m_entries.at(std::size_t(index)); }
    QStringList EntryNames() const;
    // Index of the entry with this stored name (exact match, else the
    // name with "\" as "/" and no leading "/"); -1 when absent.
    int IndexOf(const QString& name) const;

    // Inflates one entry into the stream (cleared first, position 0 after);
    // an entry beyond MaxEntrySize is refused.
    bool ExtractToStream(int index, TMemoryStream& out);
    bool ExtractToStream(const QString& name, TMemoryStream& out);
    // One entry to be read a piece at a time, of any size the archive's
    // limits allow; null (with ErrorString) when it cannot be read at all
    // (encrypted, of an unknown method, its local header damaged).
    std::unique_ptr<TZipEntryReader> OpenEntry(int index);

    // Adding replaces an entry of the same name. Each call rewrites the
    // archive once; AddEntries writes many entries in one rewrite.
    bool AddFromStream(const QString& entryName, const TMemoryStream& data,
                       const QDateTime& time = QDateTime::currentDateTime(), uint32_t attributes = kZipAttrArchive);
    bool AddFromBuffer(const QString& entryName, std::span<const uint8_t> data,
                       const QDateTime& time = QDateTime::currentDateTime(), uint32_t attributes = kZipAttrArchive);
    // A file from disk under entryName (its own name without folder when
    // empty), with the file's last-modification time.
    bool AddFile(const QString& fileName, const QString& entryName = QString(), uint32_t attributes = kZipAttrArchive);
    bool AddEntries(std::vector<TZipNewEntry> entries);

    bool DeleteEntry(int index);
    bool DeleteEntries(std::vector<int> indexes);

    void SetMaxEntrySize(int64_t bytes) { m_maxEntrySize = bytes; }
    int64_t MaxEntrySize() const { return m_maxEntrySize; }
    // Asked when an archive is opened.
    void SetMaxArchiveSize(int64_t bytes) { m_maxArchiveSize = bytes; }
    int64_t MaxArchiveSize() const { return m_maxArchiveSize; }

    // The last failure: "Cannot read zip archive "<name>": <reason>" and the like.
    QString ErrorString() const { return m_error; }

    // True when the file starts like a zip archive (a local header or, for an
    // empty archive, the end-of-directory record).
    static bool IsAZipFile(const QString& fileName);

private:
    struct Impl;
    bool fail(const QString& verb, const QString& reason);
    bool loadDirectory();
    bool rewrite(const std::vector<bool>& keep, std::vector<TZipNewEntry> added);

    std::unique_ptr<Impl> m_impl;
    QString m_fileName;
    std::vector<TZipEntryInfo> m_entries;
    int64_t m_maxEntrySize = kDefaultMaxEntrySize;
    int64_t m_maxArchiveSize = kDefaultMaxArchiveSize;
    QString m_error;
    bool m_open = false;
};

// The suite's test for a zip file.
inline bool IsAZipFile(const QString& fileName) { return TZipArchive::IsAZipFile(fileName); }

// Whether a zip archive is a batch of saved results: true when it opens and
// holds at least one entry whose extension is that of a saved document
// (".lst", ".kws", ...). listType (optional) takes the list type of the first
// such entry, count (optional) the number of entries of that list type.
bool IsABatchZipFileForListType(const QString& zipName, uint8_t* listType = nullptr, int* count = nullptr);

// DOS date/time (date in the high word) from a local time, clamped to the
// range the format can hold (1980 to 2107), and back.
uint32_t ZipDosDateTime(const QDateTime& time);
QDateTime ZipDateTimeFromDos(uint32_t dosDateTime);

} // namespace cv
