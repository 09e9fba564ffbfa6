#include "crashreport/core/support/crashbox_zip.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <unistd.h>

#include "suite/zip_archive.h"

namespace cv {

const char* ZLibErrorText(int code)
{
    switch (code) {
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "unknown error";
    }
}

EZLibError::EZLibError(int code) : std::runtime_error(ZLibErrorText(code)), m_code(code) {}

namespace {

// General-purpose flag bits of a zip entry.
constexpr uLong kZipFlagEncrypted = 1;
constexpr uLong kZipFlagUTF8Name = 0x800;

// Raw deflate at level 9, window bits -15, memory level 8, default strategy.
bool Deflate(std::span<const uint8_t> input, std::vector<uint8_t>& output)
{
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    output.resize(deflateBound(&stream, uLong(input.size())));
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = uInt(input.size());
    stream.next_out = output.data();
    stream.avail_out = uInt(output.size());
    const int result = deflate(&stream, Z_FINISH);
    output.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END;
}

// The traditional PKWARE encryption: three keys stepped by every plain byte.
class TZipCryptKeys {
public:
    explicit TZipCryptKeys(const std::string& password)
    {
        for (const char c : password)
            Update(uint8_t(c));
    }
    uint8_t Encrypt(uint8_t plain)
    {
        const uint8_t out = plain ^ KeyByte();
        Update(plain);
        return out;
    }

private:
    static uint32_t Crc(uint32_t crc, uint8_t b) { return uint32_t(get_crc_table()[(crc ^ b) & 0xFF]) ^ (crc >> 8); }
    uint8_t KeyByte() const
    {
        const uint32_t temp = (m_keys[2] | 2) & 0xFFFF;
        return uint8_t((temp * (temp ^ 1)) >> 8);
    }
    void Update(uint8_t c)
    {
        m_keys[0] = Crc(m_keys[0], c);
        m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
        m_keys[2] = Crc(m_keys[2], uint8_t(m_keys[1] >> 24));
    }
    uint32_t m_keys[3] = {0x12345678, 0x23456789, 0x34567890};
};

// The 12-byte encryption header (ten random bytes and the two high bytes of
// the data's CRC-32, which readers check the password against) and the data,
// both enciphered.
std::vector<uint8_t> ZipEncrypt(const std::vector<uint8_t>& data, const std::string& password, uint32_t crc)
{
    std::random_device random;
    std::vector<uint8_t> out;
    out.reserve(12 + data.size());
    for (int i = 0; i < 10; ++i)
        out.push_back(uint8_t(random()));
    out.push_back(uint8_t(crc >> 16));
    out.push_back(uint8_t(crc >> 24));
    out.insert(out.end(), data.begin(), data.end());
    TZipCryptKeys keys(password);
    for (auto& b : out)
        b = keys.Encrypt(b);
    return out;
}

} // namespace

TZipWriter::TZipWriter(const std::string& fileName, const std::string& password) : m_password(password)
{
    // A file, a link, or an empty folder of that name goes first.
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(fileName), ignored);
    // The archive is its user's alone from the start, whatever the umask
    // (the writer keeps the mode of the file it empties).
    if (const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600); fd >= 0)
        ::close(fd);
    m_zip = zipOpen(fileName.c_str(), APPEND_STATUS_CREATE);
}

TZipWriter::~TZipWriter()
{
    // Entries are closed as they are written, so the archive is closed
    // (and its directory written) whether or not any entry went in.
    if (m_zip)
        zipClose(m_zip, nullptr);
}

bool TZipWriter::AddFile(const std::string& fileName, const std::string& nameInArchive)
{
    if (!m_zip)
        return false;
    const QString name = QString::fromStdString(fileName);
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray data = file.read(size);
    if (data.size() < size)
        return false;

    zip_fileinfo info{};
    const QDateTime modified = QFileInfo(name).lastModified().toLocalTime();
    info.dosDate = ZipDosDateTime(modified);
    info.tmz_date.tm_sec = uInt(modified.time().second());
    info.tmz_date.tm_min = uInt(modified.time().minute());
    info.tmz_date.tm_hour = uInt(modified.time().hour());
    info.tmz_date.tm_mday = uInt(modified.date().day());
    info.tmz_date.tm_mon = uInt(modified.date().month() - 1); // minizip counts months from 0
    info.tmz_date.tm_year = uInt(modified.date().year());

    // The entry is deflated here and, with a password, enciphered here too:
    // minizip's own traditional encryption reads zlib's CRC table with the
    // wrong entry width on 64-bit systems and writes entries no reader opens.
    // minizip is handed the finished bytes (raw) with the encryption flag.
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    const uLong crc = crc32(crc32(0, nullptr, 0), bytes, uInt(data.size()));
    std::vector<uint8_t> packed;
    if (!Deflate(std::span(bytes, std::size_t(data.size())), packed))
        return false;
    const bool encrypt = !m_password.empty();
    if (encrypt)
        packed = ZipEncrypt(packed, m_password, uint32_t(crc));
    // A name with characters beyond ASCII is UTF-8 (this system's code
    // page): general-purpose bit 11 says so, else readers take it for CP437.
    const bool utf8Name = std::any_of(nameInArchive.begin(), nameInArchive.end(), [](char c) { return uint8_t(c) >= 0x80; });
    const uLong flags = (encrypt ? kZipFlagEncrypted : 0) | (utf8Name ? kZipFlagUTF8Name : 0);
    if (zipOpenNewFileInZip4(m_zip, nameInArchive.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9, 1,
                             -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0, flags)
        != ZIP_OK)
        return false;
    const bool written = packed.empty() || zipWriteInFileInZip(m_zip, packed.data(), unsigned(packed.size())) == ZIP_OK;
    const bool closed = zipCloseFileInZipRaw(m_zip, uLong(data.size()), crc) == ZIP_OK;
    return written && closed;
}

std::vector<uint8_t> DecompressBuf(std::span<const uint8_t> input)
{
    // The block grows by the input size rounded up to a multiple of 256.
    const std::size_t step = std::max<std::size_t>(256, (input.size() + 255) / 256 * 256);
    std::vector<uint8_t> output(step);

    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = uInt(input.size());
    int result = inflateInit(&stream);
    if (result < 0)
        throw EZLibError(result);
    std::size_t produced = 0;
    for (;;) {
        stream.next_out = output.data() + produced;
        stream.avail_out = uInt(output.size() - produced);
        result = inflate(&stream, Z_NO_FLUSH);
        produced = output.size() - stream.avail_out;
        if (result != Z_OK)
            break; // the end of the stream, or a damaged one: what was produced stays
        if (stream.avail_out == 0)
            output.resize(output.size() + step);
    }
    result = inflateEnd(&stream);
    if (result < 0)
        throw EZLibError(result);
    output.resize(produced);
    return output;
}

} // namespace cv
