#include "concordance/concordance_list.h"

#include <gtest/gtest.h>

#include "concordance/concordance_lines.h"
#include "suite/cv_endian.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/dialogs.h"
#include "support/test_support.h"

#include <QFile>

#include <stdexcept>

using namespace cv;

namespace {

std::vector<uint8_t> bytesOf(const TConcordanceEntry& e)
{
    TMemoryStream m;
    EXPECT_TRUE(e.SaveToStream(m));
    return m.Bytes();
}

int32_t i32At(const std::vector<uint8_t>& b, std::size_t at) { return endian::loadLE<int32_t>(b.data() + at); }

// A line with something in every part.
TMarvexEntryRec richLine()
{
    TMarvexEntryRec r;
    r.pExtraBase.Assign();
    auto& b = r.base;
    b.byte_position = 4321;
    b.hit_characters = 3;
    b.word_num = 7;
    b.filename_num_original = 1;
    b.sw_number = 0;
    b.concordance_line_mean_word_rank = 1234;
    b.spare_percent_of_file = 12;
    b.has_percent = true;
    b.tag_context_sort_Ptrpos = 9;
    b.midpoint = 20;
    for (int i = 0; i < kFixedPositions; ++i)
        b.fixed_sort_positions[std::size_t(i)] = TSortInfoRec{int16_t(-5 + 4 * i), 3, uint8_t(i == 7 ? 2 : 0), uint8_t(i == 4)};
    b.fixed_sort_positions[5] = TSortInfoRec{20, 3, 0, 1};
    b.tag_context_distance_from_SW = 11;
    b.sw_starts = 20;
    b.sw_finishes = 23;
    b.merge_num = 2;
    b.conc_line_chars = 41;
    b.percent_of_file = 12.5f;
    b.byte_size_of_file = 100000;
    b.tag_number_1_based = 1;
    b.spare[3] = 0x77;
    b.textfile_date = 45000.25;
    b.extras.SetRecordVersion(1);
    b.extras.SetWordNumber(7);
    b.extras.SetSentenceNumber(2);
    b.extras.SetSentenceEndWord(9);
    r.pExtraBase.Edit().sentinel = 3;
    r.pExtraBase.Edit().tag_sort_numbers_1Based[49] = 1;
    r.pExtraBase.Edit().tag_sort_numbers_1Based[50] = 1;
    r.pExtraBase.Edit().spareBools[7] = 1;
    r.conc_line = QStringLiteral("the big <b>old cat</b> sat on the mat.");
    r.tag_context = QStringLiteral("<b>");
    r.other_context_words.Add(TSortInfoRec{-2, 3, 0, 0});
    r.tag_positions_in_line.EditExtrainfo().centre_sw_position = 20;
    r.tag_positions_in_line.EditExtrainfo().tag_sort_numbers_1Based[5] = 1;
    r.tag_positions_in_line.Add(TTagPositionRec{3, 8, 0xFF, 0xFFFF00, 1});
    r.tag_positions_in_line.Add(TTagPositionRec{4, 23, 0xFF, 0xFFFF00, 2});
    r.tag_positions_in_line.Add(TTagPositionRec{0, 30, 0, 0, 3});
    r.other_left_collocs.Add(TSortInfoRec{-9, 2, 0, 0});
    r.other_right_collocs.Add(TSortInfoRec{44, 3, 0, 0});
    r.other_right_collocs.Add(TSortInfoRec{48, 2, 3, 0});
    return r;
}

TMarvexEntryRec plainLine()
{
    TMarvexEntryRec r;
    r.pExtraBase.Assign();
    r.base.word_num = 70;
    r.base.filename_num_original = 3;
    r.base.sw_number = 1;
    r.base.midpoint = 5;
    r.base.hit_characters = 4;
    r.base.fixed_sort_positions[5] = TSortInfoRec{5, -1, 0, 0};
    r.base.sw_contains_a_tag = false;
    r.conc_line = QStringLiteral("abcd <w>home</w> fgh");
    return r;
}

// The list stream of these lines as a list of `version` stores them: the
// current writer, with the extra block left out of each line below version 25.
QByteArray listBytes(int version, std::vector<TMarvexEntryRec> lines)
{
    TConcordanceList header(nullptr);
    header.SetVersionNumber(version);
    TMemoryStream m;
    EXPECT_TRUE(header.TCVBaseLemmaMatchCapableList::SaveToStream(m));
    std::vector<uint8_t> out = m.Bytes();
    endian::storeLE(out.data() + out.size() - 4, int32_t(lines.size()));
    TConcordanceList owner(nullptr);
    for (auto& rec : lines) {
        TConcordanceEntry e(&owner, std::move(rec));
        std::vector<uint8_t> b = bytesOf(e);
        if (version < 25)
            b.erase(b.begin() + TMarvexEntryRecBase::kSize,
                    b.begin() + TMarvexEntryRecBase::kSize + TMarvexEntryRecExtraBase::kSize);
        out.insert(out.end(), {0, 0, 0}); // entry flags, mark, match mark
        out.insert(out.end(), b.begin(), b.end());
    }
    for (int i = 0; i < 192; ++i)
        out.push_back(uint8_t(i));
    return cvtest::toBytes(out);
}

bool readList(TConcordanceList& list, const QByteArray& bytes)
{
    TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return list.ReadFromStream(m);
}

QString samplePath(const QString& name) { return cvtest::testDataDir() + QStringLiteral("/concordance/") + name; }

// Kept samples must stay what this writer makes; CV_WRITE_SAMPLES=1 renews them.
QByteArray sample(const QString& name, const QByteArray& made)
{
    if (qEnvironmentVariableIsSet("CV_WRITE_SAMPLES")) {
        QFile f(samplePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(made);
    }
    const QByteArray kept = cvtest::readAll(samplePath(name));
    EXPECT_EQ(kept, made) << name.toStdString();
    return kept;
}

} // namespace

TEST(ConcordanceEntry, StoredLayoutOfALine)
{
    TConcordanceList list(nullptr);
    TConcordanceEntry e(&list, richLine());
    const auto b = bytesOf(e);
    EXPECT_EQ(i32At(b, 0), 500);        // sentinel
    EXPECT_EQ(uint32_t(i32At(b, 4)), 4321u);
    EXPECT_EQ(i32At(b, 12), 7);         // word_num
    EXPECT_EQ(b[28], 12);
    EXPECT_EQ(b[29], 1);
    EXPECT_EQ(b[30], 2);                // ExtraMarvexEntryDatNum
    EXPECT_EQ(b[31], 9);
    EXPECT_EQ(endian::loadLE<int16_t>(b.data() + 32), 20); // midpoint
    EXPECT_EQ(endian::loadLE<int16_t>(b.data() + 34), -5); // L5 start
    EXPECT_EQ(b[34 + 6 * 7 + 4], 2);                       // barrier of R2
    EXPECT_EQ(endian::loadLE<int16_t>(b.data() + 34 + 30), 20); // the hit
    EXPECT_EQ(i32At(b, 100), 11);
    EXPECT_EQ(i32At(b, 112), 2);
    EXPECT_EQ(i32At(b, 116), 41);
    EXPECT_EQ(i32At(b, 120), 0);        // the pointer slot
    EXPECT_EQ(endian::loadLE<float>(b.data() + 124), 12.5f);
    EXPECT_EQ(endian::loadLE<int64_t>(b.data() + 128), 100000);
    EXPECT_EQ(i32At(b, 136), 1);
    EXPECT_EQ(b[143], 0x77);
    EXPECT_EQ(endian::loadLE<double>(b.data() + 152), 45000.25);
    EXPECT_EQ(i32At(b, 160), 1);        // search statistics, copied whole
    EXPECT_EQ(i32At(b, 160 + 8), 2);
    // Extra block.
    EXPECT_EQ(i32At(b, 224), 3);
    EXPECT_EQ(endian::loadLE<int16_t>(b.data() + 224 + 4 + 2 * 49), 1);
    EXPECT_EQ(b[224 + 239], 1);
    // Line text and tag context in the string-stream form.
    std::size_t at = 464;
    EXPECT_EQ(i32At(b, at), 38);
    at += 4 + 2 * 38 + 2;
    EXPECT_EQ(i32At(b, at), 3);
    at += 4 + 2 * 3 + 2;
    EXPECT_EQ(i32At(b, at), 1); // context words
    at += 4 + 6;
    EXPECT_EQ(i32At(b, at), -3); // three tag positions: -3, the extra record, 48 bytes
    at += 4;
    EXPECT_EQ(i32At(b, at), 2);  // extra record version written as at least 2
    EXPECT_EQ(i32At(b, at + 4), 20);
    EXPECT_EQ(endian::loadLE<int16_t>(b.data() + at + 10 + 10), 1);
    at += 64;
    EXPECT_EQ(endian::loadLE<int16_t>(b.data() + at + 16 + 2), 23); // second tag position
    EXPECT_EQ(endian::loadLE<int16_t>(b.data() + at + 16 + 12), 2);
    at += 48;
    EXPECT_EQ(i32At(b, at), 1);  // left collocates
    at += 4 + 6;
    EXPECT_EQ(i32At(b, at), 2);  // right collocates
    at += 4 + 12;
    EXPECT_EQ(at, b.size());

    // No tag positions: count 0 and no extra record.
    TConcordanceEntry plain(&list, plainLine());
    const auto p = bytesOf(plain);
    const std::size_t tags = 464 + 4 + 2 * 20 + 2 + 4 + 2 + 4;
    EXPECT_EQ(i32At(p, tags), 0);
    EXPECT_EQ(p.size(), tags + 4 + 4 + 4);
}

TEST(ConcordanceEntry, ALineWithoutItsExtraBlockIsNotWritten)
{
    TConcordanceList list(nullptr);
    TMarvexEntryRec r = plainLine();
    r.pExtraBase.Clear();
    TConcordanceEntry e(&list, std::move(r));
    TMemoryStream m;
    try {
        e.SaveToStream(m);
        FAIL() << "a line without its extra block was written";
    } catch (const std::runtime_error& x) {
        EXPECT_STREQ(x.what(), "pExtraBase not assigned!");
    }
    // Only the fixed part went out.
    EXPECT_EQ(m.Size(), TMarvexEntryRecBase::kSize);

    // A line read back has its block, whatever the version it was stored with.
    TConcordanceEntry plain(&list, plainLine());
    TMemoryStream stored;
    ASSERT_TRUE(plain.SaveToStream(stored));
    stored.SetPosition(0);
    TConcordanceEntry back(&list);
    ASSERT_TRUE(back.ReadFromStream(stored));
    EXPECT_TRUE(back.fData.pExtraBase.Assigned());
    TMemoryStream again;
    EXPECT_TRUE(back.SaveToStream(again));
    EXPECT_EQ(again.Size(), stored.Size());
}

TEST(ConcordanceEntry, CurrentListReadsBackToTheSameBytes)
{
    const QByteArray v25 = sample(QStringLiteral("lines_v25.bin"), listBytes(25, {richLine(), plainLine()}));
    TConcordanceList list(nullptr);
    list.ReadContext.textCount = 2;
    ASSERT_TRUE(readList(list, v25));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.fSpare_colours[191], 191);
    const TMarvexEntryRec& a = list.Line(0).fData;
    const TMarvexEntryRec want = richLine();
    EXPECT_EQ(a.conc_line, want.conc_line);
    EXPECT_EQ(a.tag_context, want.tag_context);
    EXPECT_EQ(a.base.sentinel, 500);
    EXPECT_EQ(a.base.fixed_sort_positions, want.base.fixed_sort_positions);
    EXPECT_EQ(a.base.extras, want.base.extras);
    EXPECT_EQ(a.pExtraBase, want.pExtraBase);
    EXPECT_EQ(a.other_context_words, want.other_context_words);
    EXPECT_EQ(a.other_left_collocs, want.other_left_collocs);
    EXPECT_EQ(a.other_right_collocs, want.other_right_collocs);
    EXPECT_EQ(a.tag_positions_in_line, [&] { auto t = want.tag_positions_in_line; t.EditExtrainfo().version = 2; return t; }());
    EXPECT_EQ(a.tag_positions_in_line.extrainfo().version, 2);
    EXPECT_EQ(a.tag_positions_in_line.extrainfo().centre_sw_position, 20);
    EXPECT_TRUE(list.fHasTagPositions);
    EXPECT_TRUE(list.fHasBadTextNumbers); // the second line names text 3 of 2
    EXPECT_EQ(list.Line(1).fData.base.byte_size_of_file, 2147483647); // no size, no text to ask
    EXPECT_EQ(list.Line(1).fhighlightnumAndPos.Highlight_number, -1);

