#include "ui/wordlist/views/moving_window_plot.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "suite/cv_stream.h"

namespace cv {

namespace {

const QColor kSilver(192, 192, 192);

int Round(double v) { return int(std::lround(v)); }

// A font of `points` in the painter's current family.
QFont PlotFont(const QPainter& canvas, int points)
{
    QFont f = canvas.font();
    f.setPointSize(points);
    return f;
}

} // namespace

QColor OverlapSegmentColour(int percent)
{
    if (percent < 11)
        return QColor(255, 140, 0);
    if (percent <= 18)
        return QColor(255, 0, 0);
    if (percent <= 23)
        return QColor(128, 0, 0);
    if (percent <= 27)
        return QColor(139, 0, 0);
    return QColor(0, 0, 255);
}

QString FitSectionLabel(const QString& label, int width, const std::function<int(const QString&)>& textWidth)
{
    QString s = label;
    s.remove(QLatin1Char('<'));
    s.remove(QLatin1Char('>'));
    while (s.size() > 1 && textWidth(s) > width)
        s.remove(0, 1);
    return s;
}

TMovingWindowPlotter::TMovingWindowPlotter(int32_t horizPixels, TNotifier notifier_, int32_t vertPixels)
    : horiz_pixels(horizPixels), vert_pixels(vertPixels), notifier(std::move(notifier_))
{
}

int TMovingWindowPlotter::WindowCount() const
{
    return dataholder.OverlapValues.empty() ? 0 : int(dataholder.OverlapValues.front().size());
}

bool TMovingWindowPlotter::LoadUpData(const QString& fileName, QString* error)
{
    ready_to_display = false;
    OK_To_show = false;
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile()) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": it does not exist").arg(fileName);
        return false;
    }
    TFileStream f;
    if (!f.Open(fileName, TFileStream::Mode::OpenRead)) {
        if (error)
            *error = f.ErrorString();
        return false;
    }
    TMovingWindowPlotDataHolder data;
    if (!data.ReadPlotDataFromStream(f)) {
        dataholder.Clear();
        if (error)
            *error = QStringLiteral("Cannot read file \"%1\": it is not a sound moving-window plot file").arg(fileName);
        return false;
    }
    QString title = QFileInfo(fileName).completeBaseName();
    const int at = title.indexOf(QLatin1String("_moving_window"));
    if (at >= 0)
        title.remove(at, int(qstrlen("_moving_window")));
    SetData(std::move(data), title);
    return true;
}

void TMovingWindowPlotter::SetData(TMovingWindowPlotDataHolder data, const QString& title)
{
    dataholder = std::move(data);
    plot_titel = title;
    ready_to_display = dataholder.PlannedRuns > 0 && WindowCount() > 0;
    OK_To_show = false;
    if (notifier)
        notifier(dataholder.Total_Tokens, dataholder.mean_section_near_overlaps, dataholder.mean_section_far_overlaps,
                 dataholder.sd_section_near_overlaps, dataholder.sd_section_far_overlaps);
}

