#include "model_testutil.h"

#include "model/batch_procedures.h"
#include "suite/cv_globals.h"
#include "suite/dialogs.h"
#include "suite/wdef.h"
#include "suite/zip_archive.h"
#include "support/le_bytes.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using cvtest::LEBytes;
using cvtest::TTestDocument;

namespace {

std::vector<uint8_t> SavedBytes(cv::TCorvantisholder& d)
{
    cv::TMemoryStream m;
    EXPECT_TRUE(d.SaveToStream(m));
    return m.Bytes();
}

std::vector<uint8_t> SampleBytes()
{
    TTestDocument d;
    d.FillSample();
    return SavedBytes(d);
}

QString SampleFile()
{
    return cvtest::testDataDir() + QStringLiteral("/model/sample_document_v1.cvdoc");
}

} // namespace

TEST(DocumentEnvelope, SignatureBytesAreFixed)
{
    cv::TCheckSignature sig;
    sig.ToolSignature = cv::MakeToolSignature(2);
    sig.Version = 3;
    sig.Kind = 10;
    sig.ListTypeSignature = "AB";
    cv::TMemoryStream m;
    ASSERT_TRUE(sig.SaveToStream(m));
    LEBytes want;
    want.u8('C').u8('V').u8('S').u8('F').u32(0x00070002).u32(3).u8(10).u32(0).u8('A').u8('B').zeros(38);
    EXPECT_EQ(m.Bytes(), want.b);
    EXPECT_EQ(m.Size(), cv::TCheckSignature::kSize);

    cv::TCheckSignature back;
    m.SetPosition(0);
    EXPECT_EQ(back.ReadFromStream(m, 3), cv::TSignatureCheck::OK);
    EXPECT_EQ(back.WritingTool(), 2);
    EXPECT_EQ(back.ListTypeSignature, QByteArray("AB"));
    m.SetPosition(0);
    EXPECT_EQ(back.ReadFromStream(m, 2), cv::TSignatureCheck::NewerVersion);
}

TEST(DocumentEnvelope, SignatureRefusesWhatIsNotASignature)
{
    const auto check = [](std::vector<uint8_t> bytes) {
        cv::TMemoryStream m(std::move(bytes));
        cv::TCheckSignature s;
        return s.ReadFromStream(m, 1);
    };
    cv::TCheckSignature sig;
    sig.SetForSaving(0, 1, cv::ListTypeSignature(0));
    cv::TMemoryStream m;
    sig.SaveToStream(m);
    const auto good = m.Bytes();
    EXPECT_EQ(check(good), cv::TSignatureCheck::OK);
    EXPECT_EQ(check({good.begin(), good.begin() + 56}), cv::TSignatureCheck::TooShort);
    auto b = good;
    b[0] = 'X';
    EXPECT_EQ(check(b), cv::TSignatureCheck::NotOurs);
    b = good;
    b[6] = 8; // generation 8
    EXPECT_EQ(check(b), cv::TSignatureCheck::NewerFormat);
    b = good;
    b[13] = 1; // spare byte
    EXPECT_EQ(check(b), cv::TSignatureCheck::Damaged);
    b = good;
    b[56] = 'x'; // signature text not zero padded after its end
    b[17 + 30] = 0;
    EXPECT_EQ(check(b), cv::TSignatureCheck::Damaged);
    b = good;
    b[8] = 0; // version 0
    EXPECT_EQ(check(b), cv::TSignatureCheck::Damaged);
}

TEST(DocumentEnvelope, BaseBlockBytesAreFixed)
{
    cv::TCorvantisholder d(cv::TTextSettings::Defaults(), 1, nullptr, nullptr, false, true);
    d.MainFile = {QStringLiteral("f"), 1, 7, 1};
    d.SuggestedFilename = QStringLiteral("ab");
    d.dud_compute_files = QStringList{QStringLiteral("x")};
    d.plot_settings = {true, 2, 3};
    d.fTotalFilesToProcess = 4;
    d.StoreClientSize(10, 20, 96);
    const auto bytes = SavedBytes(d);

    LEBytes block;
    block.u16(1)
        .u8(1).u32(7).u8(1)
        .str(QStringLiteral("ab")).str({}).str({}).str({})
        .u8(1).u32(1252).u8(0x39).str({})
        .u8(1).u32(2).u32(3).u32(4)
        .u32(1).str(QStringLiteral("x"))
        .u32(10).u32(20).u32(96);
    LEBytes want;
    want.u8('C').u8('V').u8('S').u8('F').u32(cv::CurrentToolSignature()).u32(1).u8(1).u32(0);
    const QByteArray sig = cv::ListTypeSignatureBytes(1);
    for (char c : sig)
        want.u8(uint8_t(c));
    want.u32(uint32_t(block.b.size()));
    want.b.insert(want.b.end(), block.b.begin(), block.b.end());
    EXPECT_EQ(bytes, want.b);
}

