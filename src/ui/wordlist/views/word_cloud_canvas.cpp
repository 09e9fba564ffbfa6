#include "ui/wordlist/views/word_cloud_canvas.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace cv {

namespace {

QRect ToQRect(const TCloudRect& r) { return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1)); }

QColor Colour(uint32_t argb) { return QColor::fromRgba(argb); }

} // namespace

TImageCloudCanvas::TImageCloudCanvas(QImage& image, const QString& fontFamily, int fontPoints) : m_image(image)
{
    m_font.setFamily(fontFamily);
    m_font.setPointSize(std::max(1, fontPoints));
}

QFont TImageCloudCanvas::FontOf(int points) const
{
    QFont f = m_font;
    f.setPointSize(std::max(1, points));
    return f;
}

int TImageCloudCanvas::FontPixelsPerInch() const { return m_image.logicalDpiY() > 0 ? m_image.logicalDpiY() : 96; }

int TImageCloudCanvas::VerticalAllowance() const
{
    const QFontMetrics fm(m_font, &m_image);
    // The leading inside the font's height: what it has above its em square.
    const int em = std::lround(m_font.pointSizeF() * FontPixelsPerInch() / 72.0);
    const int internalLeading = std::max(0, fm.height() - em);
    return fm.height() / 7 + internalLeading + std::max(0, fm.leading());
}

TCloudPoint TImageCloudCanvas::TextExtent(const QString& text, int points) const
{
    const QFontMetrics fm(FontOf(points), &m_image);
    return {fm.horizontalAdvance(text), fm.height()};
}

void TImageCloudCanvas::FrameRect(const TCloudRect& r, uint32_t brush, uint32_t pen)
{
    m_image.fill(Colour(brush));
    QPainter p(&m_image);
    p.setPen(Colour(pen));
    p.setBrush(Colour(brush));
    p.drawRect(ToQRect(r));
}

void TImageCloudCanvas::DrawShape(int shape, const TCloudBox& box, int radius, uint32_t pen, uint32_t fill)
{
    QPainter p(&m_image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF rect(QPointF(box.left, box.top), QPointF(box.right, box.bottom));
    p.setBrush(Colour(fill));
    switch (shape) {
    case 0:
        p.setPen(Colour(fill));
        p.drawRoundedRect(rect, radius, radius);
        break;
    case 1:
        p.fillRect(rect, Colour(fill));
        p.setPen(Colour(pen));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect);
        break;
    case 2:
        p.setPen(Colour(pen));
        p.drawRoundedRect(rect, radius, radius);
        break;
    case 3:
        p.setPen(Colour(pen));
        p.drawEllipse(rect);
        break;
    default:
        break;
    }
}

void TImageCloudCanvas::DrawText(int x, int y, const QString& text, int points, uint32_t colour)
{
    QPainter p(&m_image);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont f = FontOf(points);
    p.setFont(f);
    p.setPen(Colour(colour));
    p.drawText(x, y + QFontMetrics(f, &m_image).ascent(), text);
}

void TImageCloudCanvas::Highlight(const TCloudRect& r, uint32_t background, uint32_t fill)
{
    const QRect rect = ToQRect(r).intersected(m_image.rect());
    m_kept = m_image.copy(rect);
    const QRgb from = QColor::fromRgba(background).rgb();
    const QRgb to = QColor::fromRgba(fill).rgb();
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if ((m_image.pixel(x, y) & 0xFFFFFFu) == (from & 0xFFFFFFu))
                m_image.setPixel(x, y, to);
}

void TImageCloudCanvas::RestoreHighlight(const TCloudRect& r)
{
    if (m_kept.isNull())
        return;
    QPainter p(&m_image);
    p.drawImage(ToQRect(r).intersected(m_image.rect()).topLeft(), m_kept);
    m_kept = QImage();
}

} // namespace cv
