#include "crashreport/dialogs/dialog_pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace cv {

namespace {

QImage Blank(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QImage ErrorPicture()
{
    QImage image = Blank(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(128, 0, 0), 1.5));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
    p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
    return image;
}

QImage SendPicture()
{
    QImage image = Blank(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF letter(2.5, 7.5, 27, 18);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(250, 245, 225));
    p.drawRect(letter);
    p.drawLine(letter.topLeft(), QPointF(16, 18));
    p.drawLine(letter.topRight(), QPointF(16, 18));
    p.setPen(QPen(QColor(0, 110, 200), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 28), QPointF(29, 28));
    p.drawLine(QPointF(26, 25), QPointF(29, 28));
    return image;
}

QImage ListIcon(int index)
{
    QImage image = Blank(16);
    QPainter p(&image);
    switch (index) {
    case 0: { // a library: a grey block with two gear teeth
        p.setPen(QColor(70, 70, 70));
        p.setBrush(QColor(190, 190, 200));
        p.drawRect(2, 3, 11, 10);
        p.fillRect(5, 6, 6, 4, QColor(110, 110, 130));
        break;
    }
    case 1: { // a package: a brown box with its lid
        p.setPen(QColor(90, 60, 20));
        p.setBrush(QColor(210, 160, 90));
        p.drawRect(2, 5, 11, 8);
        p.drawLine(2, 5, 5, 2);
        p.drawLine(5, 2, 15, 2);
        p.drawLine(15, 2, 13, 5);
        break;
    }
    case 2: { // a program: a window with its title bar
        p.setPen(QColor(30, 50, 110));
        p.setBrush(Qt::white);
        p.drawRect(1, 2, 13, 11);
        p.fillRect(2, 3, 12, 3, QColor(40, 80, 170));
        break;
    }
    case 3: { // a source unit: a page with lines of text
        p.setPen(QColor(60, 60, 60));
        p.setBrush(Qt::white);
        p.drawRect(3, 1, 9, 13);
        p.setPen(QColor(0, 0, 160));
        for (int y = 4; y <= 11; y += 2)
            p.drawLine(5, y, 10, y);
        break;
    }
    default:
        break;
    }
    return image;
}

QImage ExpandBox(bool expanded)
{
    QImage image = Blank(13);
    QPainter p(&image);
    p.setPen(QColor(120, 120, 120));
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 10, 10);
    p.setPen(Qt::black);
    p.drawLine(3, 6, 9, 6);
    if (!expanded)
        p.drawLine(6, 3, 6, 9);
    return image;
}

QImage ArrowCursor()
{
    QImage image = Blank(32);
    QPainter p(&image);
    QPainterPath arrow;
    arrow.moveTo(0, 0);
    arrow.lineTo(0, 17);
    arrow.lineTo(4, 13);
    arrow.lineTo(7, 20);
    arrow.lineTo(10, 19);
    arrow.lineTo(7, 12);
    arrow.lineTo(12, 12);
    arrow.closeSubpath();
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return image;
}

} // namespace cv
