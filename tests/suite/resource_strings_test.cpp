#include "suite/resource_strings.h"
#include "suite/cv_format.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QRegularExpression>
#include <QSet>

using cv::Format;

TEST(Format, SpecifiersWidthsPrecisionsAndIndexes)
{
    EXPECT_EQ(Format(u"%s: %s", {QStringLiteral("Sort"), QStringLiteral("frequency")}), QStringLiteral("Sort: frequency"));
    EXPECT_EQ(Format(u"%d|%5d|%-5d|%.3d|%.3d", {42, 7, 7, 7, -7}), QStringLiteral("42|    7|7    |007|-007"));
    EXPECT_EQ(Format(u"%x %.4X %u", {255, 255, 3000000000u}), QStringLiteral("FF 00FF 3000000000"));
    EXPECT_EQ(Format(u"%1:d %0:s and %s", {QStringLiteral("files"), 12, QStringLiteral("then")}), QStringLiteral("12 files and 12"))
        << "after an indexed specifier the next one takes the argument after it";
    EXPECT_EQ(Format(u"100%% of %s", {QStringLiteral("it")}), QStringLiteral("100% of it"));
    EXPECT_EQ(Format(u"%.3s", {QStringLiteral("abcdef")}), QStringLiteral("abc"));
    EXPECT_EQ(Format(u"%g", {0.5}), QLocale().toString(0.5, 'g', 15));

    const QLocale l;
    EXPECT_EQ(Format(u"%.2f", {1234.5}), l.toString(1234.5, 'f', 2).remove(l.groupSeparator()));
    EXPECT_EQ(Format(u"%f", {2}), l.toString(2.0, 'f', 2)) << "f defaults to two decimals";
    EXPECT_EQ(Format(u"%.0n", {1234567.0}), l.toString(1234567.0, 'f', 0)) << "n groups thousands";
    EXPECT_EQ(Format(u"%n", {1234.5}), l.toString(1234.5, 'f', 2));
}

TEST(Format, NeverFailsOnMismatchedArguments)
{
    EXPECT_EQ(Format(u"%s and %s", {QStringLiteral("one")}), QStringLiteral("one and "));
    EXPECT_EQ(Format(u"%d", {QStringLiteral("text")}), QStringLiteral("text"));
    EXPECT_EQ(Format(u"%s", {5}), QStringLiteral("5"));
    EXPECT_EQ(Format(u"%d", {2.9}), QStringLiteral("2"));
    EXPECT_EQ(Format(u"%d", {std::nan("")}), QLocale().toString(std::nan(""), 'g', 15));
    EXPECT_EQ(Format(u"%q and %", {1}), QStringLiteral("%q and %"));
    EXPECT_EQ(Format(u"%99:d", {1}), QString());
    EXPECT_EQ(Format(u"%s", {true}), QStringLiteral("True"));
    EXPECT_EQ(Format("%s", {"utf-8 \xc3\xa9"}), QString::fromUtf8("utf-8 é"));
}

TEST(ResourceStrings, NamesAreUniqueAndFindable)
{
    QSet<QString> names;
    for (const auto& r : cv::AllResourceStrings()) {
        const QString name = QString::fromLatin1(r.name);
        EXPECT_TRUE(name.startsWith(QStringLiteral("CV"))) << r.name;
        EXPECT_FALSE(names.contains(name)) << "twice: " << r.name;
        names.insert(name);
        EXPECT_FALSE(r.toString().isEmpty()) << r.name;
        EXPECT_EQ(cv::ResourceStringByName(name), r.toString());
    }
    EXPECT_GT(names.size(), 200);
    EXPECT_TRUE(cv::ResourceStringByName(u"CVNoSuchString").isEmpty());
}

TEST(ResourceStrings, EveryTextFormatsCleanlyAndFormattedOnesTakeValues)
{
    // No text may hold a specifier that Format does not understand.
    const QRegularExpression leftover(QStringLiteral("%[0-9:.\\-]*[a-zA-Z]"));
    for (const auto& r : cv::AllResourceStrings()) {
        const QString out = Format(r, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
        EXPECT_FALSE(leftover.match(out).hasMatch()) << r.name << ": " << out.toStdString();
    }
    // The texts the tool formats with values have places for them.
    const QRegularExpression formatField(QStringLiteral("%[0-9:.\\-]*[dsnfux]"));
    for (const cv::TResourceString& r : {cv::CVMaximumXIs, cv::CVBasedOnNmanyFiles, cv::CVLoadingX, cv::CVCantReadFile,
                                         cv::CVFailedToReadX, cv::CVCouldnTFindFileS, cv::CVComputingX, cv::CVXFoundInY,
                                         cv::CVNValidWordsAndFreqs, cv::CVWordlistsMergedFromFile, cv::CVStopAtXBreak,
                                         cv::CVZipfileX, cv::CVNInBatch, cv::CVNEntries, cv::CVRowNumber, cv::CVNHits,
                                         cv::CVIndexFile, cv::CVKWSWith, cv::CVOpeningX, cv::CVXWordClusters,
                                         cv::CVXtoYWordClusters, cv::CVCannotComputeXIfLangsDiffer, cv::CVBugReport})
        EXPECT_TRUE(formatField.match(r.toString()).hasMatch()) << r.name;
}

TEST(ResourceStrings, UsedAsTheToolUsesThem)
{
    EXPECT_EQ(Format(cv::CVMaximumXIs, {cv::CVTexts, 500}), QStringLiteral("The maximum number of texts is 500."));
    EXPECT_EQ(Format(cv::CVNManyX, {cv::CVFiles, 12}), QStringLiteral("12 files"));
    EXPECT_EQ(Format(u"%s: %s", {cv::CVSort, cv::CVFrequency}).toUpper(), QStringLiteral("SORT: FREQUENCY"));
    const QString joined = QStringLiteral("first") + cv::CVEtc;
    EXPECT_EQ(joined, QStringLiteral("first etc."));
    const QString s = cv::CVOverall;
    EXPECT_EQ(s, QStringLiteral("Overall"));
}
