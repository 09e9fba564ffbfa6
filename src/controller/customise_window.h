#pragma once
// Two smaller windows of the controller: "Customise" (the shortcut of each
// menu command and whether it is offered on the right-click menus, kept
// in the settings buffer by menu tag) and "About and memory" (the suite's
// version, its settings buffer, the tools running and the memory each
// process uses).

#include <QDialog>
#include <QString>

#include "gui/menu_shortcuts.h" // TMenuCommandsOfTools

class QLabel;
class QTableWidget;

namespace cv {

// Commands a right-click menu offers at most.
constexpr int kMaxRightClickCommands = 10;

class TControllerCustomiseWindow final : public QDialog {
    Q_OBJECT
public:
    explicit TControllerCustomiseWindow(const TMenuCommandsOfTools& commands, QWidget* parent = nullptr);

    // Called after the choices went into the settings buffer (by OK).
    std::function<void()> OnStored;

    // The row of a menu tag; -1 when the tag is not listed.
    int RowOfTag(int tag) const;
    void SetShortcut(int tag, const QKeySequence& key);
    void SetOnRightClickMenu(int tag, bool on);
    // The choices into the settings buffer; the problems (a shortcut given
    // twice: nothing stored then). Empty when stored.
    QStringList Store();
    void OkClick();

    QTableWidget* Table = nullptr;
    QLabel* ProblemLabel = nullptr;

private:
    TMenuCommandsOfTools m_commands;
};

class TControllerAboutWindow final : public QDialog {
    Q_OBJECT
public:
    explicit TControllerAboutWindow(QWidget* parent = nullptr);
    // Reads the version, the buffer and the processes again.
    void Refresh();
    QString Text() const;

    QLabel* Label = nullptr;
};

// The resident memory of a process in bytes (0 when it cannot be read).
int64_t ResidentMemoryOfProcess(int64_t pid);

} // namespace cv