void TMovingWindowPlotter::ComputeLayout(int width, int height, bool preferPercent, double percent,
                                         int32_t windowWords, int trackPosition)
{
    OK_To_show = false;
    x_axis_mark_points.clear();
    y_axis_mark_points.clear();
    if (!ready_to_display)
        return;
    horiz_pixels = width;
    vert_pixels = height;
    const int n = WindowCount();
    const double T = dataholder.Total_Tokens;
    const double start = std::clamp(trackPosition, 0, 9) * 10.0;

    AxesRect = QRect(QPoint(1, 1), QPoint(width - 1, height - 1));
    const int shrink = height / 10;
    DataMesmoRect = QRect(QPoint(AxesRect.left() + shrink, AxesRect.top() + shrink),
                          QPoint(AxesRect.right() - shrink, AxesRect.bottom() - shrink));

    const double windowPercent = T > 0 ? windowWords * 100.0 / T : 100.0;
    percent_to_show = float(preferPercent ? std::min(100.0 - start, percent) : std::min(windowPercent, 100.0 - start));

    leftmost_visible_wordnum = Round(T * start / 100.0);
    leftmost_visible_window = Round(n * start / 100.0);
    const double end = (start + percent_to_show) / 100.0;
    rightmost_visible_window = std::min(n, Round(n * end));
    rightmost_visible_wordnum = Round(T * end);

    const int visible = rightmost_visible_window - leftmost_visible_window;
    OK_To_show = visible > 0;
    datarect_height = DataMesmoRect.bottom() - DataMesmoRect.top();
    datarect_width = DataMesmoRect.right() - DataMesmoRect.left();
    datarect_plot_v_space = float(datarect_height) / 6.0f;
    datarect_plot_h_space = visible > 0 ? float(datarect_width) / float(visible) : 0.0f;

    for (int i = 0; i <= 5; ++i)
        y_axis_mark_points.emplace_back(Round(DataMesmoRect.left() / 2.0),
                                        DataMesmoRect.bottom() - Round(i * datarect_plot_v_space));
    // A tick in the middle of each window's stretch: its value is drawn there.
    for (int i = 0; i < visible; ++i)
        x_axis_mark_points.emplace_back(Round((i + 0.5) * datarect_plot_h_space) + DataMesmoRect.left(),
                                        height - Round((height - DataMesmoRect.bottom()) / 2.0));
}

QPoint TMovingWindowPlotter::ValuePoint(int run, int window) const
{
    const std::vector<float>& v = dataholder.OverlapValues[size_t(run)];
    const int runs = std::max(1, int(dataholder.PlannedRuns));
    // Each run starts a fraction of a window later than the one before: its
    // points lie that fraction further along within the window's stretch.
    const double along = window - leftmost_visible_window + (run + 0.5) / runs;
    return QPoint(DataMesmoRect.left() + Round(along * datarect_plot_h_space),
                  Round(DataMesmoRect.bottom() - datarect_plot_v_space * 10 * v[size_t(window)]));
}

void TMovingWindowPlotter::AdjustView(int width, int height, bool preferPercent, QPainter& canvas, double percent,
                                      int32_t windowWords, int trackPosition)
{
    ComputeLayout(width, height, preferPercent, percent, windowWords, trackPosition);
    if (!OK_To_show)
        return;
    DrawAxesAndSections(canvas);
    DrawOverlapLines(canvas);
}

