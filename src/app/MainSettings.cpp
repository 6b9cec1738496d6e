#include "app/MainSettings.h"

#include "common/ProgramFiles.h"
#include "common/TextLines.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace zw {
namespace {

constexpr const char* kPosition = "Position";
constexpr const char* kSettings = "Settings";
constexpr const char* kMidi = "Midi";
constexpr const char* kBreeders = "Breeders";
constexpr const char* kTranslations = "Translations";
constexpr const char* kSynth = "Synth";
constexpr const char* kGenes = "Genes";

constexpr const char* kAudio = "Audio";
constexpr const char* kInstruments = "Instruments";
constexpr const char* kFileName = "FileName";
constexpr const char* kMidiOut = "MidiOut";

bool IsFirstStart(const TIniFile& ini) { return !ini.ValueExists(kMidi, kMidiOut); }

std::string SynthRuleFile() { return DataFileName("synth.sub"); }

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

// Writes keys one by one: a value the file cannot hold (a line break in a
// path) is skipped with a message, and the other keys are still written.
class TKeyWriter {
public:
    explicit TKeyWriter(TIniFile& ini) : FIni(ini) {}

    void String(const char* section, const std::string& key, const std::string& value)
    {
        try {
            FIni.WriteString(section, key, value);
        } catch (const Exception& e) {
            Skipped.push_back(e.Message() + "; it was not saved");
        }
    }
    void Integer(const char* section, const std::string& key, int value) { String(section, key, std::to_string(value)); }
    void Bool(const char* section, const std::string& key, bool value) { String(section, key, value ? "1" : "0"); }