TEST(DocumentEnvelope, SaveReadSaveGivesTheSameBytes)
{
    const auto bytes = SampleBytes();
    TTestDocument r;
    cv::TMemoryStream m(bytes);
    ASSERT_TRUE(r.ReadWholeFromStream(m)) << r.LastReadError().toStdString();
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(r.words.Words(), QStringList({"the", "cat"}));
    EXPECT_EQ(r.words.W(1).JoinedCount(), 1);
    EXPECT_EQ(r.stats.Count(), 2);
    EXPECT_EQ(r.stats.Row(1)->Data().MeanWordLength, 4.25);
    EXPECT_EQ(r.kw[cv::TCorvantisholder::kKWSettingsSize - 1], 9);
    EXPECT_EQ(r.fColours[191], 0x22);
    EXPECT_EQ(r.fNotes.value(1), QStringLiteral("Made\ttoday"));
    EXPECT_EQ(r.SuggestedFilename, QStringLiteral("sample"));
    EXPECT_EQ(r.MainFile.Count, 2);
    EXPECT_EQ(r.plot_settings.contextLineLimit, 500);
    EXPECT_EQ(r.ftextsettings.LanguageName(), QStringLiteral("English"));
    EXPECT_EQ(SavedBytes(r), bytes);
}

// Writes the sample kept under tests/data when CV_WRITE_MODEL_SAMPLES is set
// (only when the format changes on purpose, with a new file name).
TEST(DocumentEnvelope, KeptSampleStillReads)
{
    if (qEnvironmentVariableIsSet("CV_WRITE_MODEL_SAMPLES")) {
        QDir().mkpath(QFileInfo(SampleFile()).absolutePath());
        cv::TMemoryStream m(SampleBytes());
        ASSERT_TRUE(m.SaveToFile(SampleFile()));
    }
    TTestDocument r;
    ASSERT_EQ(r.ReadWholeFromFile(SampleFile(), 0) & 0xFF, 1) << r.LastReadError().toStdString();
    EXPECT_EQ(r.words.Words(), QStringList({"the", "cat"}));
    EXPECT_EQ(r.words.W(1).JoinedEntry(0)->MainWordOnly(), QStringLiteral("Straße"));
    EXPECT_EQ(r.stats.Overall().Data().TokensUsed, 17);
    EXPECT_EQ(r.dud_compute_files, QStringList{QStringLiteral("/corpus/broken.txt")});
    EXPECT_EQ(r.OpenedFilename, SampleFile());
    // The kept file is what this program writes today.
    const QByteArray kept = cvtest::readAll(SampleFile());
    EXPECT_EQ(cvtest::toBytes(SavedBytes(r)), kept);
}

TEST(DocumentEnvelope, EveryTruncationIsRefusedWithAReason)
{
    const auto bytes = SampleBytes();
    for (size_t n = 0; n < bytes.size(); ++n) {
        TTestDocument r;
        cv::TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
        EXPECT_FALSE(r.ReadWholeFromStream(m)) << "cut at " << n;
        if (n < size_t(cv::TCheckSignature::kSize)) {
            EXPECT_FALSE(r.LastReadError().isEmpty()) << "cut at " << n;
        }
    }
}

TEST(DocumentEnvelope, DamagedBytesNeverCrash)
{
    const auto bytes = SampleBytes();
    int refused = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = bytes;
        b[i] ^= 0xA5;
        TTestDocument r;
        cv::TMemoryStream m(std::move(b));
        refused += r.ReadWholeFromStream(m) ? 0 : 1;
    }
    EXPECT_GT(refused, 0);
}

