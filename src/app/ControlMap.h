#pragma once

#include "app/IniFile.h"
#include "midi/ThruFilter.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zw {

// The MIDI message that triggers one of the program's controls: a note, a
// control change or a program change, on one channel (1..16) or any (0).
struct TControlBinding {
    // Kind None: bound to nothing.
    enum class TKind { None, Note, ControlChange, ProgramChange };

    TKind Kind = TKind::None;
    int Channel = 0;
    int Number = 0;

    bool Bound() const { return Kind != TKind::None; }
    // "<kind> <channel> <number>" with kind note, cc or program (any letter
    // case, blanks between); empty text is a binding to nothing. Nothing for
    // anything else or numbers out of range.
    static std::optional<TControlBinding> Parse(std::string_view text);
    // As Parse reads it; empty when bound to nothing.
    std::string Text() const;
    // The binding a message makes when it is learned: a note-on, a control
    // change or a program change, on the channel it came on; nothing else.
    static std::optional<TControlBinding> Learned(uint32_t message);

    bool operator==(const TControlBinding&) const = default;
};

// The [Controls] section of the settings file: `<Action>=<binding>` per
// control, in the order of Bindings. Reading takes the keys Bindings lists;
// a key whose value is no binding keeps what Bindings held and is named in
// Unreadable, and writing then leaves it as the file has it, unless it was
// bound meanwhile.
struct TControlSettings {
    static constexpr const char* kSection = "Controls";

    std::vector<std::pair<std::string, TControlBinding>> Bindings;
    std::vector<std::string> Unreadable; // "Key=value" as the file holds it

    void Read(const TIniFile& ini);
    void Write(TIniFile& ini) const;
    bool operator==(const TControlSettings&) const = default;
};

// The program's controls that MIDI input messages trigger: actions named by
// their settings key, and the morph knob, which takes every new value of its
// control change. Messages come in one at a time, in the order they arrived.
class TControlMap {
public:
    using TAction = std::function<void()>;
    using TKnob = std::function<void(int value)>;

    // The morph knob's settings key.
    static constexpr const char* kMorphKnob = "MorphKnob";

    struct TControl {
        std::string Key;
        std::string Caption;
        TControlBinding Binding;
        bool Knob = false; // takes control changes only
    };

    // Adds an action; the list shows them in the order they were added.
    void AddAction(const std::string& key, const std::string& caption, TAction action);
    // Adds the morph knob (after the actions).
    void AddKnob(const std::string& caption, TKnob knob);

    const std::vector<TControl>& Controls() const { return FControls; }
    // Binds the control `key`; an unknown key, or a knob bound to anything
    // but a control change, changes nothing (false).
    bool SetBinding(const std::string& key, const TControlBinding& binding);

    // The settings as they stand (unreadable keys as last read), and taking
    // those of the file.
    TControlSettings Settings() const;
    void ApplySettings(const TControlSettings& settings);

    // Runs the controls `message` (a packed short message) triggers, in the
    // order they were added, each guarded. A note triggers with its note-on,
    // a program change as it comes, a control change when its value crosses
    // from below 64 to 64 or above (a control counts as below 64 until its
    // first value); the knob takes every value that differs from the last.
    void Receive(uint32_t message);
    // Forgets every control's last value, as for a new input device: its
    // controls start where they are, and a control held on the one before
    // does not hold back the first press on this one.
    void ForgetValues() { FControlValues = Unknown(); }

    // The messages bound to some control: thru leaves them out.
    TThruFilter::TSet BoundMessages() const;

private:
    // Whether `binding`'s kind and channel take a message of that kind and channel (0..15).
    static bool Takes(const TControlBinding& binding, TControlBinding::TKind kind, int channel, int number);

    std::vector<TControl> FControls;
    std::vector<TAction> FActions; // per control; empty for the knob
    TKnob FKnob;
    std::vector<std::string> FUnreadable;
    // The last value of each control change per channel; kUnknown before the first.
    static constexpr uint8_t kUnknown = 0xFF;
    std::array<std::array<uint8_t, 128>, 16> FControlValues = Unknown();
    static std::array<std::array<uint8_t, 128>, 16> Unknown();
};

} // namespace zw
