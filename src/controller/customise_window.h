#pragma once
// Two smaller windows of the controller: "Customise" (the shortcut of each
// menu command and whether it is offered on the right-click menus, kept
// in the settings buffer by menu tag) and "About and memory" (the suite's
// version, its settings buffer, the tools running and the memory each
// process uses).

#include <QDialog>
#include <QKeySequence>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class QTableWidget;

namespace cv {

// The menu commands a tool offers, as the program that knows its menus gives them.
struct TMenuCommandsOfTools {
    struct TCommand {
        int tag = 0;
        QString caption;
    };
    std::vector<TCommand> commands;
    // The suite's shortcut codes and Qt's key sequences, both ways.
    std::function<QKeySequence(uint16_t)> toSequence;
    std::function<uint16_t(const QKeySequence&)> fromSequence;
    // The tools' own rules for storing the choices, when that program gives
    // them: a shortcut for a command, refused when another command holds it;
    // a right-click entry "caption:shortcut" made to agree with the menus;
    // the right-click entries (ten at most) stored.
    std::function<bool(int tag, const QString& caption, uint16_t shortcut)> trySetShortcut;
    std::function<void(QString& entry)> normaliseEntry;
    std::function<void(const QStringList& entries)> setRightClickEntries;
    // The suite's text of a shortcut code ("Ctrl+F8").
    std::function<QString(uint16_t)> shortcutText;
};

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
