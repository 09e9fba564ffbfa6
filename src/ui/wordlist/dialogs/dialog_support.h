#pragma once
// What the set-up dialogs of the word-list tool share: a dialog base that
// remembers its place on the screen, answers its Help button and keeps the
// suite's modal results (1 OK, 2 Cancel, 0 still open); a file-name edit with
// its browse button; and a few helpers for file names and help topics.

#include <QDialog>
#include <QGroupBox>

#include "ui/framework/grid_dialogs/dialog_support.h"
#include <QString>
#include <QStringList>

#include <functional>

class QButtonGroup;
class QHBoxLayout;
class QPushButton;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace cv {

// The suite's modal results.
enum : int { kModalNone = 0, kModalOK = 1, kModalCancel = 2 };

// Help on a topic: through the data module when the program made one, else
// as message 1168 to the tool's main window.
void ShowHelpTopic(int context);

// The name with its extension replaced ("corpus.tokens", ".types" gives
// "corpus.types"; a name without extension gets it added). Only the file
// part counts: dots in folder names are left alone.
QString ChangeFileExt(const QString& fileName, const QString& ext);

// A path shortened in the middle so that it fits the width in the font.
QString ElidedFileName(const QString& fileName, const QFont& font, int width);

// The OK, Cancel and Help buttons at the right of a row, OK the default
// button. Without a Cancel button of the dialog's own one is made (object
// name "ButtonCancel"): it leaves the dialog with the suite's Cancel (2) and
// nothing taken over, as Esc does.
QHBoxLayout* OkHelpButtonRow(QPushButton* ok, QPushButton* help, QPushButton* cancel = nullptr);

// Raises the process-wide cancel state by one, at most to 3 (stop and end the program).
void RaiseCancelState();

// A dialog of the tool. It remembers its geometry (by its object name, as
// the grid dialogs do), keeps its help topic and shows help for it.
class TCVDialog : public TRememberingDialog {
    Q_OBJECT
public:
    // name: the dialog's object name (also where its geometry is kept);
    // ownTaskbarButton: a window of its own on the desktop, not a child of its owner's.
    TCVDialog(QWidget* parent, const QString& name, int helpContext, bool ownTaskbarButton = false);

    // The help topic of the dialog (its "helpContext" property).
    int HelpContext() const;
    void SetHelpContextNumber(int context);
    void ButtonHelpClick() const;
    // Closes the dialog with the result (1 OK, 2 Cancel); 0 leaves it open.
    void SetModalResult(int result);
    int ModalResult() const { return result(); }
    // Esc, the window's close button and Cancel leave with Cancel (2).
    void reject() override;

protected:
    // Runs every time the dialog is shown, after the result is reset to 0.
    virtual void FormShow() {}
    void showEvent(QShowEvent* event) override;
};

// A file-name edit with a browse button: one file, several files, or a
// folder. Several files show as quoted names separated by blanks. What the
// browse button does can be replaced (SetChooser), so tests choose without
// a dialog on screen.
class TFileNameEdit : public QWidget {
    Q_OBJECT
public:
    enum class TMode { OneFile, ManyFiles, Folder, SaveFile };
    explicit TFileNameEdit(TMode mode, QWidget* parent = nullptr);

    TMode Mode() const { return m_mode; }
    QString Title;
    QString Filter;      // Qt style, ";;" between entries
    QString InitialDir;
    QString DefaultExt;  // without the dot
    bool FileMustExist = false;
    // Enter in the field does not reach the dialog's default button (a name
    // typed or chosen there starts nothing by itself).
    bool EnterStaysInField = false;

    QString Text() const;
    void SetText(const QString& text);
    // The file names the text holds (quoted names, or the whole text as one name).
    QStringList FileNames() const;
    void SetFileNames(const QStringList& names);
    QLineEdit* LineEdit() const { return m_edit; }

    // Given the edit, returns the names chosen (none: cancelled).
    using TChooser = std::function<QStringList(const TFileNameEdit& edit)>;
    void SetChooser(TChooser chooser) { m_chooser = std::move(chooser); }
    // The browse button: asks for names; when some were chosen they become
    // the text, the field takes the focus, and dialogExecuted follows.
    void Browse();

signals:
    void dialogExecuted(const QStringList& names);
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList ChooseOnScreen() const;

    TMode m_mode;
    QLineEdit* m_edit;
    QToolButton* m_button;
    TChooser m_chooser;
};

// A captioned group of radio buttons chosen by index, as a radio group
// component is: ItemIndex -1 when none is checked.
class TRadioGroup final : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    int Count() const;
    QRadioButton* Button(int i) const;
    int ItemIndex() const;
    // An index outside the items checks none.
    void SetItemIndex(int i);

signals:
    // A button was clicked (by the user or click()).
    void itemClicked(int index);

private:
    QButtonGroup* m_group;
};

} // namespace cv
