#include "suite/zip_archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "suite/text_codec.h"
#include "suite/wdef.h"

namespace cv {

namespace {

constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kVersionMadeByDos20 = 20; // host 0 (FAT: DOS attributes), zip format version 2.0
constexpr qsizetype kCopyChunk = 64 * 1024;

// minizip reads and writes through these, on a QIODevice that we open and
// close ourselves: names need no 8-bit conversion and writes can go through
// QSaveFile, which replaces the old archive only when everything succeeded.
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

// Reads the current entry of an open archive (opened raw or inflating) in chunks.
template <typename Sink>
int copyCurrentEntry(unzFile uf, Sink&& sink)
{
    std::vector<char> buf(kCopyChunk);
    for (;;) {
        const int n = unzReadCurrentFile(uf, buf.data(), unsigned(buf.size()));
        if (n < 0)
            return n;
        if (n == 0)
            return UNZ_OK;
        if (!sink(buf.data(), n))
            return UNZ_ERRNO;
    }
}

} // namespace

struct TZipArchive::Impl {
    QFile file;
    unzFile uf = nullptr;
    std::vector<unz64_file_pos> positions;

    void close()
    {
        if (uf)
            unzClose(uf);
        uf = nullptr;
        file.close();
        positions.clear();
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
    const QString wanted = cleanEntryName(name);
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].name == wanted)
            return int(i);
    return -1;
}

bool TZipArchive::IsAZipFile(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 22)
        return false;
    const QByteArray head = f.read(4);
    return head == QByteArrayLiteral("PK\x03\x04") || head == QByteArrayLiteral("PK\x05\x06");
}

bool TZipArchive::OpenArchive(const QString& fileName)
{
    CloseArchive();
    m_fileName = fileName;
    m_error.clear();
    m_impl->file.setFileName(fileName);
    if (!m_impl->file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("open"), m_impl->file.errorString());
    if (!loadDirectory()) {
        m_impl->close();
        m_entries.clear();
        return false;
    }
    m_open = true;
    return true;
}

bool TZipArchive::loadDirectory()
{
    // minizip cannot open an archive without entries (its directory search
    // takes an end record at offset 0 for "not found"), so that one is read here.
    if (m_impl->file.size() >= 22 && m_impl->file.size() <= 22 + 0xFFFF) {
        const QByteArray head = m_impl->file.peek(22);
        const auto u16 = [&](int off) { return int(uint8_t(head[off])) | (int(uint8_t(head[off + 1])) << 8); };
        if (head.startsWith(QByteArrayLiteral("PK\x05\x06")) && u16(8) == 0 && u16(10) == 0 && 22 + u16(20) == m_impl->file.size())
            return true;
    }
    zlib_filefunc64_def funcs = deviceFunctions();
    m_impl->uf = unzOpen2_64(static_cast<QIODevice*>(&m_impl->file), &funcs);
    if (!m_impl->uf)
        return fail(QStringLiteral("read"), QStringLiteral("it is not a zip archive or it is damaged"));
    unz_global_info64 gi{};
    if (unzGetGlobalInfo64(m_impl->uf, &gi) != UNZ_OK)
        return fail(QStringLiteral("read"), QStringLiteral("its directory is damaged"));
    if (gi.number_entry > ZPOS64_T(kMaxEntries))
        return fail(QStringLiteral("read"), QStringLiteral("it lists %1 entries, more than %2").arg(gi.number_entry).arg(kMaxEntries));
    const int64_t archiveSize = m_impl->file.size();
    m_entries.reserve(std::size_t(gi.number_entry));
    int rc = unzGoToFirstFile(m_impl->uf);
    while (rc == UNZ_OK) {
        unz_file_info64 fi{};
        rc = unzGetCurrentFileInfo64(m_impl->uf, &fi, nullptr, 0, nullptr, 0, nullptr, 0);
        if (rc != UNZ_OK)
            break;
        QByteArray raw(qsizetype(fi.size_filename), '\0');
        rc = unzGetCurrentFileInfo64(m_impl->uf, &fi, raw.data(), uLong(raw.size()), nullptr, 0, nullptr, 0);
        if (rc != UNZ_OK)
            break;
        if (fi.compressed_size > ZPOS64_T(archiveSize))
            return fail(QStringLiteral("read"), QStringLiteral("entry \"%1\" claims more data than the archive holds").arg(QString::fromUtf8(raw)));
        TZipEntryInfo e;
        e.rawName = raw;
        e.flags = uint16_t(fi.flag);
        e.name = decodeEntryName(raw, e.flags);
        e.compressedSize = int64_t(fi.compressed_size);
        e.uncompressedSize = int64_t(fi.uncompressed_size);
        e.dosDateTime = uint32_t(fi.dosDate);
        e.time = ZipDateTimeFromDos(e.dosDateTime);
        e.attributes = uint32_t(fi.external_fa);
        e.crc32 = uint32_t(fi.crc);
        e.method = uint16_t(fi.compression_method);
        e.versionMadeBy = uint16_t(fi.version);
        unz64_file_pos pos{};
        unzGetFilePos64(m_impl->uf, &pos);
        m_entries.push_back(std::move(e));
        m_impl->positions.push_back(pos);
        rc = unzGoToNextFile(m_impl->uf);
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE)
        return fail(QStringLiteral("read"), zipReason(rc));
    if (m_entries.size() != std::size_t(gi.number_entry))
        return fail(QStringLiteral("read"), QStringLiteral("its directory lists %1 entries but holds %2")
                                                 .arg(gi.number_entry).arg(m_entries.size()));
    return true;
}

