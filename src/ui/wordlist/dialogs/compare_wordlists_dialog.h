#pragma once
// The comparison dialog of two word lists of the word-list tool.

#include <QString>

#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/auto_join_dialog.h" // TTMSStylableReadIniForm

class QLabel;
class QPushButton;

namespace cv {

// The reference list of a comparison of two word lists. Its place on the
// screen is kept in its own ini file (the ini-reading form base).
class TFormCompare2Wordlists final : public TTMSStylableReadIniForm {
    Q_OBJECT
public:
    explicit TFormCompare2Wordlists(QWidget* parent = nullptr);

    TFileNameEdit* ElFileNameEdit1;
    QLabel* ElLabel1;
    QPushButton* ElPopupButtonOK;
    QPushButton* ElPopupButtonHelp;
    TRadioGroup* AdvOfficeRadioGroup1; // 0 one-way, 1 two-way

    // The study list: the reference list may not be the same file.
    QString CurrentFile;

    // Stores the reference list and the one- or two-way choice in the key-word settings.
    void ElPopupButtonOKClick();

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace cv
