#pragma once
// The "Getting Started..." window of the word-list tool: how many texts are
// chosen, and the ways to start a job (one word list, a batch of them, an
// index, a detailed consistency list of saved word lists, word lists made
// from plain-text lists). It starts no job itself: each start button posts
// message 1391 (WParam batch flag, LParam job) to the tool's main window,
// which reads what the job needs from this window's fields.

#include <QPointer>
#include <QStringList>

#include "suite/window_handle.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/job_choices.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace cv {

class TSharedChosenFilesClass;

class TFormStartWizardW final : public TCVDialog {
    Q_OBJECT
public:
    // mainForm: the tool's main window (sent to the back when the
    // controller is asked to show its settings).
    explicit TFormStartWizardW(QWidget* mainForm = nullptr);
    ~TFormStartWizardW() override;

    QPushButton* ButtonHelp;
    QTabWidget* PageControl1;
    QWidget* TabSheetMain;
    QWidget* TabSheetDetailedConsistency;
    QWidget* TabSheetAdvanced;
    // --- main page ---
    QGroupBox* GroupBoxTexts;
    QLabel* LabelTexts;
    QPushButton* ChooseTextsButton;
    QGroupBox* GroupBoxWordlist;
    QLabel* LabelWL1;
    QLabel* LabelWLBatch;
    QPushButton* Make1Button;
    QPushButton* MakeBatchButton;
    QGroupBox* GroupBoxIndex;
    QLabel* LabelIndex;
    TFileNameEdit* ElFileNameEditIndex;
    QPushButton* ButtonIndex;
    // --- detailed consistency ---
    QLabel* LabelConsistency;
    TFileNameEdit* ElFileNameEditDetailedC;
    QListWidget* StyledListboxDC;
    QPushButton* AdvGlowButtonUp;
    QPushButton* AdvGlowButtonDown;
    QPushButton* ButtonComputeConsistency;
    QPushButton* AdvGlowButtonDetConsSettings;
    // --- advanced: word lists from plain-text lists ---
    QLabel* Label1;
    TFileNameEdit* ElFileNameEditWLFromText;
    QLabel* LabelLanguage;
    QPushButton* ElPopupButtonChangeLanguage;
    QCheckBox* ElCheckBoxImportCaseSensitive;
    QSpinBox* AdvSpinEditWordColumn;
    QSpinBox* AdvSpinEditFreqColumn;
    TFileNameEdit* ElFolderNameEditSaveTextFileWordlists;
    QPlainTextEdit* ElMemoNotesTextFileWordlists;
    QPushButton* ButtonWLFromText;

    // The chosen texts of the main window (not owned).
    TSharedChosenFilesClass* fChosenFiles = nullptr;
    bool fShown = false;
    TWindowHandle WindowHandle() const { return m_handle; }

    // --- what the jobs read ---
    // The word lists for detailed consistency, in the order shown.
    QStringList GetDetailedConsistencyFiles() const;
    TPlainTextImportChoices PlainTextImportChoices() const;

    // --- handlers ---
    void Make1ButtonClick();
    void MakeBatchButtonClick();
    void ButtonIndexClick();
    void ButtonComputeConsistencyClick();
    void ButtonWLFromTextClick();
    void ChooseTextsButtonClick();
    void AdvGlowButtonDetConsSettingsClick();
    void ElPopupButtonChangeLanguageClick();
    // The word lists the open dialog returned, first one last.
    void ElFileNameEditDetailedCDialogExecute(const QStringList& files);
    // Moves the selected word list down (+1) or up (-1).
    void SpeedButtonUpDownClick(int direction);
    // The labels and buttons after the chosen texts, files and settings.
    void UpdateWizardDisplay();

protected:
    void FormShow() override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Message 1391 to the tool's main window.
    void PostJob(uint64_t batchFlag, int64_t job);

    QPointer<QWidget> m_mainForm;
    TWindowHandle m_handle = 0;
};

} // namespace cv
