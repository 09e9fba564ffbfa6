#pragma once
// "Choose Clipboard Format": what a copy of grid rows to the clipboard
// includes (a picture of the selected area, editable text, the number
// column, the heading row) and how many characters of each concordance
// line text-only output takes. The choices are the settings buffer's
// clipboard record: read when the dialog is made, written back on OK (the
// record's other bytes pass through unchanged).

#include "suite/settings_records.h"
#include "ui/framework/dialog_base/dialog_support.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QSpinBox;

namespace cv {

class TCV_Grid;

class TFormChooseClipboardFormat final : public TRememberingDialog {
public:
    // The items of the "Include" group, in their order.
    enum TIncludeItem { kPicture = 0, kEditableText = 1, kNumberColumn = 2, kHeadingRow = 3 };

    explicit TFormChooseClipboardFormat(QWidget* parent = nullptr);

    // The spin edit is usable only for editable text.
    void AdvOfficeCheckGroupIncludesCheckBoxClick();
    // Stores the choices in the settings buffer and closes with OK.
    void ButtonOKClick();
    void ButtonHelpClick();

    TCVClipboardSettings cl;

    QSpinBox* ElSpinEdit1 = nullptr;
    QGroupBox* AdvOfficeCheckGroupIncludes = nullptr;
    std::array<QCheckBox*, 4> Includes{};
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr; // leaves with nothing taken
    QPushButton* ButtonHelp = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

// Runs the dialog modally; true when the choices were stored. With a grid,
// the grid takes the stored clipboard record at once.
bool RunClipboardFormatDialog(QWidget* parent, TCV_Grid* grid = nullptr);

} // namespace cv
