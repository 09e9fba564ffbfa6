#pragma once
// The suite's shortcut encoding, in which the settings buffer keeps the
// shortcut of each menu tag: the key's virtual-key number in the low byte,
// 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt; 0 is no shortcut. Its text form
// ("Ctrl+Shift+F6") is what messages show and the controller's ini file
// keeps. And the menu commands of the tools, which the controller's
// "Customise" window shows and the tools' program gives.

#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace cv {

enum : uint16_t { kShortcutShift = 0x2000, kShortcutCtrl = 0x4000, kShortcutAlt = 0x8000 };
// "Ctrl+Shift+F6"; empty for 0 or a key without a name.
QString ShortCutToText(uint16_t shortcut);
// The reverse, case-insensitive, modifiers in any order; 0 when not understood.
uint16_t TextToShortCut(const QString& text);
QKeySequence ShortCutToKeySequence(uint16_t shortcut);
// 0 for sequences of more than one key or keys without a code.
uint16_t KeySequenceToShortCut(const QKeySequence& sequence);

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

} // namespace cv
