#include "ui/wordlist/dialogs/compare_wordlists_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QVBoxLayout>

#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/wdef.h"
#include "ui/wordlist/dialogs/dialog_controls.h"

namespace cv {

namespace {

constexpr int kHelpCompare = 2740;

} // namespace

// Comparison

TFormCompare2Wordlists::TFormCompare2Wordlists(QWidget* parent)
    : TTMSStylableReadIniForm(QStringLiteral("FormCompare2Wordlists"), parent)
{
    SetHelpContext(this, kHelpCompare);
    setWindowTitle(QStringLiteral("Compare two word-lists"));
    ElLabel1 = Label(this, QStringLiteral("reference corpus"), "ElLabel1");
    ElFileNameEdit1 = new TFileNameEdit(TFileNameEdit::TMode::OneFile, this);
    ElFileNameEdit1->setObjectName(QStringLiteral("ElFileNameEdit1"));
    ElFileNameEdit1->Filter = LimitedDefaultFilter(kListWordList) + QStringLiteral(";;All files (*)");
    ElFileNameEdit1->DefaultExt = QStringLiteral("lst");
    AdvOfficeRadioGroup1 = new TRadioGroup(QStringLiteral("comparison"),
                                           {QStringLiteral("1-way (your word-list's words only)"),
                                            QStringLiteral("2-way (both sets of words)")},
                                           this);
    AdvOfficeRadioGroup1->setObjectName(QStringLiteral("AdvOfficeRadioGroup1"));
    ElPopupButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ElPopupButtonOK");
    ElPopupButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ElPopupButtonHelp");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ElLabel1);
    layout->addWidget(ElFileNameEdit1);
    layout->addWidget(AdvOfficeRadioGroup1);
    layout->addLayout(OkHelpButtonRow(ElPopupButtonOK, ElPopupButtonHelp));
    connect(ElPopupButtonOK, &QPushButton::clicked, this, [this] { ElPopupButtonOKClick(); });
    connect(ElPopupButtonHelp, &QPushButton::clicked, this, [] { ShowHelpTopic(kHelpCompare); });
}

void TFormCompare2Wordlists::showEvent(QShowEvent* event)
{
    setResult(kModalNone);
    TTMSStylableReadIniForm::showEvent(event);
    const QString reference = GetKeywordsSettingsReferenceCorpus();
    ElFileNameEdit1->SetText(reference);
    ElFileNameEdit1->InitialDir = reference.isEmpty() ? GetLastOpenedFolder() : QFileInfo(reference).absolutePath();
    AdvOfficeRadioGroup1->SetItemIndex(GetKeywordsSettingsHandleAmount() ? 1 : 0);
    if (!reference.isEmpty() && !CurrentFile.isEmpty() &&
        QDir::cleanPath(reference).compare(QDir::cleanPath(CurrentFile), Qt::CaseInsensitive) == 0) {
        CantCompareWithSameFile(reference);
        done(kModalCancel);
    }
}

void TFormCompare2Wordlists::ElPopupButtonOKClick()
{
    const QString reference = ElFileNameEdit1->Text().trimmed();
    // The same file on OK would compare a list with itself: the dialog stays open.
    if (!CurrentFile.isEmpty() &&
        QDir::cleanPath(reference).compare(QDir::cleanPath(CurrentFile), Qt::CaseInsensitive) == 0) {
        CantCompareWithSameFile(reference);
        return;
    }
    SetKeywordsSettingsReferenceCorpus(reference);
    // The choice shown is the one the comparison makes.
    TKeyWordsSettingsRec settings = GetKeywordsSettings();
    settings.SetTwoWay(AdvOfficeRadioGroup1->ItemIndex() == 1);
    SetKeywordsSettings(settings);
    done(kModalOK);
}

} // namespace cv
