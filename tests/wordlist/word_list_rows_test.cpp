// A word list showing rows it has made no entries for (the clusters of an
// index) must look, find, save and change exactly as the same list made of
// entries does.

#include "suite/cv_stream.h"
#include "suite/wdef.h"
#include "wordlist/word_list.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <random>
#include <tuple>

using namespace cv;

namespace {

struct TRow {
    QString word;
    int64_t freq = 0;
    int32_t texts = 0;
    float dispersion = -1.0f;
};

class TFixedRows final : public TWordListRows {
public:
    explicit TFixedRows(std::vector<TRow> rows) : fRows(std::move(rows)) {}
    std::size_t Count() const override { return fRows.size(); }
    void AppendWord(std::size_t i, std::u16string& out) const override { out += fRows[i].word.toStdU16String(); }
    TWordlistDataRec Data(std::size_t i) const override
    {
        TWordlistDataRec d;
        d.Freq = fRows[i].freq;
        d.Texts = fRows[i].texts;
        d.Dispersion = fRows[i].dispersion;
        return d;
    }
    void Reorder(const std::vector<uint32_t>& order) override
    {
        std::vector<TRow> ordered;
        for (const uint32_t k : order)
            ordered.push_back(fRows[k]);
        fRows = std::move(ordered);
    }

private:
    std::vector<TRow> fRows;
};

constexpr int64_t kRunningWords = 100000;
constexpr int32_t kTexts = 40;

void Totals(TCVWordList& l)
{
    l.SetTotalTokens(kRunningWords);
    l.SetTotalTexts(kTexts);
    l.ComputedRankOrdersOfWords();
    l.ClearChangeMark();
}

// The list shown through its rows, and the same made of entries as a list of
// clusters always was.
std::unique_ptr<TCVWordList> ShownThroughRows(const std::vector<TRow>& rows)
{
    auto l = std::make_unique<TCVWordList>(nullptr, kListWordList, 0x70000);
    l->ShowRows(std::make_unique<TFixedRows>(rows));
    Totals(*l);
    return l;
}

std::unique_ptr<TCVWordList> MadeOfEntries(const std::vector<TRow>& rows)
{
    auto l = std::make_unique<TCVWordList>(nullptr, kListWordList, 0x70000);
    std::vector<std::unique_ptr<TWordListEntry>> entries;
    for (const TRow& r : rows) {
        auto e = std::make_unique<TWordListEntry>(l.get());
        e->fWord = r.word;
        e->fData.Freq = r.freq;
        e->fData.Texts = r.texts;
        e->fData.Dispersion = r.dispersion;
        entries.push_back(std::move(e));
    }
    l->AdoptEntries(std::move(entries));
    l->SortAlphabetically();
    Totals(*l);
    return l;
}

QByteArray Saved(TCVWordList& l)
{
    TMemoryStream m;
    EXPECT_TRUE(l.SaveToStream(m));
    return QByteArray(reinterpret_cast<const char*>(m.Bytes().data()), qsizetype(m.Bytes().size()));
}

// Every cell of both pages, as the grids ask for them.
QStringList Cells(const TCVWordList& l)
{
    QStringList cells;
    for (const int kind : {int(TCVWordList::kDisplayFrequency), int(TCVWordList::kDisplayAlphabetical)})
        for (int row = 1; row <= l.Count(); ++row) {
            const int entry = l.RowToEntry(row, kind);
            for (int c = 0; c < l.ColumnCount(); ++c) {
                TDrawgridDataRec rec;
                l.DrawgridDataRec(entry, c, kind, rec);
                cells << QStringLiteral("%1|%2|%3").arg(rec.text).arg(rec.value).arg(rec.isNumber);
            }
        }
    return cells;
}

// Clusters of a few words, some equal in frequency, words that are
// prefixes of others, and some outside the fast alphabet.
std::vector<TRow> SomeClusters()
{
    std::vector<TRow> rows{{QStringLiteral("of the"), 900, 40, 0.1f},  {QStringLiteral("of them"), 12, 7, 0.5f},
                           {QStringLiteral("off the"), 12, 9, 0.4f},   {QStringLiteral("in the"), 700, 39, 0.12f},
                           {QStringLiteral("the end"), 80, 20, -1.0f}, {QStringLiteral("café au"), 5, 2, 0.9f},
                           {QStringLiteral("Of the"), 3, 1, 1.0f},     {QStringLiteral("of # of"), 4, 3, 0.7f}};
    std::mt19937 rng(23);
    const QStringList words{QStringLiteral("a"), QStringLiteral("an"), QStringLiteral("and"), QStringLiteral("the"),
                            QStringLiteral("then"), QStringLiteral("don’t"), QStringLiteral("x-ray")};
    for (int k = 0; k < 300; ++k) {
        QString cluster = QStringLiteral("%1 %2 %3").arg(words[rng() % words.size()], words[rng() % words.size()]).arg(k);
        rows.push_back({cluster, int64_t(3 + rng() % 40), int32_t(1 + rng() % kTexts), float(rng() % 1000) / 1000.0f});
    }
    return rows;
}

TEST(WordListRows, RowsLookFindAndSaveAsTheSameListOfEntriesWithoutMakingAny)
{
    const std::vector<TRow> rows = SomeClusters();
    auto shown = ShownThroughRows(rows);
    auto made = MadeOfEntries(rows);
    ASSERT_EQ(shown->Count(), made->Count());
    EXPECT_EQ(Cells(*shown), Cells(*made));
    for (int i = 0; i < made->Count(); ++i) {
        ASSERT_EQ(shown->WordlistData(i), made->WordlistData(i)) << i;
        ASSERT_EQ(shown->DisplayedWord(i), made->DisplayedWord(i)) << i;
        ASSERT_EQ(shown->GetSomeWordAsString(i, TCVWordList::kColWord), made->Entry(i).fWord) << i;
    }
    for (const QString& word : {QStringLiteral("OF THEM"), QStringLiteral("the end"), QStringLiteral("nowhere")})
        EXPECT_EQ(shown->Find_WordStr(word, false), made->Find_WordStr(word, false)) << word.toStdString();
    EXPECT_EQ(shown->Find_WordStr(QStringLiteral("of the"), true), made->Find_WordStr(QStringLiteral("of the"), true));
    EXPECT_EQ(shown->Find_PosWordStr(QStringLiteral("off")), made->Find_PosWordStr(QStringLiteral("off")));
    EXPECT_EQ(shown->ComputedCurrentTokens(), made->ComputedCurrentTokens());
    EXPECT_EQ(shown->MarkCount(), 0);
    EXPECT_EQ(Saved(*shown), Saved(*made));
    // All of that only read the rows.
    EXPECT_TRUE(shown->HoldsRowsWithoutEntries());

    // A list read back from the saved rows is the list of entries.
    TMemoryStream m;
    ASSERT_TRUE(shown->SaveToStream(m));
    m.SetPosition(0);
    TCVWordList back(nullptr, kListWordList, 0x70000);
    ASSERT_TRUE(back.ReadFromStream(m));
    EXPECT_EQ(Cells(back), Cells(*made));
}

TEST(WordListRows, AChangeMakesTheEntriesAndActsOnTheRowItWasMeantFor)
{
    const std::vector<TRow> rows = SomeClusters();
    auto shown = ShownThroughRows(rows);
    auto made = MadeOfEntries(rows);
    const int row = shown->Find_WordStr(QStringLiteral("in the"), true);
    ASSERT_GE(row, 0);
    shown->SetDeleted(row, true, true);
    made->SetDeleted(row, true, true);
    EXPECT_FALSE(shown->HoldsRowsWithoutEntries());
    EXPECT_TRUE(shown->GetDeleted(row));
    EXPECT_EQ(shown->Entry(row).fWord, QStringLiteral("in the"));
    EXPECT_EQ(Cells(*shown), Cells(*made));
    EXPECT_EQ(Saved(*shown), Saved(*made));
    EXPECT_EQ(shown->ComputedCurrentTokens(), made->ComputedCurrentTokens());
    ASSERT_TRUE(shown->Undo());
    EXPECT_FALSE(shown->GetDeleted(row));

    // Joining rows, marking them and sorting them otherwise: the entries are made first, then the list acts as ever.
    auto joined = ShownThroughRows(rows);
    made = MadeOfEntries(rows);
    const int head = joined->Find_WordStr(QStringLiteral("of the"), true);
    const int form = joined->Find_WordStr(QStringLiteral("off the"), true);
    EXPECT_TRUE(joined->Join(head, form, true));
    EXPECT_TRUE(made->Join(head, form, true));
    EXPECT_EQ(joined->CorrectFreq(head), 912);
    EXPECT_EQ(Cells(*joined), Cells(*made));
    auto sorted = ShownThroughRows(rows);
    made = MadeOfEntries(rows);
    for (TCVWordList* l : {sorted.get(), made.get()}) {
        l->Set1Sort(0, TCVWordList::kSortFrequency);
        l->SetSortAscending(0, false);
        l->SetSecondSortAsWordSort();
        l->CompleteResort();
    }
    EXPECT_EQ(sorted->Entry(0).fWord, QStringLiteral("of the"));
    EXPECT_EQ(Cells(*sorted), Cells(*made));
}

TEST(WordListRows, NoRowsLeaveAnEmptyListAndClearingForgetsTheRows)
{
    TCVWordList l(nullptr, kListWordList, 0x70000);
    l.ShowRows(std::make_unique<TFixedRows>(std::vector<TRow>{}));
    EXPECT_EQ(l.Count(), 0);
    EXPECT_FALSE(l.HoldsRowsWithoutEntries());
    l.ShowRows(std::make_unique<TFixedRows>(SomeClusters()));
    EXPECT_GT(l.Count(), 0);
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_FALSE(l.HoldsRowsWithoutEntries());
    // Entries added after a clear are the list's own.
    std::vector<std::unique_ptr<TWordListEntry>> one;
    one.push_back(std::make_unique<TWordListEntry>(&l));
    one.back()->fWord = QStringLiteral("alone");
    l.AdoptEntries(std::move(one));
    EXPECT_EQ(l.Count(), 1);
    EXPECT_EQ(l.Entry(0).fWord, QStringLiteral("alone"));
}

} // namespace
