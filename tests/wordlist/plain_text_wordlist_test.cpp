#include "wordlist/plain_text_wordlist.h"

#include <gtest/gtest.h>

#include <functional>

#include <QFileInfo>
#include <QStringEncoder>

#include <map>

#include "suite/cv_globals.h"
#include "suite/dialogs.h"
#include "suite/lemmatiser.h"
#include "support/failing_allocations.h"
#include "support/test_support.h"
#include "wordlist/wordlist_holder.h"

using cv::TWordListPlainTextStringlist;

namespace {

constexpr uint32_t kEnglish = 0x0809;
constexpr uint32_t kRussian = 0x0419;

// The lines a list keeps after the word-list test, as "text" lines.
QStringList filtered(const QStringList& lines, int32_t* total = nullptr)
{
    TWordListPlainTextStringlist list(true, QStringLiteral("test.txt"));
    for (const QString& l : lines)
        list.Add(l);
    list.FilterOutUnwantedStrings();
    if (total)
        *total = list.total;
    return list.Lines();
}

class PlainTextFile : public ::testing::Test {
protected:
    void TearDown() override
    {
        cv::TLemmatiser::Instance().ClearAll();
        cv::global_panic_state = cv::kPanicRun;
    }
    std::unique_ptr<TWordListPlainTextStringlist> load(const QString& file, uint32_t lcid = kEnglish)
    {
        auto list = cv::LoadPlainTextWordListFile(file, lcid, 0, cv::kLoadLines);
        EXPECT_TRUE(list);
        return list;
    }
    // The road of a comparison with a plain-text list, and of the import
    // job, for the shortage tests: read the list, make its word list, save it.
    std::function<bool(QString&)> ImportRun()
    {
        QByteArray text = "\\TOTAL\\\t90000\n";
        for (int i = 0; i < 300; ++i)
            text += "word" + QByteArray::number(i) + '\t' + QByteArray::number(i + 1) + '\n';
        const QString src = dir.write(QStringLiteral("many.txt"), text);
        return [this, src](QString& message) {
            cv::Global_run_without_error_messages = true;
            cv::Global_FailureMessage.clear();
            bool shortOfMemory = false;
            cvtest::ShortageFromHere();
            auto list = cv::ImportPlainTextWordList(src, kEnglish, 0, 0, 1, &shortOfMemory);
            auto doc = list ? cv::MakeWordlistFromPlainText(*list, QStringLiteral("notes"), &shortOfMemory) : nullptr;
            QString saved;
            const bool savedOk = list && cv::SavePlainTextWordList(*list, dir.path(), QString(), &saved);
            cvtest::ShortageToHere();
            // (A shortage told as a list without words would be the last message.)
            message = cv::Global_FailureMessage;
            return !shortOfMemory && doc && doc->WordlistOfType(cv::kListWordList)->Count() == 300 && savedOk;
        };
    }
    cvtest::TempDir dir;
};

} // namespace

TEST(PlainTextLines, WordLinesNeedATabAndADigitAfterIt)
{
    const QStringList in = {
        QStringLiteral("the\t1,234"),        // digits 1234
        QStringLiteral("of\tn/a"),           // no digit: out
        QStringLiteral("and 12"),            // no TAB: out
        QStringLiteral(""),                  // empty: out
        QStringLiteral("to\t12 (3%)"),       // digits 123: in, kept whole
        QStringLiteral("\t7"),               // empty word: in
        QStringLiteral("a\tx\t9"),           // digit in a later column: in
        QStringLiteral("bin\x01\t5"),        // control character: a binary file's line
    };
    EXPECT_EQ(filtered(in), (QStringList{QStringLiteral("the\t1,234"), QStringLiteral("to\t12 (3%)"),
                                         QStringLiteral("\t7"), QStringLiteral("a\tx\t9")}));
}

