#include "suite/zip_archive.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <random>

#include "support/test_support.h"

using cv::TMemoryStream;
using cv::TZipArchive;

namespace {

// Runs a python3 snippet (with the given arguments) and returns its stdout,
// or an empty array when python3 is missing or fails.
QByteArray runPython(const QString& script, const QStringList& args, QString* error = nullptr)
{
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (exe.isEmpty())
        return {};
    QProcess p;
    p.start(exe, QStringList{QStringLiteral("-c"), script} + args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        if (error)
            *error = QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    return p.readAllStandardOutput();
}

bool havePython() { return !QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty(); }

std::vector<uint8_t> bytesOf(const QByteArray& b) { return std::vector<uint8_t>(b.begin(), b.end()); }

QByteArray someText(int lines)
{
    QByteArray out;
    for (int i = 0; i < lines; ++i)
        out += "line " + QByteArray::number(i) + " of a text that compresses well\n";
    return out;
}

// Lists an archive as python's zipfile sees it: name, flag bits, date_time,
// external attributes and the SHA-1 of the data, after testzip().
const char* kListScript = R"(
import sys, zipfile, json, hashlib
z = zipfile.ZipFile(sys.argv[1])
bad = z.testzip()
out = {"bad": bad, "entries": []}
for i in z.infolist():
    out["entries"].append({"name": i.filename, "flag": i.flag_bits, "date": list(i.date_time),
                           "attr": i.external_attr, "sha1": hashlib.sha1(z.read(i)).hexdigest()})
print(json.dumps(out))
)";

QJsonObject pythonListing(const QString& zipName)
{
    QString err;
    const QByteArray out = runPython(QString::fromUtf8(kListScript), {zipName}, &err);
    EXPECT_FALSE(out.isEmpty()) << err.toStdString();
    return QJsonDocument::fromJson(out).object();
}

QString sha1(const QByteArray& b) { return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha1).toHex()); }

} // namespace

TEST(ZipArchiveWrite, EntriesReadBackByPythonWithUtf8NamesTimesAndAttributes)
{
    if (!havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::TempDir dir;
    const QString zipName = dir.file(QStringLiteral("batch.zip"));
    TZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(zipName)) << zip.ErrorString().toStdString();
    EXPECT_EQ(zip.FileCount(), 0);

    const QByteArray a = someText(2000), b = QByteArrayLiteral("\x00\x01\x02 binary \xFF"), c;
    const QDateTime when(QDate(2024, 3, 9), QTime(14, 25, 37));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("plain.lst"), bytesOf(a), when, cv::kZipAttrArchive));
    ASSERT_TRUE(zip.AddFromBuffer(QString::fromUtf8("Łódź\\naïve 日本.kws"), bytesOf(b), when, cv::kZipAttrArchive | cv::kZipAttrReadOnly));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("empty.txt"), {}, when));
    ASSERT_EQ(zip.FileCount(), 3);

    const QJsonObject listing = pythonListing(zipName);
    EXPECT_TRUE(listing.value(QStringLiteral("bad")).isNull()) << "python's testzip found a bad entry";
    const QJsonArray entries = listing.value(QStringLiteral("entries")).toArray();
    ASSERT_EQ(entries.size(), 3);
    const QStringList expectedNames{QStringLiteral("plain.lst"), QString::fromUtf8("Łódź/naïve 日本.kws"), QStringLiteral("empty.txt")};
    const QList<QByteArray> data{a, b, c};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject e = entries[i].toObject();
        EXPECT_EQ(e.value(QStringLiteral("name")).toString(), expectedNames[i]);
        EXPECT_TRUE(e.value(QStringLiteral("flag")).toInt() & 0x800) << "UTF-8 flag missing on entry " << i;
        EXPECT_EQ(e.value(QStringLiteral("sha1")).toString(), sha1(data[i]));
        const QJsonArray d = e.value(QStringLiteral("date")).toArray();
        EXPECT_EQ(d[0].toInt(), 2024); EXPECT_EQ(d[1].toInt(), 3); EXPECT_EQ(d[2].toInt(), 9);
        EXPECT_EQ(d[3].toInt(), 14); EXPECT_EQ(d[4].toInt(), 25); EXPECT_EQ(d[5].toInt(), 36) << "two-second resolution";
    }
    EXPECT_EQ(entries[0].toObject().value(QStringLiteral("attr")).toInt() & 0xFF, 0x20);
    EXPECT_EQ(entries[1].toObject().value(QStringLiteral("attr")).toInt() & 0xFF, 0x21);

    // And our own reader sees the same.
    TZipArchive again;
    ASSERT_TRUE(again.OpenArchive(zipName));
    EXPECT_EQ(again.EntryNames(), expectedNames);
    TMemoryStream m;
    ASSERT_TRUE(again.ExtractToStream(QString::fromUtf8("Łódź/naïve 日本.kws"), m));
    EXPECT_EQ(cvtest::toBytes(m.Bytes()), b);
    EXPECT_EQ(m.Position(), 0);
    EXPECT_EQ(again.Entry(0).time, QDateTime(QDate(2024, 3, 9), QTime(14, 25, 36)));
    EXPECT_TRUE(again.Entry(1).HasUtf8Name());
}

