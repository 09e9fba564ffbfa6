// Association scores of collocate rows against a reference word list made
// by the test, the joint-frequency column, threshold tests and the files
// the statistics write.

#include "concordance/collocate_relationships.h"
#include "concordance/collocates.h"
#include "concordance/conc_text_files.h"
#include "support/test_support.h"
#include "wordlist/word_list.h"

#include <gtest/gtest.h>

using namespace cv;

namespace {

TCollocateEntryRec32 Row(const QString& word, int sw, std::vector<int32_t> freqs, uint8_t spanLeft = 45)
{
    TCollocateEntryRec32 r;
    r.word = word;
    r.sw_number = sw;
    r.search_word = sw == 0 ? QStringLiteral("cat") : QStringLiteral("dog");
    r.freqs = std::move(freqs);
    for (size_t i = 0; i < r.freqs.size(); ++i) {
        const int p = spanLeft + int(i);
        if (p < 50)
            r.left += r.freqs[i];
        else if (p > 50)
            r.right += r.freqs[i];
        r.total += r.freqs[i];
    }
    return r;
}

struct Fixture {
    TCollocateList list{nullptr, 0};
    TCVWordList reference{nullptr, 0, 0};
    TCollocateNodes nodes;
    Tdouble_smallint_type horizons{5, 5};

    Fixture()
    {
        list.SetSpan(CollocSpan(horizons));
        //              L5 L4 L3 L2 L1  C R1 R2 R3 R4 R5
        list.AddCollocate(Row(QStringLiteral("THE"), 0, {0, 1, 0, 2, 3, 0, 1, 0, 0, 0, 0}));
        list.AddCollocate(Row(QStringLiteral("RARE"), 1, {0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0}));
        list.AddCollocate(Row(QStringLiteral("CAT"), -99, {0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0}));
        reference.ImportWords({{QStringLiteral("the"), 600}, {QStringLiteral("The"), 40}, {QStringLiteral("cat"), 9}},
                              10000);
        nodes.linesPerSearchWord = {9, 4};
        nodes.allLines = 13;
        nodes.searchWords = {QStringLiteral("cat"), QStringLiteral("dog")};
    }
};

void ExpectScores(const TCollocateEntryRec32& r, const TAssociationScores& expected)
{
    for (int k = 0; k < kAssociationCount; ++k)
        EXPECT_FLOAT_EQ(r.block.Score(k), float(expected[size_t(k)])) << "score " << k << " of " << r.word.toStdString();
}

} // namespace

TEST(CollocateRelationships, JointColumnFollowsThePreferredColumn)
{
    Fixture f;
    EXPECT_EQ(JointColumnFor(f.list, -1, f.horizons).span, 10);
    EXPECT_EQ(JointColumnFor(f.list, TCollocateList::kColTotal, f.horizons).kind, TJointColumn::kBothSides);
    const TJointColumn left = JointColumnFor(f.list, TCollocateList::kColLeft, {3, 5});
    EXPECT_EQ(left.kind, TJointColumn::kLeft);
    EXPECT_EQ(left.span, 3);
    EXPECT_EQ(JointColumnFor(f.list, TCollocateList::kColRight, {3, 4}).span, 4);
    // Column 19 is the list's first position (L5); 19 + 5 the centre, which counts as "total".
    const TJointColumn l2 = JointColumnFor(f.list, TCollocateList::kStandardColumns + 3, f.horizons);
    EXPECT_EQ(l2.kind, TJointColumn::kPosition);
    EXPECT_EQ(l2.position, 48);
    EXPECT_EQ(l2.span, 1);
    EXPECT_EQ(l2.caption, QStringLiteral("L2"));
    EXPECT_EQ(JointColumnFor(f.list, TCollocateList::kStandardColumns + 5, f.horizons).kind, TJointColumn::kBothSides);
    EXPECT_EQ(JointFrequency(f.list.Entry(0)->Data(), l2, 45), 2);
    EXPECT_EQ(JointFrequency(f.list.Entry(0)->Data(), {}, 45), 7);
}

TEST(CollocateRelationships, ScoresUseTheReferenceFrequenciesAndTheLinesOfTheirSearchWord)
{
    Fixture f;
    TCollocateRelationshipChoices choices;
    ASSERT_TRUE(ComputeCollocateRelationships(f.list, f.reference, f.reference.TotalTokens(), choices, {}, -1,
                                              f.horizons, f.nodes));
    EXPECT_TRUE(choices.result);
    EXPECT_EQ(choices.scored, 2);
    // "THE": both case variants of the reference add up; f_A the 9 lines of "cat".
    ExpectScores(f.list.Entry(0)->Data(), AssociationScores(7, 9, 640, 10000, 10));
    // "RARE" is not in the reference: it counts as rare as it was found.
    ExpectScores(f.list.Entry(1)->Data(), AssociationScores(2, 4, 2, 10000, 10));
    // The search word at its own place gets no scores.
    EXPECT_FALSE(f.list.Entry(2)->Data().block.AnyScore());
    EXPECT_TRUE(f.list.fAssociationPresent);
    EXPECT_FALSE(f.list.ColumnHidden(TCollocateList::kColFirstScore));

    // One side only, and merged rows against all lines.
    f.list.Entry(0)->Data().sw_number = -2;
    ASSERT_TRUE(ComputeCollocateRelationships(f.list, f.reference, 0, choices, {}, TCollocateList::kColRight,
                                              f.horizons, f.nodes));
    ExpectScores(f.list.Entry(0)->Data(), AssociationScores(1, 13, 640, 649, 5));
}

