#include "ui/wordlist/dialogs/general_input_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/wordlist/dialogs/dialog_controls.h"

namespace cv {

// General input

TGeneralInputDlg::TGeneralInputDlg(QWidget* parent) : TCVDialog(parent, QStringLiteral("GeneralInputDlg"), 0)
{
    setWindowTitle(QStringLiteral("Input"));
    LabelTopic = Label(this, QString(), "LabelTopic");
    LabelPrompt = Label(this, QString(), "LabelPrompt");
    LabelPrompt->setWordWrap(true);
    ElComboBox1 = new QComboBox(this);
    ElComboBox1->setObjectName(QStringLiteral("ElComboBox1"));
    ElComboBox1->setEditable(true);
    ElComboBox1->setInsertPolicy(QComboBox::NoInsert);
    AdvGlowButtonOption1 = Button(this, QStringLiteral("One"), 0, "AdvGlowButtonOption1");
    AdvGlowButtonOption2 = Button(this, QStringLiteral("Two"), 0, "AdvGlowButtonOption2");
    ButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ButtonOK");
    ButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ButtonHelp");

    auto* options = new QHBoxLayout;
    options->addWidget(AdvGlowButtonOption1);
    options->addWidget(AdvGlowButtonOption2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelTopic);
    layout->addWidget(LabelPrompt);
    layout->addWidget(ElComboBox1);
    layout->addLayout(options);
    layout->addLayout(OkHelpButtonRow(ButtonOK, ButtonHelp));

    connect(ButtonOK, &QPushButton::clicked, this, [this] { SetModalResult(kModalOK); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
    connect(AdvGlowButtonOption1, &QPushButton::clicked, this, [this] { OptionClick(1); });
    connect(AdvGlowButtonOption2, &QPushButton::clicked, this, [this] { OptionClick(2); });
}

QString TGeneralInputDlg::Prompt() const { return LabelPrompt->text(); }
void TGeneralInputDlg::SetPrompt(const QString& prompt) { LabelPrompt->setText(prompt); }
QString TGeneralInputDlg::Value() const { return ElComboBox1->currentText(); }
void TGeneralInputDlg::SetValue(const QString& value) { ElComboBox1->setEditText(value); }
QString TGeneralInputDlg::Topic() const { return LabelTopic->text(); }
void TGeneralInputDlg::SetTopic(const QString& topic) { LabelTopic->setText(topic); }

int TGeneralInputDlg::ValueAsInteger() const
{
    bool whole = false;
    const int n = Value().toInt(&whole);
    return whole ? n : -1;
}

bool TGeneralInputDlg::Execute(const QString& prompt, const QString& initial, int helpContext)
{
    SetPrompt(prompt);
    SetValue(initial);
    SetHelpContextNumber(helpContext);
    return RunModalDialog(*this) == kModalOK;
}

bool TGeneralInputDlg::Execute(const QString& prompt, int initial, int helpContext)
{
    return Execute(prompt, QString::number(initial), helpContext);
}

bool TGeneralInputDlg::GetAlternative(const QString& prompt, int helpContext)
{
    BotaoPressed = 0;
    SetPrompt(prompt);
    SetHelpContextNumber(helpContext);
    return RunModalDialog(*this) == kModalOK;
}

void TGeneralInputDlg::OptionClick(int option)
{
    // With the alternatives there is no OK button: choosing one is the answer.
    BotaoPressed = option;
    SetModalResult(kModalOK);
}

void TGeneralInputDlg::FormShow()
{
    LabelTopic->setVisible(offering_alternatives);
    AdvGlowButtonOption1->setVisible(offering_alternatives);
    AdvGlowButtonOption2->setVisible(offering_alternatives);
    ElComboBox1->setVisible(!offering_alternatives);
    ButtonOK->setVisible(!offering_alternatives);
    if (!offering_alternatives)
        ElComboBox1->setFocus();
}

} // namespace cv
