#pragma once
// The word cloud's canvas on an image: measures words in a font family at
// the image's resolution, paints frame, shapes and words, and highlights a
// word by painting its block's background in the fill colour (the pixels
// are kept, so the highlight comes off without a redraw).

#include <QFont>
#include <QImage>

#include "ui/wordlist/views/word_cloud_layout.h"

namespace cv {

class TImageCloudCanvas final : public TWordCloudCanvas {
public:
    // image: painted on, not owned; it must outlive the canvas.
    TImageCloudCanvas(QImage& image, const QString& fontFamily, int fontPoints);

    int FontPixelsPerInch() const override;
    int VerticalAllowance() const override;
    TCloudPoint TextExtent(const QString& text, int points) const override;
    void FrameRect(const TCloudRect& r, uint32_t brush, uint32_t pen) override;
    void DrawShape(int shape, const TCloudBox& box, int radius, uint32_t pen, uint32_t fill) override;
    void DrawText(int x, int y, const QString& text, int points, uint32_t colour) override;
    void Highlight(const TCloudRect& r, uint32_t background, uint32_t fill) override;
    void RestoreHighlight(const TCloudRect& r) override;

private:
    QFont FontOf(int points) const;

    QImage& m_image;
    QFont m_font;
    QImage m_kept; // the pixels under the highlight
};

} // namespace cv