TEST(DocumentFile, ForeignTruncatedNewerAndWrongKindFilesGetAClearMessage)
{
    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    auto bytes = SampleBytes();

    const QString foreign = dir.write(QStringLiteral("notes.lst"), "just some text, long enough to pass 57 bytes of a signature");
    TTestDocument a;
    EXPECT_EQ(a.ReadWholeFromFile(foreign, 0), uint16_t(cv::kReadNotOurs) << 8);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].routine, QStringLiteral("FailedToRead"));
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(foreign));
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("not a saved result")));

    const QString cut = dir.write(QStringLiteral("cut.lst"), cvtest::toBytes({bytes.begin(), bytes.begin() + 300}));
    TTestDocument b;
    EXPECT_EQ(b.ReadWholeFromFile(cut, 0), uint16_t(cv::kReadDamaged) << 8);
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("cut short")));

    auto newer = bytes;
    newer[8] = 99;
    TTestDocument c;
    EXPECT_EQ(c.ReadWholeFromFile(dir.write(QStringLiteral("newer.lst"), cvtest::toBytes(newer)), 0),
              uint16_t(cv::kReadNewer) << 8);

    auto kind = bytes;
    kind[12] = 1;
    TTestDocument d;
    EXPECT_EQ(d.ReadWholeFromFile(dir.write(QStringLiteral("kind.lst"), cvtest::toBytes(kind)), 0),
              uint16_t(cv::kReadWrongKind) << 8);
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("not a word list")));

    TTestDocument e;
    EXPECT_EQ(e.ReadWholeFromFile(dir.file(QStringLiteral("missing.lst")), 0), uint16_t(cv::kReadCannotOpen) << 8);
    EXPECT_TRUE(e.OpenedFilename.isEmpty());
}

// A file larger than the memory left is not read, and the message says why
// (the program goes on).
TEST(DocumentFile, AFileThereIsNoMemoryToHoldIsNotReadAndTheMessageSaysWhy)
{
    cvtest::TempDir dir;
    const QString big = dir.file(QStringLiteral("big.lst"));
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(64 << 20));
    }
    int result = -1;
    const QString text = cvtest::runInChild(
        [&] {
            cv::TScriptedDialogs dialogs;
            cv::TDialogServiceGuard guard(&dialogs);
            cvtest::limitAddressSpace(16 << 20);
            TTestDocument doc;
            const uint16_t read = doc.ReadWholeFromFile(big, 0);
            return QStringLiteral("%1 %2").arg(read >> 8).arg(dialogs.Requests().empty() ? QString() : dialogs.Requests()[0].text);
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(text.startsWith(QStringLiteral("%1 ").arg(int(cv::kReadCannotOpen)))) << text.toStdString();
    EXPECT_TRUE(text.contains(big)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("not enough memory"))) << text.toStdString();
}

TEST(DocumentFile, MessagesOffGoIntoTheFailureMessage)
{
    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    cv::Global_run_without_error_messages = true;
    cv::Global_FailureMessage.clear();
    TTestDocument a;
    a.ReadWholeFromFile(dir.write(QStringLiteral("x.lst"), QByteArray(100, 'x')), 0);
    cv::Global_run_without_error_messages = false;
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_TRUE(cv::Global_FailureMessage.contains(QStringLiteral("x.lst")));
}

namespace {
// A document whose writing breaks off half-way.
class TBrokenWriter final : public cv::TCorvantisholder {
public:
    TBrokenWriter() : TCorvantisholder(cv::TTextSettings::Defaults(), 0, nullptr, nullptr, false, false) {}
    bool SaveToStream(cv::TStream& s) override { return TCorvantisholder::SaveToStream(s) && s.WriteU32(1) && false; }
};
} // namespace

TEST(DocumentFile, SaveToFileKeepsTheOldFileWhenWritingFails)
{
    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    TTestDocument d;
    d.FillSample();
    d.words.SetMarcacao(0, 1, false);
    const QString name = dir.file(QStringLiteral("doc.lst"));
    EXPECT_NE(d.ChangedListTypes(), 0u);
    ASSERT_TRUE(d.SaveToFile(name));
    EXPECT_EQ(d.ChangedListTypes(), 0u) << "saving clears the change marks";
    EXPECT_EQ(d.MainFile.FileName, name);
    const QByteArray before = cvtest::readAll(name);

    TBrokenWriter broken;
    EXPECT_FALSE(broken.SaveToFile(name));
    EXPECT_EQ(dialogs.Routines().back(), QStringLiteral("FailedToSave"));
    EXPECT_TRUE(dialogs.Requests().back().text.contains(name));
    EXPECT_EQ(cvtest::readAll(name), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("doc.lst")}) << "no temporary file left";

    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    EXPECT_FALSE(d.SaveToFile(dir.file(QStringLiteral("sub")))) << "a folder is not replaced by a file";
}

