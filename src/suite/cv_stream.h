#pragma once
// Streams that every saved file is read from and written to.
//
// Fields are written one by one in little-endian order (see cv_endian.h),
// never as a copy of an in-memory struct: our structs hold 64-bit pointers and
// padding, the files must not. Readers return false when the stream ends
// early; they never read past its end.

#include <QFile>
#include <QString>
#include <QStringList>

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "files/save_file.h"
#include "suite/cv_endian.h"

namespace cv {

// How a file is saved: as files of the user's documents are, or for its
// user alone (TSaveFileStream).
enum class TSaveMode { Ordinary, Private };

class TStream {
public:
    virtual ~TStream() = default;

    // Raw transfer; both return the number of bytes moved.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Position() const = 0;
    virtual bool SetPosition(int64_t position) = 0;
    virtual int64_t Size() const = 0;

    // Whether what was written can be read back (at any position written).
    virtual bool ReadsBack() const { return false; }

    int64_t Remaining() const { return Size() - Position(); }
    bool Skip(int64_t count);

    // All or nothing: false (and the position is unspecified) when fewer bytes moved.
    bool ReadExact(void* buffer, int64_t count) { return count >= 0 && Read(buffer, count) == count; }
    bool WriteExact(const void* buffer, int64_t count) { return count >= 0 && Write(buffer, count) == count; }
    bool WriteBytes(std::span<const uint8_t> bytes) { return WriteExact(bytes.data(), int64_t(bytes.size())); }
    bool WriteZeros(int64_t count);
    // Copies count bytes (all when count < 0) from the source's current position.
    bool CopyFrom(TStream& source, int64_t count);

    template <typename T>
    bool WriteLE(T value)
    {
        unsigned char bytes[sizeof(T)];
        endian::storeLE(bytes, value);
        return WriteExact(bytes, sizeof(T));
    }
    template <typename T>
    bool ReadLE(T& value)
    {
        unsigned char bytes[sizeof(T)];
        if (!ReadExact(bytes, sizeof(T)))
            return false;
        value = endian::loadLE<T>(bytes);
        return true;
    }

    bool WriteU8(uint8_t v) { return WriteLE(v); }
    bool WriteI8(int8_t v) { return WriteLE(v); }
    bool WriteBool(bool v) { return WriteLE(uint8_t(v ? 1 : 0)); }
    bool WriteU16(uint16_t v) { return WriteLE(v); }
    bool WriteI16(int16_t v) { return WriteLE(v); }
    bool WriteU32(uint32_t v) { return WriteLE(v); }
    bool WriteI32(int32_t v) { return WriteLE(v); }
    bool WriteI64(int64_t v) { return WriteLE(v); }
    bool WriteU64(uint64_t v) { return WriteLE(v); }
    bool WriteF32(float v) { return WriteLE(v); }
    bool WriteF64(double v) { return WriteLE(v); }

    bool ReadU8(uint8_t& v) { return ReadLE(v); }
    bool ReadI8(int8_t& v) { return ReadLE(v); }
    bool ReadBool(bool& v);
    bool ReadU16(uint16_t& v) { return ReadLE(v); }
    bool ReadI16(int16_t& v) { return ReadLE(v); }
    bool ReadU32(uint32_t& v) { return ReadLE(v); }
    bool ReadI32(int32_t& v) { return ReadLE(v); }
    bool ReadI64(int64_t& v) { return ReadLE(v); }
    bool ReadU64(uint64_t& v) { return ReadLE(v); }
    bool ReadF32(float& v) { return ReadLE(v); }
    bool ReadF64(double& v) { return ReadLE(v); }
    // A value stored in 64 bits, or in 32 by a layout from before it grew.
    bool ReadI64OrI32(int64_t& v, bool wide)
    {
        int32_t narrow = 0;
        if (wide)
            return ReadI64(v);
        if (!ReadI32(narrow))
            return false;
        v = narrow;
        return true;
    }

