#include "controller/controller_ini.h"

#include <gtest/gtest.h>

#include <QFile>

#include "runtime/language_list.h"
#include "suite/cvbuf.h"
#include "suite/wdef.h"
#include "suite/my_types.h"
#include "support/process_state.h"
#include "support/test_support.h"

namespace {

using cv::TSettingKind;

struct KeyCase {
    const char* key;
    const char* good;     // taken, and read back as written
    const char* bad;      // refused, nothing changes
    TSettingKind kind;
};

class SettingKeys : public ::testing::TestWithParam<KeyCase> {
protected:
    void SetUp() override { cvtest::StartFromDefaults(); }
};

TEST_P(SettingKeys, TakeGoodValuesAndRefuseBadOnes)
{
    const KeyCase& c = GetParam();
    const cv::TSettingKey* key = cv::FindSettingKey(QString::fromLatin1(c.key));
    ASSERT_NE(key, nullptr) << c.key;
    EXPECT_EQ(key->kind, c.kind);
    EXPECT_TRUE(key->set(QString::fromUtf8(c.good)));
    EXPECT_EQ(key->get(), QString::fromUtf8(c.good));
    EXPECT_FALSE(key->set(QString::fromUtf8(c.bad)));
    EXPECT_EQ(key->get(), QString::fromUtf8(c.good));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SettingKeys,
    ::testing::Values(KeyCase{"Text/MinWordLength", "3", "0", TSettingKind::Int},
                      KeyCase{"Text/Language", "German (Germany)", "Klingon", TSettingKind::Language},
                      KeyCase{"Text/KeepNumbers", "true", "maybe", TSettingKind::Bool},
                      KeyCase{"Text/MarkupMode", "2", "3", TSettingKind::Choice},
                      KeyCase{"Colours/CloudWords", "#336699", "not a colour", TSettingKind::Colour},
                      KeyCase{"WordCloud/MinFontSize", "12", "90", TSettingKind::Int},
                      KeyCase{"Index/MovingWindowWords", "5000", "10", TSettingKind::Int},
                      KeyCase{"WordList/MinFrequency", "2", "0", TSettingKind::Int},
                      // What Customise chose: shortcuts by menu tag, the right-click commands.
                      KeyCase{"Menus/Shortcuts", "1=Ctrl+F2, 145=Ctrl+Shift+A", "1=Ctrl+F2, 145=Hyper+A", TSettingKind::Text},
                      KeyCase{"Menus/RightClick", "12, 22, 170", "12, 22, 999", TSettingKind::Text}),
    [](const ::testing::TestParamInfo<KeyCase>& i) {
        std::string n = i.param.key;
        for (char& ch : n)
            if (ch == '/')
                ch = '_';
        return n;
    });

TEST(SettingKeysOfCommands, EveryWindowShowsKeysThatExist)
{
    for (uint16_t code : {cv::kCodeSettingsColours, cv::kCodeSettingsFont, cv::kCodeSettingsLanguage,
                          cv::kCodeSettingsFolders, cv::kCodeSettingsTags, cv::kCodeSettingsLists,
                          cv::kCodeSettingsOfTool, cv::kCodeSettingsIndex}) {
        EXPECT_TRUE(cv::IsSettingsWindowCode(code));
        const QStringList keys = cv::SettingKeysOfCommand(code, cv::kToolWordList);
        EXPECT_FALSE(keys.isEmpty()) << code;
        for (const QString& k : keys)
            EXPECT_NE(cv::FindSettingKey(k), nullptr) << code << " " << k.toStdString();
    }
    EXPECT_FALSE(cv::IsSettingsWindowCode(cv::kCodeSettingsCustomise));
    // The language window is where the language and the word lengths are.
    const QStringList language = cv::SettingKeysOfCommand(cv::kCodeSettingsLanguage, cv::kToolWordList);
    EXPECT_TRUE(language.contains(QStringLiteral("Text/Language")));
    EXPECT_TRUE(language.contains(QStringLiteral("Text/MinWordLength")));
    // The index window holds the moving-window settings too.
    EXPECT_TRUE(cv::SettingKeysOfCommand(cv::kCodeSettingsIndex, 0).contains(QStringLiteral("Index/MovingWindowRuns")));
    // A tool's lists are its own.
    EXPECT_TRUE(cv::SettingKeysOfCommand(cv::kCodeSettingsLists, cv::kToolConcordance).contains(QStringLiteral("Lists/StopFile1")));
}

TEST(ControllerIni, WhatIsWrittenIsReadBackAndBadLinesAreNamed)
{
    cvtest::StartFromDefaults();
    cvtest::TempDir dir;
    const QString ini = dir.file(QStringLiteral("controller.ini"));
    cv::TTextSettings t = cv::GetTextSettings();
    t.SetMinWordLength(4);
    cv::SetTextSettings(t);
    cv::FindSettingKey(QStringLiteral("Colours/Plot"))->set(QStringLiteral("#112233"));
    QString error;
    ASSERT_TRUE(cv::WriteControllerIni(ini, &error)) << error.toStdString();
    cv::TSettingsBuffer::Instance().ResetToDefaults();
    ASSERT_EQ(cv::GetTextSettings().MinWordLength(), cv::TTextSettings::Defaults().MinWordLength());
    EXPECT_TRUE(cv::ApplyControllerIni(ini).isEmpty());
    EXPECT_EQ(cv::GetTextSettings().MinWordLength(), 4);
    EXPECT_EQ(cv::GetRulerPlotWordCloudFeatures().PlotColour(), 0xFF112233u);

    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::Append | QIODevice::Text));
    f.write("[Text]\nMinWordLength=abc\nNoSuchKey=1\n");
    f.close();
    const QStringList problems = cv::ApplyControllerIni(ini);
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems[0].contains(QStringLiteral("Text/MinWordLength")));
    EXPECT_TRUE(problems[1].contains(QStringLiteral("NoSuchKey")));
    EXPECT_EQ(cv::GetTextSettings().MinWordLength(), 4);
}

