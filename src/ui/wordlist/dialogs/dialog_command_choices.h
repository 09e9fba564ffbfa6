#pragma once
// The word-list window's command choices answered by the dialogs: the
// cluster, join-cluster and relationship choices, the index export and the
// start wizard (the set-up dialogs), the comparison, the three-way sort, the
// set-column category and the lemma shower (the small editing dialogs). The
// auto-join dialog and the breakdown window are the grid dialogs'; the
// details window and the moving-window plot view are the view windows the
// program gives (SetViewWindows); the moving-window settings are handed to
// another set of choices given at creation. The program installs it with
// TFormWordList::SetCommandChoices.
//
// While it lives it also answers the list-editing commands of the framework
// (list_editing.h: values, categories, sorting, the lemma shower) and opens
// the word-cloud window for the word cloud of a list.

#include <QPointer>

#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/list_editing.h"
#include "ui/wordlist/command_choices.h"
#include "ui/wordlist/dialogs/language_change_dialog.h"
#include "ui/wordlist/dialogs/lemma_shower.h"
#include "ui/wordlist/views/view_windows.h"

namespace cv {

class TDialogJobChoices;

class TDialogCommandChoices final : public TWordListCommandChoices, public TListEditingDialogs {
public:
    // dialogs: owns the set-up dialogs and runs them; others: answers the rest. Neither is owned.
    TDialogCommandChoices(TDialogJobChoices& dialogs, TWordListCommandChoices& others);
    ~TDialogCommandChoices() override;
    TDialogCommandChoices(const TDialogCommandChoices&) = delete;
    TDialogCommandChoices& operator=(const TDialogCommandChoices&) = delete;

    bool ChooseClusters(bool hasSelection, TClusterChoice& choice) override;
    bool ChooseJoinClusters(bool& smallerIntoLargest) override;
    bool ChooseRelationships(const QString& selectedWord, bool hasSelection, TRelationshipChoice& choice) override;
    bool ChooseIndexExport(TIndexExportChoice& choice) override;
    void ShowStartWizard(TCVFileDetails* texts) override;

    // The comparison dialog on the study list.
    bool ConfirmComparison(const QString& currentFile) override;
    // Every level offered.
    bool ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int helpContext,
                      TThreeWaySortChoice& choice) override;
    bool ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int maxLevel, int helpContext,
                      TThreeWaySortChoice& choice) override;
    // The set-column dialog; the colour keeps alpha 0 unless one was dropped.
    bool EditCategory(const QString& word, QString& category, uint32_t& colour) override;
    // One lemma shower, shown without waiting and brought to the front.
    void ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows) override;
    TFormLemmaShower* LemmaShower() const { return m_lemmaShower; }

    // --- TListEditingDialogs ---
    bool InputValue(const QString& topic, const QString& prompt, QString& value, int helpContext) override;
    bool EditSetColumn(QString& category, uint32_t& colour, bool& colourChanged) override;
    std::optional<TFileNameReplacement> ChooseFileNameReplacement() override;

    // The auto-join dialog of the grid dialogs.
    bool ChooseAutoJoin(TAutoJoinChoice& choice) override;
    TMovingWindowSettings MovingWindowSettings() override { return m_others.MovingWindowSettings(); }
    // The view windows, once the program has given them (else the other choices).
    void SetViewWindows(TViewWindows* views) { m_views = views; }
    void ShowWordFrequenciesPerText(const QStringList& words, const TCVStatsList& texts) override
    {
        if (m_views)
            m_views->ShowWordFrequenciesPerText(words, texts);
        else
            m_others.ShowWordFrequenciesPerText(words, texts);
    }
    void ShowBreakdown(TCV_Grid* grid) override { ShowGridBreakdown(grid); }
    bool OpenMovingWindowPlot(const QString& fileName) override
    {
        return m_views ? m_views->OpenMovingWindowPlot(fileName) : m_others.OpenMovingWindowPlot(fileName);
    }
    bool ShowSourceText(const QString& fileName, const QStringList& words) override
    {
        return m_views ? m_views->ShowSourceText(fileName, words) : m_others.ShowSourceText(fileName, words);
    }
    // TFormLangChange: the language list's names with the current one shown.
    std::optional<int> ChooseLanguage(const QStringList& names, const QString& current) override;

private:
    TDialogJobChoices& m_dialogs;
    TWordListCommandChoices& m_others;
    TListEditingDialogs* m_previousEditingDialogs = nullptr;
    TWordCloudOpener m_previousCloudOpener;
    QPointer<TFormLemmaShower> m_lemmaShower;
    TViewWindows* m_views = nullptr;
};

} // namespace cv
