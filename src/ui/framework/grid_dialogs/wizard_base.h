#pragma once
// What the tool window and its dialogs share: the base of wizard windows
// (a tool window of its own towards the controller), the chooser of the
// active set column, and the set-up run over a form's controls when the
// tool window is made (the customised dead-key list, the keyboard layout and
// the file-dialog option).

#include <QDialog>
#include <QHash>
#include <QString>

#include <memory>

#include "suite/window_handle.h"
#include "ui/framework/dialog_base/dialog_support.h"

class QButtonGroup;
class QLabel;
class QVBoxLayout;

namespace cv {

class TCVBaseDataClass;
class TMessageWindow;

// The base form of wizard windows. While active it is this tool's active
// child window in the settings buffer (the controller addresses it there);
// closed, it is not.
class TFormCVWizard : public TRememberingDialog {
public:
    explicit TFormCVWizard(QWidget* parent = nullptr, const QString& objectName = QStringLiteral("FormCVWizard"));
    ~TFormCVWizard() override;

    // The wizard's own window handle.
    TWindowHandle WindowHandle() const;
    // Whether the wizard has been shown.
    bool Shown() const { return m_shown; }

    // Registers the wizard as the tool's active child window and shows it.
    virtual void FormActivate();
    // Registers no child window any more.
    virtual void FormClose();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<TMessageWindow> m_messageWindow;
    bool m_shown = false;
};

// "Active Set Column": which set column of a list takes the categories typed.
class TFormSetColActiveColChooser final : public TRememberingDialog {
public:
    explicit TFormSetColActiveColChooser(QWidget* parent = nullptr);

    // One choice per set column of the list, "%d (%s)" with its grid column
    // (from 1) and heading; the list's active one chosen.
    void SetTheAlternatives(TCVBaseDataClass* list);
    // Makes the chosen column the list's active one; false without a choice.
    bool OKClick();
    void HelpClick();

    QButtonGroup* Choices = nullptr;
    QLabel* Question = nullptr;

private:
    TCVBaseDataClass* m_list = nullptr;
    QVBoxLayout* m_choiceLayout = nullptr;
};

// The dead-key list of the edit controls: a dead key followed by a letter
// types the letter the list gives for the pair (a dead key before any other
// key types both as they are). One per process.
class TDeadKeyList {
public:
    // The file: UTF-8 text, one entry a line of three characters: the dead
    // key, the letter, the letter typed; blank lines and lines starting with
    // "#" are skipped. False (list unchanged) when it cannot be read.
    bool LoadFromFile(const QString& fileName, QString* error);
    bool IsDeadKey(QChar c) const { return m_dead.contains(c); }
    // The letter for a dead key and a letter; null when the pair is not listed.
    QChar Composed(QChar dead, QChar letter) const { return m_pairs.value(Key(dead, letter)); }
    int Count() const { return int(m_pairs.size()); }
    void Clear();

private:
    static uint32_t Key(QChar dead, QChar letter) { return (uint32_t(dead.unicode()) << 16) | letter.unicode(); }
    QHash<uint32_t, QChar> m_pairs;
    QHash<QChar, bool> m_dead;
};
TDeadKeyList& DeadKeyList();

// "customised deadkeys.dat" in the user's read/write folder.
QString CustomisedDeadKeysFileName();

// The set-up of a form's controls, run when the tool window is made: the
// customised dead-key list (once per run, when the settings want it) goes to
// every edit control of the program, and the file-dialog option to the
// form's controls (labels transparent, file-name edits take the option).
void ControlSetUpForForm(QWidget& form);

} // namespace cv
