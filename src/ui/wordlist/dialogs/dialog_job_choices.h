#pragma once
// The word-list window's choices answered by its dialogs: the start wizard
// (files for a detailed consistency list or a plain-text import), the batch
// set-up, the index choice and the batch choice window. The program makes
// one for its main window and installs it (TFormWordList::SetJobChoices).
//
// It also owns the dialogs the window's commands show: the cluster,
// join-cluster and relationship choices, and the index export. Modal
// dialogs are run through RunModalDialog, so tests can answer them without
// a dialog waiting on screen (TModalRunnerGuard).

#include <QPointer>

#include "ui/wordlist/job_choices.h"

class QWidget;

namespace cv {

class TCVFileDetails;
class TFormBatchChoose;
class TFormBatchProcessSetup;
class TFormClusterChoices;
class TFormIndexChoices;
class TFormIndexExport;
class TFormJoinClusters;
class TFormMIChoices;
class TFormStartWizardW;

class TDialogJobChoices final : public TWordListJobChoices {
public:
    // mainWindow: the owner of the dialogs (the tool's main window).
    explicit TDialogJobChoices(QWidget* mainWindow);
    ~TDialogJobChoices() override;
    TDialogJobChoices(const TDialogJobChoices&) = delete;
    TDialogJobChoices& operator=(const TDialogJobChoices&) = delete;

    // --- the dialogs (made at start, or on first use) ---
    TFormStartWizardW& StartWizard();
    TFormBatchProcessSetup& BatchSetup();
    TFormBatchChoose& BatchChoose();
    TFormClusterChoices& ClusterChoices();
    TFormJoinClusters& JoinClusters();
    TFormMIChoices& RelationshipChoices();
    TFormIndexExport& IndexExport();

    // The start wizard with the main window's chosen texts: shown modally
    // when hidden, else brought to the front.
    void ShowStartWizard(TCVFileDetails* texts);

    // --- TWordListJobChoices ---
    QStringList DetailedConsistencyFiles() override;
    TPlainTextImportChoices PlainTextImport() override;
    // Shows the batch set-up without waiting and pumps messages until the
    // user made it ready or closed it.
    bool BatchSetupReady(int32_t filesToProcess, int64_t totalTextBytes) override;
    void HideBatchSetup() override;
    // A new index choice dialog each time, shown modally.
    bool ChooseIndex(uint8_t& openingMode) override;
    bool ChooseFromBatchZip(const QString& zipName, TOpenBatchEntry open) override;

private:
    // The dialogs are children of the main window: whichever goes first,
    // the window or this object, takes them along, never twice.
    template <typename T>
    T& Made(QPointer<T>& dialog)
    {
        if (!dialog)
            dialog = new T(m_mainWindow.data());
        return *dialog;
    }

    QPointer<QWidget> m_mainWindow;
    QPointer<TFormStartWizardW> m_wizard;
    QPointer<TFormBatchProcessSetup> m_batchSetup;
    QPointer<TFormBatchChoose> m_batchChoose;
    QPointer<TFormClusterChoices> m_clusterChoices;
    QPointer<TFormJoinClusters> m_joinClusters;
    QPointer<TFormMIChoices> m_relationshipChoices;
    QPointer<TFormIndexExport> m_indexExport;
};

} // namespace cv
