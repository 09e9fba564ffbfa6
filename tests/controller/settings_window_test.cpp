#include "controller/settings_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "controller/controller_ini.h"
#include "gui/file_dialogs.h"
#include "runtime/language_list.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "support/process_state.h"

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override { cvtest::StartFromDefaults(); }
};

TEST_F(SettingsWindowTest, ItShowsTheSettingsAsTheyAreAndStoresWhatTheUserChanged)
{
    cv::TControllerSettingsWindow window(cv::SettingsWindowTitle(cv::kCodeSettingsLanguage, cv::kToolWordList),
                                         cv::SettingKeysOfCommand(cv::kCodeSettingsLanguage, cv::kToolWordList));
    EXPECT_EQ(window.Keys(), cv::SettingKeysOfCommand(cv::kCodeSettingsLanguage, cv::kToolWordList));
    // The language as the language list names it.
    const auto& languages = cv::TLanguageList::Instance();
    EXPECT_EQ(window.Value(QStringLiteral("Text/Language")),
              languages.At(languages.IndexOfName(cv::GetTextSettings().LanguageName())).name);
    EXPECT_EQ(window.Value(QStringLiteral("Text/MinWordLength")),
              QString::number(cv::GetTextSettings().MinWordLength()));
    ASSERT_TRUE(window.SetValue(QStringLiteral("Text/Language"), QStringLiteral("German (Germany)")));
    ASSERT_TRUE(window.SetValue(QStringLiteral("Text/MinWordLength"), QStringLiteral("3")));
    ASSERT_TRUE(window.SetValue(QStringLiteral("Text/KeepNumbers"), QStringLiteral("true")));
    // Nothing is stored before OK.
    EXPECT_NE(cv::GetTextSettings().MinWordLength(), 3);
    int stored = 0;
    window.OnStored = [&] { ++stored; };
    window.OkClick();
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(cv::GetTextSettings().LanguageName(), QStringLiteral("German (Germany)"));
    EXPECT_EQ(cv::GetTextSettings().CollationName(), QStringLiteral("de_DE"));
    EXPECT_EQ(cv::GetTextSettings().MinWordLength(), 3);
    EXPECT_TRUE(cv::GetTextSettings().KeepNumbers());
}

TEST_F(SettingsWindowTest, AValueThatCannotBeTakenKeepsTheWindowOpenAndStoresNothing)
{
    cv::TControllerSettingsWindow window(QStringLiteral("Folders and more"),
                                         {QStringLiteral("Suite/AutoSaveMinutes"), QStringLiteral("Colours/Plot"),
                                          QStringLiteral("No/Such")});
    EXPECT_EQ(window.Keys().size(), 2); // the unknown key is left out
    window.SetValue(QStringLiteral("Suite/AutoSaveMinutes"), QStringLiteral("15"));
    window.SetValue(QStringLiteral("Colours/Plot"), QStringLiteral("not a colour"));
    int stored = 0;
    window.OnStored = [&] { ++stored; };
    window.show();
    window.OkClick();
    EXPECT_EQ(stored, 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.ProblemLabel->isVisible());
    EXPECT_TRUE(window.ProblemLabel->text().contains(QStringLiteral("not a colour")));
    EXPECT_EQ(cv::GetAutoSaveMinutes(), 0);
    // Put right, it is stored.
    window.SetValue(QStringLiteral("Colours/Plot"), QStringLiteral("#102030"));
    window.OkClick();
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(cv::GetAutoSaveMinutes(), 15);
    EXPECT_EQ(cv::GetRulerPlotWordCloudFeatures().PlotColour(), 0xFF102030u);
}

TEST_F(SettingsWindowTest, ChoicesAndColoursShowAsTheirTexts)
{
    cv::TControllerSettingsWindow window(QStringLiteral("Colours"),
                                         cv::SettingKeysOfCommand(cv::kCodeSettingsColours, cv::kToolWordList));
    EXPECT_EQ(window.Value(QStringLiteral("WordCloud/Shape")), QStringLiteral("2"));
    EXPECT_EQ(window.Value(QStringLiteral("Colours/CloudWords")), QStringLiteral("#000080"));
    window.SetValue(QStringLiteral("WordCloud/Shape"), QStringLiteral("3"));
    EXPECT_TRUE(window.Store().isEmpty());
    EXPECT_EQ(cv::GetWordCloudSettings().Shape(), 3);
    // The editors follow the buffer again when asked.
    cv::TWordCloudSettingsRec w = cv::GetWordCloudSettings();
    w.SetShape(1);
    cv::SetWordCloudSettings(w);
    window.Reload();
    EXPECT_EQ(window.Value(QStringLiteral("WordCloud/Shape")), QStringLiteral("1"));
}

} // namespace

// The log file need not be there yet: its Browse asks where to make one (a
// save dialog); the help file's asks for a file there is.
TEST_F(SettingsWindowTest, BrowseNamesANewLogFileButAnExistingHelpFile)
{
    cv::TScriptedFileDialogs files;
    cv::TFileDialogServiceGuard guard(&files);
    cv::TControllerSettingsWindow window(QStringLiteral("Folders"),
                                         {QStringLiteral("Suite/LogFile"), QStringLiteral("Suite/HelpFile")});
    const QString log = QStringLiteral("/tmp/some folder/a new log.txt");
    files.QueueAnswer(log);
    auto browse = [&window](const char* key) {
        window.findChild<QWidget*>(QString::fromLatin1(key))->findChild<QPushButton*>(QStringLiteral("Browse"))->click();
    };
    browse("Suite/LogFile");
    ASSERT_EQ(files.Requests().size(), 1u);
    EXPECT_TRUE(files.Requests()[0].save);
    EXPECT_EQ(window.Value(QStringLiteral("Suite/LogFile")), log);

    files.QueueCancel();
    browse("Suite/HelpFile");
    ASSERT_EQ(files.Requests().size(), 2u);
    EXPECT_FALSE(files.Requests()[1].save);
    EXPECT_EQ(window.Value(QStringLiteral("Suite/LogFile")), log) << "a cancelled choice changes nothing";
}
