#include "dialogs_testutil.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>

#include "suite/wdef.h"
#include "ui/wordlist/dialogs/index_dialogs.h"

namespace dialogs_test {
namespace {

const QStringList kIndexExtensions = {QStringLiteral(".tokens"), QStringLiteral(".types"), QStringLiteral(".stats"),
                                      QStringLiteral(".markup")};

class IndexChoicesTest : public DialogTest {
protected:
    // The four files of an index, each holding its own extension.
    QString MakeIndex(const QString& base)
    {
        for (const QString& ext : kIndexExtensions)
            Write(base + ext, ext.toLatin1());
        return dir.file(base + QStringLiteral(".tokens"));
    }
    // Runs the dialog with an option chosen and OK pressed; its result.
    int ChooseOption(cv::TFormIndexChoices& dialog, int option)
    {
        dialog.show();
        dialog.RadioGroupOptions->SetItemIndex(option);
        dialog.ButtonOKClick();
        return dialog.result();
    }
};

TEST_F(IndexChoicesTest, WithoutALastIndexTheNameIsEmptyAndANewIndexIsOffered)
{
    cv::TFormIndexChoices dialog;
    EXPECT_TRUE(dialog.ElFileNameEditIndexname->Text().isEmpty());
    dialog.show();
    EXPECT_EQ(dialog.RadioGroupOptions->ItemIndex(), 0);
    EXPECT_EQ(dialog.IndexFileOpeningMode, 0);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("IndexFilenameNeeded")});
}

TEST_F(IndexChoicesTest, AnExistingLastIndexIsOfferedToBeAddedTo)
{
    const QString tokens = MakeIndex(QStringLiteral("corpus"));
    cv::SetLastUsedFile(cv::kListIndexWordList, dir.file(QStringLiteral("corpus.types")));
    cv::TFormIndexChoices dialog;
    EXPECT_EQ(dialog.ElFileNameEditIndexname->Text(), tokens);
    dialog.show();
    EXPECT_EQ(dialog.RadioGroupOptions->ItemIndex(), 1);
    EXPECT_TRUE(dialogs.Routines().isEmpty()); // the index is there: no notice
}

TEST_F(IndexChoicesTest, EachOptionTreatsTheExistingIndexAsItSays)
{
    const QString tokens = MakeIndex(QStringLiteral("corpus"));
    {
        cv::TFormIndexChoices dialog;
        dialog.ElFileNameEditIndexname->SetText(tokens);
        EXPECT_EQ(ChooseOption(dialog, 2), cv::kModalOK);
        EXPECT_EQ(dialog.IndexFileOpeningMode, 1);
        EXPECT_FALSE(QFileInfo::exists(tokens + QStringLiteral(".bak")));
        EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), tokens);
    }
    {
        cv::TFormIndexChoices dialog;
        EXPECT_EQ(ChooseOption(dialog, 1), cv::kModalOK);
        EXPECT_EQ(dialog.IndexFileOpeningMode, 1);
        for (const QString& ext : kIndexExtensions)
            EXPECT_EQ(cvtest::readAll(dir.file(QStringLiteral("corpus") + ext + QStringLiteral(".bak"))), ext.toLatin1());
        EXPECT_TRUE(QFileInfo::exists(tokens));
    }
    {
        cv::TFormIndexChoices dialog;
        EXPECT_EQ(ChooseOption(dialog, 0), cv::kModalOK);
        EXPECT_EQ(dialog.IndexFileOpeningMode, 0);
        for (const QString& ext : kIndexExtensions)
            EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("corpus") + ext)));
    }
}

TEST_F(IndexChoicesTest, AnEmptyNameIsRefusedAndNotStored)
{
    cv::SetLastUsedFile(cv::kListIndexWordList, QStringLiteral("/kept/corpus.types"));
    const QString stray = MakeIndex(QString()); // files named only by their extensions
    cv::TFormIndexChoices dialog;
    dialog.ElFileNameEditIndexname->SetText(QString());
    dialogs.Clear();
    EXPECT_EQ(ChooseOption(dialog, 0), cv::kModalNone);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("ProvideAFilenameOrCancel")));
    EXPECT_EQ(cv::GetLastUsedFile(cv::kListIndexWordList), QStringLiteral("/kept/corpus.types"));
    EXPECT_TRUE(QFileInfo::exists(stray));
    EXPECT_TRUE(dialog.isVisible());
}

// ---------------------------------------------------------------------------

TEST_F(DialogTest, IndexExportClosesWithOKForANewFile)
{
    cv::TFormIndexExport dialog;
    dialog.show();
    dialog.ElFileNameEdit1->SetText(dir.file(QStringLiteral("new.txt")));
    dialog.ElPopupButtonOKClick();
    EXPECT_EQ(dialog.result(), cv::kModalOK);
    EXPECT_TRUE(dialogs.Routines().isEmpty());
}

TEST_F(DialogTest, IndexExportOverAnExistingFileAsksAndKeepsTheOldOneAsBackup)
{
    const QString file = Write(QStringLiteral("old.txt"), "old export");
    cv::TFormIndexExport dialog;
    dialog.show();
    dialog.ElFileNameEdit1->SetText(file);
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    dialog.ElPopupButtonOKClick();
    EXPECT_EQ(dialog.result(), cv::kModalNone);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral(".bak")));

    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    dialog.ElPopupButtonOKClick();
    EXPECT_EQ(dialog.result(), cv::kModalOK);
    EXPECT_EQ(cvtest::readAll(file + QStringLiteral(".bak")), QByteArray("old export"));
    EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("OKToOverwriteWithBackup"), QStringLiteral("OKToOverwriteWithBackup")}));
}

} // namespace
} // namespace dialogs_test
