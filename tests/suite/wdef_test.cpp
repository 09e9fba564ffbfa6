#include "maths/statistics.h"
#include "suite/wdef.h"

#include <gtest/gtest.h>

#include <QSet>

#include "suite/my_types.h"

TEST(Wdef, EveryTypeTheToolNamesIsInTheTableWithAUniqueSignature)
{
    for (uint8_t t : {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 28, 32, 33})
        EXPECT_TRUE(cv::IsKnownListType(t)) << int(t);
    QSet<QString> signatures, names;
    int previous = -1;
    for (const auto& e : cv::AllListTypes()) {
        EXPECT_GT(int(e.listType), previous) << "the table is in number order";
        previous = e.listType;
        const QString sig = QString::fromLatin1(e.signature);
        EXPECT_FALSE(sig.isEmpty());
        EXPECT_LE(sig.size(), cv::kListSignatureChars) << e.signature;
        EXPECT_FALSE(signatures.contains(sig)) << "signature used twice: " << e.signature;
        signatures.insert(sig);
        EXPECT_FALSE(names.contains(cv::ListTypeName(e.listType))) << "name used twice";
        names.insert(cv::ListTypeName(e.listType));
        // The signature travels as 40 bytes and is found again.
        const QByteArray bytes = cv::ListTypeSignatureBytes(e.listType);
        EXPECT_EQ(bytes.size(), cv::kListSignatureChars);
        EXPECT_EQ(cv::ListTypeFromSignature(bytes), e.listType);
        const QString ext = QString::fromLatin1(e.defaultExt);
        EXPECT_TRUE(ext.isEmpty() || ext.startsWith(u'.')) << e.signature;
        const QStringList h = cv::StandardGridHeaderArray(e.listType);
        if (h.size() > 1) {
            EXPECT_EQ(h.first(), QStringLiteral("N")) << "column 0 is the row number: " << e.signature;
        }
    }
    EXPECT_EQ(cv::ListTypeFromSignature(QByteArray("no such signature")), cv::kListNone);
    EXPECT_EQ(cv::ListTypeFromSignature(QByteArray("Corvantis word list     ")), cv::kListWordList) << "padding blanks are ignored";
    EXPECT_EQ(cv::ListTypeName(200), cv::ListTypeName(cv::kListNone)) << "unknown types read as no list";
}

TEST(Wdef, ExtensionsAndToolsOfTheSavedDocuments)
{
    EXPECT_EQ(cv::DefaultExtFromListType(cv::kListWordList), QStringLiteral(".lst"));
    EXPECT_EQ(cv::DefaultExtFromListType(cv::kListKeyWords), QStringLiteral(".kws"));
    EXPECT_EQ(cv::DefaultExtFromListType(cv::kListConcordance), QStringLiteral(".cnc"));
    EXPECT_EQ(cv::DefaultExtFromListType(cv::kListIndexWordList), QStringLiteral(".tokens"));
    EXPECT_EQ(cv::WithoutDotDefaultExt(cv::kListWordList), QStringLiteral("lst"));
    EXPECT_EQ(cv::DefaultExtFromListType(cv::kListMovingWindowPlot), QStringLiteral(".plotdata"));

    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("C:/corpus/results/Shakespeare.LST")), cv::kListWordList);
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral(".kws")), cv::kListKeyWords);
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("kws")), cv::kListKeyWords);
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("/x/plays.cnc")), cv::kListConcordance) << "not its collocates";
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("/x/corpus.types")), cv::kListIndexWordList);
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("/x/corpus.markup")), cv::kListIndexWordList);
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("/x/pairs.relationships")), cv::kListIndexRelationships);
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("/x/words.txt")), cv::kListPlainTextWordList);
    EXPECT_EQ(cv::ListTypeFromFileExt(QStringLiteral("/x/archive.zip")), cv::kListNone);
    EXPECT_EQ(cv::ListTypeFromFileExt(QString()), cv::kListNone);

    EXPECT_EQ(cv::ToolTypeFromListType(cv::kListWordList), cv::kToolWordList);
    EXPECT_EQ(cv::ToolTypeFromListType(cv::kListIndexRelationships), cv::kToolWordList);
    EXPECT_EQ(cv::ToolTypeFromListType(cv::kListKeyWords), cv::kToolKeyWords);
    EXPECT_EQ(cv::ToolTypeFromListType(cv::kListConcordance), cv::kToolConcordance);

    EXPECT_EQ(cv::LimitedDefaultFilter(cv::kListIndexWordList), QStringLiteral("Index word list files (*.tokens)"));
    EXPECT_TRUE(cv::LimitedDefaultFilter(cv::kListStatistics).isEmpty());
    EXPECT_EQ(cv::DefaultExtFromSaveASFormat(2, cv::kListWordList), QStringLiteral(".xlsx"));
    EXPECT_EQ(cv::DefaultExtFromSaveASFormat(4, cv::kListConcordance), QStringLiteral(".cnc"));
    EXPECT_EQ(cv::DefaultExtFromSaveASFormat(4, cv::kListStatistics), QStringLiteral(".txt"));
    EXPECT_EQ(cv::DefaultExtFromSaveASFormat(9, cv::kListWordList), QStringLiteral(".txt"));
}

