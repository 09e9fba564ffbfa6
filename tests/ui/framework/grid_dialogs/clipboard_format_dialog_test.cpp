#include "grid_dialogs_testutil.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "ui/framework/grid_dialogs/clipboard_format_dialog.h"

using namespace cv;
using namespace griddialogs_test;

namespace {

using ClipboardFormatTest = GridDialogsTest;

TCVClipboardSettings StoredRecord()
{
    TCVClipboardSettings c;
    c.SetEditableText(false);
    c.SetPictureOfSelection(true);
    c.SetHeadingRow(false);
    c.SetNumberColumn(true);
    // Bytes the dialog does not know must come back as they were.
    for (size_t i = 4; i < c.Bytes().size(); ++i)
        c.Bytes()[i] = uint8_t(0xA0 + i);
    return c;
}

} // namespace

TEST_F(ClipboardFormatTest, ItemsShowTheRecordsBytes)
{
    SetClipboardSettings(StoredRecord());
    SetConcCharactersForTextOnly(120);
    TFormChooseClipboardFormat dialog;
    EXPECT_TRUE(dialog.Includes[TFormChooseClipboardFormat::kPicture]->isChecked());
    EXPECT_FALSE(dialog.Includes[TFormChooseClipboardFormat::kEditableText]->isChecked());
    EXPECT_TRUE(dialog.Includes[TFormChooseClipboardFormat::kNumberColumn]->isChecked());
    EXPECT_FALSE(dialog.Includes[TFormChooseClipboardFormat::kHeadingRow]->isChecked());
    EXPECT_EQ(dialog.ElSpinEdit1->value(), 120);
    // The character count is for editable text only.
    EXPECT_FALSE(dialog.ElSpinEdit1->isEnabled());
    dialog.Includes[TFormChooseClipboardFormat::kEditableText]->setChecked(true);
    EXPECT_TRUE(dialog.ElSpinEdit1->isEnabled());
}

TEST_F(ClipboardFormatTest, OkStoresTheChoicesAndKeepsTheOtherBytes)
{
    const TCVClipboardSettings before = StoredRecord();
    SetClipboardSettings(before);
    ShowTable();
    grid->ClipboardSettings = TCVClipboardSettings{};
    ModalScript script;
    script.Then([](QDialog& d) {
        auto& dlg = dynamic_cast<TFormChooseClipboardFormat&>(d);
        dlg.Includes[TFormChooseClipboardFormat::kPicture]->setChecked(false);
        dlg.Includes[TFormChooseClipboardFormat::kEditableText]->setChecked(true);
        dlg.Includes[TFormChooseClipboardFormat::kNumberColumn]->setChecked(false);
        dlg.Includes[TFormChooseClipboardFormat::kHeadingRow]->setChecked(true);
        dlg.ElSpinEdit1->setValue(77);
        dlg.ButtonOK->click();
        return dlg.result();
    });
    ASSERT_TRUE(RunClipboardFormatDialog(nullptr, grid.get()));
    const TCVClipboardSettings after = GetClipboardSettings();
    EXPECT_TRUE(after.EditableText());
    EXPECT_FALSE(after.PictureOfSelection());
    EXPECT_TRUE(after.HeadingRow());
    EXPECT_FALSE(after.NumberColumn());
    for (size_t i = 4; i < after.Bytes().size(); ++i)
        EXPECT_EQ(after.Bytes()[i], before.Bytes()[i]) << "byte " << i;
    EXPECT_EQ(GetConcCharactersForTextOnly(), 77);
    EXPECT_TRUE(std::ranges::equal(grid->ClipboardSettings.Bytes(), after.Bytes()));
}

TEST_F(ClipboardFormatTest, CancelStoresNothing)
{
    const TCVClipboardSettings before = StoredRecord();
    SetClipboardSettings(before);
    ModalScript script;
    script.Then([](QDialog& d) {
        dynamic_cast<TFormChooseClipboardFormat&>(d).Includes[0]->setChecked(false);
        return int(QDialog::Rejected);
    });
    EXPECT_FALSE(RunClipboardFormatDialog(nullptr));
    EXPECT_TRUE(std::ranges::equal(GetClipboardSettings().Bytes(), before.Bytes()));
}
