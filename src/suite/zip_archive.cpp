#include "suite/zip_archive.h"

#include "files/save_file.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "suite/file_system.h"
#include "suite/text_codec.h"
#include "suite/wdef.h"

namespace cv {

namespace {

constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kVersionMadeByDos20 = 20; // host 0 (FAT: DOS attributes), zip format version 2.0
constexpr qsizetype kCopyChunk = 64 * 1024;

// minizip reads and writes through these, on a QIODevice that we open and
// close ourselves: names need no 8-bit conversion and writes can go through
// TSaveFile, which replaces the old archive only when everything succeeded.
voidpf ZCALLBACK devOpen(voidpf, const void* device, int) { return const_cast<void*>(device); }

uLong ZCALLBACK devRead(voidpf, voidpf stream, void* buf, uLong size)
{
    const qint64 n = static_cast<QIODevice*>(stream)->read(static_cast<char*>(buf), qint64(size));
    return n < 0 ? 0 : uLong(n);
}

uLong ZCALLBACK devWrite(voidpf, voidpf stream, const void* buf, uLong size)
{
    const qint64 n = static_cast<QIODevice*>(stream)->write(static_cast<const char*>(buf), qint64(size));
    return n < 0 ? 0 : uLong(n);
}

ZPOS64_T ZCALLBACK devTell(voidpf, voidpf stream) { return ZPOS64_T(static_cast<QIODevice*>(stream)->pos()); }

long ZCALLBACK devSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto* dev = static_cast<QIODevice*>(stream);
    qint64 target = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: target = qint64(offset); break;
    case ZLIB_FILEFUNC_SEEK_CUR: target = dev->pos() + qint64(offset); break;
    case ZLIB_FILEFUNC_SEEK_END: target = dev->size() + qint64(offset); break;
    default: return -1;
    }
    return (target >= 0 && dev->seek(target)) ? 0 : -1;
}

int ZCALLBACK devClose(voidpf, voidpf) { return 0; }
int ZCALLBACK devError(voidpf, voidpf) { return 0; }

zlib_filefunc64_def deviceFunctions()
{
    zlib_filefunc64_def f{};
    f.zopen64_file = devOpen;
    f.zread_file = devRead;
    f.zwrite_file = devWrite;
    f.ztell64_file = devTell;
    f.zseek64_file = devSeek;
    f.zclose_file = devClose;
    f.zerror_file = devError;
    f.opaque = nullptr;
    return f;
}

QString decodeEntryName(const QByteArray& raw, uint16_t flags)
{
    if ((flags & kFlagUtf8Name) || IsValidUtf8(raw))
        return QString::fromUtf8(raw);
    QStringDecoder cp437("IBM437", QStringDecoder::Flag::Stateless);
    return cp437.isValid() ? QString(cp437.decode(raw)) : QString::fromLatin1(raw);
}

QString cleanEntryName(QString name)
{
    name.replace(u'\\', u'/');
    while (name.startsWith(u'/'))
        name.remove(0, 1);
    return name;
}

QString zipReason(int code)
{
    switch (code) {
    case UNZ_BADZIPFILE: return QStringLiteral("the archive is damaged");
    case UNZ_CRCERROR: return QStringLiteral("an entry does not match its checksum");
    case UNZ_ERRNO: return QStringLiteral("the file could not be read or written");
    case UNZ_INTERNALERROR: return QStringLiteral("internal error of the zip library");
    case UNZ_PARAMERROR: return QStringLiteral("invalid request");
    default: return QStringLiteral("zip library error %1").arg(code);
    }
}

} // namespace

struct TZipArchive::Impl {
    // Not a QFile: texts inside archives are read on reading threads too,
    // where a QObject would make Qt's record of the thread, which Qt cannot
    // undo when memory runs out there.
    // Shared with the entry readers made from it, which may outlive it.
    std::shared_ptr<TReadOnlyFile> file = std::make_shared<TReadOnlyFile>();
    int64_t bias = 0;                 // bytes before the archive proper (a self-extracting stub)
    std::vector<int64_t> localOffsets; // per entry: its local header
    std::vector<int64_t> dataOffsets;  // per entry: its data, -1 when its local header is damaged
    // Look-ups by stored name, and by the name cleaned (made when first asked for).
    // Not QHash: its insertion cannot pass on a failed allocation (it ends
    // the program), and a text's entry is looked up while memory may run out.
    std::unordered_map<QString, int> byName, byCleanName;