TEST(CollocateRelationships, NothingToRelateLeavesTheRowsAsTheyWere)
{
    Fixture f;
    TCollocateRelationshipChoices choices;
    TCVWordList empty(nullptr, 0, 0);
    EXPECT_FALSE(ComputeCollocateRelationships(f.list, empty, 0, choices, {}, -1, f.horizons, f.nodes));
    EXPECT_TRUE(choices.failure.contains(QStringLiteral("holds no words")));
    EXPECT_FALSE(f.list.Entry(0)->Data().block.AnyScore());
    EXPECT_FALSE(ComputeCollocateRelationships(f.list, f.reference, 0, choices, {}, -1, {0, 0}, f.nodes));
    EXPECT_TRUE(choices.failure.contains(QStringLiteral("horizons")));
    TCollocateList none(nullptr, 0);
    EXPECT_FALSE(ComputeCollocateRelationships(none, f.reference, 0, choices, {}, -1, f.horizons, f.nodes));
    EXPECT_FALSE(choices.result);
}

TEST(CollocateRelationships, DetailsFileGivesEveryFigureBehindTheScores)
{
    Fixture f;
    cvtest::TempDir dir;
    TCollocateRelationshipOptions options;
    options.detailsFileName = dir.file(QStringLiteral("x.details.txt"));
    options.referenceName = QStringLiteral("ref.lst");
    TCollocateRelationshipChoices choices;
    ASSERT_TRUE(ComputeCollocateRelationships(f.list, f.reference, 0, choices, options,
                                              TCollocateList::kStandardColumns + 4, f.horizons, f.nodes));
    const QByteArray bytes = cvtest::readAll(options.detailsFileName);
    ASSERT_GE(bytes.size(), 2);
    EXPECT_EQ(uint8_t(bytes[0]), 0xFF);
    EXPECT_EQ(uint8_t(bytes[1]), 0xFE);
    const QStringList lines =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2)
            .split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines[1], QStringLiteral("Reference word list\tref.lst"));
    EXPECT_EQ(lines[3], QStringLiteral("Joint frequency\tL1"));
    EXPECT_EQ(lines[4], QStringLiteral("Span (S)\t1"));
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("Collocate\tSearch word\tf_AB\tf_A\tf_B\tIn reference\tExpected\tDice")));
    const QStringList the = lines[7].split(u'\t');
    EXPECT_EQ(the.mid(0, 6), (QStringList{QStringLiteral("THE"), QStringLiteral("cat"), QStringLiteral("3"),
                                          QStringLiteral("9"), QStringLiteral("640"), QStringLiteral("yes")}));
    EXPECT_EQ(lines[8].split(u'\t').value(5), QStringLiteral("no"));
    EXPECT_EQ(the.size(), 7 + kAssociationCount);

    // A details file that cannot be written is said, the scores stay.
    options.detailsFileName = dir.file(QStringLiteral("no/such/folder/x.txt"));
    EXPECT_TRUE(ComputeCollocateRelationships(f.list, f.reference, 0, choices, options, -1, f.horizons, f.nodes));
    EXPECT_TRUE(choices.result);
    EXPECT_TRUE(choices.failure.contains(QStringLiteral("x.txt")));
}

TEST(CollocateRelationships, ThresholdTestsFollowTheChecks)
{
    TCollocateEntryRec32 r;
    r.block.SetScore(int(TAssociation::Dice), 0.2f);
    r.block.SetScore(int(TAssociation::MI), 4.0f);
    TConcgramMutualChecks checks;
    EXPECT_TRUE(PassesRelationshipThresholdTests(r, checks)); // checks off
    EXPECT_TRUE(RelationshipThresholdsText(checks).isEmpty());
    checks.SetChecksOn(true);
    for (int i = 0; i < kAssociationCount; ++i)
        checks.SetThreshold(i, -1000.0f);
    checks.SetThreshold(int(TAssociation::Dice), 0.5f);
    checks.SetThreshold(int(TAssociation::MI), 3.0f);
    EXPECT_FALSE(PassesRelationshipThresholdTests(r, checks));
    checks.SetAnyThresholdSuffices(true);
    EXPECT_TRUE(PassesRelationshipThresholdTests(r, checks));
    EXPECT_TRUE(RelationshipThresholdsText(checks).startsWith(QStringLiteral("Dice >= 0.5 or Mutual info >= 3")));
}

TEST(ConcTextFiles, NamesBecomeUsableAndTextsAreUtf16WithCrLf)
{
    EXPECT_EQ(AcceptableFilename(QStringLiteral("a/b:c*d?.")), QStringLiteral("a_b_c_d_"));
    EXPECT_EQ(AcceptableFilename(QStringLiteral("con")), QStringLiteral("_con"));
    EXPECT_EQ(AcceptableFilename(QStringLiteral("...")), QStringLiteral("_"));
    EXPECT_EQ(AcceptableFilename(QStringLiteral("naïve")), QStringLiteral("naïve"));
    cvtest::TempDir dir;
    const QString f = dir.file(QStringLiteral("t.txt"));
    ASSERT_TRUE(SaveUtf16TextFile(f, {QStringLiteral("a"), QStringLiteral("é")}));
    EXPECT_EQ(cvtest::readAll(f), QByteArray("\xFF\xFE" "a\0\r\0\n\0\xE9\0\r\0\n\0", 14));
    QString error;
    EXPECT_FALSE(SaveUtf16TextFile(dir.file(QStringLiteral("none/t.txt")), {}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("t.txt")));
}
