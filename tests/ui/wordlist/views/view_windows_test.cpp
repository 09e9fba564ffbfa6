#include <gtest/gtest.h>

#include <QFileInfo>
#include <QListWidget>

#include "model/stats_list.h"
#include "suite/cv_stream.h"
#include "suite/dialogs.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "ui/wordlist/views/extra_details.h"
#include "ui/wordlist/views/moving_window_plot_form.h"
#include "ui/wordlist/views/view_windows.h"

namespace cv {
namespace {

TEST(ViewWindows, DetailsSearchTheTextsOfTheStatistics)
{
    cvtest::StartFromDefaults();
    cvtest::TempDir dir;
    const QString a = dir.write(QStringLiteral("a.txt"), "one cat\n");
    const QString b = dir.write(QStringLiteral("b.txt"), "two dogs\n");
    TCVStatsList stats(nullptr, 0);
    stats.Overall();
    for (const QString& f : {a, b}) {
        TStatsRec rec;
        rec.FileName = QFileInfo(f).fileName();
        rec.Folder = QFileInfo(f).absolutePath();
        stats.AddText(rec);
    }
    QWidget parent;
    TViewWindows views(&parent);
    views.ShowWordFrequenciesPerText({QStringLiteral("cat")}, stats);
    TFormExtraDetails* details = views.ExtraDetails();
    EXPECT_EQ(details->fListOfPotentialFilenames, (QStringList{a, b}));
    ASSERT_EQ(details->StyledListboxFiles->count(), 2);
    EXPECT_EQ(details->StyledListboxFiles->item(0)->text(), a);
    // A second request starts afresh in the same window.
    views.ShowWordFrequenciesPerText({QStringLiteral("dogs")}, stats);
    EXPECT_EQ(views.ExtraDetails(), details);
    ASSERT_EQ(details->StyledListboxFiles->count(), 2);
    EXPECT_EQ(details->StyledListboxFiles->item(0)->text(), b);
}

TEST(ViewWindows, PlotViewOpensSoundFilesOnly)
{
    cvtest::TempDir dir;
    TMovingWindowPlotDataHolder d;
    d.Total_Tokens = 50000;
    d.PlannedRuns = 1;
    d.OverlapValues = {{0.1f, 0.2f, 0.3f}};
    d.OverlapMin = {0.1f};
    const QString file = dir.file(QStringLiteral("x_moving_window.plotdata"));
    {
        TSaveFileStream s(file);
        ASSERT_TRUE(s.Open());
        ASSERT_TRUE(d.SavePlotDataToStream(s));
        ASSERT_TRUE(s.Commit());
    }
    TScriptedDialogs dialogs;
    TDialogServiceGuard guard(&dialogs);
    TViewWindows views(nullptr);
    EXPECT_TRUE(views.OpenMovingWindowPlot(file));
    EXPECT_EQ(views.PlotView()->CurrentFilename(), file);
    EXPECT_EQ(views.PlotView()->Plotter().PlotTitle(), QStringLiteral("x"));
    const QString bad = dir.write(QStringLiteral("bad.plotdata"), "nonsense");
    EXPECT_FALSE(views.OpenMovingWindowPlot(bad));
    EXPECT_EQ(dialogs.Requests().size(), 1u);
}

} // namespace
} // namespace cv