    void close()
    {
        // A reader of an entry keeps the file it reads from.
        if (file.use_count() > 1)
            file = std::make_shared<TReadOnlyFile>();
        else
            file->Close();
        bias = 0;
        localOffsets.clear();
        dataOffsets.clear();
        byName.clear();
        byCleanName.clear();
    }
    // Exactly n bytes at `offset` (of the archive file itself).
    bool readAt(int64_t offset, char* to, int64_t n)
    {
        return offset >= 0 && file->ReadAt(offset, to, n, nullptr);
    }
};

uint32_t ZipDosDateTime(const QDateTime& time)
{
    const QDateTime local = time.isValid() ? time.toLocalTime() : QDateTime::currentDateTime();
    QDate d = local.date();
    QTime t = local.time();
    if (d.year() < 1980) {
        d = QDate(1980, 1, 1);
        t = QTime(0, 0);
    } else if (d.year() > 2107) {
        d = QDate(2107, 12, 31);
        t = QTime(23, 59, 58);
    }
    const uint32_t date = uint32_t(((d.year() - 1980) << 9) | (d.month() << 5) | d.day());
    const uint32_t tm = uint32_t((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
    return (date << 16) | tm;
}

QDateTime ZipDateTimeFromDos(uint32_t dos)
{
    const int day = int(dos >> 16) & 0x1F, month = int(dos >> 21) & 0x0F, year = 1980 + (int(dos >> 25) & 0x7F);
    const int sec = (int(dos) & 0x1F) * 2, minute = int(dos >> 5) & 0x3F, hour = int(dos >> 11) & 0x1F;
    const QDate d(year, std::clamp(month, 1, 12), std::clamp(day, 1, 31));
    const QTime t(std::min(hour, 23), std::min(minute, 59), std::min(sec, 59));
    return QDateTime(d.isValid() ? d : QDate(year, std::clamp(month, 1, 12), 1), t.isValid() ? t : QTime(0, 0));
}

TZipArchive::TZipArchive() : m_impl(std::make_unique<Impl>()) {}

TZipArchive::~TZipArchive() { CloseArchive(); }

bool TZipArchive::fail(const QString& verb, const QString& reason)
{
    m_error = QStringLiteral("Cannot %1 zip archive \"%2\": %3").arg(verb, QDir::toNativeSeparators(m_fileName), reason);
    return false;
}

void TZipArchive::CloseArchive()
{
    m_impl->close();
    m_entries.clear();
    m_open = false;
}

QStringList TZipArchive::EntryNames() const
{
    QStringList out;
    out.reserve(qsizetype(m_entries.size()));
    for (const auto& e : m_entries)
        out << e.name;
    return out;
}

int TZipArchive::IndexOf(const QString& name) const
{
    // The stored name as it is (an absolute name, a name with "\"), else
    // as a name cleaned of those; looked up in tables made once, so that a
    // job taking an archive's many entries one by one does not search it
    // through for each.
    // Both made whole before either is kept (the first entry of a name wins).
    if (m_impl->byName.empty() && !m_entries.empty()) {
        std::unordered_map<QString, int> byName, byCleanName;
        byName.reserve(m_entries.size());
        for (std::size_t i = m_entries.size(); i-- > 0;) {
            byName.insert_or_assign(m_entries[i].name, int(i));
            byCleanName.insert_or_assign(cleanEntryName(m_entries[i].name), int(i));
        }
        m_impl->byCleanName = std::move(byCleanName);
        m_impl->byName = std::move(byName);
    }
    if (const auto it = m_impl->byName.find(name); it != m_impl->byName.end())
        return it->second;
    const auto it = m_impl->byCleanName.find(cleanEntryName(name));
    return it != m_impl->byCleanName.end() ? it->second : -1;
}

bool TZipArchive::IsAZipFile(const QString& fileName)
{
    TReadOnlyFile f;
    char head[4];
    if (!f.Open(fileName, nullptr) || f.Size() < 22 || !f.ReadAt(0, head, 4, nullptr))
        return false;
    return std::memcmp(head, "PK\x03\x04", 4) == 0 || std::memcmp(head, "PK\x05\x06", 4) == 0;
}

bool TZipArchive::OpenArchive(const QString& fileName)
{
    CloseArchive();
    m_fileName = fileName;
    m_error.clear();
    if (!m_impl->file->Open(fileName, &m_error))
        return false;
    if (!loadDirectory()) {
        m_impl->close();
        m_entries.clear();
        return false;
    }
    m_open = true;
    return true;
}

namespace {

uint16_t le16(const char* p) { return uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8)); }
uint32_t le32(const char* p) { return uint32_t(le16(p)) | (uint32_t(le16(p + 2)) << 16); }
uint64_t le64(const char* p) { return uint64_t(le32(p)) | (uint64_t(le32(p + 4)) << 32); }

constexpr uint32_t kMax32 = 0xFFFFFFFFu;

} // namespace