TEST(PlainTextLines, TotalLineCountsOnlyAmongTheFirstTenAccepted)
{
    int32_t total = -1;
    EXPECT_TRUE(filtered({QStringLiteral("\\TOTAL\\\t5000"), QStringLiteral("a\t1")}, &total)
                == QStringList{QStringLiteral("a\t1")});
    EXPECT_EQ(total, 5000);

    // After ten accepted word lines it is an ordinary word.
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten << QStringLiteral("w%1\t%1").arg(i + 1);
    QStringList lines = ten;
    lines << QStringLiteral("\\TOTAL\\\t5000");
    EXPECT_EQ(filtered(lines, &total).size(), 11);
    EXPECT_EQ(total, 0);

    // Blank lines and lines without a TAB do not count towards the ten.
    lines = ten.mid(0, 9);
    lines << QString() << QStringLiteral("no tab here") << QStringLiteral("\\TOTAL\\\t77");
    EXPECT_EQ(filtered(lines, &total).size(), 9);
    EXPECT_EQ(total, 77);

    // The mark is case-sensitive.
    EXPECT_EQ(filtered({QStringLiteral("\\total\\\t5000")}, &total).size(), 1);
    EXPECT_EQ(total, 0);

    // A later total line among the first ten replaces an earlier one; one
    // too big for 32 bits gives 0.
    filtered({QStringLiteral("\\TOTAL\\\t10"), QStringLiteral("\\TOTAL\\\t20")}, &total);
    EXPECT_EQ(total, 20);
    filtered({QStringLiteral("\\TOTAL\\\t99999999999")}, &total);
    EXPECT_EQ(total, 0);
}

TEST(PlainTextLines, ColumnsBecomeWordAndFrequency)
{
    TWordListPlainTextStringlist list(true, QString());
    for (const char* l : {"the\t1,234", "cat\t12.5", "dog\tx", " spaced \t 40 ", "three\t5\t0.01%", "neg\t-4", "zero\t0",
                          "huge\t99999999999", "\t8"})
        list.Add(QString::fromLatin1(l));
    list.Add(QString(cv::kMaxPlainTextWordLength + 1, u'w') + QStringLiteral("\t3"));
    list.Add(QString(cv::kMaxPlainTextWordLength, u'w') + QStringLiteral("\t3"));
    ASSERT_TRUE(cv::SplitPlainTextColumns(list, 0, 1));

    const std::vector<std::pair<QString, int32_t>> expected = {
        {QStringLiteral("the"), 1234}, {QStringLiteral("cat"), 125}, {QString(), 0}, {QStringLiteral("spaced"), 40},
        {QStringLiteral("three"), 5},  {QString(), 0},                {QString(), 0}, {QString(), 0},
        {QString(), 0},                {QString(), 0},                {QString(cv::kMaxPlainTextWordLength, u'w'), 3}};
    ASSERT_EQ(list.Count(), int(expected.size()));
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list.Strings(i), expected[size_t(i)].first) << i;
        EXPECT_EQ(list.Objects(i), expected[size_t(i)].second) << i;
    }

    // Other columns; the same column twice, or one below 0, changes nothing.
    TWordListPlainTextStringlist other(true, QString());
    other.Add(QStringLiteral("1\t17\tword"));
    EXPECT_FALSE(cv::SplitPlainTextColumns(other, 1, 1));
    EXPECT_FALSE(cv::SplitPlainTextColumns(other, -1, 1));
    EXPECT_EQ(other.Strings(0), QStringLiteral("1\t17\tword"));
    ASSERT_TRUE(cv::SplitPlainTextColumns(other, 2, 1));
    EXPECT_EQ(other.Strings(0), QStringLiteral("word"));
    EXPECT_EQ(other.Objects(0), 17);
}

TEST(PlainTextLines, CloudDataInListOrder)
{
    TWordListPlainTextStringlist list(true, QString());
    list.Add(QStringLiteral("alpha"), 9);
    list.Add(QStringLiteral("beta"), 4);
    cv::TWordFreqAndSourceNum d;
    list.GetNextCloudDatum(d);
    list.GetNextCloudDatum(d);
    EXPECT_EQ(d.word, QStringLiteral("beta"));
    EXPECT_EQ(d.frequency, 4);
    EXPECT_EQ(d.number, 2);
    list.GetNextCloudDatum(d); // past the end: zeroed
    EXPECT_TRUE(d.word.isEmpty() && d.frequency == 0 && d.number == 0);
}