TEST(DocumentBlocks, KeyWordSettingsOfAnotherSizeReadBack)
{
    std::array<uint8_t, cv::TCorvantisholder::kKWSettingsSize> rec{};
    // An older, shorter record: zero-filled after its end.
    cv::TMemoryStream shorter;
    shorter.WriteU32(4);
    shorter.WriteU32(0x04030201);
    shorter.WriteU8(0xEE); // the next block
    shorter.SetPosition(0);
    rec.fill(0xFF);
    ASSERT_TRUE(cv::TCorvantisholder::KWSettingsRead(shorter, rec));
    EXPECT_EQ(rec[0], 1);
    EXPECT_EQ(rec[3], 4);
    EXPECT_EQ(rec[4], 0);
    uint8_t next = 0;
    ASSERT_TRUE(shorter.ReadU8(next));
    EXPECT_EQ(next, 0xEE);
    // A longer record: cut, and the stream goes on after it.
    cv::TMemoryStream longer;
    longer.WriteU32(3000);
    longer.WriteZeros(2663);
    longer.WriteU8(0x5A);
    longer.WriteZeros(3000 - 2664);
    longer.WriteU8(0xEE);
    longer.SetPosition(0);
    ASSERT_TRUE(cv::TCorvantisholder::KWSettingsRead(longer, rec));
    EXPECT_EQ(rec[2663], 0x5A);
    ASSERT_TRUE(longer.ReadU8(next));
    EXPECT_EQ(next, 0xEE);
    // A size beyond the stream is refused.
    cv::TMemoryStream lying;
    lying.WriteU32(100000);
    lying.SetPosition(0);
    EXPECT_FALSE(cv::TCorvantisholder::KWSettingsRead(lying, rec));
}

TEST(DocumentSettings, TextSettingsLanguageAndLocales)
{
    TTestDocument d;
    EXPECT_EQ(d.ftextsettings.MaxTexts(), INT32_MAX) << "no limit is stored as the largest number";
    auto german = cv::TTextSettings::Defaults();
    german.SetLanguageId(0x0407);
    german.SetLanguageName(QStringLiteral("German"));
    german.SetCollationName(QStringLiteral("de_DE"));
    german.SetMinWordLength(3); // outside the language block: not taken
    d.TextSettings_Language(german.LanguageBlock());
    EXPECT_EQ(d.ftextsettings.LanguageName(), QStringLiteral("German"));
    EXPECT_EQ(d.ftextsettings.MinWordLength(), 1);
    EXPECT_EQ(d.words.LCID(), 0x0407u);
    EXPECT_EQ(d.stats.CollationName(), QStringLiteral("de_DE"));
}

TEST(DocumentSettings, NotesAndUpkeep)
{
    TTestDocument d;
    d.StartStandardNotes(0, 3, QStringLiteral("Word list"), QStringLiteral("based on 3 texts"));
    EXPECT_EQ(d.fNotes.value(0), QStringLiteral("Word list"));
    EXPECT_EQ(d.fNotes.value(1), QStringLiteral("based on 3 texts"));
    EXPECT_TRUE(d.fNotes.value(2).startsWith(QStringLiteral("Made\t")));
    EXPECT_EQ(d.fNotes.value(3), QStringLiteral("Batch item\t3"));
    EXPECT_TRUE(d.fNotes.contains(QStringLiteral("Language\tEnglish")));
    d.AddATimingNote();
    EXPECT_TRUE(d.fNotes.back().startsWith(QStringLiteral("Time taken\t0:00:")));

    int value = 0;
    bool present = true;
    d.TryToGetClientHeightOrWidth(192, true, value, present);
    EXPECT_FALSE(present);
    d.StoreClientSize(300, 500, 96);
    d.TryToGetClientHeightOrWidth(192, false, value, present);
    EXPECT_TRUE(present);
    EXPECT_EQ(value, 1000);

    d.UpdateAllFileHandledInfo(QStringLiteral("a.txt"), 1, false);
    d.UpdateAllFileHandledInfo(QStringLiteral("b.txt"), 1, false);
    EXPECT_FALSE(d.mixed_text_formats);
    d.UpdateAllFileHandledInfo(QStringLiteral("c.htm"), 4, false);
    EXPECT_TRUE(d.mixed_text_formats);
    d.UpdateAllFileHandledInfo(QStringLiteral("d.bin"), 0, true);
    EXPECT_EQ(d.dud_compute_files, QStringList{QStringLiteral("d.bin")});

    QString word = QStringLiteral("élan");
    EXPECT_EQ(cv::TCorvantisholder::Capitalised(word, true), 4);
    EXPECT_EQ(word, QStringLiteral("Élan"));

    d.stats.SetChangeMark(0x100);
    EXPECT_EQ(d.ChangedListTypes(), uint64_t(1) << cv::kListStatistics);
}

