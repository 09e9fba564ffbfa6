#pragma once
// The two small dialogs of the corpus index: the index choice asks, before
// an index is made, for the index's file name and whether an existing index
// is replaced or added to; the index export asks where and what to export
// from an open index.

#include <cstdint>

#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace cv {

class TFormIndexChoices final : public TCVDialog {
    Q_OBJECT
public:
    // Takes the last index of the settings buffer (as its ".tokens" file);
    // an index that exists already is offered to be added to.
    explicit TFormIndexChoices(QWidget* parent = nullptr);

    TFileNameEdit* ElFileNameEditIndexname;
    TRadioGroup* RadioGroupOptions; // 0 start anew, 1 back up and add, 2 add without backup
    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;

    uint8_t index_choices = 0;
    uint8_t IndexFileOpeningMode = 0; // 0 a new index, 1 add to the existing one

    // Stores the name as the last index, then deletes or backs up the
    // existing index as chosen. An empty name, or index files that cannot be
    // deleted or backed up, keep the dialog open with a message.
    void ButtonOKClick();

protected:
    void FormShow() override;
};

class TFormIndexExport final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormIndexExport(QWidget* parent = nullptr);

    TFileNameEdit* ElFileNameEdit1;  // the file to export to
    QLineEdit* ElEditWordToSeek;     // the word whose details are exported
    QCheckBox* ElCheckBoxExportSentenceLengths;
    QPushButton* ElPopupButtonOK;
    QPushButton* ElPopupButtonHelp;

    // Closes with OK when the file may be written: it does not exist, or the
    // user lets it be replaced (the old one is kept as "<name>.bak"); else
    // the dialog stays open for another name.
    void ElPopupButtonOKClick();
};

} // namespace cv
