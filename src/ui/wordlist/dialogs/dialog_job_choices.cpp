#include "ui/wordlist/dialogs/dialog_job_choices.h"

#include <QCoreApplication>
#include <QDialog>

#include "model/chosen_files.h"
#include "model/holder_parts.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/dialogs/batch_dialogs.h"
#include "ui/wordlist/dialogs/cluster_choices.h"
#include "ui/wordlist/dialogs/index_dialogs.h"
#include "ui/wordlist/dialogs/relationship_choices.h"
#include "ui/wordlist/dialogs/start_wizard.h"

namespace cv {

TDialogJobChoices::TDialogJobChoices(QWidget* mainWindow)
    : m_mainWindow(mainWindow)
{
    // The wizard and the batch windows are there from the start, as the
    // batch record's hooks point at the set-up from then on.
    Made(m_wizard);
    Made(m_batchSetup);
    Made(m_batchChoose);
}

TDialogJobChoices::~TDialogJobChoices()
{
    delete m_indexExport.data();
    delete m_relationshipChoices.data();
    delete m_joinClusters.data();
    delete m_clusterChoices.data();
    delete m_batchChoose.data();
    delete m_batchSetup.data();
    delete m_wizard.data();
}

TFormStartWizardW& TDialogJobChoices::StartWizard() { return Made(m_wizard); }
TFormBatchProcessSetup& TDialogJobChoices::BatchSetup() { return Made(m_batchSetup); }
TFormBatchChoose& TDialogJobChoices::BatchChoose() { return Made(m_batchChoose); }
TFormClusterChoices& TDialogJobChoices::ClusterChoices() { return Made(m_clusterChoices); }
TFormJoinClusters& TDialogJobChoices::JoinClusters() { return Made(m_joinClusters); }
TFormMIChoices& TDialogJobChoices::RelationshipChoices() { return Made(m_relationshipChoices); }
TFormIndexExport& TDialogJobChoices::IndexExport() { return Made(m_indexExport); }

void TDialogJobChoices::ShowStartWizard(TCVFileDetails* texts)
{
    TFormStartWizardW& wizard = StartWizard();
    wizard.fChosenFiles = texts;
    if (wizard.isVisible()) {
        wizard.UpdateWizardDisplay();
        wizard.raise();
        wizard.activateWindow();
        return;
    }
    RunModalDialog(wizard);
}

QStringList TDialogJobChoices::DetailedConsistencyFiles() { return StartWizard().GetDetailedConsistencyFiles(); }

TPlainTextImportChoices TDialogJobChoices::PlainTextImport() { return StartWizard().PlainTextImportChoices(); }

bool TDialogJobChoices::BatchSetupReady(int32_t filesToProcess, int64_t totalTextBytes)
{
    TFormBatchProcessSetup& setup = BatchSetup();
    setup.FilesToProcess = filesToProcess;
    setup.TotalTextBytes = totalTextBytes;
    setup.show();
    setup.raise();
    QPointer<TFormBatchProcessSetup> alive(&setup);
    while (alive && !alive->Ready && alive->isVisible())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return alive && alive->Ready;
}

void TDialogJobChoices::HideBatchSetup() { BatchSetup().BatchOver(); }

bool TDialogJobChoices::ChooseIndex(uint8_t& openingMode)
{
    // Made afresh, so it starts from the settings' last index.
    auto dialog = std::make_unique<TFormIndexChoices>(m_mainWindow.data());
    dialog->IndexFileOpeningMode = 0;
    if (RunModalDialog(*dialog) != kModalOK)
        return false;
    openingMode = dialog->IndexFileOpeningMode;
    return true;
}

bool TDialogJobChoices::ChooseFromBatchZip(const QString& zipName, TOpenBatchEntry open)
{
    TFormBatchChoose& choose = BatchChoose();
    choose.fOnOpenBatchFile = std::move(open);
    TCVStored_File_rec rec;
    rec.FileName = zipName;
    return choose.OpenAZipAndChoose(rec);
}

} // namespace cv
