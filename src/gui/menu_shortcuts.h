#pragma once
// The suite's shortcut encoding, in which the settings buffer keeps the
// shortcut of each menu tag: the key's virtual-key number in the low byte,
// 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt; 0 is no shortcut. Its text form
// ("Ctrl+Shift+F6") is what messages show and the controller's ini file
// keeps.

#include <QKeySequence>
#include <QString>

#include <cstdint>

namespace cv {

enum : uint16_t { kShortcutShift = 0x2000, kShortcutCtrl = 0x4000, kShortcutAlt = 0x8000 };
// "Ctrl+Shift+F6"; empty for 0 or a key without a name.
QString ShortCutToText(uint16_t shortcut);
// The reverse, case-insensitive, modifiers in any order; 0 when not understood.
uint16_t TextToShortCut(const QString& text);
QKeySequence ShortCutToKeySequence(uint16_t shortcut);
// 0 for sequences of more than one key or keys without a code.
uint16_t KeySequenceToShortCut(const QKeySequence& sequence);

} // namespace cv