TEST_F(PlainTextFile, MissingAndEmptyFilesGiveEmptyLists)
{
    auto list = load(dir.file(QStringLiteral("absent.txt")));
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->total, 0);
    EXPECT_EQ(list->Source_Filename, dir.file(QStringLiteral("absent.txt")));
    EXPECT_TRUE(list->fFilter_out_empty_lines);

    list = load(dir.write(QStringLiteral("empty.txt"), QByteArray()));
    EXPECT_EQ(list->Count(), 0);
}

TEST_F(PlainTextFile, ReadsLinesInFileOrderDroppingEmptyOnes)
{
    // The user's match list, loaded before: the line load must leave it in force.
    auto& lem = cv::TLemmatiser::Instance();
    ASSERT_NE(lem.LoadedOne(0, cv::TLemmatiserListKind::Match, dir.write(QStringLiteral("match.txt"), "zebra\n"),
                            cv::TListSettingsRec::Defaults(), {}, {}, kEnglish),
              0);
    const QString file = dir.write(QStringLiteral("list.txt"), "\\TOTAL\\\t300\r\n\r\nthe\t10\r\ncat\t3\rdog\t2\n");
    auto list = load(file);
    EXPECT_EQ(list->Lines(), (QStringList{QStringLiteral("\\TOTAL\\\t300"), QStringLiteral("the\t10"),
                                          QStringLiteral("cat\t3"), QStringLiteral("dog\t2")}));
    EXPECT_EQ(list->total, 0); // the reader does not filter
    list->FilterOutUnwantedStrings();
    EXPECT_EQ(list->total, 300);
    EXPECT_EQ(list->Count(), 3);
    EXPECT_TRUE(lem.FoundInTheList(0, cv::TLemmatiserListKind::Match, QStringLiteral("zebra")));
    EXPECT_FALSE(lem.FoundInTheList(0, cv::TLemmatiserListKind::Match, QStringLiteral("cat")));
}

TEST_F(PlainTextFile, Utf16AndTheLanguagesCodePageGiveTheSameLines)
{
    const QString text = QString::fromUtf8("дом\t12\nкот\t3\n");
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QString a = dir.write(QStringLiteral("utf16.txt"), utf16.encode(text));
    // Windows-1251 bytes of the same text.
    const QByteArray cp1251("\xE4\xEE\xEC\t12\n\xEA\xEE\xF2\t3\n");
    const QString b = dir.write(QStringLiteral("cp1251.txt"), cp1251);
    auto la = load(a, kRussian);
    auto lb = load(b, kRussian);
    EXPECT_EQ(la->Lines(), (QStringList{QString::fromUtf8("дом\t12"), QString::fromUtf8("кот\t3")}));
    EXPECT_EQ(la->Lines(), lb->Lines());
}

TEST_F(PlainTextFile, DamagedFilesYieldNoWords)
{
    // A binary file: bytes of every value, some TABs and digits among them.
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 37 + 11) & 0xFF));
    auto list = load(dir.write(QStringLiteral("binary.txt"), binary));
    list->FilterOutUnwantedStrings();
    ASSERT_TRUE(cv::SplitPlainTextColumns(*list, 0, 1));
    for (int i = 0; i < list->Count(); ++i)
        for (QChar c : list->Strings(i))
            EXPECT_GE(c.unicode(), 0x20) << "a control character got through";

    // One huge line: a "word" of 3 MB is no word.
    QByteArray huge(3 << 20, 'a');
    huge.append("\t12\nreal\t4\n");
    list = load(dir.write(QStringLiteral("huge.txt"), huge));
    list->FilterOutUnwantedStrings();
    ASSERT_TRUE(cv::SplitPlainTextColumns(*list, 0, 1));
    ASSERT_EQ(list->Count(), 2);
    EXPECT_TRUE(list->Strings(0).isEmpty());
    EXPECT_EQ(list->Strings(1), QStringLiteral("real"));
    EXPECT_EQ(list->Objects(1), 4);
}

