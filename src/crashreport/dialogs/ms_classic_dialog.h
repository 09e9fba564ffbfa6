#pragma once
// The classic exception dialog: a white band with the apology and the error
// sign, the error message, an optional restart (or terminate) check box,
// the offer to send the report, a link that opens the detailed dialog, a
// box for what the user was doing, an e-mail box, and Send / Don't Send
// (and an optional custom button). Its width is fixed; its height follows
// the measured texts.
//
// It changes only the shared dialog state (dialog_state.h) and, on
// closing, the options (sender address, reproduce text), the report texts
// (the user's e-mail item "3.3") and "Crashbox.ini" (section "User", key
// "Email").

#include <QRect>

#include "crashreport/dialogs/dialog_toolkit.h"
#include "crashreport/dialogs/exception_dialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace cv {

class TMSClassicDialog final : public TCrashDialog {
public:
    TMSClassicDialog(TExceptionDialogHost& host, const TTextMeasurer& measurer, QWidget* parent = nullptr);

    // The controls, by their ids: 102 the apology, 103 the error message,
    // 104 restart/terminate, 105 and 106 the send offer, 107 the text before
    // the link, 108 and 109 what the user was doing, 110 and 111 the e-mail
    // row, 1000 Send, 1001 Don't Send / OK, 1002 the custom button.
    QLabel* ApologyLabel() const { return m_apology; }
    QLabel* MessageLabel() const { return m_message; }
    QCheckBox* TerminateCheck() const { return m_terminate; }
    QLabel* PleaseLabel() const { return m_please; }
    QLabel* DescriptionLabel() const { return m_description; }
    QLabel* SeeDetailsLabel() const { return m_seeDetails; }
    QLabel* ReproduceLabel() const { return m_reproduceLabel; }
    QPlainTextEdit* ReproduceEdit() const { return m_reproduce; }
    QLabel* EmailLabel() const { return m_emailLabel; }
    QLineEdit* EmailEdit() const { return m_email; }
    QPushButton* SendButton() const { return m_send; }
    QPushButton* NoSendButton() const { return m_noSend; }
    QPushButton* CustomButton() const { return m_custom; }
    // Where the link "click here." is drawn (client coordinates); empty without it.
    QRect LinkRect() const { return m_link.Rect; }
    bool LinkHovered() const { return m_link.Hovered; }

    // The mouse over the client area, and the left button let go there.
    void MouseMoved(const QPoint& at);
    void LeftButtonUp(const QPoint& at);

    void SendClicked();
    void NoSendClicked();
    void CustomClicked();
    // Esc and the close box.
    void reject() override;

protected:
    void NeverPainted() override;
    void AutoClose() override;

private:
    void Layout();
    void Paint(QPainter& painter);
    // The closing step: the e-mail address, the reproduce text and the
    // terminate choice; false when the dialog stays open (an address that
    // is no address, unless the dialog closes on its own).
    bool CloseMSDialog(bool closingByItself = false);
    int ButtonWidth(const std::string& caption) const;

    TExceptionDialogHost& m_host;
    QLabel* m_apology = nullptr;
    QLabel* m_message = nullptr;
    QCheckBox* m_terminate = nullptr;
    QLabel* m_please = nullptr;
    QLabel* m_description = nullptr;
    QLabel* m_seeDetails = nullptr;
    QLabel* m_reproduceLabel = nullptr;
    QPlainTextEdit* m_reproduce = nullptr;
    QLabel* m_emailLabel = nullptr;
    QLineEdit* m_email = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_noSend = nullptr;
    QPushButton* m_custom = nullptr;
    TDialogLink m_link;
    QImage m_errorPicture;
};

} // namespace cv