TEST(ZipArchiveRead, ArchivesOfAnotherWriterListAndExtract)
{
    if (!havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::TempDir dir;
    const QString zipName = dir.file(QStringLiteral("other.zip"));
    // Stored and deflated entries, a UTF-8 name, and a code-page-437 name without the flag.
    const char* script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr(zipfile.ZipInfo("stored.txt", (2020,1,2,3,4,6)), b"stored data", compress_type=zipfile.ZIP_STORED)
    z.writestr(zipfile.ZipInfo("deflated/ünï.txt", (2021,5,6,7,8,10)), b"x" * 100000, compress_type=zipfile.ZIP_DEFLATED)
    i = zipfile.ZipInfo("old\x81name.txt", (2019,1,1,0,0,0))
    z.writestr(i, b"old", compress_type=zipfile.ZIP_DEFLATED)
with open(sys.argv[1], "r+b") as f:
    data = bytearray(f.read())
    # python sets the UTF-8 flag for the non-ASCII names: clear it on the last
    # one and give it the cp437 byte that the old DOS tools stored.
    old = "old\x81name.txt".encode("utf-8")
    legacy = b"old\x81name.txt."
    assert len(legacy) == len(old)
    while True:
        p = data.find(old)
        if p < 0: break
        hdr = data.rfind(b"PK\x03\x04", 0, p)
        cen = data.rfind(b"PK\x01\x02", 0, p)
        start = max(hdr, cen)
        flagpos = start + (6 if start == hdr else 8)
        data[flagpos+1] &= ~0x08
        data[p:p+len(old)] = legacy
    f.seek(0); f.write(data)
)";
    QString err;
    runPython(QString::fromUtf8(script), {zipName}, &err);
    ASSERT_TRUE(err.isEmpty()) << err.toStdString();

    TZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(zipName)) << zip.ErrorString().toStdString();
    ASSERT_EQ(zip.FileCount(), 3);
    EXPECT_EQ(zip.Entry(0).name, QStringLiteral("stored.txt"));
    EXPECT_EQ(zip.Entry(0).method, 0);
    EXPECT_EQ(zip.Entry(1).name, QString::fromUtf8("deflated/ünï.txt"));
    EXPECT_EQ(zip.Entry(1).method, 8);
    EXPECT_EQ(zip.Entry(1).uncompressedSize, 100000);
    EXPECT_EQ(zip.Entry(2).name, QString::fromUtf8("old\u00fcname.txt.")) << "0x81 is u-umlaut in code page 437";
    EXPECT_EQ(zip.Entry(0).time, QDateTime(QDate(2020, 1, 2), QTime(3, 4, 6)));
    TMemoryStream m;
    ASSERT_TRUE(zip.ExtractToStream(1, m));
    EXPECT_EQ(cvtest::toBytes(m.Bytes()), QByteArray(100000, 'x'));
    ASSERT_TRUE(zip.ExtractToStream(0, m));
    EXPECT_EQ(cvtest::toBytes(m.Bytes()), QByteArrayLiteral("stored data"));
}