TEST(Wdef, GridHeadingsFollowTheColumnsTheListsUse)
{
    // Word lists: the word in column 1, lemmas in 7, the set column in 8.
    const QStringList w = cv::StandardGridHeaderArray(cv::kListWordList);
    ASSERT_EQ(w.size(), 9);
    EXPECT_EQ(w[1], QStringLiteral("Word"));
    EXPECT_EQ(w[7], QStringLiteral("Lemmas"));
    EXPECT_EQ(w[8], QStringLiteral("Set"));
    // Collocates: scores in 3..13, the set column 14, texts/total/left/right 15..18, positions from 19.
    const QStringList c = cv::StandardGridHeaderArray(cv::kListCollocates);
    ASSERT_EQ(c.size(), 30);
    EXPECT_EQ(c[2], QStringLiteral("With"));
    EXPECT_EQ(c[14], QStringLiteral("Set"));
    EXPECT_EQ(c[15], QStringLiteral("Texts"));
    EXPECT_EQ(c[18], QStringLiteral("Total right"));
    EXPECT_EQ(c[19], QStringLiteral("L5"));
    // Concordance clusters: cluster, frequency, set, length, related line.
    EXPECT_EQ(cv::StandardGridHeaderArray(cv::kListConcordanceClusters),
              (QStringList{"N", "Cluster", "Freq.", "Set", "Length", "Related"}));
    // Patterns: columns 1..10 are positions 46..55 (L4 .. R5).
    const QStringList p = cv::StandardGridHeaderArray(cv::kListPatterns);
    ASSERT_EQ(p.size(), 11);
    EXPECT_EQ(p[5], QStringLiteral("Centre"));
    EXPECT_TRUE(cv::StandardGridHeaderArray(cv::kListNone).isEmpty());
    EXPECT_TRUE(cv::IsLemmatisableListType(0));
    EXPECT_TRUE(cv::IsLemmatisableListType(47));
    EXPECT_FALSE(cv::IsLemmatisableListType(48));
}

// Collocate and relationship grids show the scores in the order the
// statistics module computes them; a mismatch would label every column wrong.
TEST(ListTypeTable, ScoreHeadingsFollowTheAssociationTable)
{
    for (uint8_t listType : {uint8_t(5), uint8_t(28)}) {
        const QStringList h = cv::StandardGridHeaderArray(listType);
        const int first = listType == 5 ? 3 : 8;
        int i = 0;
        for (const auto& e : cv::AssociationTable())
            EXPECT_EQ(h.value(first + i++), QString::fromUtf8(e.caption.data(), qsizetype(e.caption.size())))
                << "list type " << int(listType);
    }
}
