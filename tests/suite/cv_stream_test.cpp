#include "suite/cv_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include <sys/resource.h>

#include "support/test_support.h"

using cv::TMemoryStream;

namespace {
std::vector<uint8_t> bytesOf(std::initializer_list<int> v)
{
    return std::vector<uint8_t>(v.begin(), v.end());
}
} // namespace

TEST(StreamFields, AreLittleEndianFieldByField)
{
    TMemoryStream s;
    ASSERT_TRUE(s.WriteU8(0xAB));
    ASSERT_TRUE(s.WriteI16(-2));
    ASSERT_TRUE(s.WriteI32(0x01020304));
    ASSERT_TRUE(s.WriteF32(1.0f));
    ASSERT_TRUE(s.WriteI64(-1));
    ASSERT_TRUE(s.WriteF64(-2.5));
    EXPECT_EQ(s.Bytes(), bytesOf({0xAB, 0xFE, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x80, 0x3F,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0, 0, 0, 0, 0, 0, 0x04, 0xC0}));
    s.SetPosition(0);
    uint8_t u8; int16_t i16; int32_t i32; float f; int64_t i64; double d;
    ASSERT_TRUE(s.ReadU8(u8) && s.ReadI16(i16) && s.ReadI32(i32) && s.ReadF32(f) && s.ReadI64(i64) && s.ReadF64(d));
    EXPECT_EQ(u8, 0xAB); EXPECT_EQ(i16, -2); EXPECT_EQ(i32, 0x01020304);
    EXPECT_EQ(f, 1.0f); EXPECT_EQ(i64, -1); EXPECT_EQ(d, -2.5);
    EXPECT_FALSE(s.ReadU8(u8)) << "reading past the end must fail";
}

TEST(StreamStrings, StringStreamFormGoldenBytes)
{
    TMemoryStream s;
    ASSERT_TRUE(cv::WriteAString(s, QStringLiteral("Ab\u00e9"), 2));
    ASSERT_TRUE(cv::WriteAString(s, QString(), 2));
    ASSERT_TRUE(cv::WriteAString(s, QStringLiteral("xy"), 1));
    EXPECT_EQ(s.Bytes(), bytesOf({3, 0, 0, 0, 'A', 0, 'b', 0, 0xE9, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0,
                                  2, 0, 0, 0, 'x', 'y', 0}));
    s.SetPosition(0);
    QString a, b, c;
    ASSERT_TRUE(cv::ReadAString(s, a, 2) && cv::ReadAString(s, b, 2) && cv::ReadAString(s, c, 1));
    EXPECT_EQ(a, QStringLiteral("Ab\u00e9"));
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(c, QStringLiteral("xy"));
}