bool TZipArchive::loadDirectory()
{
    // The directory is read here, not by the zip library: its reader takes
    // the 64-bit sizes of a zip64 archive for absent on this machine, and
    // the places of the entries' data are needed (entries whose data
    // overlap are refused).
    const int64_t size = m_impl->file->Size();
    const auto damaged = [&](const QString& why) { return fail(QStringLiteral("read"), why); };
    const QString notZip = QStringLiteral("it is not a zip archive or it is damaged");
    if (size < 22)
        return damaged(notZip);
    // The end record: the last "PK\5\6" whose comment ends at the end of the file (or before).
    const int64_t tailSize = std::min<int64_t>(size, 22 + 0xFFFF);
    QByteArray tail(qsizetype(tailSize), Qt::Uninitialized);
    if (!m_impl->readAt(size - tailSize, tail.data(), tailSize))
        return damaged(notZip);
    qsizetype end = -1;
    for (qsizetype i = tail.size() - 22; i >= 0; --i)
        if (tail[i] == 'P' && tail[i + 1] == 'K' && tail[i + 2] == 5 && tail[i + 3] == 6
            && i + 22 + le16(tail.constData() + i + 20) <= tail.size()) {
            end = i;
            break;
        }
    if (end < 0)
        return damaged(notZip);
    const char* e = tail.constData() + end;
    const int64_t endAt = size - tailSize + end;
    uint64_t entries = le16(e + 10), dirSize = le32(e + 12), dirOffset = le32(e + 16);
    int64_t dirEnd = endAt; // where the directory ends: the end record, or the zip64 end record
    // Writers of 65,535 entries or more without the zip64 records leave the
    // count at 65,535 or keep its low 16 bits: the directory then says how many.
    bool countOf16Bits = true;
    char locator[20];
    const bool hasLocator = endAt >= 20 && m_impl->readAt(endAt - 20, locator, 20) && le32(locator) == 0x07064B50;
    if (le32(e + 12) == kMax32 || le32(e + 16) == kMax32 || (le16(e + 10) == 0xFFFF && hasLocator)) {
        // zip64: the locator just before the end record names the zip64 end record.
        char record[56];
        if (!hasLocator)
            return damaged(QStringLiteral("its zip64 end record is missing"));
        const auto at = int64_t(le64(locator + 8));
        if (at < 0 || at + 56 > endAt - 20 || !m_impl->readAt(at, record, 56) || le32(record) != 0x06064B50)
            return damaged(QStringLiteral("its zip64 end record is damaged"));
        entries = le64(record + 32);
        dirSize = le64(record + 40);
        dirOffset = le64(record + 48);
        dirEnd = at;
        countOf16Bits = false;
    }
    if (entries > uint64_t(kMaxEntries))
        return damaged(QStringLiteral("it lists %1 entries, more than %2").arg(entries).arg(kMaxEntries));
    if (dirSize > uint64_t(dirEnd) || dirOffset > uint64_t(dirEnd) - dirSize)
        return damaged(QStringLiteral("its directory is damaged"));
    // Bytes before the archive (a self-extracting program): the directory
    // ends where the end record begins.
    m_impl->bias = dirEnd - int64_t(dirSize) - int64_t(dirOffset);
    QByteArray dir(qsizetype(dirSize), Qt::Uninitialized);
    if (!m_impl->readAt(int64_t(dirOffset) + m_impl->bias, dir.data(), int64_t(dirSize)))
        return damaged(QStringLiteral("its directory is damaged"));

    m_entries.reserve(std::size_t(entries));
    qsizetype at = 0;
    while (at + 46 <= dir.size() && le32(dir.constData() + at) == 0x02014B50) {
        const char* c = dir.constData() + at;
        const uint16_t nameLength = le16(c + 28), extraLength = le16(c + 30), commentLength = le16(c + 32);
        if (at + 46 + nameLength + extraLength + commentLength > dir.size())
            break;
        if (m_entries.size() >= std::size_t(kMaxEntries))
            return damaged(QStringLiteral("it lists more than %1 entries").arg(kMaxEntries));
        TZipEntryInfo info;
        info.versionMadeBy = le16(c + 4);
        info.flags = le16(c + 8);
        info.method = le16(c + 10);
        info.dosDateTime = (uint32_t(le16(c + 14)) << 16) | le16(c + 12);
        info.time = ZipDateTimeFromDos(info.dosDateTime);
        info.crc32 = le32(c + 16);
        uint64_t compressed = le32(c + 20), uncompressed = le32(c + 24), local = le32(c + 42);
        info.attributes = le32(c + 38);
        info.rawName = QByteArray(c + 46, nameLength);
        info.name = decodeEntryName(info.rawName, info.flags);
        // The zip64 extra field holds, in this order, each value whose own field is full.
        for (const char *x = c + 46 + nameLength, *xEnd = x + extraLength; x + 4 <= xEnd;) {
            const uint16_t id = le16(x), length = le16(x + 2);
            const char* v = x + 4;
            if (v + length > xEnd)
                break;
            if (id == 0x0001) {
                const char* vEnd = v + length;
                for (uint64_t* field : {&uncompressed, &compressed, &local})
                    if (*field == kMax32 && v + 8 <= vEnd) {
                        *field = le64(v);
                        v += 8;
                    }
            }
            x += 4 + length;
        }
        if (compressed > uint64_t(size) || uncompressed > uint64_t(INT64_MAX) || local > uint64_t(size))
            return damaged(QStringLiteral("entry \"%1\" claims more data than the archive holds").arg(info.name));
        info.compressedSize = int64_t(compressed);
        info.uncompressedSize = int64_t(uncompressed);
        m_entries.push_back(std::move(info));
        m_impl->localOffsets.push_back(int64_t(local) + m_impl->bias);
        at += 46 + nameLength + extraLength + commentLength;
    }
    const bool countAgrees = m_entries.size() == entries
        || (countOf16Bits && m_entries.size() > 0xFFFF && (entries == 0xFFFF || (m_entries.size() & 0xFFFF) == entries));
    if (!countAgrees)
        return damaged(QStringLiteral("its directory lists %1 entries but holds %2").arg(entries).arg(m_entries.size()));

    // Where each entry's data begins, after its local header.
    m_impl->dataOffsets.assign(m_entries.size(), -1);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        char h[30];
        const int64_t l = m_impl->localOffsets[i];
        if (m_impl->readAt(l, h, 30) && le32(h) == 0x04034B50) {
            const int64_t data = l + 30 + le16(h + 26) + le16(h + 28);
            if (data + m_entries[i].compressedSize <= size)
                m_impl->dataOffsets[i] = data;
        }
    }
    // No two entries may share bytes: an archive whose directory points many
    // entries at one stream would unpack to far more than it holds.
    std::vector<std::size_t> order(m_entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return m_impl->localOffsets[a] < m_impl->localOffsets[b]; });
    for (std::size_t k = 1; k < order.size(); ++k) {
        const std::size_t a = order[k - 1], b = order[k];
        const int64_t aEnd = m_impl->dataOffsets[a] >= 0 ? m_impl->dataOffsets[a] + m_entries[a].compressedSize
                                                           : m_impl->localOffsets[a] + 30;
        if (m_impl->localOffsets[b] < aEnd)
            return damaged(QStringLiteral("entries \"%1\" and \"%2\" overlap (they share their data)")
                               .arg(m_entries[a].name, m_entries[b].name));
    }
    int64_t unpacked = 0;
    for (const TZipEntryInfo& info : m_entries)
        unpacked = info.uncompressedSize > INT64_MAX - unpacked ? INT64_MAX : unpacked + info.uncompressedSize;
    if (unpacked > m_maxArchiveSize)
        return damaged(QStringLiteral("it would unpack to %1 bytes, more than the limit of %2 bytes for one archive")
                           .arg(unpacked)
                           .arg(m_maxArchiveSize));
    return true;
}

