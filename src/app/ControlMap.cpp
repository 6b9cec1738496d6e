#include "app/ControlMap.h"

#include "common/Guard.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace zw {
namespace {

struct TKindName {
    TControlBinding::TKind Kind;
    const char* Name;
};
constexpr TKindName kKindNames[] = {
    {TControlBinding::TKind::Note, "note"},
    {TControlBinding::TKind::ControlChange, "cc"},
    {TControlBinding::TKind::ProgramChange, "program"},
};

// The blank-separated words of `text`.
std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::optional<int> ReadNumber(std::string_view word, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < 0 || value > high)
        return std::nullopt;
    return value;
}

bool SameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

TMessageKind MessageKind(TControlBinding::TKind kind)
{
    switch (kind) {
    case TControlBinding::TKind::ControlChange:
        return TMessageKind::ControlChange;
    case TControlBinding::TKind::ProgramChange:
        return TMessageKind::ProgramChange;
    default:
        return TMessageKind::Note;
    }
}

} // namespace

// Binding ------------------------------------------------------------------------

std::optional<TControlBinding> TControlBinding::Parse(std::string_view text)
{
    const std::vector<std::string_view> words = Words(text);
    if (words.empty())
        return TControlBinding{};
    if (words.size() != 3)
        return std::nullopt;
    const std::optional<int> channel = ReadNumber(words[1], 16);
    const std::optional<int> number = ReadNumber(words[2], 127);
    if (!channel || !number)
        return std::nullopt;
    for (const TKindName& kind : kKindNames)
        if (SameWord(words[0], kind.Name))
            return TControlBinding{kind.Kind, *channel, *number};
    return std::nullopt;
}

std::string TControlBinding::Text() const
{
    for (const TKindName& kind : kKindNames)
        if (kind.Kind == Kind)
            return std::string(kind.Name) + ' ' + std::to_string(Channel) + ' ' + std::to_string(Number);
    return std::string();
}

std::optional<TControlBinding> TControlBinding::Learned(uint32_t message)
{
    const auto status = static_cast<uint8_t>(message);
    const int channel = (status & 0x0F) + 1;
    const int number = static_cast<int>(message >> 8 & 0x7F);
    const int value = static_cast<int>(message >> 16 & 0x7F);
    switch (status & 0xF0) {
    case 0x90:
        if (value == 0)
            return std::nullopt; // a note-off
        return TControlBinding{TKind::Note, channel, number};
    case 0xB0:
        return TControlBinding{TKind::ControlChange, channel, number};
    case 0xC0:
        return TControlBinding{TKind::ProgramChange, channel, number};
    default:
        return std::nullopt;
    }
}

// Settings -------------------------------------------------------------------------

void TControlSettings::Read(const TIniFile& ini)
{
    Unreadable.clear();
    for (auto& [key, binding] : Bindings) {
        const std::string text = ini.ReadString(kSection, key, binding.Text());
        if (const std::optional<TControlBinding> read = TControlBinding::Parse(text))
            binding = *read;
        else
            Unreadable.push_back(key + '=' + text);
    }
}

void TControlSettings::Write(TIniFile& ini) const
{
    for (const auto& [key, binding] : Bindings) {
        const std::string prefix = key + '=';
        const bool unreadable = std::any_of(Unreadable.begin(), Unreadable.end(), [&prefix](const std::string& entry) {
            return entry.compare(0, prefix.size(), prefix) == 0;
        });
        // Text the program could not read stays for the user to mend.
        if (unreadable && !binding.Bound())
            continue;
        ini.WriteString(kSection, key, binding.Text());
    }
}

// Map -------------------------------------------------------------------------------

std::array<std::array<uint8_t, 128>, 16> TControlMap::Unknown()
{
    std::array<std::array<uint8_t, 128>, 16> values{};
    for (auto& channel : values)
        channel.fill(kUnknown);
    return values;
}

void TControlMap::AddAction(const std::string& key, const std::string& caption, TAction action)
{
    FControls.push_back({key, caption, TControlBinding{}, false});
    FActions.push_back(std::move(action));
}

void TControlMap::AddKnob(const std::string& caption, TKnob knob)
{
    FControls.push_back({kMorphKnob, caption, TControlBinding{}, true});
    FActions.emplace_back();
    FKnob = std::move(knob);
}

bool TControlMap::SetBinding(const std::string& key, const TControlBinding& binding)
{
    for (TControl& control : FControls) {
        if (control.Key != key)
            continue;
        if (control.Knob && binding.Bound() && binding.Kind != TControlBinding::TKind::ControlChange)
            return false;
        control.Binding = binding;
        return true;
    }
    return false;
}

TControlSettings TControlMap::Settings() const
{
    TControlSettings settings;
    for (const TControl& control : FControls)
        settings.Bindings.emplace_back(control.Key, control.Binding);
    settings.Unreadable = FUnreadable;
    return settings;
}

void TControlMap::ApplySettings(const TControlSettings& settings)
{
    FUnreadable = settings.Unreadable;
    for (const auto& [key, binding] : settings.Bindings)
        if (!SetBinding(key, binding))
            FUnreadable.push_back(key + '=' + binding.Text());
}

bool TControlMap::Takes(const TControlBinding& binding, TControlBinding::TKind kind, int channel, int number)
{
    return binding.Kind == kind && (binding.Channel == 0 || binding.Channel == channel + 1) &&
           binding.Number == number;
}

void TControlMap::Receive(uint32_t message)
{
    using TKind = TControlBinding::TKind;
    const auto status = static_cast<uint8_t>(message);
    const int channel = status & 0x0F;
    const int number = static_cast<int>(message >> 8 & 0x7F);
    const int value = static_cast<int>(message >> 16 & 0x7F);
    TKind kind = TKind::None;
    bool triggers = false;
    bool knobMoves = false;
    switch (status & 0xF0) {
    case 0x90:
        kind = TKind::Note;
        triggers = value > 0;
        break;
    case 0xB0: {
        kind = TKind::ControlChange;
        uint8_t& last = FControlValues[static_cast<std::size_t>(channel)][static_cast<std::size_t>(number)];
        triggers = (last == kUnknown || last < 64) && value >= 64;
        knobMoves = last != value;
        last = static_cast<uint8_t>(value);
        break;
    }
    case 0xC0:
        kind = TKind::ProgramChange;
        triggers = true;
        break;
    default:
        return;
    }
    for (std::size_t i = 0; i < FControls.size(); ++i) {
        const TControl& control = FControls[i];
        if (!Takes(control.Binding, kind, channel, number))
            continue;
        if (control.Knob && knobMoves && FKnob)
            RunGuarded([&] { FKnob(value); });
        else if (!control.Knob && triggers && FActions[i])
            RunGuarded([&] { FActions[i](); });
    }
}

TThruFilter::TSet TControlMap::BoundMessages() const
{
    TThruFilter::TSet set;
    for (const TControl& control : FControls)
        if (control.Binding.Bound())
            set.Add(MessageKind(control.Binding.Kind), control.Binding.Channel - 1, control.Binding.Number);
    return set;
}

} // namespace zw