TEST(ZipArchiveWrite, DeleteAndReplaceKeepTheOtherEntriesIntact)
{
    cvtest::TempDir dir;
    const QString zipName = dir.file(QStringLiteral("d.zip"));
    TZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(zipName));
    std::vector<cv::TZipNewEntry> many;
    for (int i = 0; i < 5; ++i)
        many.push_back({QStringLiteral("e%1.lst").arg(i), bytesOf(someText(100 + i)), QDateTime(QDate(2022, 2, 2), QTime(2, 2, 2)), cv::kZipAttrArchive});
    ASSERT_TRUE(zip.AddEntries(many));
    ASSERT_EQ(zip.FileCount(), 5);

    ASSERT_TRUE(zip.DeleteEntry(1)) << zip.ErrorString().toStdString();
    EXPECT_EQ(zip.EntryNames(), (QStringList{"e0.lst", "e2.lst", "e3.lst", "e4.lst"}));
    ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("e3.lst"), bytesOf("replaced")));
    EXPECT_EQ(zip.EntryNames(), (QStringList{"e0.lst", "e2.lst", "e4.lst", "e3.lst"})) << "a new entry replaces one of the same name";

    TMemoryStream m;
    for (int i : {0, 2, 4}) {
        ASSERT_TRUE(zip.ExtractToStream(QStringLiteral("e%1.lst").arg(i), m));
        EXPECT_EQ(cvtest::toBytes(m.Bytes()), someText(100 + i));
        EXPECT_EQ(zip.Entry(zip.IndexOf(QStringLiteral("e%1.lst").arg(i))).time, QDateTime(QDate(2022, 2, 2), QTime(2, 2, 2)))
            << "copied entries keep their time";
    }
    ASSERT_TRUE(zip.ExtractToStream(QStringLiteral("e3.lst"), m));
    EXPECT_EQ(cvtest::toBytes(m.Bytes()), QByteArrayLiteral("replaced"));

    if (havePython()) {
        const QJsonObject listing = pythonListing(zipName);
        EXPECT_TRUE(listing.value(QStringLiteral("bad")).isNull());
        EXPECT_EQ(listing.value(QStringLiteral("entries")).toArray().size(), 4);
    }
    EXPECT_FALSE(zip.DeleteEntry(17));
    EXPECT_EQ(zip.FileCount(), 4) << "a bad index changes nothing";
}

TEST(ZipArchiveWrite, AddFileUsesTheFileNameAndModificationTime)
{
    cvtest::TempDir dir;
    const QString src = dir.write(QStringLiteral("source words.txt"), QByteArrayLiteral("alpha\tbeta\n"));
    QFile f(src);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QDateTime stamp(QDate(2023, 7, 1), QTime(12, 0, 0));
    ASSERT_TRUE(f.setFileTime(stamp, QFileDevice::FileModificationTime));
    f.close();
    TZipArchive zip;
    ASSERT_TRUE(zip.OpenOrCreateArchive(dir.file(QStringLiteral("new.zip"))));
    ASSERT_TRUE(zip.AddFile(src));
    ASSERT_EQ(zip.FileCount(), 1);
    EXPECT_EQ(zip.Entry(0).name, QStringLiteral("source words.txt"));
    EXPECT_EQ(zip.Entry(0).time, stamp);
    EXPECT_FALSE(zip.AddFile(dir.file(QStringLiteral("missing.txt"))));
    EXPECT_TRUE(zip.ErrorString().contains(QStringLiteral("missing.txt")));
    EXPECT_EQ(zip.FileCount(), 1);
}

