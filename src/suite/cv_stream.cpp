#include "suite/cv_stream.h"

#include "suite/file_system.h"
#include "suite/private_files.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#if defined(__linux__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace cv {

namespace {
// No string of ours comes near this; a larger count means a damaged stream.
constexpr int32_t kMaxStringChars = 64 * 1024 * 1024;
} // namespace

bool TStream::Skip(int64_t count)
{
    if (count < 0 || count > Remaining())
        return false;
    return SetPosition(Position() + count);
}

bool TStream::WriteZeros(int64_t count)
{
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, sizeof zeros);
        if (!WriteExact(zeros, n))
            return false;
        count -= n;
    }
    return count == 0;
}

bool TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count < 0)
        count = source.Remaining();
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(count, 1 << 20)));
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, int64_t(buffer.size()));
        if (!source.ReadExact(buffer.data(), n) || !WriteExact(buffer.data(), n))
            return false;
        count -= n;
    }
    return true;
}

bool TStream::ReadBool(bool& v)
{
    uint8_t b = 0;
    if (!ReadU8(b))
        return false;
    v = b != 0;
    return true;
}

bool TStream::WriteCount(int64_t count)
{
    if (count < 0 || count > INT32_MAX)
        return false;
    return WriteI32(int32_t(count));
}

bool TStream::ReadCount(int32_t& count, int64_t minBytesPerItem)
{
    if (!ReadI32(count))
        return false;
    if (count < 0)
        return false;
    if (minBytesPerItem > 0 && int64_t(count) * minBytesPerItem > Remaining())
        return false;
    return true;
}

// ---------------------------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || m_pos >= Size())
        return 0;
    const int64_t n = std::min<int64_t>(count, Size() - m_pos);
    std::memcpy(buffer, m_data.data() + m_pos, size_t(n));
    m_pos += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (m_pos + count > Size())
        m_data.resize(size_t(m_pos + count));
    std::memcpy(m_data.data() + m_pos, buffer, size_t(count));
    m_pos += count;
    return count;
}

bool TMemoryStream::SetPosition(int64_t position)
{
    if (position < 0)
        return false;
    m_pos = position; // beyond the end is allowed: a later write fills the gap with zeros
    if (m_pos > Size())
        m_data.resize(size_t(m_pos));
    return true;
}

void TMemoryStream::Clear()
{
    m_data.clear();
    m_pos = 0;
}

void TMemoryStream::SetSize(int64_t size)
{
    m_data.resize(size_t(std::max<int64_t>(size, 0)));
    m_pos = std::min<int64_t>(m_pos, Size());
}

uint8_t* TMemoryStream::GrowForWrite(int64_t count)
{
    if (count < 0)
        return nullptr;
    const auto end = std::size_t(m_pos + count);
    if (end > m_data.capacity())
        m_data.reserve(std::max(end, m_data.capacity() * 2)); // not a reallocation per call
    if (end > m_data.size())
        m_data.resize(end);
    uint8_t* at = m_data.data() + m_pos;
    m_pos += count;
    return at;
}

std::vector<uint8_t> TMemoryStream::TakeBytes()
{
    m_pos = 0;
    return std::exchange(m_data, {});
}

bool TMemoryStream::LoadFromFile(const QString& fileName, QString* error)
{
    // What lies in the suite's own folder is read only when it is its
    // user's, and never through a link (private_files.h).
    if (IsInSuiteTempFolder(fileName)) {
        QByteArray bytes;
        if (!ReadPrivateFile(fileName, bytes, error))
            return false;
        m_data.assign(bytes.begin(), bytes.end());
        m_pos = 0;
        return true;
    }
    // Not a QFile: texts are loaded on reading threads too, where a QObject
    // would make Qt's record of the thread, which Qt cannot undo when memory
    // runs out there.
    TReadOnlyFile f;
    if (!f.Open(fileName, error))
        return false;
    std::vector<uint8_t> bytes(std::size_t(f.Size()));
    if (!bytes.empty() && !f.ReadAt(0, bytes.data(), int64_t(bytes.size()), error))
        return false;
    m_data = std::move(bytes);
    m_pos = 0;
    return true;
}

