#pragma once
// What the grid dialogs share: running a dialog modally behind a seam that
// tests replace, remembering a dialog's geometry, asking the main window for
// help, and the top-level window flags of dialogs that stand on their own.

#include <QByteArray>
#include <QDialog>
#include <QString>

#include <functional>

#include "suite/service_slot.h"

class QSettings;

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

// Makes the dialog a window of its own (with its own entry in the task bar
// where the desktop shows one), still owned by its parent.
void MakeOwnTaskbarWindow(QWidget& dialog);

} // namespace cv