TEST(ZipArchiveRead, RefusesMissingAndNonZipFiles)
{
    cvtest::TempDir dir;
    TZipArchive zip;
    EXPECT_FALSE(zip.OpenArchive(dir.file(QStringLiteral("nothing.zip"))));
    EXPECT_TRUE(zip.ErrorString().contains(QStringLiteral("nothing.zip")));
    const QString text = dir.write(QStringLiteral("text.zip"), someText(50));
    EXPECT_FALSE(zip.OpenArchive(text));
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_FALSE(TZipArchive::IsAZipFile(text));
    TMemoryStream m;
    EXPECT_FALSE(zip.ExtractToStream(0, m));

    TZipArchive good;
    ASSERT_TRUE(good.CreateArchive(dir.file(QStringLiteral("good.zip")))) << good.ErrorString().toStdString();
    EXPECT_TRUE(TZipArchive::IsAZipFile(dir.file(QStringLiteral("good.zip")))) << "an empty archive is a zip file";
}

TEST(ZipArchiveRead, DamagedArchivesAreRefusedWithoutCrashing)
{
    cvtest::TempDir dir;
    const QString zipName = dir.file(QStringLiteral("ok.zip"));
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(zipName));
        ASSERT_TRUE(zip.AddEntries({{QStringLiteral("a.lst"), bytesOf(someText(300)), QDateTime::currentDateTime(), cv::kZipAttrArchive},
                                    {QStringLiteral("b.lst"), bytesOf(someText(10)), QDateTime::currentDateTime(), cv::kZipAttrArchive}}));
    }
    const QByteArray whole = cvtest::readAll(zipName);
    ASSERT_GT(whole.size(), 100);

    // Every way of cutting the file short: open fails, or every extraction is
    // either right or refused.
    const auto checkSurvives = [&](const QByteArray& bytes, const QString& name) {
        const QString f = dir.write(name, bytes);
        TZipArchive zip;
        if (!zip.OpenArchive(f)) {
            EXPECT_FALSE(zip.ErrorString().isEmpty());
            return 0;
        }
        int refused = 0;
        TMemoryStream m;
        for (int i = 0; i < zip.FileCount(); ++i) {
            if (zip.ExtractToStream(i, m)) {
                const QByteArray want = i == 0 ? someText(300) : someText(10);
                EXPECT_EQ(cvtest::toBytes(m.Bytes()), want) << "a damaged entry must never pass as good";
            } else {
                ++refused;
                EXPECT_EQ(m.Size(), 0);
            }
        }
        return refused;
    };
    for (qsizetype cut = 0; cut < whole.size(); cut += 7)
        checkSurvives(whole.left(cut), QStringLiteral("cut.zip"));

    // Flipped bytes anywhere (bounded, seeded): no crash, no wrong data.
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        QByteArray bad = whole;
        for (int k = 0; k < 3; ++k)
            bad[qsizetype(rng() % uint32_t(bad.size()))] = char(rng());
        checkSurvives(bad, QStringLiteral("flip.zip"));
    }

    // Damage inside the compressed data of the first entry is caught (inflate error or checksum).
    QByteArray hurt = whole;
    hurt[60] = char(hurt[60] ^ 0x55);
    EXPECT_GE(checkSurvives(hurt, QStringLiteral("hurt.zip")), 1);
}

