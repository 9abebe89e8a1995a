#pragma once

#include <QString>

// The USB foot pedals made for transcription and dictation that Kelvane reads
// without being told to: each is one pedal device, and the package lets the
// logged-in user read them.
bool isKnownPedal(quint16 vendor, quint16 product);

// The udev rules that give the user at the seat access to the known pedals'
// event devices, as the package installs them.
QString knownPedalsUdevRules();
