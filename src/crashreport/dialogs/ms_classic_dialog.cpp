#include "crashreport/dialogs/ms_classic_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/support/profile_file.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/dialogs/dialog_pictures.h"
#include "suite/dialogs.h"

namespace cv {

namespace {

constexpr QSize kTemplateUnits(275, 241);
constexpr int kClientWidth = 413; // the outer width 419 less the frame
constexpr int kBandHeight = 51;

QLabel* MakeLabel(QWidget* parent, const QFont& font, bool wrap = true)
{
    auto* label = new QLabel(parent);
    label->setFont(font);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

TMSClassicDialog::TMSClassicDialog(TExceptionDialogHost& host, const TTextMeasurer& measurer, QWidget* parent)
    : TCrashDialog(*host.Options, measurer, kTemplateUnits, parent), m_host(host), m_errorPicture(ErrorPicture())
{
    const TCrashboxModuleOptions& options = *host.Options;
    TExceptionDialogState& state = ExceptionDialogState();
    SetupDialogWindow(false, true, QString::fromStdString(options.GetExpandedText(mtDialog_Caption)));

    QWidget* client = Client();
    m_apology = MakeLabel(client, Fonts().MessageBold);
    m_message = MakeLabel(client, Fonts().Message);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_terminate = new QCheckBox(client);
    m_terminate->setFont(Fonts().Message);
    m_please = MakeLabel(client, Fonts().MessageBold);
    m_description = MakeLabel(client, Fonts().Message);
    m_seeDetails = MakeLabel(client, Fonts().Message, false);
    m_reproduceLabel = MakeLabel(client, Fonts().Message);
    m_reproduce = new QPlainTextEdit(client);
    m_reproduce->setFont(Fonts().Fixed);
    m_reproduce->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_reproduce->setPlainText(EditText(options.ReproduceText()));
    m_emailLabel = MakeLabel(client, Fonts().Message, false);
    m_email = new QLineEdit(client);
    m_email->setFont(Fonts().Message);
    m_email->setText(QString::fromStdString(IniReadString("Crashbox.ini", "User", "Email", "")));
    m_custom = new QPushButton(client);
    m_send = new QPushButton(client);
    m_noSend = new QPushButton(client);
    for (QPushButton* button : {m_custom, m_send, m_noSend}) {
        button->setFont(Fonts().Message);
        button->setAutoDefault(false);
    }
    m_send->setDefault(true);
    connect(m_send, &QPushButton::clicked, this, [this] { SendClicked(); });
    connect(m_noSend, &QPushButton::clicked, this, [this] { NoSendClicked(); });
    connect(m_custom, &QPushButton::clicked, this, [this] { CustomClicked(); });

    state.SendOptionShown = ComputeSendOptionShown(options, host.DuplicateInLog);
    if (!state.SendOptionShown) {
        m_send->hide();
        m_send->setEnabled(false);
        m_send->setDefault(false);
        m_noSend->setDefault(true);
        m_noSend->setFocus();
    }

    Layout();

    auto* area = static_cast<TDialogClient*>(Client());
    area->OnPaint = [this](QPainter& painter) { Paint(painter); };
    area->OnMouseMove = [this](const QPoint& at) { MouseMoved(at); };
    area->OnLeftButtonUp = [this](const QPoint& at) { LeftButtonUp(at); };

    StartPaintedCheck();
    StartAutoCloseTimer();
    StartKeepForeground();
}

int TMSClassicDialog::ButtonWidth(const std::string& caption) const
{
    return std::max(75, GetTextWidth(Measurer(), Fonts().Message, ButtonCaptionText(caption)) + 16 +
                            4 * DialogMetrics().CxBorder);
}

void TMSClassicDialog::Layout()
{
    const TCrashboxModuleOptions& options = *m_host.Options;
    const TExceptionDialogState& state = ExceptionDialogState();
    const TDialogMetrics& metrics = DialogMetrics();
    auto text = [&](TMessageType type) { return QString::fromStdString(options.GetExpandedText(type)); };
    int y = 0;
    // Sets the text and places the control at (x, y) in the given width,
    // as high as its wrapped text and one pixel more; the wrapped height.
    auto place = [&](QWidget* control, const QString& caption, const QFont& font, int x, int top, int width) {
        if (auto* label = qobject_cast<QLabel*>(control))
            label->setText(caption);
        else if (auto* box = qobject_cast<QCheckBox*>(control))
            box->setText(caption);
        const int height = MeasureWrappedTextHeight(Measurer(), font, caption, width);
        control->setGeometry(x, top, width, height + 1);
        control->show();
        return height;
    };

    const QString apology = text(mtMSDialog_ErrorMsgCaption);
    const int h = MeasureWrappedTextHeight(Measurer(), Fonts().MessageBold, apology, 356);
    place(m_apology, apology, Fonts().MessageBold, 8, (kBandHeight - h) / 2, 356);

    y = 59;
    y += place(m_message, QString::fromStdString(m_host.ErrorMessage), Fonts().Message, 8, y, 397);

    if (options.TerminateBtnOperation() != tbNone && m_host.ExceptionCount > options.ErrorsNumberToShowTerminateBtn()) {
        y += 10;
        const TMessageType caption =
            options.TerminateBtnOperation() == tbTerminate ? mtMSDialog_TerminateCaption : mtMSDialog_RestartCaption;
        y += place(m_terminate, text(caption), Fonts().Message, 8, y, 397);
    } else {
        m_terminate->hide();
    }

    if (state.SendOptionShown) {
        y += 10;
        y += place(m_please, text(mtMSDialog_PleaseCaption), Fonts().MessageBold, 8, y, 397);
        y += 2;
        y += place(m_description, text(mtMSDialog_DescriptionCaption), Fonts().Message, 8, y, 397);
    } else {
        m_please->hide();
        m_description->hide();
    }

    m_link.Rect = QRect();
    if (options.ExceptionDialogOptions().Contains(edoShowDetailsButton)) {
        y += 12;
        const QString before = QString::fromStdString(TrimA(options.GetExpandedText(mtMSDialog_SeeDetailsCaption))) + " ";
        const int w1 = GetTextWidth(Measurer(), Fonts().Message, before);
        const QString link = text(mtMSDialog_SeeClickCaption);
        const int left = w1 + 8;
        m_link.Rect = QRect(QPoint(left, y),
                           QPoint(left + GetTextWidth(Measurer(), Fonts().MessageUnderline, link) - 1,
                                  y + MeasureWrappedTextHeight(Measurer(), Fonts().MessageUnderline, link, 356) - 1));
        y += place(m_seeDetails, before, Fonts().Message, 8, y, w1);
    } else {
        m_seeDetails->hide();
    }

    const int lineHeight = MeasureWrappedTextHeight(Measurer(), Fonts().Message, QStringLiteral("O"), 356);

    if (options.LogOptions().Contains(loAppendReproduceText)) {
        y += 12;
        y += place(m_reproduceLabel, text(mtMSDialog_HowToReproduceCaption), Fonts().Message, 8, y, 397);
        y += 2;
        const int fixedLine = Measurer().Extent(Fonts().Fixed, QStringLiteral("O")).cy;
        const int editHeight = 8 * metrics.CxBorder + 4 * fixedLine;
        m_reproduce->setGeometry(8, y, 397, editHeight);
        m_reproduce->show();
        y += editHeight - 4;
    } else {
        m_reproduceLabel->hide();
        m_reproduce->hide();
    }

    if (state.SendOptionShown && !(options.EMailSendMode() == esmEmailClient && options.WebSendMode() == wsmNoSend)) {
        y += 12;
        const QString caption = text(mtMSDialog_EmailCaption) + " ";
        const int w = GetTextWidth(Measurer(), Fonts().Message, caption);
        const int editHeight = 8 * metrics.CxBorder + lineHeight;
        m_email->setGeometry(w + 8, y, 397 - w, editHeight);
        m_email->show();
        y += (editHeight - lineHeight) / 2;
        y += place(m_emailLabel, caption, Fonts().Message, 8, y, w);
    } else {
        m_emailLabel->hide();
        m_email->hide();
    }

    y += 12;
    const int buttonHeight = 4 * metrics.CxBorder + lineHeight + 6;
    const std::string custom = options.GetExpandedText(mtDialog_CustomButtonCaption);
    m_custom->setText(QString::fromStdString(custom));
    m_custom->setGeometry(8, y, ButtonWidth(custom), buttonHeight);
    m_custom->setVisible(options.ExceptionDialogOptions().Contains(edoShowCustomButton));

    const std::string noSendCaption = options.GetExpandedText(mtMSDialog_NoSendButtonCaption);
    const int x = 405 - ButtonWidth(noSendCaption);
    const bool plainOK = !state.SendChecked || !state.SendOptionShown;
    m_noSend->setText(QString::fromStdString(plainOK ? options.GetExpandedText(mtDialog_OKButtonCaption) : noSendCaption));
    m_noSend->setGeometry(x, y, ButtonWidth(noSendCaption), buttonHeight);
    m_noSend->show();
    const std::string sendCaption = options.GetExpandedText(mtMSDialog_SendButtonCaption);
    m_send->setText(QString::fromStdString(sendCaption));
    m_send->setGeometry(x - 8 - ButtonWidth(sendCaption), y, ButtonWidth(sendCaption), buttonHeight);
    m_send->setVisible(state.SendOptionShown);

    const int outerHeight = y + metrics.CyFrame + buttonHeight + 10 + metrics.CyCaption;
    CenterWindowOnWorkArea(kClientWidth + NonClientSize().width(), outerHeight);
}

void TMSClassicDialog::Paint(QPainter& painter)
{
    painter.fillRect(QRect(0, 0, kClientWidth, kBandHeight), Qt::white);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(0, 0, kClientWidth - 1, kBandHeight - 1));
    painter.drawImage(QRect(372, 9, 32, 32), m_errorPicture);
    if (m_link.Rect.isNull())
        return;
    painter.fillRect(m_link.Rect, palette().window());
    painter.setFont(Fonts().MessageUnderline);
    painter.setPen(QColor(0, 0, 255));
    painter.drawText(m_link.Rect.adjusted(0, 0, 40, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(m_host.Options->GetExpandedText(mtMSDialog_SeeClickCaption)));
}

void TMSClassicDialog::MouseMoved(const QPoint& at) { m_link.MouseMoved(*Client(), at); }

void TMSClassicDialog::LeftButtonUp(const QPoint& at)
{
    MouseMoved(at);
    if (!m_link.Hovered)
        return;
    ExceptionDialogState().DialogType = edtCrashbox;
    CloseMSDialog();
}

void TMSClassicDialog::SendClicked()
{
    TExceptionDialogState& state = ExceptionDialogState();
    state.SendChecked = true;
    state.DialogType = edtNone;
    CloseMSDialog();
}

void TMSClassicDialog::NoSendClicked()
{
    TExceptionDialogState& state = ExceptionDialogState();
    state.SendChecked = state.SendChecked && !state.SendOptionShown;
    state.DialogType = edtNone;
    CloseMSDialog();
}

void TMSClassicDialog::CustomClicked()
{
    if (!m_host.CustomButtonClosesDialog())
        return;
    ExceptionDialogState().DialogType = edtNone;
    CloseMSDialog();
}

void TMSClassicDialog::reject()
{
    TExceptionDialogState& state = ExceptionDialogState();
    state.SendChecked = false;
    state.DialogCancelled = true;
    state.DialogType = edtNone;
    CloseMSDialog();
}

void TMSClassicDialog::NeverPainted()
{
    ExceptionDialogState().DialogType = edtNone;
    CloseMSDialog(true);
}

void TMSClassicDialog::AutoClose()
{
    ExceptionDialogState().DialogType = edtNone;
    CloseMSDialog(true);
}

bool TMSClassicDialog::CloseMSDialog(bool closingByItself)
{
    TExceptionDialogState& state = ExceptionDialogState();
    TCrashboxModuleOptions& options = *m_host.Options;
    std::string email = TrimA(m_email->text().toStdString());
    if (!email.empty() && !LooksLikeEmailAddress(email)) {
        if (closingByItself) {
            // Nobody is there to mend the address: leave it out rather than
            // keep a dialog that was to close open behind a message box.
            email.clear();
        } else {
            TDialogRequest request;
            request.kind = TDialogKind::Error;
            request.caption = QString::fromStdString(options.GetExpandedText(mtErrorMsgCaption));
            request.text = QString::fromStdString(options.GetExpandedText(mtInvalidEmailMsg));
            ShowDialog(request);
            state.UserEmail = email;
            return false;
        }
    }
    state.UserEmail = email;
    if (!email.empty()) {
        options.SetSMTPFrom(email);
        TExceptionReportTexts& texts = m_host.Texts;
        texts.General = ReplaceReportItemValue(texts.General, "3.3", email);
        texts.Report = ReplaceReportItemValue(texts.Report, "3.3", email);
        texts.ReportCopy = ReplaceReportItemValue(texts.ReportCopy, "3.3", email);
        texts.SendText = texts.Report;
        IniWriteString("Crashbox.ini", "User", "Email", email);
    }
    options.SetReproduceText(TrimA(ReportText(m_reproduce->toPlainText())));
    state.TerminateRequested = (state.TerminateRequested || m_terminate->isChecked()) &&
                               (!state.DialogCancelled || options.ForcedTerminateBtnOperation() != tbNone);
    StopAutoCloseTimer();
    StopKeepForeground();
    done(QDialog::Accepted);
    return true;
}

} // namespace cv