    // A 32-bit element count written before a list. The reader refuses counts
    // that are negative or that could not fit in the rest of the stream
    // (minBytesPerItem each), so a damaged count never drives a huge allocation.
    bool WriteCount(int64_t count);
    bool ReadCount(int32_t& count, int64_t minBytesPerItem = 1);
};

// A growable block of memory (the suite's TMemoryStream).
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : m_data(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Position() const override { return m_pos; }
    bool SetPosition(int64_t position) override;
    int64_t Size() const override { return int64_t(m_data.size()); }
    bool ReadsBack() const override { return true; }

    void Clear();
    void SetSize(int64_t size);
    // Room for `count` bytes at the position, for the caller to fill: the
    // position moves past them and the stream grows to hold them (new bytes
    // zero until filled). Valid until the stream changes size again; null for
    // a negative count.
    uint8_t* WritePlace(int64_t count)
    {
        if (count >= 0 && m_pos + count <= Size()) {
            uint8_t* at = m_data.data() + m_pos;
            m_pos += count;
            return at;
        }
        return GrowForWrite(count);
    }
    const std::vector<uint8_t>& Bytes() const { return m_data; }
    std::vector<uint8_t> TakeBytes();
    uint8_t* Memory() { return m_data.data(); }
    const uint8_t* Memory() const { return m_data.data(); }

    bool LoadFromFile(const QString& fileName, QString* error = nullptr);
    // Through a temporary file and a rename, so a failed save keeps the old
    // file. A private save makes a file for its user alone (TSaveFileStream).
    bool SaveToFile(const QString& fileName, QString* error = nullptr, TSaveMode mode = TSaveMode::Ordinary) const;

private:
    uint8_t* GrowForWrite(int64_t count);

    std::vector<uint8_t> m_data;
    int64_t m_pos = 0;
};

// Many small fields written at once: the writer hands out room (Place), the
// caller stores its fields there with the Put helpers (little-endian, as
// every field of ours), and the bytes reach the stream a block at a time.
// Over a memory stream the room is the stream's own memory, so nothing is
// copied and no call is made per field. Finish (or Flush, before writing to
// the stream directly) settles the stream's position and size.
class TBulkWriter {
public:
    // `expectedBytes`: about how much will be written, when the writer knows
    // (its room then starts as large as that needs, up to its largest block).
    explicit TBulkWriter(TStream& s, std::size_t expectedBytes = 0);
    ~TBulkWriter();
    TBulkWriter(const TBulkWriter&) = delete;
    TBulkWriter& operator=(const TBulkWriter&) = delete;

    // Room for n bytes, all of which the caller fills.
    uint8_t* Place(std::size_t n)
    {
        if (std::size_t(fEnd - fAt) >= n) {
            uint8_t* at = fAt;
            fAt += n;
            return at;
        }
        return PlaceSlow(n);
    }
    // The bytes placed so far go to the stream; the stream's position is
    // right after them. False when the stream refused them (then and ever after).
    bool Flush();
    bool Finish() { return Flush(); }

    template <typename T>
    static uint8_t* Put(uint8_t* at, T value)
    {
        endian::storeLE(at, value);
        return at + sizeof(T);
    }
    // A string in the string-stream form of 16-bit characters (WriteAString):
    // AStringBytes of room.
    static std::size_t AStringBytes(const QString& text) { return 6 + std::size_t(text.size()) * 2; }
    // Inline: writers of many short strings call it in their inner loops.
    static uint8_t* PutAString(uint8_t* at, const QString& text)
    {
        const auto n = std::size_t(text.size());
        at = Put<int32_t>(at, int32_t(n));
        if constexpr (std::endian::native == std::endian::little) {
            // constData, not utf16: utf16 makes a null string allocate a block to end it.
            if (n > 0)
                std::memcpy(at, text.constData(), n * 2);
            at += n * 2;
        } else {
            for (QChar c : text)
                at = Put<uint16_t>(at, c.unicode());
        }
        return Put<uint16_t>(at, 0);
    }

private:
    uint8_t* PlaceSlow(std::size_t n);