bool TZipArchive::CreateArchive(const QString& fileName)
{
    CloseArchive();
    m_fileName = fileName;
    m_error.clear();
    {
        QSaveFile out(fileName);
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

bool TZipArchive::ExtractToStream(int index, TMemoryStream& out)
{
    out.Clear();
    if (!m_open)
        return fail(QStringLiteral("read"), QStringLiteral("the archive is not open"));
    if (index < 0 || index >= FileCount())
        return fail(QStringLiteral("read"), QStringLiteral("entry number %1 does not exist").arg(index));
    const TZipEntryInfo& e = m_entries[std::size_t(index)];
    const auto entryFail = [&](const QString& why) {
        out.Clear();
        return fail(QStringLiteral("read"), QStringLiteral("entry \"%1\": %2").arg(e.name, why));
    };
    if (e.IsEncrypted())
        return entryFail(QStringLiteral("encrypted entries are not supported"));
    if (e.method != 0 && e.method != Z_DEFLATED)
        return entryFail(QStringLiteral("compression method %1 is not supported").arg(e.method));
    if (e.uncompressedSize < 0 || e.uncompressedSize > m_maxEntrySize)
        return entryFail(QStringLiteral("its unpacked size of %1 bytes exceeds the limit of %2 bytes").arg(e.uncompressedSize).arg(m_maxEntrySize));
    if (e.method == 0 && e.compressedSize != e.uncompressedSize)
        return entryFail(QStringLiteral("its stored sizes disagree"));
    unz64_file_pos pos = m_impl->positions[std::size_t(index)];
    int rc = unzGoToFilePos64(m_impl->uf, &pos);
    if (rc == UNZ_OK)
        rc = unzOpenCurrentFile(m_impl->uf);
    if (rc != UNZ_OK)
        return entryFail(zipReason(rc));
    out.SetSize(e.uncompressedSize);
    out.SetPosition(0);
    int64_t total = 0;
    rc = copyCurrentEntry(m_impl->uf, [&](const char* data, int n) {
        if (total + n > e.uncompressedSize)
            return false;
        std::memcpy(out.Memory() + total, data, std::size_t(n));
        total += n;
        return true;
    });
    const int closeRc = unzCloseCurrentFile(m_impl->uf);
    if (rc != UNZ_OK)
        return entryFail(rc == UNZ_ERRNO ? QStringLiteral("it unpacks to more data than it declares") : zipReason(rc));
    if (total != e.uncompressedSize)
        return entryFail(QStringLiteral("it is truncated (%1 of %2 bytes)").arg(total).arg(e.uncompressedSize));
    if (closeRc != UNZ_OK)
        return entryFail(zipReason(closeRc));
    out.SetPosition(0);
    return true;
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
    for (auto& n : entries) {
        n.name = cleanEntryName(n.name);
        if (n.name.isEmpty())
            return fail(QStringLiteral("write"), QStringLiteral("an entry needs a name"));
        if (n.name.toUtf8().size() > 0xFFFF)
            return fail(QStringLiteral("write"), QStringLiteral("the entry name is too long"));
        for (std::size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].name == n.name)
                keep[i] = false;
    }
    // A name given twice in one call: the last one wins.
    for (std::size_t i = 0; i < entries.size(); ++i)
        for (std::size_t j = i + 1; j < entries.size(); ++j)
            if (entries[i].name == entries[j].name) {
                entries[i].name.clear();
                break;
            }
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

    QSaveFile out(m_fileName);
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
        unz64_file_pos pos = m_impl->positions[i];
        int method = 0, level = 0;
        if (unzGoToFilePos64(m_impl->uf, &pos) != UNZ_OK || unzOpenCurrentFile2(m_impl->uf, &method, &level, 1) != UNZ_OK) {
            problem = QStringLiteral("entry \"%1\" could not be read").arg(e.name);
            break;
        }
        zip_fileinfo zi{};
        zi.dosDate = e.dosDateTime;
        zi.external_fa = e.attributes;
        const bool big = e.uncompressedSize >= 0xFFFFFFFFLL || e.compressedSize >= 0xFFFFFFFFLL;
        int rc = zipOpenNewFileInZip4_64(zf, e.rawName.constData(), &zi, nullptr, 0, nullptr, 0, nullptr, method, level, 1,
                                         -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, e.versionMadeBy,
                                         e.flags & kFlagUtf8Name, big ? 1 : 0);
        int64_t copied = 0;
        if (rc == ZIP_OK)
            rc = copyCurrentEntry(m_impl->uf, [&](const char* data, int n) {
                copied += n;
                return copied <= e.compressedSize && zipWriteInFileInZip(zf, data, unsigned(n)) == ZIP_OK;
            });
        unzCloseCurrentFile(m_impl->uf);
        if (rc == ZIP_OK && copied != e.compressedSize)
            rc = UNZ_BADZIPFILE;
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
