#include "grid_dialogs_testutil.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "ui/framework/grid_dialogs/auto_join_dialog.h"
#include "ui/framework/grid_dialogs/search_switches.h"

using namespace cv;
using namespace griddialogs_test;

namespace {

using Affixes = std::vector<TAutoJoinAffixRec>;

class AutoJoinDialogTest : public GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        autosearch_confirm = true;
    }
    void TearDown() override
    {
        autosearch_confirm = true;
        GridDialogsTest::TearDown();
    }
};

} // namespace

TEST(AutoJoinAffixes, KindsFollowTheAsterisks)
{
    EXPECT_EQ(ParseAutoJoinAffixes(QStringLiteral("ing; un*; *ab*")),
              (Affixes{{QStringLiteral("ing"), 0}, {QStringLiteral("un"), 1}, {QStringLiteral("ab"), 2}}));
    EXPECT_EQ(ParseAutoJoinAffixes(QStringLiteral("*ing")), (Affixes{{QStringLiteral("ing"), 0}}));
    EXPECT_EQ(ParseAutoJoinAffixes(QStringLiteral("  ed  ")), (Affixes{{QStringLiteral("ed"), 0}}));
}

TEST(AutoJoinAffixes, EmptyPartsAndLoneAsterisksGiveNothing)
{
    EXPECT_EQ(ParseAutoJoinAffixes(QStringLiteral("ing;;un*")),
              (Affixes{{QStringLiteral("ing"), 0}, {QStringLiteral("un"), 1}}));
    EXPECT_TRUE(ParseAutoJoinAffixes(QStringLiteral("*")).empty());
    EXPECT_TRUE(ParseAutoJoinAffixes(QStringLiteral(" ; * ;")).empty());
    EXPECT_TRUE(ParseAutoJoinAffixes(QString()).empty());
    // Only asterisks would leave an empty affix, which matches everything.
    EXPECT_TRUE(ParseAutoJoinAffixes(QStringLiteral("**")).empty());
    EXPECT_EQ(ParseAutoJoinAffixes(QStringLiteral(";s")), (Affixes{{QStringLiteral("s"), 0}}));
}

TEST_F(AutoJoinDialogTest, OkWithoutAffixesLeavesTheDialogOpen)
{
    TAutoJoinDlg dialog;
    dialog.ElEdit1->setText(QStringLiteral("*"));
    dialog.ButtonOK->click();
    EXPECT_EQ(dialog.result(), int(QDialog::Rejected));
    EXPECT_TRUE(dialog.affixes.empty());
    dialog.ElEdit1->setText(QStringLiteral("un*"));
    dialog.ButtonOK->click();
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    ASSERT_EQ(dialog.affixes.size(), 1u);
}

TEST_F(AutoJoinDialogTest, RunGivesTheAffixesAndKeepsConfirmBetweenUses)
{
    ModalScript script;
    script.Then([](QDialog& d) {
        auto& dlg = dynamic_cast<TAutoJoinDlg&>(d);
        EXPECT_TRUE(dlg.ConfirmCheckBox->isChecked());
        EXPECT_TRUE(dlg.ElEdit1->text().isEmpty());
        dlg.ElEdit1->setText(QStringLiteral("ness; re*"));
        dlg.ConfirmCheckBox->setChecked(false);
        dlg.ButtonOK->click();
        return dlg.result();
    });
    struct Choice {
        struct A {
            QString text;
            uint8_t kind;
        };
        std::vector<A> affixes;
        bool confirmEach = true;
    } choice;
    ASSERT_TRUE(RunAutoJoinDialog(nullptr, choice));
    ASSERT_EQ(choice.affixes.size(), 2u);
    EXPECT_EQ(choice.affixes[1].text, QStringLiteral("re"));
    EXPECT_EQ(choice.affixes[1].kind, 1);
    EXPECT_FALSE(choice.confirmEach);
    EXPECT_FALSE(autosearch_confirm);

    // The next use starts with the choice kept; cancelling gives nothing.
    script.Then([](QDialog& d) {
        EXPECT_FALSE(dynamic_cast<TAutoJoinDlg&>(d).ConfirmCheckBox->isChecked());
        return int(QDialog::Rejected);
    });
    std::vector<TAutoJoinAffixRec> affixes;
    bool confirm = true;
    EXPECT_FALSE(RunAutoJoinDialog(nullptr, affixes, confirm));
    EXPECT_TRUE(affixes.empty());
}

TEST_F(AutoJoinDialogTest, IniIsNamedAfterTheFormInTheUsersFolder)
{
    TAutoJoinDlg dialog;
    const QFileInfo ini(dialog.TheIniName());
    EXPECT_EQ(ini.fileName(), QStringLiteral("AutoJoinDlg.ini"));
    EXPECT_EQ(ini.absolutePath(), QFileInfo(userDir.path()).absoluteFilePath());
    dialog.show();
    dialog.hide();
    EXPECT_TRUE(ini.exists());
}