TEST(ZipArchiveRead, EntriesLargerThanTheLimitOrLyingAboutTheirSizeAreRefused)
{
    cvtest::TempDir dir;
    const QString zipName = dir.file(QStringLiteral("bomb.zip"));
    const QByteArray big(4 << 20, '\0'); // 4 MiB of zeros packs into a few KiB
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(zipName));
        ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("zeros.bin"), bytesOf(big)));
        EXPECT_LT(zip.Entry(0).compressedSize, 64 * 1024);
    }
    TZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(zipName));
    zip.SetMaxEntrySize(1 << 20);
    TMemoryStream m;
    EXPECT_FALSE(zip.ExtractToStream(0, m));
    EXPECT_TRUE(zip.ErrorString().contains(QStringLiteral("limit"))) << zip.ErrorString().toStdString();
    EXPECT_EQ(m.Size(), 0);
    zip.SetMaxEntrySize(8 << 20);
    EXPECT_TRUE(zip.ExtractToStream(0, m));
    EXPECT_EQ(m.Size(), big.size());

    // An archive whose directory understates the unpacked size: the extra
    // data is never produced and the entry fails its checksum.
    QByteArray bytes = cvtest::readAll(zipName);
    for (QByteArray sig : {QByteArrayLiteral("PK\x01\x02"), QByteArrayLiteral("PK\x03\x04")}) {
        const qsizetype p = bytes.indexOf(sig);
        ASSERT_GE(p, 0);
        const qsizetype sizeOff = p + (sig[2] == 1 ? 24 : 22); // uncompressed size field
        bytes[sizeOff] = 0; bytes[sizeOff + 1] = 0x10; bytes[sizeOff + 2] = 0; bytes[sizeOff + 3] = 0; // 4096
    }
    TZipArchive liar;
    ASSERT_TRUE(liar.OpenArchive(dir.write(QStringLiteral("liar.zip"), bytes)));
    EXPECT_EQ(liar.Entry(0).uncompressedSize, 4096);
    EXPECT_FALSE(liar.ExtractToStream(0, m));
    EXPECT_EQ(m.Size(), 0);
}

TEST(ZipArchiveDates, DosDateTimeRoundTripsAndClamps)
{
    const QDateTime t(QDate(2031, 12, 31), QTime(23, 59, 59));
    EXPECT_EQ(cv::ZipDateTimeFromDos(cv::ZipDosDateTime(t)), QDateTime(QDate(2031, 12, 31), QTime(23, 59, 58)));
    EXPECT_EQ(cv::ZipDateTimeFromDos(cv::ZipDosDateTime(QDateTime(QDate(1970, 1, 1), QTime(5, 0)))),
              QDateTime(QDate(1980, 1, 1), QTime(0, 0)));
    EXPECT_EQ(cv::ZipDateTimeFromDos(0).date(), QDate(1980, 1, 1)) << "a zero date reads as a valid date";
}

TEST(ZipArchiveBatch, BatchesOfSavedResultsAreRecognised)
{
    cvtest::TempDir dir;
    const QString batch = dir.file(QStringLiteral("batch.zip"));
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(batch));
        ASSERT_TRUE(zip.AddEntries({{QStringLiteral("notes.txt"), bytesOf("n"), QDateTime::currentDateTime(), cv::kZipAttrArchive},
                                    {QStringLiteral("a.lst"), bytesOf("a"), QDateTime::currentDateTime(), cv::kZipAttrArchive},
                                    {QStringLiteral("b.LST"), bytesOf("b"), QDateTime::currentDateTime(), cv::kZipAttrArchive},
                                    {QStringLiteral("c.kws"), bytesOf("c"), QDateTime::currentDateTime(), cv::kZipAttrArchive}}));
    }
    uint8_t type = 99;
    int count = -1;
    EXPECT_TRUE(cv::IsABatchZipFileForListType(batch, &type, &count));
    EXPECT_EQ(type, 0) << "word lists";
    EXPECT_EQ(count, 2);

    const QString texts = dir.file(QStringLiteral("texts.zip"));
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(texts));
        ASSERT_TRUE(zip.AddFromBuffer(QStringLiteral("novel.txt"), bytesOf("text")));
    }
    EXPECT_FALSE(cv::IsABatchZipFileForListType(texts, &type, &count)) << "a zip of texts is no batch";
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(cv::IsAZipFile(texts));
    EXPECT_FALSE(cv::IsABatchZipFileForListType(dir.write(QStringLiteral("fake.zip"), "PK\x03\x04 not really")));
}

