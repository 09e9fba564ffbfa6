#pragma once
// The language change dialog of the word-list tool.

#include <QString>
#include <QStringList>

#include <optional>

#include "ui/framework/dialog_base/dialog_support.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace cv {

// The language of the texts, chosen from the user's favourite languages;
// the choice goes to the controller.
class TFormLangChange final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormLangChange(QWidget* parent = nullptr);

    QPushButton* ElPopupButtonChange;
    QPushButton* ElPopupButtonHelp;
    QComboBox* AdvComboBox1;
    QLineEdit* AdvEdit1;

    // names: separated by TAB; the language of the text settings is selected (none when absent).
    void SetAlternatives(const QString& names);
    void SetCurrentLangTo(const QString& name);
    // Posts the language change (code 1230 with the item's index) and sends the main window back.
    void ElPopupButtonChangeClick();
};

// The language dialog as the framework's language change asks for it: the
// names offered, the current language shown; the index chosen (the dialog
// has told the controller), std::nullopt when cancelled.
std::optional<int> RunLanguageChangeDialog(QWidget* owner, const QStringList& names, const QString& current);

} // namespace cv
