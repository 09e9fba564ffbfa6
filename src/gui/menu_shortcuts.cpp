#include "gui/menu_shortcuts.h"

namespace cv {

namespace {

struct TKeyName {
    uint8_t vk;
    Qt::Key key;
    const char* name;
};

// Named keys; letters, digits and function keys are computed.
constexpr TKeyName kNamedKeys[] = {
    {0x08, Qt::Key_Backspace, "BkSp"}, {0x09, Qt::Key_Tab, "Tab"},      {0x0D, Qt::Key_Return, "Enter"},
    {0x1B, Qt::Key_Escape, "Esc"},     {0x20, Qt::Key_Space, "Space"},  {0x21, Qt::Key_PageUp, "PgUp"},
    {0x22, Qt::Key_PageDown, "PgDn"},  {0x23, Qt::Key_End, "End"},      {0x24, Qt::Key_Home, "Home"},
    {0x25, Qt::Key_Left, "Left"},      {0x26, Qt::Key_Up, "Up"},        {0x27, Qt::Key_Right, "Right"},
    {0x28, Qt::Key_Down, "Down"},      {0x2D, Qt::Key_Insert, "Ins"},   {0x2E, Qt::Key_Delete, "Del"},
};

QString KeyName(uint8_t vk)
{
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        return QString(QChar(vk));
    if (vk >= 0x70 && vk <= 0x87)
        return QStringLiteral("F%1").arg(vk - 0x70 + 1);
    for (const TKeyName& k : kNamedKeys)
        if (k.vk == vk)
            return QString::fromLatin1(k.name);
    return {};
}

uint8_t KeyOfName(const QString& name)
{
    const QString upper = name.trimmed().toUpper();
    if (upper.size() == 1 && ((upper[0] >= u'0' && upper[0] <= u'9') || (upper[0] >= u'A' && upper[0] <= u'Z')))
        return uint8_t(upper[0].unicode());
    if (upper.size() >= 2 && upper[0] == u'F') {
        bool ok = false;
        const int n = upper.mid(1).toInt(&ok);
        if (ok && n >= 1 && n <= 24)
            return uint8_t(0x70 + n - 1);
    }
    for (const TKeyName& k : kNamedKeys)
        if (upper == QString::fromLatin1(k.name).toUpper())
            return k.vk;
    if (upper == u"DELETE")
        return 0x2E;
    if (upper == u"INSERT")
        return 0x2D;
    if (upper == u"RETURN")
        return 0x0D;
    return 0;
}

} // namespace

QString ShortCutToText(uint16_t shortcut)
{
    const QString key = KeyName(uint8_t(shortcut & 0xFF));
    if (key.isEmpty())
        return {};
    QString text;
    if (shortcut & kShortcutCtrl)
        text += QStringLiteral("Ctrl+");
    if (shortcut & kShortcutShift)
        text += QStringLiteral("Shift+");
    if (shortcut & kShortcutAlt)
        text += QStringLiteral("Alt+");
    return text + key;
}

uint16_t TextToShortCut(const QString& text)
{
    QString rest = text.trimmed();
    uint16_t modifiers = 0;
    for (;;) {
        const int plus = rest.indexOf(u'+');
        if (plus <= 0 || plus == rest.size() - 1)
            break;
        const QString part = rest.left(plus).trimmed().toLower();
        if (part == u"ctrl")
            modifiers |= kShortcutCtrl;
        else if (part == u"shift")
            modifiers |= kShortcutShift;
        else if (part == u"alt")
            modifiers |= kShortcutAlt;
        else
            return 0;
        rest = rest.mid(plus + 1);
    }
    const uint8_t vk = KeyOfName(rest);
    return vk ? uint16_t(modifiers | vk) : 0;
}

QKeySequence ShortCutToKeySequence(uint16_t shortcut)
{
    const uint8_t vk = uint8_t(shortcut & 0xFF);
    int key = 0;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        key = vk;
    else if (vk >= 0x70 && vk <= 0x87)
        key = Qt::Key_F1 + (vk - 0x70);
    else
        for (const TKeyName& k : kNamedKeys)
            if (k.vk == vk)
                key = k.key;
    if (!key)
        return {};
    Qt::KeyboardModifiers mods;
    if (shortcut & kShortcutCtrl)
        mods |= Qt::ControlModifier;
    if (shortcut & kShortcutShift)
        mods |= Qt::ShiftModifier;
    if (shortcut & kShortcutAlt)
        mods |= Qt::AltModifier;
    return QKeySequence(QKeyCombination(mods, Qt::Key(key)));
}

uint16_t KeySequenceToShortCut(const QKeySequence& sequence)
{
    if (sequence.count() != 1)
        return 0;
    const QKeyCombination combination = sequence[0];
    const int key = combination.key();
    uint8_t vk = 0;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'))
        vk = uint8_t(key);
    else if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        vk = uint8_t(0x70 + (key - Qt::Key_F1));
    else
        for (const TKeyName& k : kNamedKeys)
            if (k.key == key || (key == Qt::Key_Enter && k.key == Qt::Key_Return))
                vk = k.vk;
    if (!vk)
        return 0;
    uint16_t shortcut = vk;
    const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
    if (mods & Qt::ControlModifier)
        shortcut |= kShortcutCtrl;
    if (mods & Qt::ShiftModifier)
        shortcut |= kShortcutShift;
    if (mods & Qt::AltModifier)
        shortcut |= kShortcutAlt;
    return shortcut;
}

} // namespace cv
