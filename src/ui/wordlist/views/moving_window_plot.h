#pragma once
// The moving-window plot: a ".plotdata" series (index/index_moving_window.h)
// drawn as lines, one per run, over a stretch of the text chosen by a start
// position (tenths of the text) and a width (percent of the text, or a
// number of running words). The sections of the corpus (texts, section
// breaks) stand as silver lines with their names; the vertical scale is
// overlap 0 to 0.6. Layout is plain arithmetic (ComputeLayout), the drawing
// goes onto any QPainter.

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "index/index_moving_window.h"

class QPainter;

namespace cv {

// The colour of a segment whose two windows' mean overlap, times 100 and
// rounded, is `percent`: orange below 11, red to 18, maroon to 23, dark red to 27, blue above.
QColor OverlapSegmentColour(int percent);

// A section's label for a space `width` pixels wide: its angle brackets
// removed, then cut from the left while wider than the space, never below one character.
QString FitSectionLabel(const QString& label, int width, const std::function<int(const QString&)>& textWidth);

class TMovingWindowPlotter {
public:
    // Called after loading: running words, mean near and far overlaps, their standard deviations.
    using TNotifier = std::function<void(int32_t tokens, float nearMean, float farMean, float nearSd, float farSd)>;

    TMovingWindowPlotter(int32_t horizPixels, TNotifier notifier, int32_t vertPixels);

    // Reads a ".plotdata" file; false (with the reason) when the file is
    // missing or not a sound plot file; nothing is then shown.
    bool LoadUpData(const QString& fileName, QString* error = nullptr);
    // Takes a series already read (the same as loading it).
    void SetData(TMovingWindowPlotDataHolder data, const QString& title);

    // Lays out a view: start = trackPosition × 10 percent of the text; the
    // width is `percent` of the text, or `windowWords` running words when
    // percent is not preferred. Draws it when the view holds a window.
    void AdjustView(int width, int height, bool preferPercent, QPainter& canvas, double percent,
                    int32_t windowWords, int trackPosition);
    void ComputeLayout(int width, int height, bool preferPercent, double percent, int32_t windowWords,
                       int trackPosition);
    void DrawAxesAndSections(QPainter& canvas) const;
    void DrawOverlapLines(QPainter& canvas) const;
    // Where a run's value of a window in view is drawn (after ComputeLayout).
    QPoint ValuePoint(int run, int window) const;
    void Clear() { saved_rect.setBottom(INT32_MAX); }

    const TMovingWindowPlotDataHolder& DataHolder() const { return dataholder; }
    bool ReadyToDisplay() const { return ready_to_display; }
    bool OKToShow() const { return OK_To_show; }
    const QString& PlotTitle() const { return plot_titel; }
    int32_t HorizPixels() const { return horiz_pixels; }
    int32_t VertPixels() const { return vert_pixels; }
    int WindowCount() const;

    // --- the layout of the last view ---
    QString plot_titel;
    bool OK_To_show = false;
    std::vector<QPoint> x_axis_mark_points;
    std::vector<QPoint> y_axis_mark_points;
    float datarect_plot_v_space = 0;
    float datarect_plot_h_space = 0;
    float percent_to_show = 100;
    int32_t datarect_width = 0;
    int32_t datarect_height = 0;
    int32_t leftmost_visible_wordnum = 0;
    int32_t rightmost_visible_wordnum = 0;
    int32_t leftmost_visible_window = 0;
    int32_t rightmost_visible_window = 0;
    int32_t max_font_size = 40;
    int32_t min_font_size = 8;
    QRect AxesRect;
    QRect DataMesmoRect;
    QRect saved_rect;
    QColor AxesPenColour = Qt::black;
    QColor pencolour = Qt::black;
    QColor scrollbox_background_colour = Qt::white;
    QColor wordcolour = Qt::black;
    QColor shapefillcolour = Qt::white;

private:
    int32_t horiz_pixels;
    int32_t vert_pixels;
    TNotifier notifier;
    TMovingWindowPlotDataHolder dataholder;
    bool ready_to_display = false;
};

} // namespace cv