// Archives made to deceive, and archives of other writers' forms: many
// entries pointing at one stream, more than the bound unpacked, zip64
// sizes, absolute names.
TEST(ZipArchiveRead, OverlappingEntriesAndTooMuchUnpackedAreRefusedByName)
{
    if (!havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::TempDir dir;
    const QString bomb = dir.file(QStringLiteral("overlap.zip"));
    // One deflated stream; the directory lists it five times (the local
    // header is shared, the names differ only in the directory).
    const char* script = R"(
import sys, zipfile, struct, io
buf = io.BytesIO()
with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("t0.txt", b"the cat sat on the mat\n" * 2000)
data = bytearray(buf.getvalue())
cen = data.find(b"PK\x01\x02")
end = data.find(b"PK\x05\x06")
entry = bytes(data[cen:end])
entries = b"".join(entry.replace(b"t0.txt", ("t%d.txt" % k).encode()) for k in range(5))
tail = bytearray(data[end:end + 22])
struct.pack_into("<HHII", tail, 8, 5, 5, len(entries), cen)
open(sys.argv[1], "wb").write(bytes(data[:cen]) + entries + bytes(tail))
)";
    QString err;
    runPython(QString::fromUtf8(script), {bomb}, &err);
    ASSERT_TRUE(err.isEmpty()) << err.toStdString();
    TZipArchive zip;
    EXPECT_FALSE(zip.OpenArchive(bomb));
    EXPECT_TRUE(zip.ErrorString().contains(QStringLiteral("overlap"))) << zip.ErrorString().toStdString();
    EXPECT_TRUE(zip.ErrorString().contains(QStringLiteral("overlap.zip"))) << zip.ErrorString().toStdString();

    // Sound entries, but more than the bound unpacked together.
    const QString many = dir.file(QStringLiteral("many.zip"));
    {
        TZipArchive w;
        ASSERT_TRUE(w.CreateArchive(many));
        ASSERT_TRUE(w.AddEntries({{QStringLiteral("a.txt"), bytesOf(someText(400)), QDateTime::currentDateTime(), cv::kZipAttrArchive},
                                  {QStringLiteral("b.txt"), bytesOf(someText(400)), QDateTime::currentDateTime(), cv::kZipAttrArchive}}));
    }
    TZipArchive bounded;
    bounded.SetMaxArchiveSize(someText(400).size() + 100);
    EXPECT_FALSE(bounded.OpenArchive(many));
    EXPECT_TRUE(bounded.ErrorString().contains(QStringLiteral("more than the limit"))) << bounded.ErrorString().toStdString();
    EXPECT_TRUE(bounded.ErrorString().contains(QStringLiteral("many.zip")));
    bounded.SetMaxArchiveSize(2 * someText(400).size());
    EXPECT_TRUE(bounded.OpenArchive(many)) << bounded.ErrorString().toStdString();
}

