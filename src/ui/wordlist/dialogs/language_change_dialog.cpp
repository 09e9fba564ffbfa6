#include "ui/wordlist/dialogs/language_change_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "ui/wordlist/dialogs/dialog_controls.h"

namespace cv {

namespace {

constexpr int kHelpLanguage = 5390;

// The tool's main window (the first main window of the application).
QWidget* ApplicationMainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w))
            return w;
    return nullptr;
}

} // namespace

// Language

TFormLangChange::TFormLangChange(QWidget* parent) : TCVDialog(parent, QStringLiteral("FormLangChange"), kHelpLanguage)
{
    setWindowTitle(QStringLiteral("Change language"));
    AdvEdit1 = new QLineEdit(this);
    AdvEdit1->setObjectName(QStringLiteral("AdvEdit1"));
    AdvEdit1->setReadOnly(true);
    AdvComboBox1 = new QComboBox(this);
    AdvComboBox1->setObjectName(QStringLiteral("AdvComboBox1"));
    ElPopupButtonChange = Button(this, QStringLiteral("Change"), kImageChange, "ElPopupButtonChange");
    ElPopupButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ElPopupButtonHelp");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(AdvEdit1);
    layout->addWidget(AdvComboBox1);
    layout->addLayout(OkHelpButtonRow(ElPopupButtonChange, ElPopupButtonHelp));
    connect(ElPopupButtonChange, &QPushButton::clicked, this, [this] { ElPopupButtonChangeClick(); });
    connect(ElPopupButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
}

void TFormLangChange::SetAlternatives(const QString& names)
{
    AdvComboBox1->clear();
    AdvComboBox1->addItems(names.split(u'\t', Qt::SkipEmptyParts));
    AdvComboBox1->setCurrentIndex(AdvComboBox1->findText(GetTextSettings().LanguageName(), Qt::MatchExactly));
}

void TFormLangChange::SetCurrentLangTo(const QString& name) { AdvEdit1->setText(name); }

void TFormLangChange::ElPopupButtonChangeClick()
{
    if (AdvComboBox1->currentIndex() < 0)
        return;
    PostToControllerWithParam(kCodeLanguageChosen, AdvComboBox1->currentIndex());
    if (QWidget* main = ApplicationMainWindow())
        main->lower();
    SetModalResult(kModalOK);
}
std::optional<int> RunLanguageChangeDialog(QWidget* owner, const QStringList& names, const QString& current)
{
    TFormLangChange dialog(owner);
    dialog.SetAlternatives(names.join(u'\t'));
    dialog.SetCurrentLangTo(current);
    if (RunModalDialog(dialog) != kModalOK || dialog.AdvComboBox1->currentIndex() < 0)
        return std::nullopt;
    return dialog.AdvComboBox1->currentIndex();
}

} // namespace cv
