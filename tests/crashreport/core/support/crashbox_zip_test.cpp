#include "crashreport/core/support/crashbox_zip.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <zlib.h>

#include "crashreport/core/python_oracle.h"
#include "support/test_support.h"

using namespace cv;

namespace {

// Python's zipfile listing: name, flag bits, method and the data (hex), read
// with the password given as the second argument (may be empty).
const char* kZipListing = R"(
import sys, zipfile, json
z = zipfile.ZipFile(sys.argv[1])
pwd = sys.argv[2].encode() if len(sys.argv) > 2 and sys.argv[2] else None
out = []
for i in z.infolist():
    out.append({'name': i.filename, 'flag': i.flag_bits, 'method': i.compress_type,
                'data': z.read(i, pwd=pwd).hex()})
print(json.dumps(out))
)";

QByteArray SampleData(int lines)
{
    QByteArray out;
    for (int i = 0; i < lines; ++i)
        out += "Crash report line " + QByteArray::number(i) + ": something went wrong here\r\n";
    return out;
}

} // namespace

struct ZipCase {
    const char* password;
};

class ZipWriting : public ::testing::TestWithParam<ZipCase> {};

TEST_P(ZipWriting, PythonAndUnzipReadTheEntries)
{
    if (!cvtest::havePython())
        GTEST_SKIP() << "python3 not available";
    const std::string password = GetParam().password;
    cvtest::TempDir dir;
    const QByteArray log = SampleData(500), picture("\x89PNG\r\n\x1a\n\x00\x01\xff", 11), empty;
    const QString logName = dir.write("report.elf", log), picName = dir.write("Screenshot.png", picture),
                  emptyName = dir.write("empty.txt", empty);
    // A name beyond ASCII (UTF-8, this system's code page) reads back as itself.
    const QString accented = QString::fromUtf8("Capture d\u2019\u00e9cran \u0416.png");
    const QString accentedName = dir.write(accented, picture);
    const QString zipName = dir.file("BugReport.zip");
    // A file already there is replaced.
    dir.write("BugReport.zip", "not a zip");
    {
        TZipWriter zip(zipName.toStdString(), password);
        ASSERT_TRUE(zip.IsOpen());
        EXPECT_TRUE(zip.AddFile(logName.toStdString(), "report.elf"));
        // A missing file is left out; the archive stays sound.
        EXPECT_FALSE(zip.AddFile(dir.file("missing.txt").toStdString(), "missing.txt"));
        EXPECT_TRUE(zip.AddFile(picName.toStdString(), "Screenshot.png"));
        EXPECT_TRUE(zip.AddFile(emptyName.toStdString(), "empty.txt"));
        EXPECT_TRUE(zip.AddFile(accentedName.toStdString(), accented.toStdString()));
    }
    QString error;
    const QJsonArray entries = QJsonDocument::fromJson(cvtest::runPython(QString::fromUtf8(kZipListing),
                                                                         {zipName, QString::fromStdString(password)}, {}, &error))
                                   .array();
    ASSERT_EQ(entries.size(), 4) << error.toStdString();
    const QStringList names{"report.elf", "Screenshot.png", "empty.txt", accented};
    const QList<QByteArray> data{log, picture, empty, picture};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject e = entries[i].toObject();
        EXPECT_EQ(e.value("name").toString().toStdString(), names[i].toStdString());
        EXPECT_EQ(e.value("method").toInt(), 8) << "deflated";
        EXPECT_EQ(bool(e.value("flag").toInt() & 1), !password.empty()) << "encryption flag of " << i;
        EXPECT_EQ(bool(e.value("flag").toInt() & 0x800), i == 3) << "UTF-8 name flag of " << i;
        EXPECT_EQ(QByteArray::fromHex(e.value("data").toString().toLatin1()), data[i]);
    }

    // unzip too, with the password when there is one.
    const QString unzip = QStandardPaths::findExecutable("unzip");
    if (unzip.isEmpty())
        return;
    QProcess p;
    QStringList args;
    if (!password.empty())
        args << "-P" << QString::fromStdString(password);
    args << "-p" << zipName << "report.elf";
    p.start(unzip, args);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput(), log);
    if (!password.empty()) {
        // A wrong password opens nothing.
        p.start(unzip, {"-P", "wrong", "-p", zipName, "report.elf"});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_NE(p.exitCode(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(CrashboxZip, ZipWriting, ::testing::Values(ZipCase{""}, ZipCase{"s3cret pass"}),
                         [](const auto& info) { return std::string(*info.param.password ? "Password" : "Plain"); });

TEST(CrashboxZip, ArchiveWithoutEntriesIsValid)
{
    if (!cvtest::havePython())
        GTEST_SKIP() << "python3 not available";
    cvtest::TempDir dir;
    const QString zipName = dir.file("BugReport.zip");
    { TZipWriter zip(zipName.toStdString(), ""); }
    QString error;
    EXPECT_EQ(cvtest::runPython(QString::fromUtf8(kZipListing), {zipName}, {}, &error).trimmed(), "[]") << error.toStdString();
}

static std::vector<uint8_t> Compress(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    std::vector<uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

TEST(CrashboxZip, DecompressBufGrowsFarBeyondTheInputSize)
{
    // About 2 MB from a few kilobytes: many growth steps of the input size rounded to 256.
    const QByteArray data = QByteArray(2000000, 'x') + SampleData(50);
    const std::vector<uint8_t> packed = Compress(data);
    ASSERT_LT(packed.size(), 10000u);
    const std::vector<uint8_t> out = DecompressBuf(packed);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size())), data);
}

TEST(CrashboxZip, DecompressBufOfDamagedStreamsKeepsWhatWasProduced)
{
    const QByteArray data = SampleData(2000);
    std::vector<uint8_t> packed = Compress(data);
    // Cut short: a prefix of the data, no exception.
    std::vector<uint8_t> cut(packed.begin(), packed.begin() + qsizetype(packed.size() / 2));
    std::vector<uint8_t> out = DecompressBuf(cut);
    EXPECT_GT(out.size(), 0u);
    EXPECT_LT(out.size(), std::size_t(data.size()));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size())), data.left(qsizetype(out.size())));
    // Not a zlib stream at all, and nothing at all: empty output.
    EXPECT_TRUE(DecompressBuf(std::vector<uint8_t>{1, 2, 3, 4, 5}).empty());
    EXPECT_TRUE(DecompressBuf({}).empty());
}

TEST(CrashboxZip, ZLibErrorTexts)
{
    EXPECT_STREQ(EZLibError(Z_DATA_ERROR).what(), "data error");
    EXPECT_STREQ(EZLibError(Z_VERSION_ERROR).what(), "incompatible version");
    EXPECT_STREQ(ZLibErrorText(Z_MEM_ERROR), "insufficient memory");
}
