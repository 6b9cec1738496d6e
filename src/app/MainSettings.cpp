#include "app/MainSettings.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace zw {
namespace {

constexpr const char* kPosition = "Position";
constexpr const char* kSettings = "Settings";
constexpr const char* kMidi = "Midi";
constexpr const char* kTranslations = "Translations";
constexpr const char* kFileName = "FileName";

// "ChannelActive" + channel 1 -> "ChannelActiveB".
std::string ChannelKey(const char* prefix, std::size_t channel)
{
    return std::string(prefix) + static_cast<char>('A' + channel);
}

void ReadFlags(const TIniFile& ini, const char* prefix, std::array<bool, 4>& flags)
{
    for (std::size_t channel = 0; channel < flags.size(); ++channel)
        flags[channel] = ini.ReadBool(kSettings, ChannelKey(prefix, channel), flags[channel]);
}

void WriteFlags(TIniFile& ini, const char* prefix, const std::array<bool, 4>& flags)
{
    for (std::size_t channel = 0; channel < flags.size(); ++channel)
        ini.WriteBool(kSettings, ChannelKey(prefix, channel), flags[channel]);
}

void ReadChannels(const TIniFile& ini, const char* prefix, std::array<int, 4>& channels)
{
    for (std::size_t channel = 0; channel < channels.size(); ++channel)
        channels[channel] = std::clamp(ini.ReadInteger(kMidi, ChannelKey(prefix, channel), channels[channel]),
                                       0, TMainSettings::kMaxMidiChannel);
}

void WriteChannels(TIniFile& ini, const char* prefix, const std::array<int, 4>& channels)
{
    for (std::size_t channel = 0; channel < channels.size(); ++channel)
        ini.WriteInteger(kMidi, ChannelKey(prefix, channel), channels[channel]);
}

int ReadConfined(const TIniFile& ini, const char* section, const char* key, int current, int low, int high)
{
    return std::clamp(ini.ReadInteger(section, key, current), low, high);
}

} // namespace

void TMainSettings::Read(const TIniFile& ini)
{
    Left = ini.ReadInteger(kPosition, "Left", Left);
    Top = ini.ReadInteger(kPosition, "Top", Top);
    Width = ReadConfined(ini, kPosition, "Width", Width, kMinWidth, INT_MAX);
    Height = ReadConfined(ini, kPosition, "Height", Height, kMinHeight, INT_MAX);

    CrossoverProbability = ReadConfined(ini, kSettings, "CrossoverProbability", CrossoverProbability, 0,
                                        kMaxProbability);
    MutationProbability = ReadConfined(ini, kSettings, "MutationProbability", MutationProbability, 0,
                                       kMaxProbability);
    MutationRange = ReadConfined(ini, kSettings, "MutationRange", MutationRange, 0, kMaxMutationRange);
    AutoInterval = ReadConfined(ini, kSettings, "AutoInterval", AutoInterval, kMinAutoInterval,
                                kMaxAutoInterval);
    ReadFlags(ini, "ChannelActive", ChannelActive);
    ReadFlags(ini, "AutoRandomize", AutoRandomize);
    ReadFlags(ini, "AutoMate", AutoMate);
    ReadFlags(ini, "AutoMutate", AutoMutate);

    MidiIn = ini.ReadString(kMidi, "MidiIn", MidiIn);
    MidiOut = ini.ReadString(kMidi, "MidiOut", MidiOut);
    ReadChannels(ini, "InChannel", InChannels);
    ReadChannels(ini, "OutChannel", OutChannels);
    std::string system = ini.ReadString(kMidi, "System", MidiSystem);
    std::transform(system.begin(), system.end(), system.begin(), [](unsigned char c) { return std::tolower(c); });
    if (system == "auto" || system == "alsa" || system == "jack")
        MidiSystem = system;

    FileName = ini.ReadString(kTranslations, kFileName, FileName);
}

void TMainSettings::Write(TIniFile& ini) const
{
    ini.WriteInteger(kPosition, "Left", Left);
    ini.WriteInteger(kPosition, "Top", Top);
    ini.WriteInteger(kPosition, "Width", Width);
    ini.WriteInteger(kPosition, "Height", Height);

    ini.WriteInteger(kSettings, "CrossoverProbability", CrossoverProbability);
    ini.WriteInteger(kSettings, "MutationProbability", MutationProbability);
    ini.WriteInteger(kSettings, "MutationRange", MutationRange);
    ini.WriteInteger(kSettings, "AutoInterval", AutoInterval);
    WriteFlags(ini, "ChannelActive", ChannelActive);
    WriteFlags(ini, "AutoRandomize", AutoRandomize);
    WriteFlags(ini, "AutoMate", AutoMate);
    WriteFlags(ini, "AutoMutate", AutoMutate);

    ini.WriteString(kMidi, "MidiIn", MidiIn);
    ini.WriteString(kMidi, "MidiOut", MidiOut);
    WriteChannels(ini, "InChannel", InChannels);
    WriteChannels(ini, "OutChannel", OutChannels);
    // Left out while it is the default, so that older files stay as they were.
    if (MidiSystem != "auto" || ini.ValueExists(kMidi, "System"))
        ini.WriteString(kMidi, "System", MidiSystem);

    if (FileNameAssigned)
        ini.WriteString(kTranslations, kFileName, FileName);
}

void TMainSettings::ReadFromFile(const std::string& iniFileName) { Read(TIniFile::Load(iniFileName)); }

void TMainSettings::WriteToFile(const std::string& iniFileName) const
{
    // Keep what the file holds besides our keys. A file that cannot even be
    // read is not replaced: that would lose what could not be seen.
    TIniFile ini;
    try {
        ini = TIniFile::Load(iniFileName);
    } catch (const Exception&) {
        throw EIniWriteError(iniFileName);
    }
    Write(ini);
    ini.Save(iniFileName);
}

std::string TMainSettings::ReadRuleFileName(const std::string& iniFileName, const std::string& current)
{
    return TIniFile::Load(iniFileName).ReadString(kTranslations, kFileName, current);
}

} // namespace zw
