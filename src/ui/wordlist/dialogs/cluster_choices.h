#pragma once
// Cluster work on a corpus index: the cluster choices edit the cluster
// fields of the shared index settings record and say which words the
// clusters are made from; the join-cluster choice asks in which direction
// clusters are joined.

#include <QStringList>

#include <cstdint>
#include <initializer_list>

#include "index/index_handler.h"
#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace cv {

class TWordlist_index_settings_rec;

// Checks the button of the word choice (buttons in the order of the index
// handler's word choices, kIndexProcessAll first; a selection without a button checks the first).
void CheckWordChoice(uint8_t selection, std::initializer_list<QRadioButton*> buttons);

// Reads a plain-text word file, one word per line (blank lines skipped),
// in UTF-16 or UTF-8 with a mark, else UTF-8. False when it cannot be read.
bool ReadWordsFile(const QString& fileName, QStringList& words);

class TFormClusterChoices final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormClusterChoices(QWidget* parent = nullptr);

    QComboBox* ElComboBoxIndexStopAt;
    QCheckBox* CheckBoxOmitNumbers;
    QSpinBox* ElSpinEditClusterSizeMin;
    QSpinBox* AdvSpinEditMinTexts;
    QDoubleSpinBox* ElFloatSpinEditMaxPercent;
    QSpinBox* ElSpinEditClusterSizeMax;
    QSpinBox* ElSpinEditMaxSeconds;
    QCheckBox* AdvOfficeCheckBoxOmitPhraseFrames;
    QCheckBox* AdvOfficeCheckBoxOmitDispersion; // shows the inverse of "compute dispersion"
    QSpinBox* ElSpinEditMinShowFreq;
    QCheckBox* ElCheckBoxBatch;
    QRadioButton* RadioAll;
    QRadioButton* RadioHighlighted;
    QRadioButton* AdvOfficeRadioButtonTextFile;
    TFileNameEdit* ElFileNameEditPlainTextFile;
    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;

    bool caller_has_selection = false;
    uint8_t process_selection = kIndexProcessAll;
    QStringList words_to_process; // the words of the text file, after OK

    // The caller says whether its grid has a selection before showing the
    // dialog; with one, the dialog opens on "selection".
    void TellWhetherSelection(bool hasSelection) { caller_has_selection = hasSelection; }

    // Stores the record with the controls' values and closes with OK; a
    // text file that is missing or holds no words keeps the dialog open with
    // a message and stores nothing.
    void ButtonOKClick();

    // The controls' values written into the record (the fields this dialog edits).
    void ControlsToRecord(TWordlist_index_settings_rec& rec) const;
    void RecordToControls(const TWordlist_index_settings_rec& rec);

protected:
    void FormShow() override;
};

class TFormJoinClusters final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormJoinClusters(QWidget* parent = nullptr);

    QRadioButton* ElRadioButton1; // join smaller ones to largest
    QRadioButton* ElRadioButton2; // join larger ones to smallest
    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;

    bool JoinSmallerToLargest() const;
};

// The seven "stop at" choices, put afresh into the combo box.
void FillStopAtCombo(QComboBox* combo);

} // namespace cv
