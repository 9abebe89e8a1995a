#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A key or button of an input device going down or up.
struct KeyChange
{
    int code = 0; // the kernel's key code (KEY_*, BTN_*)
    bool pressed = false;

    bool operator==(const KeyChange&) const = default;
};

// Cuts what is read from an event device into the kernel's event records and
// keeps the key changes. A record split between two reads is put together
// again; auto-repeats are dropped, since a pedal held down is one press.
class InputEventStream
{
public:
    QList<KeyChange> feed(const char* data, qsizetype size);

private:
    QByteArray pending_;
};

// A key's name as the pedal dialog shows it: "Button 1", "F13", "A", "Key 183".
QString keyName(int code);

// The key types into whatever has the focus (a letter, a digit, Space,
// Enter...), as a pedal that acts as a keyboard does beside Kelvane.
bool keyTypesText(int code);

// One of the keys Kelvane's window answers without a modifier (F1, F6 to
// F12).
bool keyIsKelvanes(int code);