bool TZipArchive::CreateArchive(const QString& fileName)
{
    CloseArchive();
    m_fileName = fileName;
    m_error.clear();
    {
        TSaveFile out(fileName);
        if (!out.open(QIODevice::WriteOnly))
            return fail(QStringLiteral("create"), out.errorString());
        zlib_filefunc64_def funcs = deviceFunctions();
        zipFile zf = zipOpen2_64(static_cast<QIODevice*>(&out), APPEND_STATUS_CREATE, nullptr, &funcs);
        if (!zf || zipClose(zf, nullptr) != ZIP_OK || !out.commit())
            return fail(QStringLiteral("create"), out.errorString().isEmpty() ? QStringLiteral("write error") : out.errorString());
    }
    return OpenArchive(fileName);
}

bool TZipArchive::OpenOrCreateArchive(const QString& fileName)
{
    return QFileInfo::exists(fileName) ? OpenArchive(fileName) : CreateArchive(fileName);
}

bool TZipArchive::ExtractToStream(const QString& name, TMemoryStream& out)
{
    const int i = IndexOf(name);
    if (i < 0) {
        out.Clear();
        return fail(QStringLiteral("read"), QStringLiteral("it has no entry \"%1\"").arg(name));
    }
    return ExtractToStream(i, out);
}

