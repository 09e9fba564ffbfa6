#include "suite/text_settings.h"

#include <gtest/gtest.h>

TEST(SettingsRecord, FieldsSitAtTheirOffsetsLittleEndian)
{
    cv::TTextSettings s;
    s.SetLanguageId(0x0809);
    s.SetKeepNumbers(true);
    s.SetLanguageName(QStringLiteral("Eng"));
    EXPECT_EQ(s.Bytes()[4], 0x09);
    EXPECT_EQ(s.Bytes()[5], 0x08);
    EXPECT_EQ(s.Bytes()[1047], 1);
    EXPECT_EQ(s.Bytes()[936], 'E');
    EXPECT_EQ(s.Bytes()[937], 0);
    EXPECT_EQ(s.Bytes()[942], 0) << "text fields are zero terminated";
    static_assert(cv::TTextSettings::kSize == 2048);
    static_assert(cv::TTextSettings::LanguageNameOffset + 2 * cv::TTextSettings::LanguageNameChars
                  <= cv::TTextSettings::kLanguageBlockSize);
}

TEST(SettingsRecord, TextFieldsAreCutAndAlwaysTerminated)
{
    cv::TTextSettings s;
    s.SetLanguageName(QString(80, QChar('x')));
    EXPECT_EQ(s.LanguageName().size(), 50);
    EXPECT_EQ(s.Bytes()[936 + 100], 0);
    EXPECT_EQ(s.Bytes()[936 + 101], 0);
    // Neighbouring field untouched.
    s.SetMaxTexts(-1);
    s.SetLanguageName(QString(80, QChar('y')));
    EXPECT_EQ(s.MaxTexts(), -1);
}

TEST(SettingsRecord, DefaultsSuitAnEnglishCorpus)
{
    const auto s = cv::TTextSettings::Defaults();
    EXPECT_EQ(s.LanguageName(), QStringLiteral("English"));
    EXPECT_EQ(s.CaseFolding(), cv::TCaseFolding::Lower);
    EXPECT_EQ(s.MinWordLength(), 1);
    EXPECT_GT(s.MaxWordLength(), 20);
    EXPECT_TRUE(s.ApostrophesInWords());
}