TEST(DocumentMerge, NotesDudsAndFileNamesAddUp)
{
    TTestDocument a, b;
    a.FillSample();
    b.FillSample();
    a.CVBaseFilenames(a.stats);
    b.CVBaseFilenames(b.stats);
    b.dud_compute_files << QStringLiteral("/corpus/other.txt");
    b.OpenedFilename = QStringLiteral("/b.lst");
    ASSERT_TRUE(a.MergeWith(b, true));
    EXPECT_TRUE(a.fNotes.contains(QStringLiteral("Word list")));
    EXPECT_TRUE(std::any_of(a.fNotes.begin(), a.fNotes.end(),
                            [](const QString& n) { return n.endsWith(QStringLiteral("Merged with /b.lst")); }));
    EXPECT_EQ(a.dud_compute_files.size(), 2);
    EXPECT_EQ(a.fCVBaseFilenames->Count(), 3);
    EXPECT_EQ(a.fCVBaseFilenames->Overall().Data().Texts, 2);
    EXPECT_DOUBLE_EQ(a.GetRelativeEntropyBasis(), 34);
}

TEST(DocumentZip, SavedIntoAZipEntryAndReadBack)
{
    cvtest::TempDir dir;
    TTestDocument d;
    d.FillSample();
    const QString zip = dir.file(QStringLiteral("results.zip"));
    ASSERT_TRUE(d.AddToZipFile(zip, QStringLiteral("one.lst")));
    ASSERT_TRUE(d.AddToZipFile(zip, QStringLiteral("two.lst")));
    cv::TZipArchive z;
    ASSERT_TRUE(z.OpenArchive(zip));
    EXPECT_EQ(z.FileCount(), 2);
    cv::TMemoryStream m;
    ASSERT_TRUE(z.ExtractToStream(QStringLiteral("two.lst"), m));
    TTestDocument r;
    EXPECT_TRUE(r.ReadWholeFromStream(m));
    EXPECT_EQ(r.words.Count(), 2);
}

TEST(DocumentBatch, SaveIntoTheBatchFolderThenZipKeepingABackup)
{
    cvtest::TempDir dir;
    cv::TBatchProceduresRec& b = cv::Global_BatchProcedures;
    b.ResetForNewBatch();
    b.BatchRootFolder = dir.file(QStringLiteral("batch"));
    int progressed = 0, added = 0;
    b.OnProgressing = [&](int, int) { ++progressed; };
    b.OnAddingToZip = [&](const QString&) { ++added; };
    std::vector<std::pair<int, int>> zipping;
    b.OnZippingASection = [&](int a, int n, bool z) {
        if (z)
            zipping.emplace_back(a, n);
    };
    TTestDocument d;
    d.FillSample();
    const QDateTime when(QDate(2020, 5, 17), QTime(10, 30));
    b.Preserve_FileDates = true;
    ASSERT_TRUE(d.BatchSaveToTempDir(QStringLiteral("/a/text one.txt"), 1, 2, when));
    ASSERT_TRUE(d.BatchSaveToTempDir(QStringLiteral("/b/text one.txt"), 2, 2, when));
    EXPECT_EQ(b.BatchTempFileNames.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(b.BatchRootFolder + QStringLiteral("/text one.lst")));
    EXPECT_TRUE(QFileInfo::exists(b.BatchRootFolder + QStringLiteral("/text one_2.lst")))
        << "a second text of the same name does not overwrite the first result";
    EXPECT_EQ(QFileInfo(b.BatchTempFileNames[0]).lastModified(), when);
    EXPECT_EQ(b.files_saved, 2);
    EXPECT_EQ(progressed, 2);

    QString zipName;
    cv::BatchZipName(zipName, QStringLiteral("Files"));
    EXPECT_EQ(zipName, b.BatchRootFolder + QStringLiteral("/Files.zip"));
    EXPECT_EQ(b.ZipShortFilename, QStringLiteral("Files.zip"));
    ASSERT_TRUE(d.BatchZipFromTempDir(QStringLiteral(".lst"), zipName, 2));
    EXPECT_EQ(added, 2);
    EXPECT_EQ(zipping, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}})) << "each file going into the zip is told";
    EXPECT_EQ(d.last_batch_zip_Fullname, zipName);
    const QByteArray first = cvtest::readAll(zipName);

    b.Delete_Results_After_Zipping = true;
    ASSERT_TRUE(d.BatchZipFromTempDir(QStringLiteral("lst"), zipName, 2));
    EXPECT_EQ(cvtest::readAll(zipName + QStringLiteral(".bak")), first);
    EXPECT_FALSE(QFileInfo::exists(b.BatchTempFileNames[0]));
    cv::TZipArchive z;
    ASSERT_TRUE(z.OpenArchive(zipName));
    EXPECT_EQ(z.FileCount(), 2) << "adding the same results again replaces them";
    b = cv::TBatchProceduresRec();
}

