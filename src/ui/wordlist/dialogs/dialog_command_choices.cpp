#include "ui/wordlist/dialogs/dialog_command_choices.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolButton>

#include "suite/my_types.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/auto_join_dialog.h"
#include "ui/wordlist/dialogs/cluster_choices.h"
#include "ui/wordlist/dialogs/column_edit_dialog.h"
#include "ui/wordlist/dialogs/compare_wordlists_dialog.h"
#include "ui/wordlist/dialogs/dialog_job_choices.h"
#include "ui/wordlist/dialogs/file_name_replace_dialog.h"
#include "ui/wordlist/dialogs/general_input_dialog.h"
#include "ui/wordlist/dialogs/index_dialogs.h"
#include "ui/wordlist/dialogs/language_change_dialog.h"
#include "ui/wordlist/dialogs/lemma_shower.h"
#include "ui/wordlist/dialogs/relationship_choices.h"
#include "ui/wordlist/dialogs/three_way_sort_dialog.h"
#include "ui/wordlist/views/word_cloud_window.h"

namespace cv {

namespace {

// The owner of a dialog made for one question: the active window, else the tool's main window.
QWidget* DialogOwner()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w))
            return w;
    return nullptr;
}

} // namespace

TDialogCommandChoices::TDialogCommandChoices(TDialogJobChoices& dialogs, TWordListCommandChoices& others)
    : m_dialogs(dialogs), m_others(others)
{
    m_previousEditingDialogs = SetListEditingDialogs(this);
    // The word cloud of a list opens the cloud window, after the data-column choice when asked.
    m_previousCloudOpener = SetWordCloudOpener([](const TWordCloudOfListRequest& request) {
        if (!request.list)
            return false;
        if (request.withOptions) {
            TFormWordCloudOptions options(DialogOwner(), *request.list);
            if (RunModalDialog(options) != QDialog::Accepted)
                return false;
        }
        TWordCloudRequest how;
        how.needsSorting = request.needsSorting;
        return ShowWordCloud(DialogOwner(), *request.list, request.caption, how) != nullptr;
    });
}

TDialogCommandChoices::~TDialogCommandChoices()
{
    if (CurrentListEditingDialogs() == this) {
        SetListEditingDialogs(m_previousEditingDialogs);
        SetWordCloudOpener(std::move(m_previousCloudOpener));
    }
    delete m_lemmaShower.data();
}

std::optional<TFileNameReplacement> TDialogCommandChoices::ChooseFileNameReplacement()
{
    return RunFileNameReplaceDialog(DialogOwner());
}

bool TDialogCommandChoices::ChooseAutoJoin(TAutoJoinChoice& choice)
{
    return RunAutoJoinDialog(DialogOwner(), choice);
}

bool TDialogCommandChoices::ConfirmComparison(const QString& currentFile)
{
    TFormCompare2Wordlists dialog(DialogOwner());
    dialog.CurrentFile = currentFile;
    return RunModalDialog(dialog) == kModalOK;
}

bool TDialogCommandChoices::ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int helpContext,
                                         TThreeWaySortChoice& choice)
{
    return ThreeWaySort(list, pressedColumn, 2, helpContext, choice);
}

bool TDialogCommandChoices::ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int maxLevel,
                                         int helpContext, TThreeWaySortChoice& choice)
{
    TFormThreeWaySort dialog(DialogOwner());
    dialog.SetTo(list, maxLevel, helpContext);
    dialog.SetPressedColumn(pressedColumn);
    if (RunModalDialog(dialog) != kModalOK)
        return false;
    for (int level = 0; level < 3; ++level) {
        choice.columns[size_t(level)] = dialog.sort_column_choices[size_t(level)];
        choice.ascending[size_t(level)] = TFormThreeWaySort::Ascending(dialog.DirectionButton(level));
    }
    return true;
}

bool TDialogCommandChoices::EditSetColumn(QString& category, uint32_t& colour, bool& colourChanged)
{
    TFormSetColumnEdit dialog(DialogOwner());
    dialog.ClearColourChanged();
    dialog.ElComboBox1->setEditText(category);
    if (RunModalDialog(dialog) != kModalOK)
        return false;
    category = dialog.ElComboBox1->currentText();
    colourChanged = dialog.ColourChanged;
    colour = colourChanged ? (dialog.ComboColour().rgb() | 0xFF000000u) : 0;
    return true;
}

bool TDialogCommandChoices::EditCategory(const QString& word, QString& category, uint32_t& colour)
{
    bool colourChanged = false;
    return EditSetColumn(category, colour, colourChanged);
}

void TDialogCommandChoices::ShowLemmaShower(const QString& caption, const QStringList& headings,
                                            const QStringList& rows)
{
    if (!m_lemmaShower)
        m_lemmaShower = new TFormLemmaShower(nullptr);
    m_lemmaShower->SetTheHeaders(headings);
    m_lemmaShower->CopyRows(rows);
    m_lemmaShower->setWindowTitle(caption);
    BringToFront(m_lemmaShower);
}

bool TDialogCommandChoices::InputValue(const QString& topic, const QString& prompt, QString& value, int helpContext)
{
    TGeneralInputDlg dialog(DialogOwner());
    if (!topic.isEmpty())
        dialog.setWindowTitle(topic);
    if (!dialog.Execute(prompt, value, helpContext))
        return false;
    value = dialog.Value();
    return true;
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

std::optional<int> TDialogCommandChoices::ChooseLanguage(const QStringList& names, const QString& current)
{
    return RunLanguageChangeDialog(DialogOwner(), names, current);
}

} // namespace cv
