#pragma once
// The word-list window's command choices answered by the set-up dialogs:
// the cluster, join-cluster and relationship choices, the index export and
// the start wizard. The choices of dialogs that live elsewhere (comparison,
// sorting, auto-join, categories, moving windows, and the windows that only
// show something) are handed to another set of choices given at creation.
// The program installs it with TFormWordList::SetCommandChoices.

#include "ui/wordlist/command_choices.h"

namespace cv {

class TDialogJobChoices;

class TDialogCommandChoices final : public TWordListCommandChoices {
public:
    // dialogs: owns the dialogs and runs them; others: answers the rest. Neither is owned.
    TDialogCommandChoices(TDialogJobChoices& dialogs, TWordListCommandChoices& others);

    bool ChooseClusters(bool hasSelection, TClusterChoice& choice) override;
    bool ChooseJoinClusters(bool& smallerIntoLargest) override;
    bool ChooseRelationships(const QString& selectedWord, bool hasSelection, TRelationshipChoice& choice) override;
    bool ChooseIndexExport(TIndexExportChoice& choice) override;
    void ShowStartWizard(TCVFileDetails* texts) override;

    bool ConfirmComparison(const QString& currentFile) override { return m_others.ConfirmComparison(currentFile); }
    bool ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int helpContext,
                      TThreeWaySortChoice& choice) override
    {
        return m_others.ThreeWaySort(list, pressedColumn, helpContext, choice);
    }
    bool ChooseAutoJoin(TAutoJoinChoice& choice) override { return m_others.ChooseAutoJoin(choice); }
    bool EditCategory(const QString& word, QString& category, uint32_t& colour) override
    {
        return m_others.EditCategory(word, category, colour);
    }
    TMovingWindowSettings MovingWindowSettings() override { return m_others.MovingWindowSettings(); }
    void ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows) override
    {
        m_others.ShowLemmaShower(caption, headings, rows);
    }
    void ShowWordFrequenciesPerText(const QStringList& words, const TCVStatsList& texts) override
    {
        m_others.ShowWordFrequenciesPerText(words, texts);
    }
    void ShowBreakdown(TCV_Grid* grid) override { m_others.ShowBreakdown(grid); }
    bool OpenMovingWindowPlot(const QString& fileName) override { return m_others.OpenMovingWindowPlot(fileName); }

private:
    TDialogJobChoices& m_dialogs;
    TWordListCommandChoices& m_others;
};

} // namespace cv
