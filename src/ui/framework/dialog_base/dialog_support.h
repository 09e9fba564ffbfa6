#pragma once
// The base of every dialog of the windows (the grid dialogs, the tools'
// set-up dialogs and the viewing windows): running a dialog modally behind a
// seam that tests replace, remembering a dialog's geometry, help topics, the
// top-level window flags of dialogs that stand on their own; and the tools'
// dialog base TCVDialog, which keeps the suite's modal results (1 OK, 2
// Cancel, 0 still open), a file-name edit with its browse button, a radio
// group, and a few helpers for file names.

#include <QByteArray>
#include <QDialog>
#include <QGroupBox>
#include <QString>
#include <QStringList>

#include <functional>

#include "suite/service_slot.h"

class QButtonGroup;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSettings;
class QToolButton;

namespace cv {

// Runs a dialog modally; the result is QDialog::Accepted or Rejected. The
// program runs exec(); tests install a runner that fills the dialog's
// controls and presses its buttons, so no test waits on a modal loop.
using TModalRunner = std::function<int(QDialog& dialog)>;
int RunModalDialog(QDialog& dialog);

using TModalRunnerSlot = TServiceSlot<TModalRunner>;
using TModalRunnerGuard = TModalRunnerSlot::TGuard;

// The dialogs' own settings file: "grid dialogs.ini" in the user's
// read/write folder (GetUserReadWriteFolder), else Qt's per-user place.
QString GridDialogSettingsFileName();
// Geometry of a dialog by its object name, kept in that file; false when none is kept.
bool RestoreDialogGeometry(QWidget& dialog);
void StoreDialogGeometry(const QWidget& dialog);

// The size a dialog needs to show every control and every tab of its page
// controls, at least its size now (within the screen).
QSize RoomForContents(const QWidget& dialog);

// Moves a window, frame and all, inside the available area of its screen
// (a window larger than the area keeps its top left corner in it).
void KeepInsideScreen(QWidget& window);

// A dialog that remembers where it was: restored when first shown, stored
// whenever it is hidden, never shown smaller than its contents need, and
// always inside the screen, wherever it was remembered. The object name
// names the record.
class TRememberingDialog : public QDialog {
public:
    explicit TRememberingDialog(const QString& objectName, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Where the dialog goes when no place is remembered, once it has its
    // size; the base leaves the place the window system gives.
    virtual void PlaceWithoutStoredGeometry() {}

private:
    bool m_restored = false;
};

// Asks this tool's main window to show a help topic (message 1168).
void PostHelpRequest(int helpContext);

// Shows a window the user asked for in front of the others, with the
// keyboard focus: shown (restored when minimised), raised and activated,
// also when it was open already behind another window; and wholly on its
// screen, title bar included (KeepOnScreen, again once the window manager
// has framed it).
void BringToFront(QWidget* window);
// Moves a top-level window, frame included, into its screen's available
// area (made smaller first when it is larger). Whether it was moved.
bool KeepOnScreen(QWidget* window);
// The first size of a new top-level window: `wanted`, made smaller where
// the available area of its screen (its parent's, else the primary one) is
// smaller, with room left for the window manager's frame; centred over its
// parent window, else on the screen, and wholly inside that area.
void SizeNewWindowForScreen(QWidget* window, QSize wanted);

// Makes the dialog a window of its own (with its own entry in the task bar
// where the desktop shows one), still owned by its parent.
void MakeOwnTaskbarWindow(QWidget& dialog);

// --- The tools' dialogs ---

// The suite's modal results.
enum : int { kModalNone = 0, kModalOK = 1, kModalCancel = 2 };

// The help context of a control: its "helpContext" property (0 when none).
int HelpContextOf(const QWidget* control);
void SetHelpContext(QWidget* control, int context);

// Help on a topic: through the shower installed (the tool window framework's
// data module installs one when the program makes it), else as message 1168
// to the tool's main window.
void ShowHelpTopic(int context);
using THelpTopicShower = std::function<void(int context)>;
struct THelpTopicTag;
using THelpTopicSlot = TServiceSlot<THelpTopicShower, THelpTopicTag>;

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
