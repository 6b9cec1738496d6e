#pragma once

#include "app/AuditionSettings.h"
#include "app/ControlMap.h"
#include "app/IniFile.h"
#include "audio/AudioOutput.h"
#include "synth/SynthSettings.h"
#include "worms/GeneMask.h"

#include <QRect>
#include <QSize>

#include <array>
#include <string>
#include <vector>

// What the main window keeps in the settings file, as a plain value. The
// window fills it with its current state, lets Read replace what the file
// holds (every missing or unreadable key keeps the value it had), and hands
// a filled one to Write when it closes.
namespace zw {

struct TMainSettings {
    // Confinement of stored values that no control could have produced.
    static constexpr int kMinWidth = 541;
    static constexpr int kMinHeight = 553;
    static constexpr int kMaxProbability = 100;
    static constexpr int kMaxMutationRange = 255;
    static constexpr int kMinAutoInterval = 600;
    static constexpr int kMaxAutoInterval = 120000;
    static constexpr int kMaxMidiChannel = 15;
    static constexpr int kMaxWormIndex = 15;

    // [Position]
    int Left = 1;
    int Top = 103;
    int Width = 541;
    int Height = 553;

    // [Settings]
    int CrossoverProbability = 33;
    int MutationProbability = 50;
    int MutationRange = 5;
    int AutoInterval = 700;
    // Per channel A..D.
    std::array<bool, 4> ChannelActive{};
    std::array<bool, 4> AutoRandomize{};
    std::array<bool, 4> AutoMate{};
    std::array<bool, 4> AutoMutate{};
    std::array<bool, 4> AutoBreedFromRated{};
    std::array<bool, 4> AutoTowardTarget{};

    // [Midi]
    std::string MidiIn;
    std::string MidiOut;
    std::array<int, 4> InChannels{};
    std::array<int, 4> OutChannels{};
    // "auto", "alsa" or "jack"; any other value read keeps the current one.
    std::string MidiSystem = "auto";

    // Channel messages from the input pass on to the output.
    bool Thru = true;

    // [Audition]
    TAuditionSettings Audition;

    // [Synth]
    TSynthSettings Synth;

    // [Audio]: the engine's output. A file without it takes the system from
    // [Synth] AudioDriver, once.
    TAudioSettings Audio;
    // [Controls]: the MIDI messages bound to the program's controls; the
    // window fills in the keys it has.
    TControlSettings Controls;

    // [Translations]
    std::string FileName;
    // FileName is written only when the rules editor has a file name
    // assigned; otherwise the file keeps the one it holds.
    bool FileNameAssigned = false;

    // [Genes]: the locks and ranges of each breeder's genes (LockedA,
    // RangeA, ...). A breeder with neither lock nor range writes no keys
    // unless the file has them already.
    std::array<TGeneMask, 4> GeneMasks{};
    // Whether the file names the locks of each breeder (LockedA, even empty);
    // a breeder without takes the rule file's default locks.
    std::array<bool, 4> LocksKept{};
    // The gene view is shown (View=1; written when shown or present).
    bool GeneViewShown = false;
    // One message for each [Genes] value that Read could not take; that
    // breeder keeps the locks or ranges it had.
    std::vector<std::string> Unreadable;
    // [Instruments]: per breeder A..D, the URI of the LV2 instrument its
    // audible worm's genes play directly; empty: the MIDI output and the rules.
    std::array<std::string, 4> Instruments{};

    // [Breeders]: the audible and frozen worm of each breeder A..D, whose
    // genomes are kept in a file of their own.
    std::array<int, 4> Audible{};
    std::array<int, 4> Frozen{};

    // Set by Read: the file had no output chosen (no file at all, as a rule).
    // Not written: the next start is no first start.
    bool FirstStart = false;

    // Takes every key the file holds, the current values standing in for
    // missing or unreadable ones; values out of range are confined to it.
    // FileNameAssigned is left alone. A file without a MidiOut key is a first
    // start: the output is the built-in synthesizer, channel A is active, the
    // output channels are 0..3, and the rule file, unless the file names
    // one, the synthesizer's rules (synth.sub, a data file).
    void Read(const TIniFile& ini);
    // Writes every key, in the file's order, [Breeders] last. A key whose value the file
    // cannot hold (a line break) is skipped; the messages say which.
    std::vector<std::string> Write(TIniFile& ini) const;

    // Read from, or write into, the named file (unknown lines kept). Writing
    // raises EIniWriteError ("Unable to write to <name>: <reason>") when the file cannot
    // be written; reading raises EInOutError for a file that exists but
    // cannot be read.
    void ReadFromFile(const std::string& iniFileName);
    std::vector<std::string> WriteToFile(const std::string& iniFileName) const;
    // Only what the Sound dialog applies: [Synth] SoundFont and Gain,
    // [Audio] and [Instruments]; every other line of the file stays as it is.
    std::vector<std::string> WriteSoundToFile(const std::string& iniFileName) const;

    bool operator==(const TMainSettings&) const = default;

    // The rule file name alone, as the rules editor asks for it while it has
    // none assigned; `current` when the file names none (the synthesizer's
    // rules on a first start).
    static std::string ReadRuleFileName(const std::string& iniFileName, const std::string& current);

    // The stored bounds within `area`, the available part of the screen they
    // start on, and no smaller than `minimum`: a size beyond any screen costs
    // memory at the first paint, a position off every screen hides the window.
    QRect Bounds(const QSize& minimum, const QRect& area) const;
};

} // namespace zw