TEST(StreamStrings, DamagedStringsAreRefused)
{
    // A count larger than the rest of the stream.
    TMemoryStream big(bytesOf({0xFF, 0xFF, 0xFF, 0x0F, 'a', 0}));
    QString t;
    EXPECT_FALSE(cv::ReadAString(big, t));
    // A negative count.
    TMemoryStream neg(bytesOf({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(cv::ReadAString(neg, t));
    // A missing terminator.
    TMemoryStream noZero(bytesOf({1, 0, 0, 0, 'a', 0, 'b', 0}));
    EXPECT_FALSE(cv::ReadAString(noZero, t));
    // A list count that could not fit.
    TMemoryStream list(bytesOf({100, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    QStringList l;
    EXPECT_FALSE(cv::ReadAStringList(list, l));
}

TEST(StreamStrings, StringListAndFixedFieldsRoundTrip)
{
    TMemoryStream s;
    const QStringList in{QStringLiteral("one"), QString(), QStringLiteral("\u4e2d\u6587")};
    ASSERT_TRUE(cv::WriteAStringList(s, in));
    ASSERT_TRUE(cv::WriteFixedUtf16(s, QStringLiteral("English"), 4));
    EXPECT_EQ(s.Size(), 4 + (4 + 8) + (4 + 2) + (4 + 6) + 8);
    s.SetPosition(0);
    QStringList out;
    QString fixed;
    ASSERT_TRUE(cv::ReadAStringList(s, out));
    ASSERT_TRUE(cv::ReadFixedUtf16(s, fixed, 4));
    EXPECT_EQ(out, in);
    EXPECT_EQ(fixed, QStringLiteral("Engl"));
}

TEST(StreamBlocks, SizedBlockIsTakenWholeAndDamagedLengthsAreRefused)
{
    TMemoryStream fields(bytesOf({1, 2, 3}));
    TMemoryStream s;
    ASSERT_TRUE(cv::WriteSizedBlock(s, fields));
    ASSERT_TRUE(s.WriteU8(0x77));
    EXPECT_EQ(s.Bytes(), bytesOf({3, 0, 0, 0, 1, 2, 3, 0x77}));
    s.SetPosition(0);
    TMemoryStream block;
    ASSERT_TRUE(cv::ReadSizedBlock(s, 3, block));
    EXPECT_EQ(block.Bytes(), bytesOf({1, 2, 3}));
    EXPECT_EQ(block.Position(), 0);
    EXPECT_EQ(s.Remaining(), 1) << "the reader stops at the end of the block";

    TMemoryStream kept(bytesOf({9}));
    s.SetPosition(0);
    EXPECT_FALSE(cv::ReadSizedBlock(s, 2, kept)) << "longer than the reader accepts";
    TMemoryStream cut(bytesOf({5, 0, 0, 0, 1, 2, 3, 4}));
    EXPECT_FALSE(cv::ReadSizedBlock(cut, 100, kept)) << "longer than the rest of the stream";
    EXPECT_EQ(kept.Bytes(), bytesOf({9}));
}

TEST(StreamFiles, SaveThroughRenameAndReadBack)
{
    cvtest::TempDir dir;
    TMemoryStream s;
    s.WriteI32(42);
    QString error;
    ASSERT_TRUE(s.SaveToFile(dir.file("a.bin"), &error)) << error.toStdString();
    TMemoryStream back;
    ASSERT_TRUE(back.LoadFromFile(dir.file("a.bin")));
    EXPECT_EQ(back.Bytes(), s.Bytes());

    EXPECT_FALSE(back.LoadFromFile(dir.file("missing.bin"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.bin")));
    EXPECT_FALSE(s.SaveToFile(dir.file("no/such/folder/x.bin"), &error));

    cv::TFileStream f;
    EXPECT_FALSE(f.Open(dir.file("none"), cv::TFileStream::Mode::OpenRead));
    EXPECT_TRUE(f.ErrorString().startsWith(QStringLiteral("Cannot open file")));
}

TEST(StreamFiles, LargeSaveWithLengthsPatchedLaterReadsBackWhole)
{
    // Several megabytes (the system is asked to start writing as the file
    // grows), with a length field near the start written again at the end,
    // as the document blocks do, and an uneven last piece.
    cvtest::TempDir dir;
    const QString name = dir.file("big.bin");
    std::vector<uint8_t> expected;
    {
        cv::TSaveFileStream f(name);
        QString error;
        ASSERT_TRUE(f.Open(&error)) << error.toStdString();
        ASSERT_TRUE(f.WriteI32(0));
        expected.assign(4, 0);
        std::vector<uint8_t> piece(300 * 1000 + 7);
        for (int k = 0; k < 12; ++k) {
            for (std::size_t i = 0; i < piece.size(); ++i)
                piece[i] = uint8_t(i * 31 + std::size_t(k));
            ASSERT_TRUE(f.WriteExact(piece.data(), int64_t(piece.size())));
            expected.insert(expected.end(), piece.begin(), piece.end());
        }
        const int64_t end = f.Position();
        ASSERT_TRUE(f.SetPosition(0));
        ASSERT_TRUE(f.WriteI32(int32_t(end)));
        ASSERT_TRUE(f.SetPosition(end));
        ASSERT_TRUE(f.WriteU16(0xBEEF));
        ASSERT_TRUE(f.Commit(&error)) << error.toStdString();
        const auto e = uint32_t(end);
        for (int b = 0; b < 4; ++b)
            expected[std::size_t(b)] = uint8_t(e >> (8 * b));
        expected.push_back(0xEF);
        expected.push_back(0xBE);
    }
    TMemoryStream back;
    ASSERT_TRUE(back.LoadFromFile(name));
    EXPECT_TRUE(back.Bytes() == expected);
}

// A document whose check covers what it wrote reads its bytes back from the
// file being saved, before the commit: what is still in the writer's
// buffer, a field written again, and the position afterwards, where the
// writing goes on.
TEST(SaveFileStream, WhatWasWrittenReadsBackBeforeTheCommit)
{
    cvtest::TempDir dir;
    const QString name = dir.file("back.bin");
    cv::TSaveFileStream f(name);
    QString error;
    ASSERT_TRUE(f.Open(&error)) << error.toStdString();
    EXPECT_TRUE(f.ReadsBack());
    std::vector<uint8_t> expected(3 * 100003);
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = uint8_t(i * 7 + i / 251);
    ASSERT_TRUE(f.WriteExact(expected.data(), int64_t(expected.size())));
    ASSERT_TRUE(f.SetPosition(10));
    ASSERT_TRUE(f.WriteU32(0xA1B2C3D4));
    for (int b = 0; b < 4; ++b)
        expected[std::size_t(10 + b)] = uint8_t(0xA1B2C3D4u >> (8 * b));
    ASSERT_TRUE(f.SetPosition(0));
    std::vector<uint8_t> back(expected.size() + 100, 0);
    EXPECT_EQ(f.Read(back.data(), int64_t(back.size())), int64_t(expected.size())); // no more than there is
    back.resize(expected.size());
    EXPECT_TRUE(back == expected);
    EXPECT_EQ(f.Position(), int64_t(expected.size()));
    ASSERT_TRUE(f.WriteU16(0xBEEF));
    ASSERT_TRUE(f.SetPosition(5));
    uint8_t five[5] = {};
    ASSERT_TRUE(f.ReadExact(five, 5));
    EXPECT_TRUE(std::equal(five, five + 5, expected.begin() + 5));
    ASSERT_TRUE(f.Commit(&error)) << error.toStdString();
    expected.push_back(0xEF);
    expected.push_back(0xBE);
    TMemoryStream saved;
    ASSERT_TRUE(saved.LoadFromFile(name));
    EXPECT_TRUE(saved.Bytes() == expected);
}

namespace {
// A run of fields, written once field by field and once through a bulk
// writer (told to expect `expected` bytes), with a direct write in between
// (after a Flush).
void WriteFields(cv::TStream& s, bool bulk, int records, std::size_t expected = 0)
{
    const QString word = QStringLiteral("w\u00e9rd");
    cv::TBulkWriter w(s, expected);
    for (int k = 0; k < records; ++k) {
        if (k == records / 2) {
            ASSERT_TRUE(w.Flush());
            s.WriteU16(0xBEEF);
        }
        const QString text = k % 3 ? word : QString();
        if (!bulk) {
            s.WriteI64(k * 1000003LL);
            s.WriteF32(float(k) / 7.0f);
            cv::WriteAString(s, text);
            continue;
        }
        uint8_t* at = w.Place(12 + cv::TBulkWriter::AStringBytes(text));
        at = cv::TBulkWriter::Put<int64_t>(at, k * 1000003LL);
        at = cv::TBulkWriter::Put<float>(at, float(k) / 7.0f);
        cv::TBulkWriter::PutAString(at, text);
    }
    ASSERT_TRUE(w.Finish());
}
} // namespace

TEST(StreamBulkWriter, WritesTheBytesOfFieldByFieldWrites)
{
    // Enough records to fill several of the writer's blocks, and (it
    // takes larger ones as it goes) blocks of the largest size.
    for (int records : {1, 10, 5000, 100000}) {
        TMemoryStream plain, bulk;
        plain.WriteU8(7);
        bulk.WriteU8(7);
        WriteFields(plain, false, records);
        WriteFields(bulk, true, records);
        EXPECT_EQ(bulk.Bytes(), plain.Bytes()) << records << " records";
        EXPECT_EQ(bulk.Position(), plain.Position());

        // A stream sized ahead keeps the bytes after what was written, and its size.
        TMemoryStream ahead;
        ahead.SetSize(plain.Size() + 100);
        std::fill(ahead.Memory(), ahead.Memory() + ahead.Size(), uint8_t(0x5A));
        ahead.SetPosition(0);
        ahead.WriteU8(7);
        WriteFields(ahead, true, records);
        EXPECT_EQ(ahead.Size(), plain.Size() + 100);
        EXPECT_EQ(ahead.Position(), plain.Size());
        EXPECT_TRUE(std::equal(plain.Bytes().begin(), plain.Bytes().end(), ahead.Bytes().begin()));
        EXPECT_EQ(ahead.Bytes().back(), 0x5A);

        // Any other stream gets the same bytes, whatever the writer expected
        // (nothing, less than its first room, more than its largest).
        for (std::size_t expected : {std::size_t(0), std::size_t(100), std::size_t(40) << 20}) {
            cvtest::TempDir dir;
            {
                cv::TFileStream f;
                ASSERT_TRUE(f.Open(dir.file("bulk.bin"), cv::TFileStream::Mode::Create));
                f.WriteU8(7);
                WriteFields(f, true, records, expected);
            }
            TMemoryStream back;
            ASSERT_TRUE(back.LoadFromFile(dir.file("bulk.bin")));
            EXPECT_EQ(back.Bytes(), plain.Bytes()) << records << " records, " << expected << " expected";
        }
    }
}

TEST(SaveFileStream, ASaveThatRunsOutOfRoomSaysWhyAndKeepsTheOldFile)
{
    cvtest::TempDir dir;
    const QString name = dir.write(QStringLiteral("kept.bin"), QByteArray("old contents"));
    // A limit on the size of a file stands in for a full disk.
    // Large (the writes fall short) and small (only the last flush does).
    for (const std::size_t size : {std::size_t(2) << 20, std::size_t(3000)}) {
        const QString message = cvtest::runInChild([&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{1000, 1000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            QString error;
            const cv::TMemoryStream big(std::vector<uint8_t>(size, 1));
            return big.SaveToFile(name, &error) ? QStringLiteral("saved") : error;
        });
        EXPECT_TRUE(message.contains(name)) << qPrintable(message);
        EXPECT_TRUE(message.contains(QStringLiteral("File too large"))) << size << " " << qPrintable(message);
        EXPECT_EQ(cvtest::readAll(name), QByteArray("old contents"));
    }
}
