#include "ui/wordlist/views/view_windows.h"

#include <QDir>

#include "model/stats_list.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/views/extra_details.h"
#include "ui/wordlist/views/moving_window_plot_form.h"
#include "ui/wordlist/views/one_text_viewer.h"

namespace cv {

TViewWindows::TViewWindows(QWidget* parent) : m_parent(parent) {}

TViewWindows::~TViewWindows()
{
    delete m_details.data();
    delete m_plot.data();
    delete m_viewer.data();
}

void TViewWindows::SetTagHandlerAndTagTranslate(TTagHandlerBase* tagHandler, TTagsToTranslateList* tagsToTranslate)
{
    m_tagHandler = tagHandler;
    m_tagsToTranslate = tagsToTranslate;
    if (m_details)
        m_details->SetTagHandlerAndTagTranslate(tagHandler, tagsToTranslate);
}

TFormExtraDetails* TViewWindows::ExtraDetails()
{
    if (!m_details) {
        m_details = new TFormExtraDetails(m_parent);
        m_details->SetTagHandlerAndTagTranslate(m_tagHandler, m_tagsToTranslate);
    }
    return m_details;
}

TFormMovingWindowPlot* TViewWindows::PlotView()
{
    if (!m_plot)
        m_plot = new TFormMovingWindowPlot(m_parent);
    return m_plot;
}

void TViewWindows::ShowWordFrequenciesPerText(const QStringList& words, const TCVStatsList& texts)
{
    TFormExtraDetails* details = ExtraDetails();
    if (details->Busy())
        return;
    details->ClearForNewSearch(true, true);
    for (int i = 1; i < texts.Count(); ++i) {
        const TStatsRec& r = texts.Row(i)->Data();
        details->fListOfPotentialFilenames << QDir(r.Folder).filePath(r.FileName);
    }
    details->AddHighlightWords(words, int(words.size()));
    details->Frequencies();
}

TFormOneTextFileShower* TViewWindows::TextViewer()
{
    if (!m_viewer) {
        m_viewer = new TFormOneTextFileShower(m_parent);
        m_viewer->setWindowFlag(Qt::Window);
    }
    return m_viewer;
}

bool TViewWindows::ShowSourceText(const QString& fileName, const QStringList& words)
{
    TFormOneTextFileShower* viewer = TextViewer();
    TOneTextFileDetails details;
    details.fileName = fileName;
    if (!viewer->OpenAndShowAText(details, 0, nullptr))
        return false;
    if (!words.isEmpty())
        viewer->AddStringsASKWsAndSeek(words);
    BringToFront(viewer);
    return true;
}

bool TViewWindows::OpenMovingWindowPlot(const QString& fileName)
{
    TFormMovingWindowPlot* plot = PlotView();
    if (!plot->OpenAPlot(fileName))
        return false;
    BringToFront(plot);
    return true;
}

} // namespace cv