TEST(ZipArchiveRead, Zip64SizesAndAbsoluteNamesAreRead)
{
    cvtest::TempDir dir;
    const QString text = dir.write(QStringLiteral("a.txt"), someText(30));
    // "zip -fz" writes the sizes of every entry in its zip64 field only.
    const QString zipTool = QStandardPaths::findExecutable(QStringLiteral("zip"));
    if (!zipTool.isEmpty()) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(zipTool, {QStringLiteral("-q"), QStringLiteral("-fz"), QStringLiteral("z64.zip"), QStringLiteral("a.txt")});
        ASSERT_TRUE(p.waitForFinished(30000) && p.exitCode() == 0);
        TZipArchive zip;
        ASSERT_TRUE(zip.OpenArchive(dir.file(QStringLiteral("z64.zip")))) << zip.ErrorString().toStdString();
        ASSERT_EQ(zip.FileCount(), 1);
        EXPECT_EQ(zip.Entry(0).uncompressedSize, someText(30).size());
        TMemoryStream m;
        ASSERT_TRUE(zip.ExtractToStream(QStringLiteral("a.txt"), m)) << zip.ErrorString().toStdString();
        EXPECT_EQ(cvtest::toBytes(m.Bytes()), someText(30));
    }
    if (!havePython())
        GTEST_SKIP() << "python3 not available";
    const char* script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo("/abs/t.txt"), b"absolute words\n")
    z.writestr(zipfile.ZipInfo("win\\u.txt"), b"other words\n")
)";
    QString err;
    const QString absolute = dir.file(QStringLiteral("abs.zip"));
    runPython(QString::fromUtf8(script), {absolute}, &err);
    ASSERT_TRUE(err.isEmpty()) << err.toStdString();
    TZipArchive zip;
    ASSERT_TRUE(zip.OpenArchive(absolute)) << zip.ErrorString().toStdString();
    ASSERT_EQ(zip.FileCount(), 2);
    // Each entry is found by the name it is listed under, and by that name cleaned.
    for (const QString& name : {zip.Entry(0).name, QStringLiteral("abs/t.txt")}) {
        TMemoryStream m;
        ASSERT_TRUE(zip.ExtractToStream(name, m)) << qPrintable(name) << " " << zip.ErrorString().toStdString();
        EXPECT_EQ(cvtest::toBytes(m.Bytes()), QByteArrayLiteral("absolute words\n"));
    }
    EXPECT_EQ(zip.IndexOf(zip.Entry(1).name), 1);
}

TEST(ZipArchiveRead, MoreThan65535EntriesWithoutZip64RecordsAreAllListed)
{
    // Our writer, like others, leaves the 16-bit count of the end record at
    // 65,535 and writes no zip64 records: the directory says how many there are.
    cvtest::TempDir dir;
    const QString zipName = dir.file(QStringLiteral("many.zip"));
    constexpr int kEntries = 66000;
    std::vector<cv::TZipNewEntry> entries(kEntries);
    for (int k = 0; k < kEntries; ++k) {
        entries[std::size_t(k)].name = QStringLiteral("t%1.txt").arg(k);
        entries[std::size_t(k)].data = bytesOf(QByteArray::number(k));
    }
    TZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(zipName));
    ASSERT_TRUE(zip.AddEntries(std::move(entries))) << zip.ErrorString().toStdString();
    TZipArchive back;
    ASSERT_TRUE(back.OpenArchive(zipName)) << back.ErrorString().toStdString();
    EXPECT_EQ(back.FileCount(), kEntries);
    TMemoryStream m;
    ASSERT_TRUE(back.ExtractToStream(QStringLiteral("t65999.txt"), m)) << back.ErrorString().toStdString();
    EXPECT_EQ(cvtest::toBytes(m.Bytes()), QByteArrayLiteral("65999"));
}

namespace {

// An entry read through its reader in pieces of the given sizes, in turn.
QByteArray readInPieces(cv::TZipEntryReader& r, std::initializer_list<int64_t> pieces, QString* error)
{
    QByteArray out;
    std::vector<int64_t> sizes(pieces);
    for (std::size_t k = 0; !r.AtEnd(); ++k) {
        const int64_t want = sizes[k % sizes.size()];
        std::vector<uint8_t> buf(std::size_t(want) + 1);
        const int64_t n = r.Read(buf.data(), want, error);
        if (n < 0)
            return {};
        if (n < want && !r.AtEnd()) {
            ADD_FAILURE() << "a read gave fewer bytes than asked before the entry's end";
            return {};
        }
        out.append(reinterpret_cast<const char*>(buf.data()), n);
    }
    return out;
}

} // namespace

