#include "dialogs_testutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <functional>

#include "suite/cv_format.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "support/le_bytes.h"
#include "ui/framework/control_helpers.h"
#include "ui/wordlist/dialogs/list_message_dialogue.h"
#include "ui/wordlist/dialogs/relationship_choices.h"

namespace dialogs_test {
namespace {

using Rec = cv::TWordlist_index_settings_rec;

class RelationshipChoicesTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        dialog = std::make_unique<cv::TFormMIChoices>();
        dialog->SetUpForTool(cv::kToolWordList);
    }
    void TearDown() override
    {
        dialog.reset();
        DialogTest::TearDown();
    }
    static std::vector<uint8_t> Stored() { return StoredIndexSettings(); }
    // Types into a spin box as a user could, whatever the box makes of it.
    static void Type(cv::TCVSpinEdit* box, const QString& text) { box->findChild<QLineEdit*>()->setText(text); }

    std::unique_ptr<cv::TFormMIChoices> dialog;
};

TEST_F(RelationshipChoicesTest, EachControlWritesItsFieldOfTheIndexRecord)
{
    using cvtest::LEAt;
    std::vector<TFieldCase<cv::TFormMIChoices>> cases = {
        {"stop at", [](auto& d) { d.ComboBoxIndexStopAt->setCurrentIndex(3); },
         [](const auto& b) {
             EXPECT_EQ(LEAt<uint8_t>(b, 3033), 3);
             EXPECT_EQ(LEAt<uint8_t>(cv::GetConcSaveRec().Bytes(), 219), 3); // the concordance's too
         }},
        {"omit equal", [](auto& d) { d.CheckBoxMergeLR->setChecked(false); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3034), 0); }},
        {"omit numbers", [](auto& d) { d.CheckBoxOmitNumbers->setChecked(false); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3035), 0); }},
        {"both ways", [](auto& d) { d.ElCheckBoxShowPairsTwice->setChecked(true); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3036), 1); }},
        {"recompute", [](auto& d) { d.ElCheckBoxRecomputeTokens->setChecked(true); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3037), 1); }},
        {"right only", [](auto& d) { d.ElCheckBoxToRightOnly->setChecked(true); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3038), 1); }},
        {"stop-list mode", [](auto& d) { d.ElRadioGroupStopLists->SetItemIndex(3); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3039), 3); }},
        {"any", [](auto& d) { d.AdvOfficeRadioGroupMinRequirements->SetItemIndex(1); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3040), 1); }},
        {"span", [](auto& d) { d.AdvSpinEditSpan->setValue(5); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3048), 5); }},
        {"joint", [](auto& d) { d.AdvSpinEditMinJointFreq->setValue(12); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3052), 12); }},
        {"percent", [](auto& d) { d.AdvSpinEditMaxPercent->setValue(1.5); },
         [](const auto& b) { EXPECT_FLOAT_EQ(LEAt<float>(b, 3056), 1.5f); }},
        {"texts", [](auto& d) { d.AdvSpinEditMinTexts->setValue(250); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3128), 250); }},
        {"word 2", [](auto& d) { d.AdvSpinEditMinWord2Freq->setValue(8); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3132), 8); }},
    };
    for (int i = 0; i < Rec::kThresholdCount; ++i)
        cases.push_back({"threshold", [i](auto& d) { d.ThresholdEdits[std::size_t(i)]->setValue(0.25 + i); },
                         [i](const auto& b) { EXPECT_FLOAT_EQ(LEAt<float>(b, 3060 + 4 * std::size_t(i)), 0.25f + float(i)) << i; }});
    cv::Global_stopLemmaMatchLoaded[2] = true; // stop-list modes need the stop list
    ExpectEachControlWritesItsField(*dialog, cases, 3033);
}

TEST_F(RelationshipChoicesTest, OKWithoutChangesStoresTheRecordAsItWas)
{
    const std::vector<uint8_t> before = Stored();
    dialog->show();
    dialog->ButtonOKClick();
    EXPECT_EQ(dialog->result(), cv::kModalOK);
    EXPECT_EQ(Stored(), before);
}

TEST_F(RelationshipChoicesTest, AnEmptyCharacterRangeIsAToB)
{
    dialog->show();
    dialog->ElRadioButtonSpecificCharacters->setChecked(true);
    dialog->ElEditStartChar->clear();
    dialog->ElEditEndChar->clear();
    dialog->ButtonOKClick();
    EXPECT_EQ(dialog->process_selection, 3);
    EXPECT_EQ(dialog->RelationStartChar, QChar(u'A'));
    EXPECT_EQ(dialog->RelationEndChar, QChar(u'B'));

    dialog->show();
    dialog->ElRadioButtonSpecificCharacters->setChecked(true);
    dialog->ElEditStartChar->setText(QStringLiteral("élan"));
    dialog->ElEditEndChar->setText(QStringLiteral("m"));
    dialog->ButtonOKClick();
    EXPECT_EQ(dialog->RelationStartChar, QChar(u'É'));
    EXPECT_EQ(dialog->RelationEndChar, QChar(u'M'));
}

