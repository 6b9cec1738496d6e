#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct LilvPluginImpl LilvPlugin;
typedef struct LilvWorldImpl LilvWorld;

namespace zw {

// How a control input turns a gene byte into a value.
enum class TLv2PortKind { Linear, Logarithmic, Integer, Enumeration, Toggled };

// One control input of a plug-in, as its description states it.
struct TLv2ControlPort {
    uint32_t Index = 0;
    std::string Symbol;
    std::string Name;
    float Minimum = 0.0f;
    float Maximum = 1.0f;
    float Default = 0.0f;
    TLv2PortKind Kind = TLv2PortKind::Linear;
    std::vector<float> ScalePoints; // ascending; the allowed values of an enumeration
    bool Breedable = true;          // false: a channel filter, a range, a level, tuning… stays at its default

    // The value gene byte `byte` stands for.
    float ValueOf(uint8_t byte) const;
};

// The ports of a plug-in, sorted into what a host connects them to.
struct TLv2PortLayout {
    uint32_t PortCount = 0;
    std::vector<TLv2ControlPort> Controls; // control inputs, in port index order
    std::vector<uint32_t> ControlOutputs;
    std::vector<uint32_t> AudioInputs;
    std::vector<uint32_t> AudioOutputs;
    std::vector<uint32_t> CvPorts;
    std::vector<uint32_t> AtomOutputs;
    int64_t MidiInput = -1;           // the atom input taking MIDI events, -1 when none
    std::vector<uint32_t> OtherAtomInputs;
    uint32_t AtomBufferSize = 0;      // the largest rsz:minimumSize of an atom port; 0 when none states one
    std::string Unconnectable;        // the symbol of a required port of a kind no host part takes

    // The breedable controls, in port index order: gene k drives the k-th.
    std::vector<const TLv2ControlPort*> Breedable() const;
};

// Reads and classifies the ports of `plugin`; the world must not be used by
// another thread meanwhile. The ranges of lv2:sampleRate ports are given in
// multiples of the sample rate: they are scaled by `sampleRate`.
TLv2PortLayout ReadPortLayout(LilvWorld* world, const LilvPlugin* plugin, double sampleRate);

// Whether a control input with this designation, symbol and name is left out
// of breeding: it selects what is heard (MIDI channel, key range), sets the
// level or the pitch of everything (volume, tuning, octave, transpose,
// pitch-bend range) or the number of voices.
bool IsKeptAtDefault(const std::string& designation, const std::string& symbol, const std::string& name);

} // namespace zw
