#include "ui/wordlist/dialogs/file_name_replace_dialog.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "ui/wordlist/dialogs/dialog_controls.h"

namespace cv {

namespace {

constexpr int kHelpFilenameReplace = 1420;

} // namespace

// File names

TFormSearchAndReplaceFilename::TFormSearchAndReplaceFilename(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormSearchAndReplaceFilename"), kHelpFilenameReplace)
{
    setWindowTitle(QStringLiteral("Search and Replace -- filenames"));
    ElEditSearch = new QLineEdit(this);
    ElEditSearch->setObjectName(QStringLiteral("ElEditSearch"));
    ElEditSearch->setPlaceholderText(QStringLiteral("path"));
    ElLabel1 = Label(this, CVPathAndFilename, "ElLabel1");
    ElEditReplacement = new QLineEdit(this);
    ElEditReplacement->setObjectName(QStringLiteral("ElEditReplacement"));
    ElEditReplacement->setPlaceholderText(QStringLiteral("replacement"));
    ElLabel3 = Label(this, QStringLiteral("replacement"), "ElLabel3");
    ElRadioGroup1 = new TRadioGroup(QStringLiteral("replacement within"),
                                    {QStringLiteral("the path only"), QStringLiteral("the filename only")}, this);
    ElRadioGroup1->setObjectName(QStringLiteral("ElRadioGroup1"));
    ElPopupButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ElPopupButtonOK");
    ElPopupButtonCancel = Button(this, QStringLiteral("Cancel"), kImageCancel, "ElPopupButtonCancel");
    ElPopupButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ElPopupButtonHelp");

    auto* fields = new QGridLayout;
    fields->addWidget(ElLabel1, 0, 0);
    fields->addWidget(ElEditSearch, 0, 1);
    fields->addWidget(ElLabel3, 1, 0);
    fields->addWidget(ElEditReplacement, 1, 1);
    auto* buttons = OkHelpButtonRow(ElPopupButtonOK, ElPopupButtonHelp, ElPopupButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(ElRadioGroup1);
    layout->addLayout(buttons);

    connect(ElRadioGroup1, &TRadioGroup::itemClicked, this, [this] { ElRadioGroup1Click(); });
    connect(ElPopupButtonOK, &QPushButton::clicked, this, [this] { SetModalResult(kModalOK); });
    connect(ElPopupButtonCancel, &QPushButton::clicked, this, [this] { SetModalResult(kModalCancel); });
    connect(ElPopupButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
}

void TFormSearchAndReplaceFilename::ElRadioGroup1Click()
{
    switch (ElRadioGroup1->ItemIndex()) {
    case -1: ElLabel1->setText(CVPathAndFilename); break;
    case 1: ElLabel1->setText(CVFilename); break;
    default: ElLabel1->setText(CVPathToTheFile); break;
    }
}

void TFormSearchAndReplaceFilename::FormShow()
{
    ElRadioGroup1Click();
    ElEditSearch->setFocus();
    MyYieldProcess();
}
std::optional<TFileNameReplacement> RunFileNameReplaceDialog(QWidget* owner)
{
    TFormSearchAndReplaceFilename dialog(owner);
    if (RunModalDialog(dialog) != kModalOK || dialog.ElEditSearch->text().isEmpty())
        return std::nullopt;
    // File names compare without regard to case on the suite's systems.
    return TFileNameReplacement{dialog.ElEditSearch->text(), dialog.ElEditReplacement->text(), false};
}

} // namespace cv
