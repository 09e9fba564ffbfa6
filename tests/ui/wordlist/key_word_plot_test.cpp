// The key-word plot draws: the key words of one text of the Brown corpus
// against the whole corpus, plotted, show a mark at every place where the
// text has the key word; the marks are read off the grid as it is painted
// and set against the places found by reading the text here, word by word.
// Plots are not offered for a list of many texts.

#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTableView>

#include <map>

#include "concordance/tell_marvex.h"
#include "keywords/kw_plots.h"
#include "keywords/keywords_holder.h"
#include "suite/cvbuf.h"
#include "suite/private_files.h"
#include "ui/framework/tool_data_module.h"
#include "ui/wordlist/views/plot_cell.h"
#include "wordlist/keyword_list.h"
#include "wordlist_commands_testutil.h"

namespace wordlist_window_test {
namespace {

// Marks may stand this many pixels from where the text puts them: the
// reading here and the program's may count a number or a sign differently.
constexpr int kSlackPixels = 2;

// The running words of a text as the default text settings cut them: runs of
// letters, joined by an apostrophe or a hyphen between letters, folded to
// lower case; numbers are not words.
QStringList RunningWords(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z]+(?:['\\-][A-Za-z]+)*"));
    QStringList words;
    for (const auto& m : word.globalMatch(text))
        words << m.captured(0).toLower();
    return words;
}

// The pixel columns (from the bar's left) where the cell shows a mark.
std::set<int> MarkColumns(const QImage& view, const QRect& cell, QColor mark)
{
    const QRect bar = cell.adjusted(2, 3, -2, -3);
    std::set<int> columns;
    const int y = bar.center().y();
    for (int x = bar.left(); x <= bar.right(); ++x)
        if (view.pixelColor(x, y) == mark)
            columns.insert(x - bar.left());
    return columns;
}

// Every column of `a` has one of `b` within the slack.
bool Near(const std::set<int>& a, const std::set<int>& b)
{
    for (int x : a) {
        const auto it = b.lower_bound(x - kSlackPixels);
        if (it == b.end() || *it > x + kSlackPixels)
            return false;
    }
    return true;
}

class KeyWordPlotTest : public WordListCommandsTest {
protected:
    void SetUp() override
    {
        WordListCommandsTest::SetUp();
        RemakeWindowWithMenus();
        window->SetCommandChoices(&commands);
    }
    void TearDown() override
    {
        WordListCommandsTest::TearDown();
    }
    // A saved word list of these texts.
    QString ListOf(const QStringList& texts, const QString& name)
    {
        cv::TCVFileDetails chosen(true, {});
        for (const QString& t : texts)
            EXPECT_TRUE(chosen.ToolAddAFile(t));
        cv::T_WholeWordlistHolder doc(cv::kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(doc.MakeWordlist(chosen, 0, converted, cv::kListWordList));
        const QString file = dir.file(name + QStringLiteral(".lst"));
        EXPECT_TRUE(doc.SaveToFile(file));
        QApplication::processEvents();
        return file;
    }
    bool Offered(cv::TMenuCommand command)
    {
        const int tag = cv::TagOf(command);
        for (QAction* top : window->menuBar()->actions())
            if (QMenu* menu = top->menu(); menu && top->isVisible())
                for (QAction* a : menu->actions())
                    if (cv::MenuTag(a) == tag)
                        return a->isVisible();
        return false;
    }
};

TEST_F(KeyWordPlotTest, ThePlotOfOneBrownTextMarksEveryPlaceOfEachKeyWord)
{
    const QString brown = qEnvironmentVariable("CV_BROWN_CORPUS");
    if (brown.isEmpty())
        GTEST_SKIP() << "CV_BROWN_CORPUS is not set (scripts/get-sample-corpus.sh brown)";
    QStringList all;
    for (const QFileInfo& f : QDir(brown).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        all << f.absoluteFilePath();
    ASSERT_EQ(all.size(), 500);
    const QString ca01 = QDir(brown).filePath(QStringLiteral("ca01"));

    cv::SetKeywordsSettingsReferenceCorpus(ListOf(all, QStringLiteral("brown")));
    OpenSaved(ListOf({ca01}, QStringLiteral("ca01")));
    MenuCommand(cv::TMenuCommand::KeyWords);
    ASSERT_NE(Doc()->fKeywordsList, nullptr);
    ASSERT_GT(Doc()->fKeywordsList->Count(), 0);
    Show(window->AdvOfficePageKWs);
    EXPECT_TRUE(Offered(cv::TMenuCommand::Plot)) << "a list of one text offers plots";
    MenuCommand(cv::TMenuCommand::Plot);
    ASSERT_NE(window->KeyWordsDocument(), nullptr);
    const cv::TKWPlotList& plots = *window->KeyWordsDocument()->fPlots;
    ASSERT_GE(plots.Count(), 3);

    // Where the text has each key word, read here.
    QFile f(ca01);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList words = RunningWords(QString::fromUtf8(f.readAll()));
    std::map<QString, std::vector<int32_t>> places;
    for (int i = 0; i < words.size(); ++i)
        places[words[i]].push_back(int32_t(i + 1));

    window->resize(1100, 800);
    window->show();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageKWPlot);
    grid->SetColWidths(cv::TKWPlotList::kColPlot, 500);
    QApplication::processEvents();
    QTableView* view = grid->View();
    const QImage shown = view->viewport()->grab().toImage();
    const QColor mark = QColor::fromRgba(cv::GetRulerPlotWordCloudFeatures().PlotColour());

    std::vector<int32_t> overall;
    int checked = 0;
    for (int row = 0; row < grid->Proxy()->rowCount(); ++row) {
        const QRect cell = view->visualRect(grid->Proxy()->index(row, cv::TKWPlotList::kColPlot));
        if (!view->viewport()->rect().contains(cell))
            break;
        const int width = cell.adjusted(2, 3, -2, -3).width();
        const QString word = grid->Cells(cv::TKWPlotList::kColWord, row + 1);
        SCOPED_TRACE(word.toStdString());
        std::vector<int32_t> expected;
        if (row == 0) {
            // The overall row pools every key word's places.
            for (int i = 0; i < plots.Count(); ++i)
                for (int32_t p : places[plots.Entry(i).w])
                    expected.push_back(p);
        } else {
            expected = places[word];
        }
        ASSERT_FALSE(expected.empty()) << "a key word of the text is in the text";
        std::set<int> want;
        for (int32_t p : expected)
            want.insert(cv::PlotMarkColumn(p, int32_t(words.size()), width));
        const std::set<int> drawn = MarkColumns(shown, cell, mark);
        EXPECT_FALSE(drawn.empty()) << "the plot shows marks";
        EXPECT_TRUE(Near(drawn, want)) << "no mark where the text has no such word";
        EXPECT_TRUE(Near(want, drawn)) << "a mark at every place of the word";
        ++checked;
    }
    EXPECT_GE(checked, 4);
    EXPECT_EQ(grid->Cells(cv::TKWPlotList::kColWord, 1), plots.OverallPlotEntry->w) << "the overall row is drawn";
}

// A double-click on a plot row asks the concordance tool for the lines the
// plot rests on: the key word in the one text of the list, each place the
// plot marks; the overall row asks for every key word. The plot column is
// wide enough to tell the places apart.
TEST_F(KeyWordPlotTest, ADoubleClickOnAPlotRowAsksForItsConcordanceLines)
{
    KeyWordsOfOneText();
    ASSERT_NE(Doc()->fKeywordsList, nullptr);
    Show(window->AdvOfficePageKWs);
    window->resize(1000, 700);
    MenuCommand(cv::TMenuCommand::Plot);
    ASSERT_NE(window->KeyWordsDocument(), nullptr);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageKWPlot);
    EXPECT_GE(grid->ColWidths(cv::TKWPlotList::kColPlot), 360);

    // The places of "whale" in the study text, read here.
    const QStringList words = RunningWords(QString::fromUtf8(cvtest::readAll(dir.file(QStringLiteral("study.txt")))));
    std::vector<cv::TMarvexPosition> whales;
    for (int i = 0; i < words.size(); ++i)
        if (words[i] == u"whale")
            whales.push_back({0, int32_t(i + 1)});
    ASSERT_EQ(whales.size(), 50u);

    const int row = RowOf(*grid, QStringLiteral("whale"));
    ASSERT_GT(row, 1);
    Posted();
    QTableView* view = grid->View();
    const QModelIndex cell = grid->Proxy()->index(row - 1, cv::TKWPlotList::kColWord);
    emit view->doubleClicked(cell);
    EXPECT_TRUE(PostedCode(cv::kCodeConcordanceRequest));
    cv::TTellMarvexList read(cv::kToolWordList, cv::kToolConcordance);
    ASSERT_TRUE(read.LoadedFromTempfile(cv::SuiteTempFolder()));
    ASSERT_EQ(read.Texts().size(), 1u);
    EXPECT_EQ(QFileInfo(read.Texts()[0].FullFilename).fileName(), QStringLiteral("study.txt"));
    ASSERT_EQ(read.Count(), 1);
    EXPECT_EQ(read.Item(0)->Word, QStringLiteral("whale"));
    EXPECT_EQ(read.Item(0)->ExpectedFrequency, 50);
    EXPECT_EQ(read.Item(0)->Positions, whales);

    // The overall row: every key word of the plot, each with its places.
    const cv::TKWPlotList& plots = *window->KeyWordsDocument()->fPlots;
    emit view->doubleClicked(grid->Proxy()->index(0, cv::TKWPlotList::kColPlot));
    EXPECT_TRUE(PostedCode(cv::kCodeConcordanceRequest));
    ASSERT_TRUE(read.LoadedFromTempfile(cv::SuiteTempFolder()));
    ASSERT_EQ(read.Count(), plots.Count());
    int64_t places = 0;
    for (int i = 0; i < read.Count(); ++i)
        places += int64_t(read.Item(i)->Positions.size());
    EXPECT_EQ(places, plots.OverallPlotEntry->data.hits);

    // With its text gone, the user is told, and nothing is asked.
    QFile::remove(dir.file(QStringLiteral("study.txt")));
    dialogs.Clear();
    emit view->doubleClicked(cell);
    EXPECT_FALSE(PostedCode(cv::kCodeConcordanceRequest));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("FailedToFind")});
}

TEST_F(KeyWordPlotTest, AListOfManyTextsIsNotOfferedPlots)
{
    window->show();
    cv::SetKeywordsSettingsReferenceCorpus(
        SavedWordList(QStringLiteral("reference"), QStringLiteral("the of and a to in the land the town ").repeated(20)));
    const QString a = Text(QStringLiteral("a.txt"), QStringLiteral("the whale and the sea. ").repeated(30));
    const QString b = Text(QStringLiteral("b.txt"), QStringLiteral("whale ship whale sea ").repeated(30));
    OpenSaved(ListOf({a, b}, QStringLiteral("two texts")));
    MenuCommand(cv::TMenuCommand::KeyWords);
    ASSERT_NE(Doc()->fKeywordsList, nullptr);
    ASSERT_GT(Doc()->fKeywordsList->Count(), 0);
    Show(window->AdvOfficePageKWs);
    EXPECT_FALSE(Offered(cv::TMenuCommand::Plot));
    EXPECT_FALSE(Offered(cv::TMenuCommand::Links));

    // A list of one text next: offered again.
    OpenSaved(ListOf({a}, QStringLiteral("one text")));
    MenuCommand(cv::TMenuCommand::KeyWords);
    ASSERT_NE(Doc()->fKeywordsList, nullptr);
    Show(window->AdvOfficePageKWs);
    EXPECT_TRUE(Offered(cv::TMenuCommand::Plot));
}

} // namespace
} // namespace wordlist_window_test
