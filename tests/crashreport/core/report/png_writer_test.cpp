#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <random>
#include <zlib.h>

#include "crashreport/core/report/png_writer.h"
#include "support/png_oracle.h"
#include "support/test_support.h"

namespace cv {
namespace {

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
    uint32_t crc = 0;
};

uint32_t BigEndian(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

std::vector<Chunk> Chunks(const std::vector<uint8_t>& file)
{
    std::vector<Chunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        Chunk c;
        const uint32_t length = BigEndian(&file[at]);
        c.type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
        c.data.assign(file.begin() + long(at + 8), file.begin() + long(at + 8 + length));
        c.crc = BigEndian(&file[at + 8 + length]);
        chunks.push_back(std::move(c));
        at += 12 + length;
    }
    return chunks;
}

TPalettePicture Stripes(int width, int height, int colours)
{
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int k = (x + 3 * y) % colours;
            pixels.push_back(uint32_t(k * 5 % 256) << 16 | uint32_t(k * 11 % 256) << 8 | uint32_t(k));
        }
    return ReduceToPalette(width, height, pixels, width);
}

TEST(PNGWriter, ChunksCarryTheirLengthTypeAndCrc)
{
    const TPalettePicture picture = Stripes(101, 7, 9);
    std::vector<uint8_t> file;
    ASSERT_TRUE(WritePNGToStream(picture, file));
    const std::vector<uint8_t> signature{137, 80, 78, 71, 13, 10, 26, 10};
    ASSERT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));

    const std::vector<Chunk> chunks = Chunks(file);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].data.size(), 768u); // all 256 entries, used or not
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_TRUE(chunks.back().data.empty());
    const std::vector<uint8_t> header{0, 0, 0, 101, 0, 0, 0, 7, 8, 3, 0, 0, 0};
    EXPECT_EQ(chunks.front().data, header);
    for (const Chunk& c : chunks) {
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(c.type.data()), 4);
        if (!c.data.empty()) // zlib takes a null buffer as a request for the initial value
            crc = crc32(crc, c.data.data(), uInt(c.data.size()));
        EXPECT_EQ(c.crc, uint32_t(crc)) << c.type;
    }

    // Inflated, the data is rows of a filter byte 0 and 101 indices (no padding).
    std::vector<uint8_t> zdata;
    for (const Chunk& c : chunks)
        if (c.type == "IDAT")
            zdata.insert(zdata.end(), c.data.begin(), c.data.end());
    std::vector<uint8_t> rows(7 * 102 + 16);
    uLongf size = uLongf(rows.size());
    ASSERT_EQ(uncompress(rows.data(), &size, zdata.data(), uLong(zdata.size())), Z_OK);
    ASSERT_EQ(size, 7u * 102);
    for (int y = 0; y < 7; ++y) {
        EXPECT_EQ(rows[std::size_t(y) * 102], 0);
        for (int x = 0; x < 101; ++x)
            EXPECT_EQ(rows[std::size_t(y) * 102 + 1 + std::size_t(x)], picture.At(x, y));
    }
}

TEST(PNGWriter, LargeDataIsCutIntoChunksOf262143Bytes)
{
    // Noise does not compress: about 600 KB of data, three chunks.
    std::mt19937 random(7);
    TPalettePicture picture;
    picture.Width = 800;
    picture.Height = 760;
    picture.RowBytes = PaletteRowBytes(picture.Width);
    picture.Indices.resize(std::size_t(picture.RowBytes) * std::size_t(picture.Height));
    for (uint8_t& index : picture.Indices)
        index = uint8_t(random());
    std::vector<uint8_t> file;
    ASSERT_TRUE(WritePNGToStream(picture, file));
    std::vector<std::size_t> sizes;
    for (const Chunk& c : Chunks(file))
        if (c.type == "IDAT")
            sizes.push_back(c.data.size());
    ASSERT_GE(sizes.size(), 3u);
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i)
        EXPECT_EQ(sizes[i], kPNGIDATChunkSize);
    EXPECT_LT(sizes.back(), kPNGIDATChunkSize);
    EXPECT_GT(sizes.back(), 0u);
}

TEST(PNGWriter, PngcheckAndPillowReadTheFileAsTheColoursOfThePicture)
{
    cvtest::TempDir dir;
    const std::string name = dir.file(QStringLiteral("Screenshot.png")).toStdString();
    const TPalettePicture picture = Stripes(101, 33, 200);
    ASSERT_TRUE(SaveScreenshotPNGFile(name, picture));
    // The oracles read the file and give every pixel's colour.
    const cvtest::TPngOracleResult oracle = cvtest::CheckPngWithOracles(QString::fromStdString(name));
    if (!oracle.available)
        GTEST_SKIP() << oracle.message.toStdString();
    ASSERT_TRUE(oracle.pngcheckOk) << oracle.message.toStdString();
    EXPECT_TRUE(oracle.message.contains(QStringLiteral("101 x 33 image, 8-bit palette"))) << oracle.message.toStdString();
    ASSERT_EQ(oracle.width, 101);
    ASSERT_EQ(oracle.height, 33);
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 101; ++x) {
            const TPaletteColor& c = picture.Palette[picture.At(x, y)];
            EXPECT_EQ(oracle.pixels[std::size_t(y * 101 + x)], uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
        }
}

TEST(PNGWriter, AnEmptyNameOrAnUnwritablePlaceLeavesNoFile)
{
    const TPalettePicture picture = Stripes(4, 4, 2);
    EXPECT_FALSE(SaveScreenshotPNGFile("", picture));
    std::string error;
    EXPECT_FALSE(SaveScreenshotPNGFile("/nonexistent-folder/x/Screenshot.png", picture, &error));
    EXPECT_NE(error.find("/nonexistent-folder/x/Screenshot.png"), std::string::npos) << error;
}

} // namespace
} // namespace cv