TEST(ZipEntryReader, PiecesOfAnySizeGiveTheEntryAndItsEndIsChecked)
{
    cvtest::TempDir dir;
    const QString zipName = dir.file(QStringLiteral("pieces.zip"));
    const QByteArray text = someText(20000), small = someText(3);
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.CreateArchive(zipName));
        ASSERT_TRUE(zip.AddEntries({{QStringLiteral("big.txt"), bytesOf(text), QDateTime::currentDateTime(), cv::kZipAttrArchive},
                                    {QStringLiteral("small.txt"), bytesOf(small), QDateTime::currentDateTime(), cv::kZipAttrArchive},
                                    {QStringLiteral("empty.txt"), {}, QDateTime::currentDateTime(), cv::kZipAttrArchive}}));
    }
    std::unique_ptr<cv::TZipEntryReader> kept;
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.OpenArchive(zipName));
        for (const auto& pieces : {std::initializer_list<int64_t>{1}, {7, 65536}, {1 << 20}, {3, 65537, 1000}}) {
            std::unique_ptr<cv::TZipEntryReader> r = zip.OpenEntry(0);
            ASSERT_TRUE(r) << zip.ErrorString().toStdString();
            EXPECT_EQ(r->Size(), text.size());
            QString error;
            EXPECT_EQ(readInPieces(*r, pieces, &error), text) << error.toStdString();
            uint8_t after = 0;
            EXPECT_EQ(r->Read(&after, 1, &error), 0) << "nothing after the end";
        }
        std::unique_ptr<cv::TZipEntryReader> empty = zip.OpenEntry(2);
        ASSERT_TRUE(empty);
        QString error;
        EXPECT_EQ(readInPieces(*empty, {5}, &error), QByteArray());
        EXPECT_TRUE(empty->AtEnd());
        // A reader keeps the archive's file: it outlives the archive.
        kept = zip.OpenEntry(1);
        ASSERT_TRUE(kept);
        EXPECT_FALSE(zip.OpenEntry(3)) << "no such entry";
        EXPECT_TRUE(zip.ErrorString().contains(QStringLiteral("pieces.zip"))) << zip.ErrorString().toStdString();
    }
    QString error;
    EXPECT_EQ(readInPieces(*kept, {10}, &error), small) << error.toStdString();

    // An entry that says it is smaller or larger than what it unpacks to is
    // refused at its end, naming the archive and the entry.
    const QByteArray whole = cvtest::readAll(zipName);
    for (const int64_t claimed : {text.size() - 100, text.size() + 100}) {
        QByteArray bytes = whole;
        for (const QByteArray& sig : {QByteArrayLiteral("PK\x01\x02"), QByteArrayLiteral("PK\x03\x04")}) {
            const qsizetype p = bytes.indexOf(sig);
            const qsizetype at = p + (sig[2] == 1 ? 24 : 22);
            for (int b = 0; b < 4; ++b)
                bytes[at + b] = char((claimed >> (8 * b)) & 0xFF);
        }
        TZipArchive liar;
        ASSERT_TRUE(liar.OpenArchive(dir.write(QStringLiteral("liar.zip"), bytes)));
        std::unique_ptr<cv::TZipEntryReader> r = liar.OpenEntry(0);
        ASSERT_TRUE(r);
        error.clear();
        EXPECT_TRUE(readInPieces(*r, {4096}, &error).isEmpty());
        EXPECT_TRUE(error.contains(QStringLiteral("liar.zip")) && error.contains(QStringLiteral("big.txt")))
            << error.toStdString();
        EXPECT_TRUE(error.contains(claimed < text.size() ? QStringLiteral("more data than it declares")
                                                         : QStringLiteral("truncated")))
            << error.toStdString();
    }
    // Damaged data is caught by the inflater or the checksum.
    QByteArray hurt = whole;
    hurt[60] = char(hurt[60] ^ 0x55);
    TZipArchive damaged;
    ASSERT_TRUE(damaged.OpenArchive(dir.write(QStringLiteral("hurt.zip"), hurt)));
    std::unique_ptr<cv::TZipEntryReader> r = damaged.OpenEntry(0);
    ASSERT_TRUE(r);
    error.clear();
    EXPECT_TRUE(readInPieces(*r, {65536}, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}
