#include "ui/framework/grid_dialogs/clipboard_format_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/cv_grid.h"
#include "suite/cvbuf.h"

namespace cv {

namespace {
constexpr int kHelpClipboardFormat = 1570;
} // namespace

TFormChooseClipboardFormat::TFormChooseClipboardFormat(QWidget* parent)
    : TRememberingDialog(QStringLiteral("FormChooseClipboardFormat"), parent)
{
    setWindowTitle(QStringLiteral("Choose Clipboard Format"));
    ElSpinEdit1 = new QSpinBox;
    ElSpinEdit1->setRange(1, 100000);
    AdvOfficeCheckGroupIncludes = new QGroupBox(QStringLiteral("Include"));
    auto* includeLayout = new QVBoxLayout(AdvOfficeCheckGroupIncludes);
    const char* captions[] = {"picture of selected area", "editable text", "number column", "heading row"};
    for (size_t i = 0; i < Includes.size(); ++i) {
        Includes[i] = new QCheckBox(QString::fromLatin1(captions[i]));
        includeLayout->addWidget(Includes[i]);
        connect(Includes[i], &QCheckBox::toggled, this, [this] { AdvOfficeCheckGroupIncludesCheckBoxClick(); });
    }
    ButtonOK = new QPushButton(QStringLiteral("OK"));
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
    ButtonHelp = new QPushButton(QStringLiteral("Help"));
    auto* characters = new QFormLayout;
    characters->addRow(QStringLiteral("Characters (text only)"), ElSpinEdit1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(AdvOfficeCheckGroupIncludes);
    layout->addLayout(characters);
    layout->addLayout(buttons);

    cl = GetClipboardSettings();
    ElSpinEdit1->setValue(std::max(1, GetConcCharactersForTextOnly()));
    Includes[kPicture]->setChecked(cl.PictureOfSelection());
    Includes[kEditableText]->setChecked(cl.EditableText());
    Includes[kNumberColumn]->setChecked(cl.NumberColumn());
    Includes[kHeadingRow]->setChecked(cl.HeadingRow());
    AdvOfficeCheckGroupIncludesCheckBoxClick();

    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
}

void TFormChooseClipboardFormat::showEvent(QShowEvent* event)
{
    TRememberingDialog::showEvent(event);
    ButtonOK->setFocus();
}

void TFormChooseClipboardFormat::AdvOfficeCheckGroupIncludesCheckBoxClick()
{
    ElSpinEdit1->setEnabled(Includes[kEditableText]->isChecked());
}

void TFormChooseClipboardFormat::ButtonOKClick()
{
    SetConcCharactersForTextOnly(ElSpinEdit1->value());
    cl.SetPictureOfSelection(Includes[kPicture]->isChecked());
    cl.SetEditableText(Includes[kEditableText]->isChecked());
    cl.SetNumberColumn(Includes[kNumberColumn]->isChecked());
    cl.SetHeadingRow(Includes[kHeadingRow]->isChecked());
    SetClipboardSettings(cl);
    accept();
}

void TFormChooseClipboardFormat::ButtonHelpClick() { PostHelpRequest(kHelpClipboardFormat); }

bool RunClipboardFormatDialog(QWidget* parent, TCV_Grid* grid)
{
    TFormChooseClipboardFormat dialog(parent);
    if (RunModalDialog(dialog) != QDialog::Accepted)
        return false;
    if (grid)
        grid->ClipboardSettings = GetClipboardSettings();
    return true;
}

} // namespace cv
