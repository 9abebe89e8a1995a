#pragma once

struct InputDevice;

// What a pedal stands for: one of the window's keys.
enum class PedalAction
{
    None,
    JumpBack,  // Jump Back
    PlayPause, // Play, Pause and Continue, as F11
    Replay,    // the replay, as F12
};

// Which of a device's keys (pedals) stands for which action, kept in the
// user's settings under the device's id. A device with no settings yet uses
// the buttons of a three-pedal USB pedal: left, middle and right.
struct PedalMapping
{
    int jumpBack;
    int playPause;
    int replay;
    // The middle pedal plays while it is held and pauses when let go.
    bool holdToPlay = false;
    // Kelvane reads the device: known pedals unless the user said no, other
    // devices once the user picked them.
    bool use = false;

    PedalMapping();
    PedalAction action(int code) const;
    void setKey(PedalAction action, int code);
    int key(PedalAction action) const;

    static PedalMapping load(const InputDevice& device);
    void save(const InputDevice& device) const;
    bool operator==(const PedalMapping&) const = default;
};