bool TMemoryStream::SaveToFile(const QString& fileName, QString* error, TSaveMode mode) const
{
    // A failed write makes the commit fail, with the write's reason.
    TSaveFileStream f(fileName, mode);
    if (!f.Open(error))
        return false;
    f.WriteExact(m_data.data(), int64_t(m_data.size()));
    return f.Commit(error);
}

// ---------------------------------------------------------------------------

TSaveFileStream::TSaveFileStream(const QString& fileName, TSaveMode mode)
    : m_name(fileName), m_private(mode == TSaveMode::Private || IsInSuiteTempFolder(fileName)),
      m_file(std::make_unique<TSaveFile>(fileName, m_private ? TSaveFile::TKind::Private : TSaveFile::TKind::Ordinary))
{
}

TSaveFileStream::~TSaveFileStream() = default;

bool TSaveFileStream::Failed(QString* error) const
{
    if (error)
        *error = QStringLiteral("Cannot write file \"%1\": %2").arg(m_name, !m_writeError.isEmpty() ? m_writeError : m_file->errorString());
    return false;
}

bool TSaveFileStream::Open(QString* error)
{
    RemoveLeftoversOfKilledSaves(m_name);
    if (m_private && IsInSuiteTempFolder(m_name)) {
        QString folderProblem;
        if (!CheckSuiteTempFolder(&folderProblem)) {
            if (error)
                *error = QStringLiteral("Cannot write file \"%1\": %2").arg(m_name, folderProblem);
            return false;
        }
    }
    // Made for reading too, so that what was written can be read back.
    return m_file->open(QIODevice::ReadWrite) || Failed(error);
}

bool TSaveFileStream::Commit(QString* error)
{
    // A write that fell short (a full disk) must not put a cut file in the
    // old one's place; the last writes are made here, and checked.
    errno = 0;
    if (m_writeError.isEmpty() && !m_file->flush())
        m_writeError = errno != 0 ? SystemErrorText(errno) : m_file->errorString();
    if (!m_writeError.isEmpty()) {
        m_file->cancelWriting();
        m_file->commit();
        return Failed(error);
    }
    return m_file->commit() || Failed(error);
}

int64_t TSaveFileStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    errno = 0;
    const qint64 n = m_file->write(static_cast<const char*>(buffer), count);
    if (n != count && m_writeError.isEmpty())
        m_writeError = errno != 0 ? SystemErrorText(errno) : m_file->errorString();
    if (n <= 0)
        return 0;
    m_notStarted += n;
    if (m_notStarted >= kWriteBackBytes)
        StartWriteBack();
    return n;
}