    // Reading then writing gives the same bytes (the unknown size is now stored).
    TMemoryStream again;
    ASSERT_TRUE(list.SaveToStream(again));
    TConcordanceList second(nullptr);
    ASSERT_TRUE(readList(second, cvtest::toBytes(again.Bytes())));
    TMemoryStream third;
    ASSERT_TRUE(second.SaveToStream(third));
    EXPECT_EQ(third.Bytes(), again.Bytes());
}

TEST(ConcordanceEntry, OlderListVersions)
{
    // Version 24: no extra block; the tag numbers are taken again from the tag positions.
    const QByteArray v24 = sample(QStringLiteral("lines_v24.bin"), listBytes(24, {richLine(), plainLine()}));
    TConcordanceList list(nullptr);
    ASSERT_TRUE(readList(list, v24));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Line(0).fData.pExtraBase.Get(), TMarvexEntryRecExtraBase());
    EXPECT_EQ(list.Line(0).fData.base.percent_of_file, 12.5f);
    EXPECT_EQ(list.Line(0).fData.conc_line, richLine().conc_line);
    EXPECT_EQ(list.GetVersionNumber(), 24);
    TMemoryStream out; // written again as the current version
    ASSERT_TRUE(list.SaveToStream(out));
    EXPECT_EQ(list.GetVersionNumber(), 25);

    // Below 24 without the old-layout mark the fixed part is read past, its fields left zero.
    for (int v : {21, 22, 23}) {
        TConcordanceList old(nullptr);
        ASSERT_TRUE(readList(old, listBytes(v, {richLine()}))) << v;
        const auto& b = old.Line(0).fData.base;
        EXPECT_EQ(b.word_num, 0) << v;
        EXPECT_EQ(b.byte_size_of_file, 2147483647) << v;
        EXPECT_EQ(b.conc_line_chars, v < 22 ? 39 : 0) << v; // characters the read took
        EXPECT_EQ(old.Line(0).fData.conc_line, richLine().conc_line) << v;
    }
}

