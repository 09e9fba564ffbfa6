// The word list of a cluster run, shown through the run's own clusters: the
// list the user gets is the list of entries made of the same run, to the
// byte, and it stays readable once the index is gone.

#include "index_testutil.h"

#include "index/index_clusters.h"
#include "suite/cv_stream.h"
#include "wordlist/word_list.h"

namespace index_test {
namespace {

using namespace cv;

QByteArray Saved(TCVWordList& l)
{
    TMemoryStream m;
    EXPECT_TRUE(l.SaveToStream(m));
    return QByteArray(reinterpret_cast<const char*>(m.Bytes().data()), qsizetype(m.Bytes().size()));
}

class ClusterWordList : public IndexTest {
protected:
    TClusterRun Run(const TIndexData& index, int size, bool frames)
    {
        TClusterOptions o;
        o.minSize = o.maxSize = size;
        o.minFreq = 2;
        o.stopLevel = 2;
        o.omitNumbers = false;
        o.phraseFrames = frames;
        TClusterRun run;
        QString error;
        EXPECT_TRUE(CountClusters(index, {}, {}, o, run, &error)) << qPrintable(error);
        return run;
    }
};

const TTexts kTexts = {
    {QStringLiteral("a.txt"), QByteArray("The cat sat on the mat. The cat sat on 3 mats. The dog sat on the mat.\n")},
    {QStringLiteral("b.txt"), QByteArray("On the mat the cat sat. The cow sat on the mat. Caf\xc3\xa9 au lait, caf\xc3\xa9 au lait.\n")},
    {QStringLiteral("c.txt"), QByteArray("The dog sat on the log. The dog sat.\n")},
};

TEST_F(ClusterWordList, TheRunShownThroughItsClustersIsTheListOfEntriesToTheByte)
{
    ASSERT_TRUE(Index(kTexts, QStringLiteral("ix")));
    const TIndexData index = Load(QStringLiteral("ix"));
    for (const int size : {2, 3}) {
        SCOPED_TRACE(size);
        const std::unique_ptr<TCVWordList> entries =
            MakeClusterWordList(nullptr, index, Run(index, size, false), index.RunningWords(), index.TextCount());
        const std::unique_ptr<TCVWordList> shown =
            ClusterWordListOfRun(nullptr, index, Run(index, size, false), index.RunningWords(), index.TextCount());
        EXPECT_TRUE(shown->HoldsRowsWithoutEntries());
        ASSERT_GT(shown->Count(), 3);
        EXPECT_EQ(Saved(*shown), Saved(*entries));
        if (size == 2) {
            EXPECT_EQ(shown->CorrectFreq(shown->Find_WordStr(QStringLiteral("sat on"), true)), 5);
            EXPECT_EQ(shown->CorrectFreq(shown->Find_WordStr(QStringLiteral("CAFÉ AU"), false)), 2);
        } else {
            EXPECT_EQ(shown->CorrectFreq(shown->Find_WordStr(QStringLiteral("sat on the"), true)), 4);
        }
    }
}

TEST_F(ClusterWordList, PhraseFramesGoUnderTheirFramesAsEntries)
{
    ASSERT_TRUE(Index(kTexts, QStringLiteral("ix")));
    const TIndexData index = Load(QStringLiteral("ix"));
    const std::unique_ptr<TCVWordList> shown =
        ClusterWordListOfRun(nullptr, index, Run(index, 3, true), index.RunningWords(), index.TextCount());
    const std::unique_ptr<TCVWordList> entries =
        MakeClusterWordList(nullptr, index, Run(index, 3, true), index.RunningWords(), index.TextCount());
    EXPECT_FALSE(shown->HoldsRowsWithoutEntries());
    EXPECT_EQ(Saved(*shown), Saved(*entries));
    const int frame = shown->FindWordAndTag(QStringLiteral("the * sat"), QString());
    ASSERT_GE(frame, 0);
    EXPECT_GT(shown->Entry(frame).JoinedCount(), 1);
    // A frame shows the texts and dispersion the run counted over the
    // clusters that fill it (its own, as it has no frequency of its own),
    // and so does the list read again.
    const auto shows = [&](const TCVWordList& l, int i) {
        return std::pair(l.NumericalData(i, TCVWordList::kColTexts), double(l.DispersionShown(i)));
    };
    const auto counted = std::pair(double(shown->Entry(frame).fData.Texts), double(shown->Entry(frame).fData.Dispersion));
    EXPECT_EQ(shows(*shown, frame), counted);
    EXPECT_GT(counted.first, 1);
    TMemoryStream m;
    ASSERT_TRUE(shown->SaveToStream(m));
    m.SetPosition(0);
    TCVWordList read(nullptr, kListWordList, CurrentToolSignature());
    ASSERT_TRUE(read.ReadFromStream(m));
    EXPECT_EQ(shows(read, read.FindWordAndTag(QStringLiteral("the * sat"), QString())), counted);
}

TEST_F(ClusterWordList, TheListOutlivesTheIndexItWasCountedIn)
{
    ASSERT_TRUE(Index(kTexts, QStringLiteral("ix")));
    std::unique_ptr<TCVWordList> shown;
    QByteArray whileThere;
    {
        const TIndexData index = Load(QStringLiteral("ix"));
        shown = ClusterWordListOfRun(nullptr, index, Run(index, 2, false), index.RunningWords(), index.TextCount());
        whileThere = Saved(*shown);
    }
    EXPECT_EQ(Saved(*shown), whileThere);
    // Made into entries only now, with the index long gone.
    shown->SetDeleted(0, true, false);
    EXPECT_FALSE(shown->HoldsRowsWithoutEntries());
    EXPECT_EQ(shown->Entry(1).fWord, shown->MainWordOfRow(1));
    EXPECT_FALSE(shown->Entry(1).fWord.isEmpty());
}

} // namespace
} // namespace index_test
