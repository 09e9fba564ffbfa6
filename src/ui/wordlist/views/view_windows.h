#pragma once
// The viewing windows the word-list window opens through its command
// choices: the "Details" window (word frequencies per text, with the
// one-text viewer behind it) and the moving-window plot view. Each is made
// on first use and lives as long as this object, parented to the window.
//
// The program answers the window's ShowWordFrequenciesPerText and
// OpenMovingWindowPlot questions with these two operations.

#include <QPointer>
#include <QStringList>

class QWidget;

namespace cv {

class TCVStatsList;
class TFormExtraDetails;
class TFormMovingWindowPlot;
class TFormOneTextFileShower;
class TTagHandlerBase;
class TTagsToTranslateList;

class TViewWindows {
public:
    explicit TViewWindows(QWidget* parent);
    ~TViewWindows();
    TViewWindows(const TViewWindows&) = delete;
    TViewWindows& operator=(const TViewWindows&) = delete;

    // Tag rules the Details window reads texts with (not owned; may be null).
    void SetTagHandlerAndTagTranslate(TTagHandlerBase* tagHandler, TTagsToTranslateList* tagsToTranslate);

    // The Details window searches the texts of the statistics (every row
    // but the overall one) for the words and lists where they occur.
    void ShowWordFrequenciesPerText(const QStringList& words, const TCVStatsList& texts);
    // Opens the plot file in the plot view; false when it could not.
    bool OpenMovingWindowPlot(const QString& fileName);
    // The one-text viewer on a text with the words highlighted; false when it cannot be read.
    bool ShowSourceText(const QString& fileName, const QStringList& words);

    TFormExtraDetails* ExtraDetails();
    TFormMovingWindowPlot* PlotView();
    TFormOneTextFileShower* TextViewer();

private:
    QPointer<QWidget> m_parent;
    QPointer<TFormExtraDetails> m_details;
    QPointer<TFormMovingWindowPlot> m_plot;
    QPointer<TFormOneTextFileShower> m_viewer;
    TTagHandlerBase* m_tagHandler = nullptr;
    TTagsToTranslateList* m_tagsToTranslate = nullptr;
};

} // namespace cv