    TStream& fStream;
    TMemoryStream* fMemory;       // the stream, when it is one in memory
    int64_t fMemorySize = 0;      // its size before the writer took room in it
    int64_t fPlaceStart = 0;      // the stream position of fStart (memory)
    std::unique_ptr<uint8_t[]> fBuffer; // the block for any other stream
    std::size_t fBufferSize = 0;
    std::size_t fBlock = 0;             // room taken the last time (0: none yet)
    std::size_t fExpected = 0;          // about how much the writer will write (0: not known)
    uint8_t* fStart = nullptr;
    uint8_t* fAt = nullptr;
    uint8_t* fEnd = nullptr;
    bool fOk = true;
};

// A file on disk. Open modes follow the suite: read only, or create (truncate).
class TFileStream final : public TStream {
public:
    enum class Mode { OpenRead, OpenReadWrite, Create };
    TFileStream() = default;
    ~TFileStream() override;

    bool Open(const QString& fileName, Mode mode);
    bool IsOpen() const { return m_file.isOpen(); }
    void Close() { m_file.close(); }
    // "Cannot open file "<name>": <reason>" after a failed Open, read or write.
    QString ErrorString() const { return m_error; }
    QString FileName() const { return m_file.fileName(); }

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Position() const override { return m_file.pos(); }
    bool SetPosition(int64_t position) override { return position >= 0 && m_file.seek(position); }
    int64_t Size() const override { return m_file.size(); }

private:
    QFile m_file;
    QString m_error;
};

// A file written through a temporary file beside it (TSaveFile): the file
// named is replaced only by a successful Commit, so a failed save keeps the
// old file, and another user's link or file in a folder others may write
// to is refused. For writing only; a position may be set back to patch what
// was written. Messages: "Cannot write file "<name>": <reason>".
//
// A private save (asked for, and every save into the suite's own temporary
// folder, private_files.h) makes the file 0600 whatever it replaces, and
// follows no link: a link at the name is replaced by the file, and a file
// of another user there is refused.
class TSaveFileStream final : public TStream {
public:
    explicit TSaveFileStream(const QString& fileName, TSaveMode mode = TSaveMode::Ordinary);
    ~TSaveFileStream() override;

    bool Open(QString* error = nullptr);
    // Puts the file in place; false (with the reason) when anything failed.
    bool Commit(QString* error = nullptr);
    // Why the first write that fell short did ("No space left on device"), else empty.
    const QString& WriteError() const { return m_writeError; }

    // What was written is read back from the file (once the file is open
    // for reading too: ReadsBack).
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Position() const override;
    bool SetPosition(int64_t position) override;
    int64_t Size() const override;
    bool ReadsBack() const override;

private:
    bool Failed(QString* error) const;
    void StartWriteBack();

    // Bytes handed over since the system was last asked to start writing.
    static constexpr int64_t kWriteBackBytes = 256 * 1024;
    QString m_name;
    bool m_private = false;
    std::unique_ptr<TSaveFile> m_file;
    int64_t m_notStarted = 0;
    QString m_writeError; // the reason the first write that fell short gave
};

// The suite's string-stream form: a 32-bit character count n, then n
// characters of the document's width (2: UTF-16LE, 1: Latin-1 bytes), then one
// zero character. An empty or absent string is written as count 0 and the zero.
bool WriteAString(TStream& s, const QString& text, int charWidth = 2);
bool ReadAString(TStream& s, QString& text, int charWidth = 2);
// A string list: 32-bit count, then each string in the string-stream form.
bool WriteAStringList(TStream& s, const QStringList& list, int charWidth = 2);
bool ReadAStringList(TStream& s, QStringList& list, int charWidth = 2);

// A block of fields with its 32-bit length in front. A reader takes exactly
// the block: fields a later layout appends are skipped with it, and nothing
// beyond it is read.
bool WriteSizedBlock(TStream& s, const TMemoryStream& block);
// The next block into `block` (positioned at its start); false, leaving
// `block` as it was, when the length is over maxBytes or beyond the end of the
// stream, or the block is cut short.
bool ReadSizedBlock(TStream& s, uint32_t maxBytes, TMemoryStream& block);

// Fixed-width UTF-16 text fields of records (e.g. a language name of 51
// characters): written as exactly `chars` UTF-16LE units, zero padded and cut.
bool WriteFixedUtf16(TStream& s, const QString& text, int chars);
bool ReadFixedUtf16(TStream& s, QString& text, int chars);

} // namespace cv
