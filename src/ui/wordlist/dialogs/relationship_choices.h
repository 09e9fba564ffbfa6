#pragma once
// The relationship choices: which words of a corpus index to relate, what
// to omit, the span, minimum frequencies and the minimum thresholds of the
// eleven association scores. The choices go into the shared index settings
// record; a user word file goes into the lemmatiser as the relation-word list.

#include <QChar>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace cv {

class TCVSpinEdit;
class TWMessageDialogue;
class TWordlist_index_settings_rec;

class TFormMIChoices final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormMIChoices(QWidget* parent = nullptr);
    ~TFormMIChoices() override;

    QTabWidget* PageControl1;
    // --- words to process ---
    QRadioButton* ElRadioButtonAllWords;
    QRadioButton* ElRadioButtonSelectedWords;
    QRadioButton* ElRadioButtonSpecificCharacters;
    QLineEdit* ElEditStartChar;
    QLineEdit* ElEditEndChar;
    QRadioButton* ElRadioButtonPLainTextFile;
    TFileNameEdit* ElFileNameEditPlainTextFile;
    QLabel* LabelN;
    QPushButton* ElPopupButtonTextFileLoad;
    QPushButton* ElPopupButtonEdit;
    TRadioGroup* ElRadioGroupRelation; // 0 only words in the list, 1 ignore them
    // --- omissions ---
    QComboBox* ComboBoxIndexStopAt;
    QCheckBox* CheckBoxMergeLR;
    QCheckBox* CheckBoxOmitNumbers;
    QCheckBox* ElCheckBoxShowPairsTwice;
    QCheckBox* ElCheckBoxRecomputeTokens;
    QCheckBox* ElCheckBoxToRightOnly;
    TRadioGroup* ElRadioGroupStopLists;
    // --- minimum and maximum ---
    QSpinBox* AdvSpinEditSpan;
    QSpinBox* AdvSpinEditMinJointFreq;
    TCVSpinEdit* AdvSpinEditMaxPercent;
    QSpinBox* AdvSpinEditMinTexts;
    QSpinBox* AdvSpinEditMinWord2Freq;
    QWidget* GroupBoxThresholds;
    // The eleven threshold boxes in the record's order (Dice first).
    std::array<TCVSpinEdit*, 11> ThresholdEdits{};
    QPushButton* AdvGlowButtonSetToMin;
    TRadioGroup* AdvOfficeRadioGroupMinRequirements; // 0 all, 1 any
    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;

    // --- state ---
    uint8_t process_selection = 0; // 0 all, 1 selected, 2 text file, 3 character range
    bool caller_has_selection = false;
    QString selected_word;        // the selected word of the caller's grid, or empty
    uint8_t ftool_which_called = 0;
    int32_t fLemmasMatchStopNInFile = 0;
    // The character range of mode 3, set by OK.
    QChar RelationStartChar = u'A';
    QChar RelationEndChar = u'B';

    void SetUpForTool(uint8_t tool) { ftool_which_called = tool; }
    void TellWhetherSelection(bool hasSelection) { caller_has_selection = hasSelection; }

    // Stores the record with the controls' values and closes with OK. A
    // missing word file, or a stop-list mode without a loaded stop list (the
    // controller excepted), keeps the dialog open with a message and stores
    // nothing; a threshold that is no number is reported and left as it was.
    void ButtonOKClick();
    // "set all to minimum" and back ("Restore").
    void AdvGlowButtonSetToMinClick();
    // "Load" the word file as the relation-word list, or "Clear" it.
    void ElPopupButtonTextFileLoadClick();
    void ElPopupButtonEditClick();

    void RecordToControls(const TWordlist_index_settings_rec& rec);

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<TWMessageDialogue> m_listMessage;
};

} // namespace cv
