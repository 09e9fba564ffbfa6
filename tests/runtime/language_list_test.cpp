#include "runtime/language_list.h"

#include <QSet>

#include <gtest/gtest.h>

TEST(LanguageList, IdentifiersAndNamesAreUniqueAndFitTheSettings)
{
    const auto& list = cv::TLanguageList::Instance();
    ASSERT_GT(list.Count(), 50);
    QSet<uint32_t> ids;
    QSet<QString> names;
    for (int i = 0; i < list.Count(); ++i) {
        const auto& l = list.At(i);
        EXPECT_FALSE(ids.contains(l.lcid)) << l.name.toStdString();
        EXPECT_FALSE(names.contains(l.name)) << l.name.toStdString();
        ids.insert(l.lcid);
        names.insert(l.name);
        EXPECT_LE(l.name.size(), 50) << "the settings keep 50 characters";
        EXPECT_FALSE(l.localeName.isEmpty());
    }
}

TEST(LanguageList, Lookups)
{
    const auto& list = cv::TLanguageList::Instance();
    const int uk = list.IndexOfLCID(0x0809);
    ASSERT_GE(uk, 0);
    EXPECT_EQ(list.At(uk).localeName, QStringLiteral("en_GB"));
    EXPECT_EQ(list.IndexOfName(QStringLiteral("english (united kingdom)")), uk);
    EXPECT_EQ(list.At(list.IndexOfName(QStringLiteral("German"))).lcid, 0x0407u) << "a bare name finds a variety";
    EXPECT_EQ(list.IndexOfName(QStringLiteral("Klingon")), -1);
    EXPECT_EQ(list.IndexOfLCID(0xFFFF), -1);
    EXPECT_EQ(cv::LanguageNameOfLCID(0x0419), QStringLiteral("Russian"));
    EXPECT_TRUE(cv::LanguageNameOfLCID(0xFFFF).isEmpty());
}

TEST(LanguageList, PrimaryLanguagesCodePagesAndScripts)
{
    EXPECT_TRUE(cv::SamePrimaryLanguage(0x0809, 0x0409));
    EXPECT_FALSE(cv::SamePrimaryLanguage(0x0809, 0x0407));
    EXPECT_EQ(cv::AnsiCodePageOfLCID(0x0419), 1251u);
    EXPECT_EQ(cv::AnsiCodePageOfLCID(0x0415), 1250u);
    EXPECT_EQ(cv::AnsiCodePageOfLCID(0x5009), 1252u) << "an unlisted English variety behaves like English";
    EXPECT_EQ(cv::AnsiCodePageOfLCID(0x0439), 0u) << "Hindi texts are Unicode only";
    EXPECT_EQ(cv::AnsiCodePageOfLCID(0x03FE), 1252u);
    EXPECT_TRUE(cv::LanguageHasCombiningCharacters(0x041E));
    EXPECT_TRUE(cv::LanguageHasCombiningCharacters(0x0401));
    EXPECT_FALSE(cv::LanguageHasCombiningCharacters(0x0809));
    EXPECT_FALSE(cv::LanguageHasCombiningCharacters(0x03FE));
}
