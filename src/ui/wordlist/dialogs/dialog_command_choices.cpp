#include "ui/wordlist/dialogs/dialog_command_choices.h"

#include <QCheckBox>
#include <QLineEdit>

#include "suite/my_types.h"
#include "ui/framework/grid_dialogs/dialog_support.h"
#include "ui/wordlist/dialogs/cluster_choices.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/dialogs/index_dialogs.h"
#include "ui/wordlist/dialogs/relationship_choices.h"

namespace cv {

TDialogCommandChoices::TDialogCommandChoices(TDialogJobChoices& dialogs, TWordListCommandChoices& others)
    : m_dialogs(dialogs), m_others(others)
{
}

bool TDialogCommandChoices::ChooseClusters(bool hasSelection, TClusterChoice& choice)
{
    TFormClusterChoices& dialog = m_dialogs.ClusterChoices();
    dialog.TellWhetherSelection(hasSelection);
    if (RunModalDialog(dialog) != kModalOK)
        return false;
    choice.wordChoice = dialog.process_selection;
    choice.words = dialog.process_selection == kIndexProcessTextFile ? dialog.words_to_process : QStringList();
    return true;
}

bool TDialogCommandChoices::ChooseJoinClusters(bool& smallerIntoLargest)
{
    TFormJoinClusters& dialog = m_dialogs.JoinClusters();
    if (RunModalDialog(dialog) != kModalOK)
        return false;
    smallerIntoLargest = dialog.JoinSmallerToLargest();
    return true;
}

bool TDialogCommandChoices::ChooseRelationships(const QString& selectedWord, bool hasSelection,
                                                TRelationshipChoice& choice)
{
    TFormMIChoices& dialog = m_dialogs.RelationshipChoices();
    dialog.SetUpForTool(current_tool_var);
    dialog.selected_word = selectedWord;
    dialog.TellWhetherSelection(hasSelection);
    if (RunModalDialog(dialog) != kModalOK)
        return false;
    choice.processSelection = dialog.process_selection;
    choice.startChar = dialog.RelationStartChar;
    choice.endChar = dialog.RelationEndChar;
    choice.wordFile = dialog.ElFileNameEditPlainTextFile->Text().trimmed();
    return true;
}

bool TDialogCommandChoices::ChooseIndexExport(TIndexExportChoice& choice)
{
    TFormIndexExport& dialog = m_dialogs.IndexExport();
    if (RunModalDialog(dialog) != kModalOK)
        return false;
    choice.fileName = dialog.ElFileNameEdit1->Text().trimmed();
    choice.word = dialog.ElEditWordToSeek->text().trimmed();
    choice.sentenceLengths = dialog.ElCheckBoxExportSentenceLengths->isChecked();
    return true;
}

void TDialogCommandChoices::ShowStartWizard(TCVFileDetails* texts) { m_dialogs.ShowStartWizard(texts); }

} // namespace cv