// The index the start wizard made last outlives a restart (the buffer
// starts from its defaults, then takes the ini file); no window shows it.
TEST(ControllerIni, TheWizardsLastIndexIsKept)
{
    cvtest::StartFromDefaults();
    cvtest::TempDir dir;
    const QString ini = dir.file(QStringLiteral("controller.ini"));
    cv::SetLastUsedFile(cv::kListIndexWordList, QStringLiteral("/data/corpus.types"));
    QString error;
    ASSERT_TRUE(cv::WriteControllerIni(ini, &error)) << error.toStdString();
    cv::TSettingsBuffer::Instance().ResetToDefaults();
    ASSERT_TRUE(cv::GetLastUsedFile(cv::kListIndexWordList).isEmpty());
    EXPECT_TRUE(cv::ApplyControllerIni(ini).isEmpty());
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), QStringLiteral("/data/corpus.types"));
    for (uint16_t code : {cv::kCodeSettingsIndex, cv::kCodeSettingsFolders, cv::kCodeSettingsOfTool})
        EXPECT_FALSE(cv::SettingKeysOfCommand(code, cv::kToolWordList).contains(QStringLiteral("Recent/Index")));
}

TEST(ControllerIni, ALanguageByNameOrIndexFillsEveryLanguageField)
{
    cv::TTextSettings t = cv::TTextSettings::Defaults();
    EXPECT_FALSE(cv::ApplyLanguageByName(t, QStringLiteral("Klingon")));
    EXPECT_EQ(t.LanguageName(), cv::TTextSettings::Defaults().LanguageName());
    const int german = cv::TLanguageList::Instance().IndexOfName(QStringLiteral("German (Germany)"));
    ASSERT_GE(german, 0);
    cv::ApplyLanguage(t, german);
    EXPECT_EQ(t.LanguageName(), QStringLiteral("German (Germany)"));
    EXPECT_EQ(t.CollationName(), QStringLiteral("de_DE"));
    EXPECT_EQ(t.LanguageId(), cv::TLanguageList::Instance().At(german).lcid);
}

} // namespace