TEST(ConcordanceEntry, LinesOfTheOldestLayout)
{
    TScriptedDialogs dialogs;
    TDialogServiceGuard guard(&dialogs);
    dialogs.QueueAnswer(TDialogAnswer::OK);
    dialogs.QueueAnswer(TDialogAnswer::Yes); // the texts were Unicode
    // An old-layout line: no sentinel, the context words right after the fixed
    // part, no extra block.
    auto oldLine = [](int32_t first) {
        TMarvexEntryRec r = richLine();
        TConcordanceList owner(nullptr);
        TConcordanceEntry e(&owner, std::move(r));
        std::vector<uint8_t> b = bytesOf(e);
        endian::storeLE(b.data(), first);
        std::vector<uint8_t> out(b.begin(), b.begin() + 224);
        const std::size_t strings = 464, ctx = 464 + 4 + 2 * 38 + 2 + 4 + 2 * 3 + 2;
        out.insert(out.end(), b.begin() + ctx, b.begin() + ctx + 10);         // context block
        out.insert(out.end(), b.begin() + strings, b.begin() + ctx);          // strings
        out.insert(out.end(), b.begin() + ctx + 10, b.end());                 // tags, collocates
        return out;
    };
    TConcordanceList header(nullptr);
    header.SetVersionNumber(21);
    TMemoryStream m;
    ASSERT_TRUE(header.TCVBaseLemmaMatchCapableList::SaveToStream(m));
    std::vector<uint8_t> bytes = m.Bytes();
    endian::storeLE(bytes.data() + bytes.size() - 4, int32_t(2));
    for (int32_t first : {-7, 499}) {
        bytes.insert(bytes.end(), {0, 0, 0});
        const auto line = oldLine(first);
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    const QByteArray made = cvtest::toBytes(bytes);
    const QByteArray kept = sample(QStringLiteral("lines_v21_old_layout.bin"), made);
    TConcordanceList list(nullptr);
    ASSERT_TRUE(readList(list, kept)); // no colour block follows old-layout lines
    EXPECT_TRUE(list.fHoldsOldLayoutLines);
    EXPECT_TRUE(list.IsUnicode());
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(dialogs.Requests().size(), 3u); // told, asked, told which form: once per list
    const auto& b = list.Line(1).fData.base;
    EXPECT_EQ(b.sentinel, 500);
    EXPECT_EQ(b.word_num, 7);
    EXPECT_EQ(b.percent_of_file, 12.0f); // below version 23: the whole-percent field
    EXPECT_EQ(b.conc_line_chars, 39);
    EXPECT_TRUE(list.Line(1).fData.other_context_words.IsEmpty());
    EXPECT_EQ(list.Line(1).fData.other_right_collocs.Count(), 2);

    // A first field of 0 is the current layout.
    TConcordanceList zero(nullptr);
    const QByteArray cur = listBytes(25, {plainLine()});
    ASSERT_TRUE(readList(zero, cur));
    EXPECT_FALSE(zero.fHoldsOldLayoutLines);
}

TEST(ConcordanceEntry, DamagedStreamsAreRefusedWithoutACrash)
{
    const QByteArray whole = listBytes(25, {richLine(), plainLine()});
    for (qsizetype cut = 0; cut < whole.size() - 192; cut += 3) {
        TConcordanceList list(nullptr);
        bool ok = false;
        try {
            ok = readList(list, whole.left(cut));
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "concordance entry read problem!");
        }
        EXPECT_FALSE(ok) << cut;
    }
    // Fewer than 4 bytes where a line starts.
    TConcordanceList list(nullptr);
    TConcordanceEntry e(&list);
    TMemoryStream m(std::vector<uint8_t>{1, 2});
    EXPECT_THROW(e.ReadFromStream(m), std::runtime_error);
    // A huge count of tag positions or collocates.
    TConcordanceEntry good(&list, plainLine());
    std::vector<uint8_t> b = bytesOf(good);
    const std::size_t tags = 464 + 4 + 2 * 20 + 2 + 4 + 2 + 4;
    endian::storeLE(b.data() + tags, int32_t(-2000000000));
    TMemoryStream bad(b);
    EXPECT_FALSE(e.ReadFromStream(bad));
    b = bytesOf(good);
    endian::storeLE(b.data() + tags + 4, int32_t(1 << 30));
    TMemoryStream bad2(b);
    EXPECT_FALSE(e.ReadFromStream(bad2));
}

