#pragma once
// A one-line value the tool asks for, or a choice between two alternatives:
// made on demand, run modally through RunModalDialog.

#include <QString>

#include "ui/framework/dialog_base/dialog_support.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace cv {

// A one-line value, or a choice between two alternatives.
class TGeneralInputDlg final : public TCVDialog {
    Q_OBJECT
public:
    explicit TGeneralInputDlg(QWidget* parent = nullptr);

    QLabel* LabelPrompt;
    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;
    QComboBox* ElComboBox1;
    QPushButton* AdvGlowButtonOption1;
    QPushButton* AdvGlowButtonOption2;
    QLabel* LabelTopic;
    int32_t BotaoPressed = 0; // 0 none, 1 option one, 2 option two
    bool offering_alternatives = false;

    QString Prompt() const;
    void SetPrompt(const QString& prompt);
    QString Value() const;
    void SetValue(const QString& value);
    QString Topic() const;
    void SetTopic(const QString& topic);
    // The value as a whole number; -1 when it is not one.
    int ValueAsInteger() const;

    bool Execute(const QString& prompt, const QString& initial, int helpContext);
    bool Execute(const QString& prompt, int initial, int helpContext);
    // Offers the two option buttons; the caller reads BotaoPressed after OK.
    bool GetAlternative(const QString& prompt, int helpContext);

    void OptionClick(int option);

protected:
    void FormShow() override;
};

} // namespace cv