void TMovingWindowPlotter::DrawAxesAndSections(QPainter& canvas) const
{
    canvas.save();
    const QRect& data = DataMesmoRect;
    // Frame and background.
    canvas.setPen(AxesPenColour);
    canvas.setBrush(scrollbox_background_colour);
    canvas.drawRect(AxesRect);

    // Title, centred over the data area.
    canvas.setFont(PlotFont(canvas, 14));
    canvas.setPen(wordcolour);
    {
        const QFontMetrics fm(canvas.font());
        const int w = fm.horizontalAdvance(plot_titel);
        const int y = AxesRect.top() + (data.top() - AxesRect.top()) / 2;
        canvas.drawText(data.left() + (data.width() - w) / 2, y + fm.ascent() / 2, plot_titel);
    }

    // The data area.
    canvas.setBrush(Qt::NoBrush);
    canvas.setPen(pencolour);
    canvas.drawRect(data);

    // y labels: 0.0 to 0.5, each with its bottom at its tick.
    canvas.setFont(PlotFont(canvas, 6));
    const QFontMetrics fm(canvas.font());
    canvas.setPen(wordcolour);
    for (int i = 0; i < int(y_axis_mark_points.size()); ++i) {
        const QPoint p = y_axis_mark_points[size_t(i)];
        canvas.drawText(p.x(), p.y() - fm.descent(), QString::number(i / 10.0, 'f', 1));
    }

    // Sections.
    const auto& labels = dataholder.Sections_Info;
    const auto& starts = dataholder.SectionStarts;
    const int count = int(std::min<size_t>(size_t(labels.size()), starts.size()));
    const double visibleWords = std::max(1, rightmost_visible_wordnum - leftmost_visible_wordnum);
    auto xOf = [&](int32_t word) {
        return data.left() + Round((word - leftmost_visible_wordnum) / visibleWords * datarect_width);
    };
    const int h = fm.height();
    static constexpr int kLevels[4] = {1, 2, 3, 2};
    for (int s = 0; s < count; ++s) {
        const int32_t word = starts[size_t(s)];
        if (word < leftmost_visible_wordnum || word > rightmost_visible_wordnum)
            continue;
        const int x1 = xOf(word);
        canvas.setPen(kSilver);
        canvas.drawLine(x1, data.top() + 5, x1, data.bottom() - 5);
        const int x2 = s + 1 < count ? xOf(starts[size_t(s + 1)]) : data.right() - 1;
        const QString label = FitSectionLabel(labels[s], x2 - x1, [&fm](const QString& t) {
            return fm.horizontalAdvance(t);
        });
        const int top = data.top() + h * kLevels[s % 4];
        const int w = fm.horizontalAdvance(label);
        const int left = x1 + (x2 - x1 - w) / 2;
        canvas.save();
        canvas.setClipRect(QRect(QPoint(x1, top), QPoint(std::min(x2, data.right() - 1), top + h + 1)));
        canvas.fillRect(QRect(left, top, w, h), kSilver);
        canvas.setPen(wordcolour);
        canvas.drawText(left, top + fm.ascent(), label);
        canvas.restore();
    }

    // x labels: the window numbers, as many as fit.
    canvas.setPen(wordcolour);
    const int gap = fm.horizontalAdvance(QStringLiteral("0000"));
    int lastRight = INT32_MIN;
    for (int i = 0; i < int(x_axis_mark_points.size()); ++i) {
        const QPoint p = x_axis_mark_points[size_t(i)];
        const QString t = QString::number(leftmost_visible_window + i + 1);
        const int w = fm.horizontalAdvance(t);
        const int left = p.x() - w / 2;
        if (lastRight != INT32_MIN && left < lastRight + gap)
            continue;
        canvas.drawText(left, p.y() + fm.ascent() / 2, t);
        lastRight = left + w;
    }

    // What the axes measure: the windows along, their overlap up.
    canvas.setFont(PlotFont(canvas, 8));
    const QFontMetrics cm(canvas.font());
    const QString along = QStringLiteral("window");
    canvas.drawText(data.left() + (data.width() - cm.horizontalAdvance(along)) / 2, AxesRect.bottom() - cm.descent() - 1,
                    along);
    const QString up = QStringLiteral("overlap");
    canvas.translate(AxesRect.left() + cm.ascent() + 1, data.top() + data.height() / 2);
    canvas.rotate(-90);
    canvas.drawText(-cm.horizontalAdvance(up) / 2, 0, up);
    canvas.restore();
}

void TMovingWindowPlotter::DrawOverlapLines(QPainter& canvas) const
{
    const int visible = rightmost_visible_window - leftmost_visible_window;
    const int runs = dataholder.PlannedRuns;
    if (visible <= 0 || runs <= 0)
        return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    // Every value in view is joined to the one before it, the first to the
    // last, each above its window's tick.
    for (int r = 0; r < runs && r < int(dataholder.OverlapValues.size()); ++r) {
        const std::vector<float>& v = dataholder.OverlapValues[size_t(r)];
        if (leftmost_visible_window >= int(v.size()))
            continue;
        const float runMin = r < int(dataholder.OverlapMin.size()) ? dataholder.OverlapMin[size_t(r)] : -1.0f;
        QPoint at = ValuePoint(r, leftmost_visible_window);
        for (int w = leftmost_visible_window + 1; w < rightmost_visible_window && w < int(v.size()); ++w) {
            const float value = v[size_t(w)];
            const float previous = v[size_t(w - 1)];
            const bool thick = w < int(v.size()) - 1 && (value == runMin || previous == runMin);
            QPen pen(OverlapSegmentColour(Round(100.0 * (value + previous) / 2.0)));
            pen.setWidth(thick ? 2 : 1);
            canvas.setPen(pen);
            const QPoint to = ValuePoint(r, w);
            canvas.drawLine(at, to);
            at = to;
        }
    }
    canvas.restore();
}

} // namespace cv
