#include "crashreport/core/report/png_writer.h"

#include "files/save_file.h"

#include <zlib.h>

namespace cv {

namespace {

void PutBigEndian32(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

// The zlib stream of the rows, each chunk of output handed to `chunk` as it fills.
template <typename Chunk>
bool DeflateImageRows(const TPalettePicture& picture, Chunk chunk)
{
    z_stream stream{};
    if (deflateInit(&stream, 9) != Z_OK)
        return false;
    std::vector<uint8_t> buffer(kPNGIDATChunkSize);
    stream.next_out = buffer.data();
    stream.avail_out = uInt(buffer.size());
    bool wroteAny = false;
    auto flushFull = [&] {
        if (stream.avail_out == 0) {
            chunk(std::span<const uint8_t>(buffer));
            wroteAny = true;
            stream.next_out = buffer.data();
            stream.avail_out = uInt(buffer.size());
        }
    };
    auto feed = [&](const uint8_t* data, std::size_t size) {
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = uInt(size);
        while (stream.avail_in > 0) {
            if (deflate(&stream, Z_NO_FLUSH) == Z_STREAM_ERROR)
                return false;
            flushFull();
        }
        return true;
    };
    const uint8_t filter = 0;
    bool ok = true;
    for (int y = 0; y < picture.Height && ok; ++y) {
        ok = feed(&filter, 1) &&
             feed(picture.Indices.data() + std::size_t(y) * std::size_t(picture.RowBytes), std::size_t(picture.Width));
    }
    int result = Z_OK;
    while (ok && result != Z_STREAM_END) {
        result = deflate(&stream, Z_FINISH);
        // A buffer error with room left means no progress could be made.
        if ((result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) ||
            (result == Z_BUF_ERROR && stream.avail_out > 0))
            ok = false;
        else
            flushFull();
    }
    const std::size_t rest = buffer.size() - stream.avail_out;
    if (ok && (rest > 0 || !wroteAny))
        chunk(std::span<const uint8_t>(buffer.data(), rest));
    deflateEnd(&stream);
    return ok;
}

} // namespace

void WritePNGChunk(std::vector<uint8_t>& out, std::string_view type, std::span<const uint8_t> data)
{
    PutBigEndian32(out, uint32_t(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data() + typeAt, uInt(out.size() - typeAt));
    PutBigEndian32(out, uint32_t(crc));
}

bool WritePNGToStream(const TPalettePicture& picture, std::vector<uint8_t>& out)
{
    static constexpr uint8_t kSignature[] = {137, 80, 78, 71, 13, 10, 26, 10};
    out.insert(out.end(), std::begin(kSignature), std::end(kSignature));

    std::vector<uint8_t> header;
    PutBigEndian32(header, uint32_t(picture.Width));
    PutBigEndian32(header, uint32_t(picture.Height));
    header.insert(header.end(), {8, 3, 0, 0, 0}); // depth 8, palette, deflate, filter 0, no interlace
    WritePNGChunk(out, "IHDR", header);

    std::vector<uint8_t> palette;
    palette.reserve(768);
    for (const TPaletteColor& c : picture.Palette)
        palette.insert(palette.end(), {c.Red, c.Green, c.Blue});
    WritePNGChunk(out, "PLTE", palette);

    if (!DeflateImageRows(picture, [&](std::span<const uint8_t> data) { WritePNGChunk(out, "IDAT", data); }))
        return false;
    WritePNGChunk(out, "IEND", {});
    return true;
}

bool SaveScreenshotPNGFile(const std::string& fileName, const TPalettePicture& picture, std::string* error)
{
    if (fileName.empty())
        return false;
    auto fail = [&](const QString& reason) {
        if (error)
            *error = "Cannot write file \"" + fileName + "\": " + reason.toStdString();
        return false;
    };
    std::vector<uint8_t> bytes;
    if (!WritePNGToStream(picture, bytes))
        return fail(QStringLiteral("the image data could not be compressed"));
    TSaveFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
        return fail(file.errorString());
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace cv
