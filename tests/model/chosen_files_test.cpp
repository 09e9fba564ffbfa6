#include "model/chosen_files.h"
#include "model/inter_tool_list.h"
#include "suite/cv_stream.h"
#include "suite/my_types.h"
#include "suite/zip_archive.h"
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

struct Collector {
    QStringList errors;
    cv::TCVFileDetails::TErrorCallback cb() { return [this](const QString& m) { errors << m; }; }
};

} // namespace

TEST(ChosenTexts, FilesArchivesAndMasks)
{
    cvtest::TempDir dir;
    const QString a = dir.write(QStringLiteral("a.txt"), "alpha");
    dir.write(QStringLiteral("b.htm"), "<p>b</p>");
    dir.write(QStringLiteral("c.html"), "<p>c</p>");
    const QString zip = dir.file(QStringLiteral("more.zip"));
    cv::TZipArchive z;
    ASSERT_TRUE(z.CreateArchive(zip));
    ASSERT_TRUE(z.AddFromBuffer(QStringLiteral("in/one.txt"), std::vector<uint8_t>(10, 'x')));
    ASSERT_TRUE(z.AddFromBuffer(QStringLiteral("two.txt"), std::vector<uint8_t>(4, 'y')));
    z.CloseArchive();

    Collector c;
    cv::TCVFileDetails f(true, c.cb());
    EXPECT_TRUE(f.ToolAddAFile(a));
    EXPECT_TRUE(f.ToolAddAFile(a)) << "a text chosen twice stays chosen once";
    EXPECT_EQ(f.FileCount(), 1);
    EXPECT_TRUE(f.ToolAddAFile(zip));
    EXPECT_EQ(f.FileCount(), 3);
    cv::TChosenTextRec rec;
    ASSERT_TRUE(f.GetFullFileDetails(1, rec));
    EXPECT_EQ(rec.FullFilename, zip);
    EXPECT_EQ(rec.ZipEntryName, QStringLiteral("in/one.txt"));
    EXPECT_EQ(rec.FileSize, 10);
    EXPECT_EQ(f.TotalBytes(), 5 + 10 + 4);

    EXPECT_TRUE(f.ToolAddAFile(dir.file(QStringLiteral("*.htm"))));
    EXPECT_EQ(f.FileCount(), 4) << "restricted: *.htm does not take .html";
    cv::TCVFileDetails loose(false, c.cb());
    EXPECT_TRUE(loose.ToolAddAFile(dir.file(QStringLiteral("*.htm"))));
    EXPECT_EQ(loose.FileCount(), 2) << "unrestricted: *.htm takes .html too";

    EXPECT_TRUE(c.errors.isEmpty());
    EXPECT_FALSE(f.ToolAddAFile(dir.file(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(f.ToolAddAFile(zip + QStringLiteral("|absent.txt")));
    EXPECT_FALSE(f.ToolAddAFile(dir.file(QStringLiteral("*.doc"))));
    ASSERT_EQ(c.errors.size(), 3);
    EXPECT_TRUE(c.errors[0].contains(QStringLiteral("missing.txt")));
    EXPECT_EQ(f.FileCount(), 4);

    // A loose text with a "|" in its name is that text, not an archive's entry.
    const QString barred = dir.write(QStringLiteral("a|b.txt"), "bar");
    EXPECT_TRUE(f.ToolAddAFile(barred)) << qPrintable(c.errors.join(u'\n'));
    ASSERT_EQ(f.FileCount(), 5);
    ASSERT_TRUE(f.GetFullFileDetails(4, rec));
    EXPECT_EQ(rec.FullFilename, barred);
    EXPECT_TRUE(rec.ZipEntryName.isEmpty());
}

TEST(ChosenTexts, OfEntriesOfOneNameInAnArchiveTheSecondIsNamedAsSkipped)
{
    // Written with names of one length, then the second renamed to the first
    // (our own writer replaces an entry of the same name).
    cvtest::TempDir dir;
    const QString zip = dir.file(QStringLiteral("twice.zip"));
    {
        cv::TZipArchive z;
        ASSERT_TRUE(z.CreateArchive(zip));
        ASSERT_TRUE(z.AddFromBuffer(QStringLiteral("in/a.txt"), std::vector<uint8_t>(10, 'x')));
        ASSERT_TRUE(z.AddFromBuffer(QStringLiteral("in/b.txt"), std::vector<uint8_t>(4, 'y')));
        ASSERT_TRUE(z.AddFromBuffer(QStringLiteral("in/c.txt"), std::vector<uint8_t>(3, 'z')));
        z.CloseArchive();
    }
    QByteArray bytes = cvtest::readAll(zip);
    ASSERT_EQ(bytes.count("in/b.txt"), 2); // its local header and its directory entry
    bytes.replace("in/b.txt", "in/a.txt");
    dir.write(QStringLiteral("twice.zip"), bytes);

    Collector c;
    cv::TCVFileDetails f(true, c.cb());
    EXPECT_TRUE(f.ToolAddAFile(zip));
    ASSERT_EQ(f.FileCount(), 2);
    EXPECT_EQ(f.File(0)->ZipEntryName, QStringLiteral("in/a.txt"));
    EXPECT_EQ(f.File(0)->FileSize, 10);
    EXPECT_EQ(f.File(1)->ZipEntryName, QStringLiteral("in/c.txt"));
    ASSERT_EQ(c.errors.size(), 1);
    EXPECT_EQ(c.errors[0], QStringLiteral("Skipped entry \"in/a.txt\" number 2 of zip archive \"%1\": an earlier entry "
                                          "of the archive has the same name, and only the first of them can be read")
                               .arg(zip));
}

TEST(ChosenTexts, SuggestedNameAndCounters)
{
    cvtest::TempDir dir;
    const QString a = dir.write(QStringLiteral("sub/one.txt"), "1");
    const QString b = dir.write(QStringLiteral("sub/deeper/two.txt"), "2");
    cv::TCVFileDetails f(true, nullptr);
    EXPECT_TRUE(f.SuggestedFilename().isEmpty());
    f.ToolAddAFile(a);
    EXPECT_EQ(f.SuggestedFilename(), QStringLiteral("one"));
    f.ToolAddAFile(b);
    EXPECT_EQ(f.SuggestedFilename(), QStringLiteral("sub"));
    EXPECT_EQ(f.Folders().size(), 2);
    f.SetFileHits(1, 7);
    f.SetFileWords(1, 70);
    f.SetFileStatus(1, 1);
    f.SetFileKind(5, 1); // out of range: ignored
    EXPECT_EQ(f.File(1)->Hits, 7);
    EXPECT_EQ(f.File(1)->Words, 70);
    f.ClearThem();
    EXPECT_EQ(f.FileCount(), 0);
    EXPECT_TRUE(f.Folders().isEmpty());
}

TEST(ChosenTexts, HandOverFileRoundTripAndDamage)
{
    cvtest::TempDir dir;
    const QString a = dir.write(QStringLiteral("a.txt"), "alpha");
    cv::TCVFileDetails f(true, nullptr);
    f.ToolAddAFile(a);
    f.SetFileWords(0, 1);
    f.SetNotes({QStringLiteral("my corpus")});
    QString error;
    ASSERT_TRUE(f.SavedToTempFile(dir.path(), cv::kToolWordList, &error)) << error.toStdString();
    const QString handOver = cv::TSharedChosenFilesClass::HandOverFilename(dir.path(), cv::kToolWordList);
    EXPECT_TRUE(handOver.endsWith(QStringLiteral(".chosen_texts")));
    EXPECT_TRUE(QFileInfo(handOver).fileName().startsWith(cv::Tool_Name(cv::kToolWordList)));

    Collector c;
    cv::TCVFileDetails g(true, c.cb());
    ASSERT_TRUE(g.ReadChosenFromFile(handOver));
    ASSERT_EQ(g.FileCount(), 1);
    EXPECT_EQ(g.FullFilename(0), a);
    EXPECT_EQ(g.File(0)->Words, 1);
    EXPECT_EQ(g.File(0)->FileTime, f.File(0)->FileTime);
    EXPECT_EQ(g.Notes(), QStringList{QStringLiteral("my corpus")});
    // The texts read are known as chosen: adding one again changes nothing,
    // and another one of the same folder adds no folder.
    EXPECT_TRUE(g.Contains(a));
    EXPECT_TRUE(g.ToolAddAFile(a));
    EXPECT_EQ(g.FileCount(), 1);
    const QString b = dir.write(QStringLiteral("b.txt"), "beta");
    EXPECT_TRUE(g.ToolAddAFile(b));
    EXPECT_EQ(g.FileCount(), 2);
    EXPECT_EQ(g.Folders().size(), 1);
    g.ClearThem();
    EXPECT_FALSE(g.Contains(a));
    EXPECT_TRUE(g.ToolAddAFile(a));
    EXPECT_EQ(g.FileCount(), 1);
    EXPECT_EQ(g.Folders().size(), 1);

    const QByteArray good = cvtest::readAll(handOver);
    for (int n = 0; n < good.size(); ++n) {
        cv::TMemoryStream m(std::vector<uint8_t>(good.begin(), good.begin() + n));
        cv::TSharedChosenFilesClass s;
        EXPECT_FALSE(s.ReadFromStream(m)) << "cut at " << n;
    }
    const QString bad = dir.write(QStringLiteral("bad.chosen_texts"), good.left(good.size() - 3));
    EXPECT_FALSE(g.ReadChosenFromFile(bad));
    EXPECT_EQ(g.FileCount(), 1) << "a damaged list leaves the chosen texts as they were";
    EXPECT_FALSE(c.errors.isEmpty());
}

TEST(ChosenTexts, PlainListsOfNames)
{
    cvtest::TempDir dir;
    const QString a = dir.write(QStringLiteral("texts/a.txt"), "alpha");
    dir.write(QStringLiteral("texts/b c.txt"), "beta");
    // UTF-16 with a mark, a quoted name, a relative name, blank lines and a missing text.
    QString list = QStringLiteral("%1\r\n\r\n\"texts/b c.txt\"\n  texts/missing.txt  \n").arg(a);
    QByteArray bytes("\xFF\xFE");
    for (QChar ch : list) {
        bytes.append(char(ch.unicode() & 0xFF));
        bytes.append(char(ch.unicode() >> 8));
    }
    const QString listFile = dir.write(QStringLiteral("list.txt"), bytes);
    Collector c;
    cv::TCVFileDetails f(true, c.cb());
    ASSERT_TRUE(f.ReadChosenFromFile(listFile));
    EXPECT_EQ(f.FileCount(), 2);
    EXPECT_EQ(QFileInfo(f.FullFilename(1)).fileName(), QStringLiteral("b c.txt"));
    ASSERT_EQ(c.errors.size(), 1);
    EXPECT_TRUE(c.errors[0].contains(QStringLiteral("missing.txt")));

    const QString empty = dir.write(QStringLiteral("empty.txt"), "\n\n");
    EXPECT_FALSE(f.ReadChosenFromFile(empty));
    EXPECT_FALSE(f.ReadChosenFromFile(dir.file(QStringLiteral("nowhere.txt"))));
}

namespace {

class TRequest final : public cv::TInterToolListObj {
public:
    QString word;
    int32_t freq = 0;
    bool SaveToStream(cv::TStream& s) const override { return cv::WriteAString(s, word) && s.WriteI32(freq); }
    bool ReadFromStream(cv::TStream& s) override { return cv::ReadAString(s, word) && s.ReadI32(freq); }
};

class TRequestList final : public cv::TBaseInterToolList {
public:
    TRequestList() : TBaseInterToolList(cv::kToolWordList, cv::kToolConcordance, [] { return std::make_unique<TRequest>(); }) {}
    int32_t horizon = 0;

protected:
    QString TempFileExtension() const override { return QStringLiteral(".tell_test"); }
    bool SaveHeaderExtras(cv::TStream& s) const override { return s.WriteI32(horizon); }
    bool ReadHeaderExtras(cv::TStream& s) override { return s.ReadI32(horizon); }
};

} // namespace

TEST(InterToolList, WrittenForTheOtherToolAndReadBack)
{
    cvtest::TempDir dir;
    TRequestList out;
    out.horizon = 5;
    for (int i = 0; i < 3; ++i) {
        auto r = std::make_unique<TRequest>();
        r->word = QStringLiteral("w%1").arg(i);
        r->freq = i * 10;
        out.Add(std::move(r));
    }
    ASSERT_TRUE(out.SavedToTempfile(dir.path()));
    EXPECT_EQ(QFileInfo(out.TempFilename(dir.path())).fileName(),
              cv::Tool_Name(cv::kToolWordList) + QLatin1Char('_') + cv::Tool_Name(cv::kToolConcordance)
                  + QStringLiteral(".tell_test"));

    TRequestList in;
    ASSERT_TRUE(in.LoadedFromTempfile(dir.path()));
    EXPECT_EQ(in.horizon, 5);
    ASSERT_EQ(in.Count(), 3);
    EXPECT_EQ(static_cast<TRequest*>(in.Get(2))->freq, 20);

    const QByteArray good = cvtest::readAll(out.TempFilename(dir.path()));
    for (int n = 0; n < good.size(); ++n) {
        cv::TMemoryStream m(std::vector<uint8_t>(good.begin(), good.begin() + n));
        TRequestList r;
        EXPECT_FALSE(r.ReadFromStream(m)) << "cut at " << n;
    }
}
