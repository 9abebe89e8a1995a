#include "pedal/InputEvents.h"

#include <linux/input.h>

#include <cstring>

QList<KeyChange> InputEventStream::feed(const char* data, qsizetype size)
{
    pending_.append(data, size);
    QList<KeyChange> changes;
    constexpr qsizetype RecordSize = sizeof(input_event);
    qsizetype used = 0;
    for (; pending_.size() - used >= RecordSize; used += RecordSize) {
        input_event event;
        std::memcpy(&event, pending_.constData() + used, RecordSize);
        // 0 is a release, 1 a press, 2 the keyboard's repeat of a held key.
        if (event.type == EV_KEY && (event.value == 0 || event.value == 1))
            changes.append({event.code, event.value == 1});
    }
    pending_.remove(0, used);
    return changes;
}

namespace {

// The letter keys in the order of their codes, row by row from KEY_Q.
struct LetterRow
{
    int first;
    const char* letters;
};
constexpr LetterRow LetterRows[] = {
    {KEY_Q, "QWERTYUIOP"}, {KEY_A, "ASDFGHJKL"}, {KEY_Z, "ZXCVBNM"}};

} // namespace

QString keyName(int code)
{
    if (code >= BTN_0 && code <= BTN_9)
        return QStringLiteral("Button %1").arg(code - BTN_0 + 1);
    if (code >= KEY_F1 && code <= KEY_F10)
        return QStringLiteral("F%1").arg(code - KEY_F1 + 1);
    if (code == KEY_F11 || code == KEY_F12)
        return QStringLiteral("F%1").arg(code - KEY_F11 + 11);
    if (code >= KEY_F13 && code <= KEY_F24)
        return QStringLiteral("F%1").arg(code - KEY_F13 + 13);
    if (code >= KEY_1 && code <= KEY_0)
        return QString::number((code - KEY_1 + 1) % 10);
    for (const LetterRow& row : LetterRows) {
        const int index = code - row.first;
        if (index >= 0 && index < int(std::strlen(row.letters)))
            return QString(QChar::fromLatin1(row.letters[index]));
    }
    if (code == KEY_SPACE)
        return QStringLiteral("Space");
    if (code == KEY_ENTER)
        return QStringLiteral("Enter");
    return QStringLiteral("Key %1").arg(code);
}

bool keyTypesText(int code)
{
    // The main block from 1 to Space, less Escape and the modifiers, and the
    // keypad's digits and signs.
    switch (code) {
    case KEY_ESC:
    case KEY_LEFTCTRL:
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
    case KEY_LEFTALT:
        return false;
    default:
        return (code >= KEY_1 && code <= KEY_SPACE) || (code >= KEY_KP7 && code <= KEY_KPDOT) ||
               code == KEY_KPENTER || code == KEY_KPSLASH || code == KEY_KPASTERISK;
    }
}

bool keyIsKelvanes(int code)
{
    return code == KEY_F1 || (code >= KEY_F6 && code <= KEY_F10) || code == KEY_F11 ||
           code == KEY_F12;
}
