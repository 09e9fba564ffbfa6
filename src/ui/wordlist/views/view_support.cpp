#include "ui/wordlist/views/view_support.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QShortcut>

#include <cmath>

#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/tool_data_module.h"

namespace cv {

QSize PrintablePagePixels()
{
    TPrinterOrganiser organiser;
    organiser.Load();
    const QRectF page = organiser.PageRectMM();
    double dpiX = 96, dpiY = 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        dpiX = screen->logicalDotsPerInchX();
        dpiY = screen->logicalDotsPerInchY();
    }
    return {int(std::lround(page.width() / 25.4 * dpiX)), int(std::lround(page.height() / 25.4 * dpiY))};
}

void CopyImageToClipboard(const QImage& image)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(image);
}

bool PrintImage(QWidget* parent, const QImage& image, const QString& jobTitle)
{
    if (image.isNull())
        return false;
    TPrinterOrganiser organiser;
    organiser.Load();
    QPrinter printer(QPrinter::HighResolution);
    organiser.ApplyTo(printer);
    printer.setDocName(jobTitle);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(jobTitle);
    if (RunModalDialog(dialog) != QDialog::Accepted)
        return false;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRect(QPoint(0, 0), size), image);
    return painter.end();
}

void SetWindowHelp(QWidget* window, int context)
{
    SetHelpContext(window, context);
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, [context] { ShowHelpTopic(context); });
}

} // namespace cv