    std::vector<std::string> Skipped;

private:
    TIniFile& FIni;
};

void WriteFlags(TKeyWriter& writer, const char* prefix, const std::array<bool, 4>& flags)
{
    for (std::size_t channel = 0; channel < flags.size(); ++channel)
        writer.Bool(kSettings, ChannelKey(prefix, channel), flags[channel]);
}

// One number per channel, confined to 0..high.
void ReadChannels(const TIniFile& ini, const char* section, const char* prefix, std::array<int, 4>& values,
                  int high)
{
    for (std::size_t channel = 0; channel < values.size(); ++channel)
        values[channel] = std::clamp(ini.ReadInteger(section, ChannelKey(prefix, channel), values[channel]), 0, high);
}

void WriteChannels(TKeyWriter& writer, const char* section, const char* prefix, const std::array<int, 4>& values)
{
    for (std::size_t channel = 0; channel < values.size(); ++channel)
        writer.Integer(section, ChannelKey(prefix, channel), values[channel]);
}

int ReadConfined(const TIniFile& ini, const char* section, const char* key, int current, int low, int high)
{
    return std::clamp(ini.ReadInteger(section, key, current), low, high);
}

void ReadSynth(const TIniFile& ini, TSynthSettings& synth)
{
    synth.SoundFont = ini.ReadString(kSynth, "SoundFont", synth.SoundFont);
    synth.AudioDriver = ini.ReadString(kSynth, "AudioDriver", synth.AudioDriver);
    synth.Gain = ReadConfined(ini, kSynth, "Gain", synth.Gain, 0, TSynthSettings::kMaxGain);
    for (std::size_t channel = 0; channel < synth.Programs.size(); ++channel)
        synth.Programs[channel] = ReadConfined(ini, kSynth, ChannelKey("Program", channel).c_str(),
                                               synth.Programs[channel], 0, TSynthSettings::kMaxProgram);
}

void WriteSynth(TKeyWriter& writer, const TSynthSettings& synth)
{
    writer.String(kSynth, "SoundFont", synth.SoundFont);
    writer.String(kSynth, "AudioDriver", synth.AudioDriver);
    writer.Integer(kSynth, "Gain", synth.Gain);
    for (std::size_t channel = 0; channel < synth.Programs.size(); ++channel)
        writer.Integer(kSynth, ChannelKey("Program", channel), synth.Programs[channel]);
}

// LockedA and RangeA .. RangeD; a value that is no such list is reported and
// leaves that part of the breeder's mask as it was.
void ReadGeneMasks(const TIniFile& ini, std::array<TGeneMask, 4>& masks, std::array<bool, 4>& locksKept,
                   std::vector<std::string>& unreadable)
{
    for (std::size_t channel = 0; channel < masks.size(); ++channel) {
        locksKept[channel] = ini.ValueExists(kGenes, ChannelKey("Locked", channel));
        const std::pair<std::string, void (TGeneMask::*)(const std::string&)> keys[] = {
            {ChannelKey("Locked", channel), &TGeneMask::ReadLockedText},
            {ChannelKey("Range", channel), &TGeneMask::ReadRangeText},
        };
        for (const auto& [key, read] : keys) {
            if (!ini.ValueExists(kGenes, key))
                continue;
            const std::string text = ini.ReadString(kGenes, key, "");
            try {
                (masks[channel].*read)(text);
            } catch (const Exception& e) {
                unreadable.push_back(Format("The setting %s=%s in [%s] was not taken: %s.", key.c_str(), text.c_str(),
                                            kGenes, e.Message().c_str()));
            }
        }
    }
}

void WriteGeneMasks(TKeyWriter& writer, const TIniFile& ini, const std::array<TGeneMask, 4>& masks)
{
    for (std::size_t channel = 0; channel < masks.size(); ++channel) {
        const std::string locked = ChannelKey("Locked", channel);
        const std::string range = ChannelKey("Range", channel);
        if (masks[channel].Empty() && !ini.ValueExists(kGenes, locked) && !ini.ValueExists(kGenes, range))
            continue;
        writer.String(kGenes, locked, masks[channel].LockedText());
        writer.String(kGenes, range, masks[channel].RangeText());
    }
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

void ReadAudio(const TIniFile& ini, const TSynthSettings& synth, TAudioSettings& audio)
{
    const std::string carried = synth.AudioDriver.empty() ? "auto" : synth.AudioDriver;
    const std::string system = Lower(ini.ValueExists(kAudio, "System") ? ini.ReadString(kAudio, "System", "")
                                                                        : carried);
    for (const char* known : kAudioSystems)
        if (system == known)
            audio.System = system;
    audio.Device = ini.ReadString(kAudio, "Device", audio.Device);
    const std::string rate = ini.ReadString(kAudio, "SampleRate", "");
    if (rate.empty())
        audio.SampleRate = 0;
    else if (const auto value = TIniFile::ParseInteger(rate); value && *value >= TAudioSettings::kMinSampleRate &&
                                                                       *value <= TAudioSettings::kMaxSampleRate)
        audio.SampleRate = *value;
}

void WriteAudio(TKeyWriter& writer, const TAudioSettings& audio)
{
    writer.String(kAudio, "System", audio.System);
    writer.String(kAudio, "Device", audio.Device);
    writer.String(kAudio, "SampleRate", audio.SampleRate > 0 ? std::to_string(audio.SampleRate) : std::string());
}

bool AnyInstrument(const std::array<std::string, 4>& instruments)
{
    return std::any_of(instruments.begin(), instruments.end(), [](const std::string& uri) { return !uri.empty(); });
}

// Left out while no breeder has an instrument, so that older files stay as they were.
void WriteInstruments(TKeyWriter& writer, const TIniFile& ini, const std::array<std::string, 4>& instruments)
{
    if (AnyInstrument(instruments) || ini.ValueExists(kInstruments, "A"))
        for (std::size_t channel = 0; channel < instruments.size(); ++channel)
            writer.String(kInstruments, ChannelKey("", channel), instruments[channel]);
}

// `write` applied to the file's text, the lines it does not touch kept. A
// file that cannot even be read is not replaced: that would lose what could
// not be seen.
template <typename Write>
std::vector<std::string> Rewrite(const std::string& iniFileName, Write write)
{
    TIniFile ini;
    try {
        ini = TIniFile::Load(iniFileName);
    } catch (const EInOutError& e) {
        throw EIniWriteError(iniFileName, e.Reason());
    }
    std::vector<std::string> skipped = write(ini);
    ini.Save(iniFileName);
    return skipped;
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
    // A first start plays at once: channel A is on, and with the built-in
    // synthesizer (the first start's output) each breeder has a MIDI channel,
    // and so a program, of its own.
    FirstStart = IsFirstStart(ini);
    if (FirstStart) {
        ChannelActive[0] = true;
        OutChannels = {0, 1, 2, 3};
    }
    ReadFlags(ini, "ChannelActive", ChannelActive);
    ReadFlags(ini, "AutoRandomize", AutoRandomize);
    ReadFlags(ini, "AutoMate", AutoMate);
    ReadFlags(ini, "AutoMutate", AutoMutate);
    ReadFlags(ini, "AutoBreedFromRated", AutoBreedFromRated);
    ReadFlags(ini, "AutoTowardTarget", AutoTowardTarget);

    MidiIn = ini.ReadString(kMidi, "MidiIn", MidiIn);
    MidiOut = FirstStart ? kSynthDeviceName : ini.ReadString(kMidi, kMidiOut, MidiOut);
    ReadChannels(ini, kMidi, "InChannel", InChannels, kMaxMidiChannel);
    ReadChannels(ini, kMidi, "OutChannel", OutChannels, kMaxMidiChannel);
    Thru = ini.ReadBool(kMidi, "Thru", Thru);
    Audition.Read(ini);
    std::string system = ini.ReadString(kMidi, "System", MidiSystem);
    std::transform(system.begin(), system.end(), system.begin(), [](unsigned char c) { return std::tolower(c); });
    if (system == "auto" || system == "alsa" || system == "jack")
        MidiSystem = system;

    ReadSynth(ini, Synth);
    ReadAudio(ini, Synth, Audio);
    Controls.Read(ini);

    FileName = ini.ReadString(kTranslations, kFileName, FirstStart ? SynthRuleFile() : FileName);

    ReadGeneMasks(ini, GeneMasks, LocksKept, Unreadable);
    GeneViewShown = ini.ReadBool(kGenes, "View", GeneViewShown);
    for (std::size_t channel = 0; channel < Instruments.size(); ++channel)
        Instruments[channel] = ini.ReadString(kInstruments, ChannelKey("", channel), Instruments[channel]);

    ReadChannels(ini, kBreeders, "Audible", Audible, kMaxWormIndex);
    ReadChannels(ini, kBreeders, "Frozen", Frozen, kMaxWormIndex);
}

std::vector<std::string> TMainSettings::Write(TIniFile& ini) const
{
    TKeyWriter writer(ini);
    writer.Integer(kPosition, "Left", Left);
    writer.Integer(kPosition, "Top", Top);
    writer.Integer(kPosition, "Width", Width);
    writer.Integer(kPosition, "Height", Height);

    writer.Integer(kSettings, "CrossoverProbability", CrossoverProbability);
    writer.Integer(kSettings, "MutationProbability", MutationProbability);
    writer.Integer(kSettings, "MutationRange", MutationRange);
    writer.Integer(kSettings, "AutoInterval", AutoInterval);
    WriteFlags(writer, "ChannelActive", ChannelActive);
    WriteFlags(writer, "AutoRandomize", AutoRandomize);
    WriteFlags(writer, "AutoMate", AutoMate);
    WriteFlags(writer, "AutoMutate", AutoMutate);
    WriteFlags(writer, "AutoBreedFromRated", AutoBreedFromRated);
    WriteFlags(writer, "AutoTowardTarget", AutoTowardTarget);

    writer.String(kMidi, "MidiIn", MidiIn);
    writer.String(kMidi, kMidiOut, MidiOut);
    WriteChannels(writer, kMidi, "InChannel", InChannels);
    WriteChannels(writer, kMidi, "OutChannel", OutChannels);
    writer.Bool(kMidi, "Thru", Thru);
    // Left out while it is the default, so that older files stay as they were.
    if (MidiSystem != "auto" || ini.ValueExists(kMidi, "System"))
        writer.String(kMidi, "System", MidiSystem);

    WriteSynth(writer, Synth);
    WriteAudio(writer, Audio);

    if (FileNameAssigned)
        writer.String(kTranslations, kFileName, FileName);

    // Numbers and a list of numbers only: nothing here can break a line.
    Audition.Write(ini);
    // [Breeders] stays last, also in a file written before [Genes] was.
    if (GeneViewShown || std::any_of(GeneMasks.begin(), GeneMasks.end(), [](const TGeneMask& m) { return !m.Empty(); }))
        ini.AddSectionBefore(kGenes, kBreeders);
    if (GeneViewShown || ini.ValueExists(kGenes, "View"))
        writer.Bool(kGenes, "View", GeneViewShown);
    WriteGeneMasks(writer, ini, GeneMasks);
    // [Breeders] stays last, also in a file written before [Controls] was.
    if (!Controls.Bindings.empty())
        ini.AddSectionBefore(TControlSettings::kSection, kBreeders);
    Controls.Write(ini);

    WriteInstruments(writer, ini, Instruments);

    WriteChannels(writer, kBreeders, "Audible", Audible);
    WriteChannels(writer, kBreeders, "Frozen", Frozen);
    return std::move(writer.Skipped);
}

void TMainSettings::ReadFromFile(const std::string& iniFileName) { Read(TIniFile::Load(iniFileName)); }

std::vector<std::string> TMainSettings::WriteToFile(const std::string& iniFileName) const
{
    return Rewrite(iniFileName, [this](TIniFile& ini) { return Write(ini); });
}

std::vector<std::string> TMainSettings::WriteSoundToFile(const std::string& iniFileName) const
{
    return Rewrite(iniFileName, [this](TIniFile& ini) {
        // New sections of an older file stay ahead of [Breeders], which comes last.
        for (const char* section : {kSynth, kAudio})
            ini.AddSectionBefore(section, kBreeders);
        if (AnyInstrument(Instruments))
            ini.AddSectionBefore(kInstruments, kBreeders);
        TKeyWriter writer(ini);
        writer.String(kSynth, "SoundFont", Synth.SoundFont);
        writer.Integer(kSynth, "Gain", Synth.Gain);
        WriteAudio(writer, Audio);
        WriteInstruments(writer, ini, Instruments);
        return std::move(writer.Skipped);
    });
}

std::string TMainSettings::ReadRuleFileName(const std::string& iniFileName, const std::string& current)
{
    const TIniFile ini = TIniFile::Load(iniFileName);
    return ini.ReadString(kTranslations, kFileName, IsFirstStart(ini) ? SynthRuleFile() : current);
}

QRect TMainSettings::Bounds(const QSize& minimum, const QRect& area) const
{
    // Not a QRect of the stored values: their right edge may lie beyond int.
    const int width = std::clamp(Width, minimum.width(), std::max(minimum.width(), area.width()));
    const int height = std::clamp(Height, minimum.height(), std::max(minimum.height(), area.height()));
    const int left = std::clamp(Left, area.left(), std::max(area.left(), area.left() + area.width() - width));
    const int top = std::clamp(Top, area.top(), std::max(area.top(), area.top() + area.height() - height));
    return QRect(left, top, width, height);
}

} // namespace zw