void TSaveFileStream::StartWriteBack()
{
    // The commit waits until the whole file is on the disk. Asking the
    // system to start writing what it has already been given lets the disk
    // work while the rest of the file is made, so that wait is short. Only
    // a request: a failure here shows at the commit, which checks it all.
    m_notStarted = 0;
#if defined(__linux__)
    errno = 0;
    if (m_file->flush())
        (void)::sync_file_range(m_file->handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
    else if (m_writeError.isEmpty())
        m_writeError = errno != 0 ? SystemErrorText(errno) : m_file->errorString();
#endif
}

int64_t TSaveFileStream::Read(void* buffer, int64_t count)
{
#if defined(__linux__)
    if (count <= 0 || !ReadsBack())
        return 0;
    // What waits in the buffer goes to the file first: a write that fails
    // then (a full disk) is the reason the save fails.
    errno = 0;
    if (!m_file->flush()) {
        if (m_writeError.isEmpty())
            m_writeError = errno != 0 ? SystemErrorText(errno) : m_file->errorString();
        return 0;
    }
    const int64_t at = m_file->pos();
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(m_file->handle(), static_cast<char*>(buffer) + done, std::size_t(count - done), off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done > 0 && m_file->seek(at + done) ? done : 0;
#else
    (void)buffer;
    (void)count;
    return 0;
#endif
}

bool TSaveFileStream::ReadsBack() const
{
#if defined(__linux__)
    // The temporary file is made for reading and writing; a file written
    // in place (no temporary) may not be.
    const int fd = m_file->isOpen() ? m_file->handle() : -1;
    return fd >= 0 && (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
#else
    return false;
#endif
}

int64_t TSaveFileStream::Position() const { return m_file->pos(); }

bool TSaveFileStream::SetPosition(int64_t position)
{
    if (position < 0)
        return false;
    // A seek writes what waits in the buffer first: its failure is a write's.
    errno = 0;
    if (m_file->seek(position))
        return true;
    if (m_writeError.isEmpty() && m_file->error() == QFileDevice::WriteError)
        m_writeError = errno != 0 ? SystemErrorText(errno) : m_file->errorString();
    return false;
}

int64_t TSaveFileStream::Size() const { return m_file->size(); }

// ---------------------------------------------------------------------------

TFileStream::~TFileStream() = default;

bool TFileStream::Open(const QString& fileName, Mode mode)
{
    m_file.close();
    m_file.setFileName(fileName);
    if (const QString why = NotARegularFileReason(fileName); !why.isEmpty()) {
        m_error = QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, why);
        return false;
    }
    QIODevice::OpenMode qmode = QIODevice::ReadOnly;
    if (mode == Mode::OpenReadWrite)
        qmode = QIODevice::ReadWrite;
    else if (mode == Mode::Create)
        qmode = QIODevice::ReadWrite | QIODevice::Truncate;
    if (!m_file.open(qmode)) {
        m_error = QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, m_file.errorString());
        return false;
    }
    m_error.clear();
    return true;
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const qint64 n = m_file.read(static_cast<char*>(buffer), count);
    if (n < 0) {
        m_error = QStringLiteral("Cannot read file \"%1\": %2").arg(m_file.fileName(), m_file.errorString());
        return 0;
    }
    return n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const qint64 n = m_file.write(static_cast<const char*>(buffer), count);
    if (n < 0) {
        m_error = QStringLiteral("Cannot write file \"%1\": %2").arg(m_file.fileName(), m_file.errorString());
        return 0;
    }
    return n;
}

// ---------------------------------------------------------------------------

namespace {
// Room a writer takes at a time: at first a small block (a writer made for
// one entry takes no more), then twice as much each time up to a block
// that still stays in the cache while it is filled, and is large enough
// that a file takes a long list in few writes (each write costs a call
// into the system and a look at the file's pages).
constexpr std::size_t kFirstBulkBlock = 64 * 1024;
constexpr std::size_t kBulkBlock = 1024 * 1024;
} // namespace

TBulkWriter::TBulkWriter(TStream& s, std::size_t expectedBytes)
    : fStream(s), fMemory(dynamic_cast<TMemoryStream*>(&s)), fExpected(expectedBytes)
{
}

TBulkWriter::~TBulkWriter() = default;

bool TBulkWriter::Flush()
{
    if (fMemory) {
        // The stream holds the bytes already; the room taken and not used goes back.
        if (fStart) {
            const int64_t end = fPlaceStart + (fAt - fStart);
            fMemory->SetPosition(end);
            if (fMemory->Size() > std::max(fMemorySize, end))
                fMemory->SetSize(std::max(fMemorySize, end));
        }
    } else if (fAt != fStart) {
        fOk = fOk && fStream.WriteExact(fStart, fAt - fStart);
    }
    fStart = fAt = fEnd = nullptr;
    return fOk;
}

uint8_t* TBulkWriter::PlaceSlow(std::size_t n)
{
    Flush();
    if (fBlock == 0)
        // A writer of much takes its largest room at once: the smaller ones
        // on the way there would each be memory taken and left.
        fBlock = std::clamp(fExpected, kFirstBulkBlock, kBulkBlock);
    else
        fBlock = std::min(fBlock * 2, kBulkBlock);
    std::size_t take = std::max(n, fBlock);
    if (fMemory) {
        // The room up to the stream's end (a stream sized ahead), else a block more.
        fMemorySize = fMemory->Size();
        fPlaceStart = fMemory->Position();
        if (fMemorySize - fPlaceStart >= int64_t(n))
            take = std::size_t(fMemorySize - fPlaceStart);
        fStart = fMemory->WritePlace(int64_t(take));
    } else {
        // The bytes in the buffer went to the stream: a larger one need not keep them (nor be cleared).
        if (fBufferSize < take) {
            fBuffer = std::make_unique_for_overwrite<uint8_t[]>(take);
            fBufferSize = take;
        }
        take = fBufferSize;
        fStart = fBuffer.get();
    }
    fAt = fStart + n;
    fEnd = fStart + take;
    return fStart;
}

bool WriteAString(TStream& s, const QString& text, int charWidth)
{
    if (!s.WriteI32(int32_t(text.size())))
        return false;
    if (charWidth == 1) {
        const QByteArray bytes = text.toLatin1();
        return s.WriteExact(bytes.constData(), bytes.size()) && s.WriteU8(0);
    }
    if constexpr (std::endian::native == std::endian::little) {
        if (!s.WriteExact(text.utf16(), int64_t(text.size()) * 2))
            return false;
    } else {
        for (QChar c : text)
            if (!s.WriteU16(c.unicode()))
                return false;
    }
    return s.WriteU16(0);
}

bool ReadAString(TStream& s, QString& text, int charWidth)
{
    const int width = charWidth == 1 ? 1 : 2;
    int32_t n = 0;
    if (!s.ReadI32(n) || n < 0 || n > kMaxStringChars || int64_t(n + 1) * width > s.Remaining())
        return false;
    if (width == 1) {
        QByteArray bytes(n, Qt::Uninitialized);
        uint8_t zero = 1;
        if (!s.ReadExact(bytes.data(), n) || !s.ReadU8(zero) || zero != 0)
            return false;
        text = QString::fromLatin1(bytes);
        return true;
    }
    QString out(n, Qt::Uninitialized);
    if (!s.ReadExact(out.data(), int64_t(n) * 2))
        return false;
    if constexpr (std::endian::native == std::endian::big) {
        for (QChar& c : out)
            c = QChar(endian::loadLE<uint16_t>(&c));
    }
    uint16_t zero = 1;
    if (!s.ReadU16(zero) || zero != 0)
        return false;
    text = std::move(out);
    return true;
}

bool WriteSizedBlock(TStream& s, const TMemoryStream& block)
{
    return s.WriteU32(uint32_t(block.Size())) && s.WriteBytes(block.Bytes());
}

bool ReadSizedBlock(TStream& s, uint32_t maxBytes, TMemoryStream& block)
{
    uint32_t n = 0;
    if (!s.ReadU32(n) || n > maxBytes || int64_t(n) > s.Remaining())
        return false;
    std::vector<uint8_t> bytes(n);
    if (!s.ReadExact(bytes.data(), n))
        return false;
    block = TMemoryStream(std::move(bytes));
    return true;
}

bool WriteAStringList(TStream& s, const QStringList& list, int charWidth)
{
    if (!s.WriteCount(list.size()))
        return false;
    for (const QString& item : list)
        if (!WriteAString(s, item, charWidth))
            return false;
    return true;
}

bool ReadAStringList(TStream& s, QStringList& list, int charWidth)
{
    int32_t n = 0;
    // Each string takes at least its count and its terminating zero.
    if (!s.ReadCount(n, 4 + (charWidth == 1 ? 1 : 2)))
        return false;
    QStringList out;
    out.reserve(n);
    for (int32_t i = 0; i < n; ++i) {
        QString item;
        if (!ReadAString(s, item, charWidth))
            return false;
        out.append(std::move(item));
    }
    list = std::move(out);
    return true;
}

bool WriteFixedUtf16(TStream& s, const QString& text, int chars)
{
    for (int i = 0; i < chars; ++i)
        if (!s.WriteU16(i < text.size() ? text[i].unicode() : 0))
            return false;
    return true;
}

bool ReadFixedUtf16(TStream& s, QString& text, int chars)
{
    QString out;
    bool ended = false;
    for (int i = 0; i < chars; ++i) {
        uint16_t c = 0;
        if (!s.ReadU16(c))
            return false;
        if (c == 0)
            ended = true;
        if (!ended)
            out.append(QChar(c));
    }
    text = std::move(out);
    return true;
}

} // namespace cv