TEST(DocumentBatch, NamesOfZippedTextsAreChecked)
{
    cvtest::TempDir dir;
    const QString zip = dir.file(QStringLiteral("texts.zip"));
    cv::TZipArchive z;
    ASSERT_TRUE(z.CreateArchive(zip));
    ASSERT_TRUE(z.AddFromBuffer(QStringLiteral("a.txt"), std::vector<uint8_t>{'h', 'i'}));
    z.CloseArchive();
    TTestDocument d;
    QStringList names{QStringLiteral("plain.txt"), zip + QStringLiteral("|a.txt"), zip + QStringLiteral("|gone.txt"),
                      dir.file(QStringLiteral("none.zip|b.txt"))};
    EXPECT_FALSE(d.CheckAllFnamesForZippedEntries(names));
    EXPECT_EQ(names, QStringList({QStringLiteral("plain.txt"), zip + QStringLiteral("|a.txt")}));
    EXPECT_EQ(d.dud_compute_files.size(), 2);
}

TEST(DocumentTexts, NamesOfTheTextsAreReplacedInFolderAndFileName)
{
    TTestDocument d;
    d.FillSample();
    cv::TStatsRec second;
    second.FileName = QStringLiteral("Two.TXT");
    second.Folder = QStringLiteral("/corpus/old");
    d.stats.AddText(second);
    d.stats.ClearChangeMark();

    // Nothing matches: nothing changes or is marked.
    EXPECT_EQ(d.UpdateSearchReplaceFilenames(QStringLiteral("/nowhere"), QStringLiteral("/x"), false), 0);
    EXPECT_EQ(d.stats.ChangeMark(), 0);
    EXPECT_EQ(d.UpdateSearchReplaceFilenames(QString(), QStringLiteral("/x"), false), 0);

    // The folder of every text moves; the overall row is not a text.
    const QString overall = d.stats.Row(0)->Data().FileName;
    EXPECT_EQ(d.UpdateSearchReplaceFilenames(QStringLiteral("/corpus"), QStringLiteral("/texts/new"), true), 2);
    EXPECT_EQ(d.stats.Row(0)->Data().FileName, overall);
    EXPECT_EQ(d.stats.Row(1)->DataFormatted().FileName, QStringLiteral("/texts/new/one.txt"));
    EXPECT_EQ(d.stats.Row(2)->Data().Folder, QStringLiteral("/texts/new/old"));
    EXPECT_EQ(d.stats.Row(2)->Data().FileName, QStringLiteral("Two.TXT"));
    EXPECT_NE(d.stats.ChangeMark(), 0);

    // Case: matched only when asked to ignore it.
    EXPECT_EQ(d.UpdateSearchReplaceFilenames(QStringLiteral(".txt"), QStringLiteral(".text"), true), 1);
    EXPECT_EQ(d.stats.Row(2)->Data().FileName, QStringLiteral("Two.TXT"));
    EXPECT_EQ(d.UpdateSearchReplaceFilenames(QStringLiteral("two.txt"), QStringLiteral("three.txt"), false), 1);
    EXPECT_EQ(d.stats.Row(2)->DataFormatted().FileName, QStringLiteral("/texts/new/old/three.txt"));
}