TEST_F(PlainTextFile, ACancelledLoadGivesAnEmptyList)
{
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text.append(QByteArray("w") + QByteArray::number(i) + "\t1\n");
    const QString file = dir.write(QStringLiteral("long.txt"), text);
    cv::global_panic_state = cv::kPanicStopNow;
    auto list = load(file);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->total, 0);
    cv::global_panic_state = cv::kPanicRun;
    EXPECT_EQ(load(file)->Count(), 2000);
}

TEST_F(PlainTextFile, ImportedListBecomesASavedWordList)
{
    const QString src = dir.write(QStringLiteral("my list.txt"),
                                  "\\TOTAL\\\t1000\nthe\t1,234\t12.3%\ncat\t56\nnoise line\ndog\tn/a\nThe\t6\ncat\t4\n");
    auto list = cv::ImportPlainTextWordList(src, kEnglish, 0, 0, 1);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->total, 1000);

    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    QString saved;
    ASSERT_TRUE(cv::SavePlainTextWordList(*list, dir.path(), QStringLiteral("from my own list"), &saved));
    EXPECT_EQ(saved, dir.file(QStringLiteral("my list.lst")));
    EXPECT_TRUE(dialogs.Requests().empty());

    cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(doc.ReadWholeFromFile(saved));
    const cv::TCVWordList* words = doc.WordlistOfType(cv::kListWordList);
    ASSERT_TRUE(words);
    // Equal words add up ("cat" 56 + 4); the case of "The" is the file's.
    std::map<QString, int64_t> got;
    for (int i = 0; i < words->Count(); ++i)
        got[words->Entry(i).fWord] = words->CorrectFreq(i);
    EXPECT_EQ(got, (std::map<QString, int64_t>{{"the", 1234}, {"cat", 60}, {"The", 6}}));
    // The file's total is below its words' sum (1,300): the sum stands.
    EXPECT_EQ(words->TotalTokens(), 1300);
    EXPECT_EQ(doc.SuggestedFilename, QStringLiteral("my list"));
    EXPECT_EQ(doc.fStats->Row(1)->Data().FileName, QStringLiteral("my list.txt"));
    EXPECT_EQ(doc.fStats->Overall().Data().Types, 3);
    EXPECT_TRUE(doc.fNotes.join(u'\n').contains(QStringLiteral("from my own list")));
}

TEST_F(PlainTextFile, NothingToImportIsReportedAndNothingSaved)
{
    EXPECT_FALSE(cv::ImportPlainTextWordList(dir.file(QStringLiteral("x.txt")), kEnglish, 0, 1, 1));
    EXPECT_FALSE(cv::ImportPlainTextWordList(dir.file(QStringLiteral("x.txt")), kEnglish, 0, -1, 1));

    const QString src = dir.write(QStringLiteral("words.txt"), "just\nwords\nno numbers\n");
    auto list = cv::ImportPlainTextWordList(src, kEnglish, 0, 0, 1);
    ASSERT_TRUE(list);
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    QString saved = QStringLiteral("stale");
    EXPECT_FALSE(cv::SavePlainTextWordList(*list, dir.path(), QString(), &saved));
    EXPECT_TRUE(saved.isEmpty());
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoWordListWordsFoundIn")});
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("words.lst"))));

    // A folder that cannot be written: the save is refused with a message.
    auto good = cv::ImportPlainTextWordList(dir.write(QStringLiteral("ok.txt"), "a\t1\n"), kEnglish, 0, 0, 1);
    dialogs.Clear();
    EXPECT_FALSE(cv::SavePlainTextWordList(*good, dir.file(QStringLiteral("no/such/folder")), QString(), &saved));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToSave")});
}

TEST_F(PlainTextFile, RunningShortOfMemoryStopsTheImportWithAMessage)
{
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemory(ImportRun()));
    cv::Global_run_without_error_messages = false;
}

// At every allocation: naming the file saved let a shortage out of the job.
TEST_F(PlainTextFile, RunningShortOfMemoryAtAnyAllocationStopsTheImportWithAMessage)
{
    cvtest::ExpectJobSurvivesShortages(cvtest::RunShortOfMemoryAtEveryAllocation(ImportRun()));
    cv::Global_run_without_error_messages = false;
}