TEST(ConcordanceEntry, ReaderContextFillsSizesAndTagFlags)
{
    TConcordanceList list(nullptr);
    list.ReadContext.textCount = 5;
    list.ReadContext.textFileSize = [](int32_t n) -> int64_t { return n == 3 ? 777 : -1; };
    list.ReadContext.linesCarryTagFlags = false;
    list.ReadContext.searchWordHasTag = {false, true};
    ASSERT_TRUE(readList(list, listBytes(25, {plainLine()})));
    const auto& b = list.Line(0).fData.base;
    EXPECT_FALSE(list.fHasBadTextNumbers);
    EXPECT_EQ(b.byte_size_of_file, 777);
    EXPECT_TRUE(b.sw_contains_a_tag);
    EXPECT_EQ(b.fixed_sort_positions[5].coll_length, 4); // a tag search word: the hit's length
}

TEST(ConcordanceEntry, OlderTagPositionForms)
{
    TTagPositionsList t;
        // Extra record of version 0: one position follows.
    std::vector<uint8_t> b(64 + 16 + 16, 0);
    endian::storeLE(b.data() + 64 + 2, int16_t(8));
    endian::storeLE(b.data() + 64 + 12, int16_t(4));
    TMemoryStream m(b);
    ASSERT_TRUE(t.ReadFromStream(-2, m, 8));
    EXPECT_EQ(t.Count(), 1);
    EXPECT_TRUE(t.extrainfo().search_word_started_with_Tag);
    EXPECT_EQ(m.Position(), 80);
    // A positive count: positions without an extra record.
    TTagPositionsList p;
    TMemoryStream m2(std::vector<uint8_t>(32, 0));
    ASSERT_TRUE(p.ReadFromStream(2, m2, 0));
    EXPECT_EQ(p.Count(), 2);
    TMemoryStream m3(std::vector<uint8_t>(20, 0));
    EXPECT_FALSE(p.ReadFromStream(2, m3, 0));
}

