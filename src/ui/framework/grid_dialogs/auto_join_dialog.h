#pragma once
// "Auto-Join": asks for the affixes by which word forms of a list are joined
// under a head word (the join itself is the tool window's). Affixes are
// typed separated by ";": "ing" or "*ing" a suffix, "un*" a prefix, "*ab*"
// an affix inside the word.
//
// TTMSStylableReadIniForm is the base of dialogs that keep their own
// settings (here: where they stood) in an ini file named after the form.

#include <QString>

#include <cstdint>
#include <vector>

#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace cv {

class TTMSStylableReadIniForm : public QDialog {
public:
    // objectName: the form's component name, which names its ini file.
    explicit TTMSStylableReadIniForm(const QString& objectName, QWidget* parent = nullptr);
    // The user's read/write folder, the form's name and ".ini".
    QString TheIniName() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool m_restored = false;
};

// One affix typed: its text and kind (0 suffix, 1 prefix, 2 inside the word).
struct TAutoJoinAffixRec {
    QString text;
    uint8_t kind = 0;
    friend bool operator==(const TAutoJoinAffixRec&, const TAutoJoinAffixRec&) = default;
};

// The affixes of a typed text, in order; empty parts and lone asterisks
// give none, and neither does an affix that is only asterisks.
std::vector<TAutoJoinAffixRec> ParseAutoJoinAffixes(const QString& typed);

class TAutoJoinDlg final : public TTMSStylableReadIniForm {
public:
    explicit TAutoJoinDlg(QWidget* parent = nullptr);

    // Reads the affixes; closes with OK only when there is at least one.
    void ButtonOKClick();
    void ButtonHelpClick();

    uint32_t TheLCID = 0;
    std::vector<TAutoJoinAffixRec> affixes;

    QLineEdit* ElEdit1 = nullptr;
    QCheckBox* ConfirmCheckBox = nullptr;
    QCheckBox* CheckBoxCaseSensitive = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr; // leaves with nothing taken
    QPushButton* ButtonHelp = nullptr;
};

// Runs the dialog modally; on OK the affixes and "Confirm each".
bool RunAutoJoinDialog(QWidget* parent, std::vector<TAutoJoinAffixRec>& affixes, bool& confirmEach);

// The same for a choice record with `affixes` (each made from text and
// kind) and `confirmEach`, such as the word-list window's.
template <typename TChoice>
bool RunAutoJoinDialog(QWidget* parent, TChoice& choice)
{
    std::vector<TAutoJoinAffixRec> read;
    bool confirm = false;
    if (!RunAutoJoinDialog(parent, read, confirm))
        return false;
    choice.affixes.clear();
    for (const TAutoJoinAffixRec& a : read)
        choice.affixes.push_back({a.text, a.kind});
    choice.confirmEach = confirm;
    return true;
}

} // namespace cv
