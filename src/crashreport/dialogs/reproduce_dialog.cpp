#include "crashreport/dialogs/reproduce_dialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/support/text_routines.h"

namespace cv {

namespace {
constexpr QSize kTemplateUnits(316, 153);
}

QSize TReproduceDialog::TemplateOuterSize()
{
    const TDialogMetrics& m = DialogMetrics();
    return DialogUnitsToPixels(kTemplateUnits.width(), kTemplateUnits.height()) +
           QSize(2 * m.DialogFrameX(), 2 * m.DialogFrameY() + m.CySmCaption);
}

TReproduceDialog::TReproduceDialog(TCrashboxModuleOptions& options, const TTextMeasurer& measurer, QWidget* parent)
    : TCrashDialog(options, measurer, kTemplateUnits, parent), m_writableOptions(options)
{
    const QString caption = QString::fromStdString(options.GetExpandedText(mtReproduceDialog_Caption));
    SetupDialogWindow(false, false, caption);

    m_label = new QLabel(QString::fromStdString(options.GetExpandedText(mtReproduceDialog_Request)), Client());
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setFont(Fonts().Message);
    m_edit = new QPlainTextEdit(Client());
    m_edit->setFont(Fonts().Fixed);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setPlainText(EditText(options.ReproduceText()));
    m_ok = new QPushButton(QString::fromStdString(options.GetExpandedText(mtReproduceDialog_OKButtonCaption)), Client());
    m_ok->setFont(Fonts().Message);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    Layout();

    StartAutoCloseTimer();
    CenterWindowInRect(DialogWorkArea());
    StartKeepForeground();
}

void TReproduceDialog::Layout()
{
    const QSize outer = OuterSize();
    const int w = outer.width() - 27;
    const int h = MeasureWrappedTextHeight(Measurer(), Fonts().Message, m_label->text(), w);
    const int e = outer.height() - 83 - h;
    GrowWindowHeight(h - 10);
    m_label->setGeometry(10, 10, w, h);
    m_edit->setGeometry(10, h + 14, w, e);
    m_ok->setGeometry(w - 65, h + 20 + e, 75, 23);
}

void TReproduceDialog::done(int result)
{
    // The button, Esc, the close box and the auto-close timer all end here.
    if (!m_stored) {
        m_stored = true;
        m_writableOptions.SetReproduceText(TrimA(ReportText(m_edit->toPlainText())));
        StopAutoCloseTimer();
        StopKeepForeground();
    }
    TCrashDialog::done(result);
}

} // namespace cv
