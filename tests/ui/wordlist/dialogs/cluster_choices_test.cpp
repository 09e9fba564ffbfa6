#include "dialogs_testutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <functional>

#include "support/le_bytes.h"
#include "ui/wordlist/dialogs/cluster_choices.h"

namespace dialogs_test {
namespace {

using Rec = cv::TWordlist_index_settings_rec;

class ClusterChoicesTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        dialog = std::make_unique<cv::TFormClusterChoices>();
    }
    void TearDown() override
    {
        dialog.reset();
        DialogTest::TearDown();
    }
    // The stored record's bytes.
    static std::vector<uint8_t> Stored() { return StoredIndexSettings(); }
    void StoreFirst(const std::function<void(Rec&)>& change)
    {
        Rec r = cv::GetWordlistIndexSettings();
        change(r);
        cv::SetWordlistIndexSettings(r);
    }

    std::unique_ptr<cv::TFormClusterChoices> dialog;
};

TEST_F(ClusterChoicesTest, EachControlWritesItsFieldOfTheIndexRecord)
{
    using cvtest::LEAt;
    const std::vector<TFieldCase<cv::TFormClusterChoices>> cases = {
        {"stop at", [](auto& d) { d.ElComboBoxIndexStopAt->setCurrentIndex(6); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3033), 6); }},
        {"omit numbers", [](auto& d) { d.CheckBoxOmitNumbers->setChecked(!d.CheckBoxOmitNumbers->isChecked()); },
         [](const auto& b) { EXPECT_NE(LEAt<uint8_t>(b, 3035), Rec::Defaults().OmitNumbers() ? 1 : 0); }},
        {"smallest size", [](auto& d) { d.ElSpinEditClusterSizeMin->setValue(4); d.ElSpinEditClusterSizeMax->setValue(9); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3244), 4); EXPECT_EQ(LEAt<int32_t>(b, 3260), 9); }},
        {"min texts", [](auto& d) { d.AdvSpinEditMinTexts->setValue(17); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3248), 17); }},
        {"max percent", [](auto& d) { d.ElFloatSpinEditMaxPercent->setValue(1.25); },
         [](const auto& b) { EXPECT_FLOAT_EQ(LEAt<float>(b, 3252), 1.25f); }},
        {"seconds", [](auto& d) { d.ElSpinEditMaxSeconds->setValue(120); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3264), 120); }},
        {"phrase frames", [](auto& d) { d.AdvOfficeCheckBoxOmitPhraseFrames->setChecked(true); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3268), 1); }},
        {"dispersion", [](auto& d) { d.AdvOfficeCheckBoxOmitDispersion->setChecked(true); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3269), 0); }},
        {"min frequency", [](auto& d) { d.ElSpinEditMinShowFreq->setValue(42); },
         [](const auto& b) { EXPECT_EQ(LEAt<int32_t>(b, 3276), 42); }},
        {"batch", [](auto& d) { d.ElCheckBoxBatch->setChecked(true); },
         [](const auto& b) { EXPECT_EQ(LEAt<uint8_t>(b, 3285), 1); }},
    };
    ExpectEachControlWritesItsField(*dialog, cases, 3033);
}

TEST_F(ClusterChoicesTest, TheStopListCopyAndABatchBoxThatIsClearedAreStored)
{
    StoreFirst([](Rec& r) { r.SetBatchProcessing(true); });
    cv::Global_stopLemmaMatchLoaded[2] = true;
    dialog->show();
    EXPECT_TRUE(dialog->ElCheckBoxBatch->isChecked());
    dialog->ElCheckBoxBatch->setChecked(false);
    dialog->ButtonOKClick();
    EXPECT_FALSE(cv::GetWordlistIndexSettings().BatchProcessing());
    EXPECT_TRUE(cv::GetWordlistIndexSettings().StopListLoadedCopy());
}

TEST_F(ClusterChoicesTest, ALargestSizeBelowTheSmallestIsRaisedToIt)
{
    dialog->show();
    dialog->ElSpinEditClusterSizeMin->setValue(5);
    dialog->ElSpinEditClusterSizeMax->setValue(3);
    dialog->ButtonOKClick();
    EXPECT_EQ(cv::GetWordlistIndexSettings().ClusterSizeMin(), 5);
    EXPECT_EQ(cv::GetWordlistIndexSettings().ClusterSizeMax(), 5);
}

TEST_F(ClusterChoicesTest, OKWithoutChangesKeepsTheDispersionFlag)
{
    for (bool dispersion : {true, false}) {
        StoreFirst([&](Rec& r) { r.SetComputeDispersion(dispersion); });
        const std::vector<uint8_t> before = Stored();
        dialog->show();
        dialog->ButtonOKClick();
        EXPECT_EQ(cv::GetWordlistIndexSettings().ComputeDispersion(), dispersion);
        EXPECT_EQ(Stored(), before) << dispersion;
    }
}

TEST_F(ClusterChoicesTest, ASelectionInTheCallersGridOpensOnSelection)
{
    dialog->show();
    dialog->AdvOfficeRadioButtonTextFile->setChecked(true);
    dialog->hide();
    dialog->TellWhetherSelection(true);
    dialog->show();
    EXPECT_TRUE(dialog->RadioHighlighted->isChecked());
    dialog->ButtonOKClick();
    EXPECT_EQ(dialog->process_selection, cv::kIndexProcessSelected);
}

TEST_F(ClusterChoicesTest, AWordFileWithoutWordsOrMissingStoresNothing)
{
    StoreFirst([](Rec& r) { r.SetMinShowFrequency(7); });
    const std::vector<uint8_t> before = Stored();
    dialog->show();
    dialog->ElSpinEditMinShowFreq->setValue(99);
    dialog->AdvOfficeRadioButtonTextFile->setChecked(true);

    dialog->ElFileNameEditPlainTextFile->SetText(dir.file(QStringLiteral("missing.txt")));
    dialog->ButtonOKClick();
    const QString empty = Write(QStringLiteral("blank.txt"), "\n  \r\n\n");
    dialog->ElFileNameEditPlainTextFile->SetText(empty);
    dialog->ButtonOKClick();

    EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("FormNotFilled"), QStringLiteral("NoWordsIn")}));
    EXPECT_EQ(dialogs.Requests().back().helpContext, 2910);
    EXPECT_EQ(Stored(), before);
    EXPECT_EQ(dialog->result(), cv::kModalNone);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ClusterChoicesTest, TheWordsOfTheFileAreHandedToTheCaller)
{
    dialog->show();
    dialog->AdvOfficeRadioButtonTextFile->setChecked(true);
    dialog->ElFileNameEditPlainTextFile->SetText(Write(QStringLiteral("w.txt"), QByteArray("\xEF\xBB\xBF" "hat\r\n\n  über \ncat")));
    dialog->ButtonOKClick();
    EXPECT_EQ(dialog->result(), cv::kModalOK);
    EXPECT_EQ(dialog->process_selection, cv::kIndexProcessTextFile);
    EXPECT_EQ(dialog->words_to_process, (QStringList{QStringLiteral("hat"), QStringLiteral("über"), QStringLiteral("cat")}));
}

TEST_F(ClusterChoicesTest, TheStopAtListIsTheSevenSharedEntriesAndAStoredIndexOutsideItShowsTheFirst)
{
    StoreFirst([](Rec& r) { r.SetStopAt(40); });
    dialog->show();
    EXPECT_EQ(dialog->ElComboBoxIndexStopAt->count(), 7);
    EXPECT_EQ(dialog->ElComboBoxIndexStopAt->currentIndex(), 0);
}

} // namespace
} // namespace dialogs_test