// The state of inflating one entry, and its input.
struct TZipEntryReader::Inflater {
    z_stream z{};
    bool ready = false;
    std::vector<uint8_t> in = std::vector<uint8_t>(std::size_t(kCopyChunk));
    Inflater() { ready = inflateInit2(&z, -MAX_WBITS) == Z_OK; }
    ~Inflater()
    {
        if (ready)
            inflateEnd(&z);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
};

bool TZipArchive::ExtractToStream(int index, TMemoryStream& out)
{
    out.Clear();
    std::unique_ptr<TZipEntryReader> entry = OpenEntry(index);
    if (!entry)
        return false;
    if (entry->Size() > m_maxEntrySize)
        return fail(QStringLiteral("read"), QStringLiteral("entry \"%1\": its unpacked size of %2 bytes exceeds the limit of %3 bytes")
                                                 .arg(m_entries[std::size_t(index)].name)
                                                 .arg(entry->Size())
                                                 .arg(m_maxEntrySize));
    out.SetSize(entry->Size());
    // Read until the reader has checked the entry's end (its size, its CRC).
    for (int64_t total = 0;;) {
        const int64_t n = entry->Read(out.Memory() + total, entry->Size() - total, &m_error);
        if (n < 0) {
            out.Clear();
            return false;
        }
        total += n;
        if (entry->AtEnd())
            break;
    }
    out.SetPosition(0);
    return true;
}

std::unique_ptr<TZipEntryReader> TZipArchive::OpenEntry(int index)
{
    if (!m_open) {
        fail(QStringLiteral("read"), QStringLiteral("the archive is not open"));
        return nullptr;
    }
    if (index < 0 || index >= FileCount()) {
        fail(QStringLiteral("read"), QStringLiteral("entry number %1 does not exist").arg(index));
        return nullptr;
    }
    const TZipEntryInfo& e = m_entries[std::size_t(index)];
    const auto entryFail = [&](const QString& why) {
        fail(QStringLiteral("read"), QStringLiteral("entry \"%1\": %2").arg(e.name, why));
        return nullptr;
    };
    if (e.IsEncrypted())
        return entryFail(QStringLiteral("encrypted entries are not supported"));
    if (e.method != 0 && e.method != Z_DEFLATED)
        return entryFail(QStringLiteral("compression method %1 is not supported").arg(e.method));
    if (e.uncompressedSize < 0)
        return entryFail(QStringLiteral("its unpacked size of %1 bytes is not possible").arg(e.uncompressedSize));
    if (e.method == 0 && e.compressedSize != e.uncompressedSize)
        return entryFail(QStringLiteral("its stored sizes disagree"));
    const int64_t data = m_impl->dataOffsets[std::size_t(index)];
    if (data < 0)
        return entryFail(QStringLiteral("the archive is damaged (its local header is missing or cut short)"));
    std::unique_ptr<TZipEntryReader> r(new TZipEntryReader);
    r->m_file = m_impl->file;
    r->m_what = QStringLiteral("Cannot read zip archive \"%1\": entry \"%2\"").arg(QDir::toNativeSeparators(m_fileName), e.name);
    r->m_at = data;
    r->m_left = e.compressedSize;
    r->m_size = e.uncompressedSize;
    r->m_crc = uint32_t(crc32(0, nullptr, 0));
    r->m_expectedCrc = e.crc32;
    r->m_deflated = e.method == Z_DEFLATED;
    if (r->m_deflated) {
        r->m_inflater = std::make_unique<TZipEntryReader::Inflater>();
        if (!r->m_inflater->ready)
            return entryFail(zipReason(UNZ_INTERNALERROR));
    }
    return r;
}

TZipEntryReader::~TZipEntryReader() = default;

int64_t TZipEntryReader::fail(const QString& why, QString* error)
{
    m_failed = true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(m_what, why);
    return -1;
}

int64_t TZipEntryReader::Read(uint8_t* to, int64_t max, QString* error)
{
    if (m_failed)
        return fail(QStringLiteral("it could not be read"), error);
    if (m_done || max < 0)
        return 0;
    // Never more than the entry declares.
    const int64_t room = std::min(max, m_size - m_made);
    int64_t n = 0;
    if (!m_deflated) {
        if (room > 0 && !m_file->ReadAt(m_at, to, room, nullptr))
            return fail(zipReason(UNZ_ERRNO), error);
        m_at += room;
        m_left -= room;
        n = room;
    } else {
        n = inflateInto(to, room, error);
        if (n < 0)
            return n;
        if (m_streamEnded && m_made + n < m_size)
            return fail(QStringLiteral("it is truncated (%1 of %2 bytes)").arg(m_made + n).arg(m_size), error);
    }
    m_crc = uint32_t(crc32_z(m_crc, to, std::size_t(n)));
    m_made += n;
    if (m_made == m_size) {
        // All it declares is out: its data must end here, and match.
        if (m_deflated && !m_streamEnded) {
            uint8_t more = 0;
            const int64_t extra = inflateInto(&more, 1, error);
            if (extra < 0)
                return extra;
            if (extra > 0)
                return fail(QStringLiteral("it unpacks to more data than it declares"), error);
        }
        if (m_crc != m_expectedCrc)
            return fail(zipReason(UNZ_CRCERROR), error);
        m_done = true;
    }
    return n;
}

int64_t TZipEntryReader::inflateInto(uint8_t* to, int64_t room, QString* error)
{
    z_stream& z = m_inflater->z;
    int64_t made = 0;
    while (made < room && !m_streamEnded) {
        if (z.avail_in == 0) {
            if (m_left == 0)
                return fail(QStringLiteral("the archive is damaged (its data ends before the entry does)"), error);
            const int64_t n = std::min<int64_t>(m_left, kCopyChunk);
            if (!m_file->ReadAt(m_at, m_inflater->in.data(), n, nullptr))
                return fail(zipReason(UNZ_ERRNO), error);
            m_at += n;
            m_left -= n;
            z.next_in = m_inflater->in.data();
            z.avail_in = uInt(n);
        }
        const uInt asked = uInt(std::min<int64_t>(room - made, int64_t(1) << 30));
        z.next_out = to + made;
        z.avail_out = asked;
        const int rc = inflate(&z, Z_NO_FLUSH);
        made += int64_t(asked - z.avail_out);
        if (rc == Z_STREAM_END)
            m_streamEnded = true;
        else if (rc != Z_OK && !(rc == Z_BUF_ERROR && z.avail_in == 0))
            return fail(zipReason(UNZ_BADZIPFILE), error);
    }
    return made;
}

bool TZipArchive::AddFromStream(const QString& entryName, const TMemoryStream& data, const QDateTime& time, uint32_t attributes)
{
    return AddFromBuffer(entryName, std::span<const uint8_t>(data.Memory(), std::size_t(data.Size())), time, attributes);
}

bool TZipArchive::AddFromBuffer(const QString& entryName, std::span<const uint8_t> data, const QDateTime& time, uint32_t attributes)
{
    std::vector<TZipNewEntry> one(1);
    one[0].name = entryName;
    one[0].data.assign(data.begin(), data.end());
    one[0].time = time;
    one[0].attributes = attributes;
    return AddEntries(std::move(one));
}

bool TZipArchive::AddFile(const QString& fileName, const QString& entryName, uint32_t attributes)
{
    TMemoryStream m;
    QString why;
    if (!m.LoadFromFile(fileName, &why))
        return fail(QStringLiteral("add to"), why);
    std::vector<TZipNewEntry> one(1);
    one[0].name = entryName.isEmpty() ? QFileInfo(fileName).fileName() : entryName;
    one[0].data = m.TakeBytes();
    one[0].time = QFileInfo(fileName).lastModified();
    one[0].attributes = attributes;
    return AddEntries(std::move(one));
}

bool TZipArchive::AddEntries(std::vector<TZipNewEntry> entries)
{
    if (!m_open)
        return fail(QStringLiteral("write"), QStringLiteral("the archive is not open"));
    std::vector<bool> keep(m_entries.size(), true);
    // By name (an archive of many entries written at once): the last of a
    // name given twice in one call wins, and replaces the entry of that name.
    QHash<QString, std::size_t> last;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        TZipNewEntry& n = entries[k];
        n.name = cleanEntryName(n.name);
        if (n.name.isEmpty())
            return fail(QStringLiteral("write"), QStringLiteral("an entry needs a name"));
        if (n.name.toUtf8().size() > 0xFFFF)
            return fail(QStringLiteral("write"), QStringLiteral("the entry name is too long"));
        last.insert(n.name, k);
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (last.contains(m_entries[i].name))
            keep[i] = false;
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (last.value(entries[k].name) != k)
            entries[k].name.clear();
    std::erase_if(entries, [](const TZipNewEntry& n) { return n.name.isEmpty(); });
    return rewrite(keep, std::move(entries));
}

bool TZipArchive::DeleteEntry(int index) { return DeleteEntries({index}); }

bool TZipArchive::DeleteEntries(std::vector<int> indexes)
{
    if (!m_open)
        return fail(QStringLiteral("write"), QStringLiteral("the archive is not open"));
    std::vector<bool> keep(m_entries.size(), true);
    for (int i : indexes) {
        if (i < 0 || i >= FileCount())
            return fail(QStringLiteral("write"), QStringLiteral("entry number %1 does not exist").arg(i));
        keep[std::size_t(i)] = false;
    }
    return rewrite(keep, {});
}

bool TZipArchive::rewrite(const std::vector<bool>& keep, std::vector<TZipNewEntry> added)
{
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (keep[i] && m_entries[i].IsEncrypted())
            return fail(QStringLiteral("write"), QStringLiteral("entry \"%1\" is encrypted and cannot be copied").arg(m_entries[i].name));

    TSaveFile out(m_fileName);
    if (!out.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("write"), out.errorString());
    zlib_filefunc64_def funcs = deviceFunctions();
    zipFile zf = zipOpen2_64(static_cast<QIODevice*>(&out), APPEND_STATUS_CREATE, nullptr, &funcs);
    if (!zf)
        return fail(QStringLiteral("write"), QStringLiteral("the new archive could not be started"));
    QString problem;

    // Kept entries are copied still compressed, with their names, times and attributes.
    for (std::size_t i = 0; i < m_entries.size() && problem.isEmpty(); ++i) {
        if (!keep[i])
            continue;
        const TZipEntryInfo& e = m_entries[i];
        const int64_t data = m_impl->dataOffsets[i];
        if (data < 0) {
            problem = QStringLiteral("entry \"%1\" could not be read").arg(e.name);
            break;
        }
        // The level only sets the header's flag bits, as the entry had them.
        const int method = e.method;
        const int level = (e.flags & 6) == 6 ? 1 : (e.flags & 6) == 4 ? 2 : (e.flags & 6) == 2 ? 9 : 6;
        zip_fileinfo zi{};
        zi.dosDate = e.dosDateTime;
        zi.external_fa = e.attributes;
        const bool big = e.uncompressedSize >= 0xFFFFFFFFLL || e.compressedSize >= 0xFFFFFFFFLL;
        int rc = zipOpenNewFileInZip4_64(zf, e.rawName.constData(), &zi, nullptr, 0, nullptr, 0, nullptr, method, level, 1,
                                         -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, e.versionMadeBy,
                                         e.flags & kFlagUtf8Name, big ? 1 : 0);
        // Kept entries are copied still compressed.
        std::vector<char> buf(static_cast<std::size_t>(kCopyChunk));
        for (int64_t left = e.compressedSize, at = data; rc == ZIP_OK && left > 0;) {
            const int64_t n = std::min<int64_t>(left, kCopyChunk);
            if (!m_impl->readAt(at, buf.data(), n))
                rc = UNZ_BADZIPFILE;
            else
                rc = zipWriteInFileInZip(zf, buf.data(), unsigned(n));
            at += n;
            left -= n;
        }
        if (zipCloseFileInZipRaw64(zf, ZPOS64_T(e.uncompressedSize), uLong(e.crc32)) != ZIP_OK && rc == ZIP_OK)
            rc = ZIP_ERRNO;
        if (rc != ZIP_OK)
            problem = QStringLiteral("entry \"%1\" could not be copied: %2").arg(e.name, zipReason(rc));
    }

    for (const auto& n : added) {
        if (!problem.isEmpty())
            break;
        zip_fileinfo zi{};
        zi.dosDate = ZipDosDateTime(n.time);
        zi.external_fa = n.attributes;
        const QByteArray name = n.name.toUtf8();
        const bool big = n.data.size() >= 0xFFFFFFFFULL;
        int rc = zipOpenNewFileInZip4_64(zf, name.constData(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                         Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                         kVersionMadeByDos20, kFlagUtf8Name, big ? 1 : 0);
        for (std::size_t off = 0; rc == ZIP_OK && off < n.data.size(); off += std::size_t(kCopyChunk)) {
            const std::size_t len = std::min<std::size_t>(std::size_t(kCopyChunk), n.data.size() - off);
            rc = zipWriteInFileInZip(zf, n.data.data() + off, unsigned(len));
        }
        if (zipCloseFileInZip(zf) != ZIP_OK && rc == ZIP_OK)
            rc = ZIP_ERRNO;
        if (rc != ZIP_OK)
            problem = QStringLiteral("entry \"%1\" could not be written").arg(n.name);
    }

    const int closeRc = zipClose(zf, nullptr);
    if (problem.isEmpty() && closeRc != ZIP_OK)
        problem = QStringLiteral("the archive could not be completed");
    if (problem.isEmpty() && out.error() != QFileDevice::NoError)
        problem = out.errorString();
    if (!problem.isEmpty()) {
        out.cancelWriting();
        return fail(QStringLiteral("write"), problem);
    }
    // The reading handle must let go before the new file takes the old one's place.
    m_impl->close();
    m_entries.clear();
    m_open = false;
    if (!out.commit()) {
        const QString why = out.errorString();
        OpenArchive(m_fileName);
        return fail(QStringLiteral("write"), why);
    }
    return OpenArchive(m_fileName);
}

bool IsABatchZipFileForListType(const QString& zipName, uint8_t* listType, int* count)
{
    if (listType)
        *listType = kListNone;
    if (count)
        *count = 0;
    if (!TZipArchive::IsAZipFile(zipName))
        return false;
    TZipArchive zip;
    if (!zip.OpenArchive(zipName))
        return false;
    uint8_t found = kListNone;
    int n = 0;
    for (const auto& e : zip.Entries()) {
        if (e.IsDirectory())
            continue;
        const uint8_t t = ListTypeFromFileExt(e.name);
        if (t == kListNone || DefaultExtFromListType(t).isEmpty() || t == kListPlainTextWordList)
            continue;
        if (found == kListNone)
            found = t;
        if (t == found)
            ++n;
    }
    if (listType)
        *listType = found;
    if (count)
        *count = n;
    return n > 0;
}

} // namespace cv