TEST(ConcordanceEntry, DuplicatesAndCharactersAroundTheHit)
{
    TConcordanceList list(nullptr);
    auto line = [&](const QString& text, int midpoint) {
        TMarvexEntryRec r;
        r.conc_line = text;
        r.base.midpoint = int16_t(midpoint);
        return std::make_unique<TConcordanceEntry>(&list, std::move(r));
    };
    EXPECT_FALSE(line(QStringLiteral("same"), 1)->IsDuplicateOf(*line(QStringLiteral("same"), 2)));
    EXPECT_TRUE(line(QStringLiteral("same"), 1)->IsDuplicateOf(*line(QStringLiteral("same"), 1)));
    const QString tail = QString(550, u'x');
    EXPECT_TRUE(line(QString(50, u'a') + tail, 300)->IsDuplicateOf(*line(QString(50, u'b') + tail, 300)));
    EXPECT_FALSE(line(QString(50, u'a') + tail, 100)->IsDuplicateOf(*line(QString(50, u'b') + tail, 100)));

    auto l = line(QStringLiteral("0123456789"), 5);
    EXPECT_EQ(l->ConcordanceCharactersAroundMidpoint(4).toStdString(), "2345");
    EXPECT_EQ(l->ConcordanceCharactersAroundMidpoint(20).toStdString(), "0123456789");
    EXPECT_EQ(l->ConcordanceCharactersAroundMidpoint(0).toStdString(), "");
    EXPECT_EQ(l->GetAWordAsString(kLineTextKind), QStringLiteral("0123456789"));
    l->SetAWordAsString(kLineCategoryKind, QStringLiteral("cat"));
    EXPECT_EQ(l->GetAWordAsString(kLineCategoryKind), QStringLiteral("cat"));
    list.fFileNameOf = [](int32_t n, bool full) { return full ? QStringLiteral("/t/%1.txt").arg(n) : QStringLiteral("%1.txt").arg(n); };
    EXPECT_EQ(l->GetAWordAsString(kLineFileNameKind), QStringLiteral("0.txt"));
    list.fShowFullFileNames = true;
    EXPECT_EQ(l->GetAWordAsString(kLineFileNameKind), QStringLiteral("/t/0.txt"));
}