TEST_F(RelationshipChoicesTest, AStopListModeWithoutALoadedStopListIsRefusedExceptForTheController)
{
    const std::vector<uint8_t> before = Stored();
    dialog->show();
    dialog->ElRadioGroupStopLists->SetItemIndex(1);
    dialog->ButtonOKClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NoStopList")});
    EXPECT_EQ(dialog->result(), cv::kModalNone);
    EXPECT_EQ(Stored(), before);

    dialog->SetUpForTool(cv::kToolController);
    dialog->ButtonOKClick();
    EXPECT_EQ(dialog->result(), cv::kModalOK);
    EXPECT_EQ(cv::GetWordlistIndexSettings().StopListMode(), 1);
}

TEST_F(RelationshipChoicesTest, AStoredStopListModeOutsideTheFourShowsIgnore)
{
    Rec r = cv::GetWordlistIndexSettings();
    r.SetStopListMode(7);
    cv::SetWordlistIndexSettings(r);
    dialog->show();
    EXPECT_EQ(dialog->ElRadioGroupStopLists->ItemIndex(), 0);
}

TEST_F(RelationshipChoicesTest, SetAllToMinimumThenOKStoresTheLowestValuesAndPressedTwiceRestores)
{
    dialog->show();
    dialog->AdvGlowButtonSetToMinClick();
    EXPECT_EQ(dialog->AdvGlowButtonSetToMin->text(), cv::CVRestore.toString());
    EXPECT_DOUBLE_EQ(dialog->ThresholdEdits[Rec::kMutualInfo]->value(), -999.999);
    dialog->AdvGlowButtonSetToMinClick();
    EXPECT_EQ(dialog->AdvGlowButtonSetToMin->text(), cv::CVSetAllToMinimum.toString());
    EXPECT_DOUBLE_EQ(dialog->ThresholdEdits[Rec::kMutualInfo]->value(), 3.0);

    dialog->AdvGlowButtonSetToMinClick();
    dialog->ButtonOKClick();
    const Rec stored = cv::GetWordlistIndexSettings();
    EXPECT_FLOAT_EQ(stored.Threshold(Rec::kDice), -0.1f);
    for (int i = 1; i < Rec::kThresholdCount; ++i)
        EXPECT_FLOAT_EQ(stored.Threshold(i), -999.999f) << i;
}

TEST_F(RelationshipChoicesTest, AThresholdThatIsNoNumberIsReportedAndKept)
{
    dialog->show();
    Type(dialog->ThresholdEdits[Rec::kZScore], QStringLiteral("-"));
    dialog->ThresholdEdits[Rec::kTScore]->setValue(4.5);
    dialog->ButtonOKClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("InvalidNumber")});
    EXPECT_EQ(dialog->result(), cv::kModalOK);
    const Rec stored = cv::GetWordlistIndexSettings();
    EXPECT_FLOAT_EQ(stored.Threshold(Rec::kZScore), Rec::Defaults().Threshold(Rec::kZScore));
    EXPECT_FLOAT_EQ(stored.Threshold(Rec::kTScore), 4.5f);
}

TEST_F(RelationshipChoicesTest, AMissingWordFileKeepsTheDialogOpen)
{
    const std::vector<uint8_t> before = Stored();
    dialog->show();
    dialog->ElRadioButtonPLainTextFile->setChecked(true);
    dialog->ElFileNameEditPlainTextFile->SetText(dir.file(QStringLiteral("none.txt")));
    dialog->ButtonOKClick();
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")});
    EXPECT_EQ(dialog->result(), cv::kModalNone);
    EXPECT_EQ(dialog->process_selection, 2);
    EXPECT_EQ(Stored(), before);
}

TEST_F(RelationshipChoicesTest, TheWordFileLoadsAsTheRelationWordListAndClearsAgain)
{
    const QString file = Write(QStringLiteral("words.txt"), "house\ngarden\ntree\n");
    dialog->show();
    dialog->ElFileNameEditPlainTextFile->SetText(file);
    dialog->ElRadioGroupRelation->SetItemIndex(1);
    dialog->ElPopupButtonTextFileLoadClick();

    EXPECT_TRUE(dialog->ElRadioButtonPLainTextFile->isChecked());
    EXPECT_TRUE(cv::TLemmatiser::Instance().IsLoaded(cv::kToolWordList, cv::TLemmatiserListKind::RelationWords));
    EXPECT_TRUE(cv::Global_stopLemmaMatchLoaded[3]);
    EXPECT_EQ(dialog->ElPopupButtonTextFileLoad->text(), QStringLiteral("(3) Clear"));
    EXPECT_EQ(cv::GetLemmaMatchStopFilename(cv::kToolWordList, 3), file);
    EXPECT_EQ(cv::GetRelationMatchWanted(cv::kToolWordList), 1);
    EXPECT_EQ(dialog->fLemmasMatchStopNInFile, 3);
    auto* message = dialog->findChild<cv::TWMessageDialogue*>();
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisible());
    EXPECT_EQ(message->ListBoxEntries->count(), 3);

    dialog->ElPopupButtonTextFileLoadClick();
    EXPECT_EQ(dialog->ElPopupButtonTextFileLoad->text(), cv::CVLoadCaption.toString());
    EXPECT_FALSE(cv::TLemmatiser::Instance().IsLoaded(cv::kToolWordList, cv::TLemmatiserListKind::RelationWords));
    EXPECT_FALSE(cv::Global_stopLemmaMatchLoaded[3]);
}

} // namespace
} // namespace dialogs_test
