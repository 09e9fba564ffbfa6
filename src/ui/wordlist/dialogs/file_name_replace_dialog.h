#pragma once
// The dialog that replaces a text in file names of the word-list tool.

#include <QString>

#include <optional>

#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/multi_tool_base.h" // TFileNameReplacement

class QLabel;
class QLineEdit;
class QPushButton;

namespace cv {

// A search text and its replacement in the file names of a document's texts.
class TFormSearchAndReplaceFilename final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormSearchAndReplaceFilename(QWidget* parent = nullptr);

    QLineEdit* ElEditSearch;
    QLabel* ElLabel1;
    QLineEdit* ElEditReplacement;
    QLabel* ElLabel3;
    QPushButton* ElPopupButtonOK;
    QPushButton* ElPopupButtonCancel;
    QPushButton* ElPopupButtonHelp;
    TRadioGroup* ElRadioGroup1; // replacement within: 0 the path only, 1 the file name only

    // The search label follows the choice.
    void ElRadioGroup1Click();

protected:
    void FormShow() override;
};
// The file-name replacement as the framework's renaming of texts asks for
// it; std::nullopt when cancelled or nothing is sought.
std::optional<TFileNameReplacement> RunFileNameReplaceDialog(QWidget* owner);

} // namespace cv
