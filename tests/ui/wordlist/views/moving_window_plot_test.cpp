#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QDoubleSpinBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include "gui/file_dialogs.h"
#include "suite/cv_stream.h"
#include "suite/dialogs.h"
#include "support/test_support.h"
#include "ui/wordlist/views/moving_window_plot.h"
#include "ui/wordlist/views/moving_window_plot_form.h"

namespace cv {
namespace {

TMovingWindowPlotDataHolder Series(int windows, float value, int runs = 2)
{
    TMovingWindowPlotDataHolder d;
    d.Total_Tokens = 1000000;
    d.WindowWords = 10000;
    d.PlannedRuns = runs;
    for (int r = 0; r < runs; ++r) {
        d.OverlapValues.emplace_back(size_t(windows), value);
        d.OverlapMin.push_back(value);
    }
    d.mean_section_near_overlaps = 0.125f;
    d.mean_section_far_overlaps = 0.25f;
    d.sd_section_near_overlaps = 0.01f;
    d.sd_section_far_overlaps = 0.02f;
    d.Sections_Info = {QStringLiteral("<one.txt>"), QStringLiteral("<two.txt>")};
    d.SectionStarts = {0, 500000};
    return d;
}

QString SavePlot(const cvtest::TempDir& dir, const QString& name, const TMovingWindowPlotDataHolder& d)
{
    const QString file = dir.file(name);
    TSaveFileStream s(file);
    EXPECT_TRUE(s.Open());
    EXPECT_TRUE(d.SavePlotDataToStream(s));
    EXPECT_TRUE(s.Commit());
    return file;
}

int CountPixels(const QImage& image, QColor colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == colour;
    return n;
}

QImage Draw(TMovingWindowPlotter& p, double percent, int position, bool preferPercent = true, int words = 15000)
{
    QImage image(800, 500, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    p.AdjustView(800, 500, preferPercent, painter, percent, words, position);
    return image;
}

TEST(MovingWindowPlot, SegmentColoursAndSectionLabels)
{
    EXPECT_EQ(OverlapSegmentColour(10), QColor(255, 140, 0));
    EXPECT_EQ(OverlapSegmentColour(11), QColor(255, 0, 0));
    EXPECT_EQ(OverlapSegmentColour(18), QColor(255, 0, 0));
    EXPECT_EQ(OverlapSegmentColour(19), QColor(128, 0, 0));
    EXPECT_EQ(OverlapSegmentColour(25), QColor(139, 0, 0));
    EXPECT_EQ(OverlapSegmentColour(28), QColor(0, 0, 255));
    auto width = [](const QString& s) { return int(s.size()) * 10; };
    EXPECT_EQ(FitSectionLabel(QStringLiteral("<chapter>"), 100, width), QStringLiteral("chapter"));
    EXPECT_EQ(FitSectionLabel(QStringLiteral("<chapter>"), 30, width), QStringLiteral("ter"));
    EXPECT_EQ(FitSectionLabel(QStringLiteral("<chapter>"), 3, width), QStringLiteral("r"));
}

TEST(MovingWindowPlot, LayoutFollowsPositionAndWidth)
{
    TMovingWindowPlotter p(800, {}, 500);
    p.SetData(Series(100, 0.2f), QStringLiteral("t"));
    ASSERT_TRUE(p.ReadyToDisplay());

    p.ComputeLayout(800, 500, true, 100, 15000, 0);
    EXPECT_TRUE(p.OKToShow());
    EXPECT_EQ(p.leftmost_visible_window, 0);
    EXPECT_EQ(p.rightmost_visible_window, 100);
    EXPECT_EQ(p.DataMesmoRect.top() - p.AxesRect.top(), 50);
    EXPECT_EQ(p.y_axis_mark_points.size(), 6u);
    EXPECT_EQ(p.x_axis_mark_points.size(), 100u);

    // From 90 percent only the last tenth is left, whatever percent is asked.
    p.ComputeLayout(800, 500, true, 50, 15000, 9);
    EXPECT_FLOAT_EQ(p.percent_to_show, 10);
    EXPECT_EQ(p.leftmost_visible_window, 90);
    EXPECT_EQ(p.leftmost_visible_wordnum, 900000);
    EXPECT_EQ(p.rightmost_visible_window, 100);

    // Window words instead of percent: 50,000 of a million words is 5 percent.
    p.ComputeLayout(800, 500, false, 100, 50000, 2);
    EXPECT_FLOAT_EQ(p.percent_to_show, 5);
    EXPECT_EQ(p.leftmost_visible_window, 20);
    EXPECT_EQ(p.rightmost_visible_window, 25);
}

TEST(MovingWindowPlot, DrawsRunsInTheColourOfTheirOverlap)
{
    TMovingWindowPlotter p(800, {}, 500);
    p.SetData(Series(40, 0.25f), QStringLiteral("t"));
    EXPECT_GT(CountPixels(Draw(p, 100, 0), QColor(139, 0, 0)), 100);
    p.SetData(Series(40, 0.10f), QStringLiteral("t"));
    const QImage low = Draw(p, 100, 0);
    EXPECT_GT(CountPixels(low, QColor(255, 140, 0)), 100);
    EXPECT_EQ(CountPixels(low, QColor(139, 0, 0)), 0);
    // The sections stand as silver lines.
    EXPECT_GT(CountPixels(low, QColor(192, 192, 192)), 100);
}

TEST(MovingWindowPlot, OneWindowShowsNoLine)
{
    TMovingWindowPlotter p(800, {}, 500);
    p.SetData(Series(10, 0.25f), QStringLiteral("t"));
    // 10 percent of 10 windows is one window.
    const QImage image = Draw(p, 10, 0);
    EXPECT_TRUE(p.OKToShow());
    EXPECT_EQ(p.rightmost_visible_window - p.leftmost_visible_window, 1);
    EXPECT_EQ(CountPixels(image, QColor(139, 0, 0)), 0);
}

// A plot of a few windows (a short corpus, windows that fit it): each value
// stands above its window's numbered tick, the last window's too, and the
// lines end where the numbers end.
TEST(MovingWindowPlot, TheWindowNumbersRunAsFarAsTheLines)
{
    TMovingWindowPlotter p(800, {}, 500);
    TMovingWindowPlotDataHolder d = Series(9, 0.25f, 4);
    d.Total_Tokens = 26939;
    d.WindowWords = 2600;
    d.SectionStarts = {0, 13000};
    p.SetData(d, QStringLiteral("t"));
    const QImage image = Draw(p, 100, 0);
    ASSERT_TRUE(p.OKToShow());
    ASSERT_EQ(p.rightmost_visible_window - p.leftmost_visible_window, 9);
    ASSERT_EQ(p.x_axis_mark_points.size(), 9u) << "one tick per window in view";
    const QRect data = p.DataMesmoRect;
    const double step = p.datarect_plot_h_space;
    // Every run's value of a window lies within that window's stretch around its tick.
    for (int r = 0; r < 4; ++r)
        for (int w = 0; w < 9; ++w) {
            const QPoint at = p.ValuePoint(r, w);
            EXPECT_LE(std::abs(at.x() - p.x_axis_mark_points[size_t(w)].x()), step / 2 + 1) << r << " " << w;
            EXPECT_TRUE(data.contains(at)) << r << " " << w;
        }
    // Seen as drawn: the lines' rightmost pixel and the rightmost dark pixel
    // of the numbers below the data area are within one window of each other.
    int lineRight = -1;
    for (int y = data.top(); y <= data.bottom(); ++y)
        for (int x = data.left() + 1; x < data.right(); ++x)
            if (image.pixelColor(x, y) == QColor(139, 0, 0))
                lineRight = std::max(lineRight, x);
    int numberRight = -1;
    const int labelsTop = data.bottom() + 2;
    const int labelsBottom = p.x_axis_mark_points.front().y() + 4;
    for (int y = labelsTop; y <= labelsBottom; ++y)
        for (int x = data.left(); x < data.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                numberRight = std::max(numberRight, x);
    ASSERT_GT(lineRight, 0);
    ASSERT_GT(numberRight, 0);
    EXPECT_LT(std::abs(lineRight - numberRight), step) << "lines end at " << lineRight << ", numbers at " << numberRight;
    EXPECT_GT(lineRight, data.left() + data.width() * 8 / 9) << "the last window's value is drawn";
}

TEST(MovingWindowPlot, EmptyFirstRunIsNeverShown)
{
    TMovingWindowPlotter p(800, {}, 500);
    p.SetData(Series(0, 0.25f), QStringLiteral("t"));
    EXPECT_FALSE(p.ReadyToDisplay());
    const QImage image = Draw(p, 100, 0);
    EXPECT_FALSE(p.OKToShow());
    EXPECT_EQ(CountPixels(image, Qt::white), image.width() * image.height());
}

TEST(MovingWindowPlot, LoadsAFileAndTellsTheSummary)
{
    cvtest::TempDir dir;
    const QString file = SavePlot(dir, QStringLiteral("corpus_moving_window.plotdata"), Series(30, 0.2f));
    int32_t tokens = 0;
    float nearMean = 0, farSd = 0;
    TMovingWindowPlotter p(800, [&](int32_t t, float n, float, float, float fs) {
        tokens = t;
        nearMean = n;
        farSd = fs;
    }, 500);
    ASSERT_TRUE(p.LoadUpData(file));
    EXPECT_EQ(p.PlotTitle(), QStringLiteral("corpus"));
    EXPECT_TRUE(p.ReadyToDisplay());
    EXPECT_EQ(tokens, 1000000);
    EXPECT_FLOAT_EQ(nearMean, 0.125f);
    EXPECT_FLOAT_EQ(farSd, 0.02f);

    // A damaged file is refused and nothing is left to show.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(70);
    f.close();
    QString error;
    EXPECT_FALSE(p.LoadUpData(file, &error));
    EXPECT_TRUE(error.contains(file));
    EXPECT_FALSE(p.ReadyToDisplay());
    EXPECT_FALSE(p.LoadUpData(dir.file(QStringLiteral("none.plotdata"))));
}

TEST(MovingWindowPlotForm, OpensAPlotAndKeepsTheViewInsideTheText)
{
    cvtest::TempDir dir;
    const QString file = SavePlot(dir, QStringLiteral("c_moving_window.plotdata"), Series(50, 0.2f));
    TFormMovingWindowPlot form;
    form.resize(700, 500);
    ASSERT_TRUE(form.OpenAPlot(file));
    EXPECT_EQ(form.CurrentFilename(), file);
    EXPECT_EQ(form.windowTitle(), file);
    EXPECT_EQ(form.NTokens(), 1000000);
    EXPECT_EQ(form.LabelTokens->text(), QLocale().toString(1000000) + QStringLiteral(" tokens"));
    EXPECT_EQ(form.LabelSectionOverlaps->text(), QStringLiteral("0.125 overlaps near chapter (0.250 elsewhere)"));
    EXPECT_FALSE(form.Image().isNull());
    EXPECT_TRUE(form.Plotter().OKToShow());

    form.AdvTrackBar1->setValue(9);
    EXPECT_LE(form.AdvSpinEditPercent->value(), 10.0);
    EXPECT_EQ(form.LabelTrackPos->text(), QStringLiteral("Pos: 9"));
    EXPECT_EQ(form.Plotter().leftmost_visible_window, 45);

    // Window words: percent no longer preferred; the box follows the words
    // (plus a tenth-position share of the text), then the clamp to the text left.
    form.AdvTrackBar1->setValue(0);
    form.AdvSpinEditWindowWords->setValue(80000);
    EXPECT_FALSE(form.PreferringPercent());
    EXPECT_DOUBLE_EQ(form.AdvSpinEditPercent->value(), 8.0);
    form.AdvSpinEditPercent->setValue(20);
    EXPECT_TRUE(form.PreferringPercent());
}

// A plot made with a window shorter than the box's old least (2,600 words of
// a 26,939-word index): the words box shows what the view spans, takes a
// width of a few windows, and Refresh takes what was typed and a plot made
// again since it was opened.
TEST(MovingWindowPlotForm, TheWordsBoxFollowsThePlotAndRefreshReadsItAgain)
{
    cvtest::TempDir dir;
    TMovingWindowPlotDataHolder d = Series(9, 0.2f);
    d.Total_Tokens = 26939;
    d.WindowWords = 2600;
    d.SectionStarts = {0, 13000};
    const QString file = SavePlot(dir, QStringLiteral("small_moving_window.plotdata"), d);
    TFormMovingWindowPlot form;
    form.resize(700, 500);
    ASSERT_TRUE(form.OpenAPlot(file));
    EXPECT_EQ(form.AdvSpinEditWindowWords->value(), 26939) << "the whole text is in view";
    form.AdvTrackBar1->setValue(5);
    EXPECT_EQ(form.AdvSpinEditWindowWords->value(), 13470) << "half of it from the middle on";
    form.AdvTrackBar1->setValue(0);

    // Three windows' worth, typed and not confirmed: Refresh takes it.
    form.AdvSpinEditWindowWords->setKeyboardTracking(false);
    form.AdvSpinEditWindowWords->findChild<QLineEdit*>()->setText(QStringLiteral("7800"));
    form.ButtonRefresh->click();
    EXPECT_EQ(form.AdvSpinEditWindowWords->value(), 7800);
    EXPECT_FALSE(form.PreferringPercent());
    EXPECT_EQ(form.Plotter().rightmost_visible_window - form.Plotter().leftmost_visible_window, 3);

    // The plot made again (more texts indexed): Refresh shows the new one.
    d.Total_Tokens = 52000;
    d.OverlapValues.assign(2, std::vector<float>(19, 0.3f));
    SavePlot(dir, QStringLiteral("small_moving_window.plotdata"), d);
    form.ButtonRefresh->click();
    EXPECT_EQ(form.NTokens(), 52000);
    EXPECT_EQ(form.LabelTokens->text(), QLocale().toString(52000) + QStringLiteral(" tokens"));
    EXPECT_EQ(form.Plotter().WindowCount(), 19);
    EXPECT_EQ(form.AdvSpinEditWindowWords->maximum(), 52000);
}

// Opened before it is shown, as the main window opens it: the first view is
// drawn at the size of the window's plot area, the "Pos" track bar has room
// for its ten positions, and the picture has its axis captions. A copy of
// the picture is kept for a look in $CV_SCREENSHOT_DIR (else it goes with the
// test's own files).
TEST(MovingWindowPlotForm, TheFirstViewFitsTheWindowAndThePositionBarIsUsable)
{
    cvtest::TempDir dir;
    TMovingWindowPlotDataHolder d = Series(60, 0.2f);
    d.Sections_Info = {QStringLiteral("<first chapter.txt>"), QStringLiteral("<second.txt>"),
                       QStringLiteral("<a third chapter with a long name.txt>"), QStringLiteral("<four.txt>")};
    d.SectionStarts = {0, 250000, 300000, 800000};
    for (size_t w = 0; w < d.OverlapValues[0].size(); ++w)
        d.OverlapValues[0][w] = 0.05f + 0.4f * float(w % 10) / 10.0f;
    const QString file = SavePlot(dir, QStringLiteral("brown_moving_window.plotdata"), d);
    // A corpus of many texts: a section each, close together.
    d.Sections_Info.clear();
    d.SectionStarts.clear();
    for (int t = 0; t < 120; ++t) {
        d.Sections_Info << QStringLiteral("<c%1%2.txt>").arg(QChar(u'a' + t / 20)).arg(t % 20, 2, 10, QLatin1Char('0'));
        d.SectionStarts.push_back(t * 8000 + (t % 3) * 1500);
    }
    const QString many = SavePlot(dir, QStringLiteral("many_moving_window.plotdata"), d);
    {
        TFormMovingWindowPlot form;
        form.resize(900, 520);
        ASSERT_TRUE(form.OpenAPlot(many));
        form.show();
        QApplication::processEvents();
        QString shots = qEnvironmentVariable("CV_SCREENSHOT_DIR");
        if (shots.isEmpty())
            shots = dir.path();
        form.grab().save(QDir(shots).filePath(QStringLiteral("moving-window-plot-many-texts.png")));
    }
    for (const int width : {900, 640}) {
        SCOPED_TRACE(width);
        TFormMovingWindowPlot form;
        form.resize(width, 520);
        ASSERT_TRUE(form.OpenAPlot(file));
        form.show();
        QApplication::processEvents();
        const QSize area = form.AdvScrollBox1->viewport()->size();
        EXPECT_EQ(form.Image().size(), area) << "drawn at the window's size, not the printed page's";
        EXPECT_GE(form.AdvTrackBar1->width(), 150) << "ten positions need room";
        EXPECT_GE(form.LabelSectionOverlaps->width(), form.LabelSectionOverlaps->sizeHint().width())
            << "the summary is not cut";
        // Nothing of the plot lies outside what is seen.
        EXPECT_EQ(form.AdvScrollBox1->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(form.AdvScrollBox1->verticalScrollBar()->maximum(), 0);
        QString shots = qEnvironmentVariable("CV_SCREENSHOT_DIR");
        if (shots.isEmpty())
            shots = dir.path();
        form.grab().save(QDir(shots).filePath(QStringLiteral("moving-window-plot-%1.png").arg(width)));
    }
}

TEST(MovingWindowPlotForm, MissingOrDamagedFiles)
{
    cvtest::TempDir dir;
    TScriptedFileDialogs files;
    TFileDialogServiceGuard fg(&files);
    TScriptedDialogs dialogs;
    TDialogServiceGuard dg(&dialogs);
    TFormMovingWindowPlot form;
    // No name: the change dialog asks; cancelled, nothing opens.
    files.QueueCancel();
    EXPECT_FALSE(form.OpenAPlot(QString()));
    ASSERT_EQ(files.Requests().size(), 1u);
    EXPECT_TRUE(files.Requests()[0].filter.contains(QStringLiteral("*.plotdata")));
    // A damaged file is reported and not shown.
    const QString bad = dir.file(QStringLiteral("bad.plotdata"));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a plot");
    f.close();
    EXPECT_FALSE(form.OpenAPlot(bad));
    EXPECT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_TRUE(form.Image().isNull());
    // Changing to a good file opens it.
    const QString good = SavePlot(dir, QStringLiteral("g.plotdata"), Series(20, 0.3f));
    files.QueueAnswer(good);
    EXPECT_TRUE(form.ChangeFile());
    EXPECT_EQ(form.CurrentFilename(), good);
}

} // namespace
} // namespace cv
