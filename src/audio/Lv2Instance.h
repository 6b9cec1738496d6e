#pragma once

#include "audio/AudioInstrument.h"
#include "audio/Lv2Features.h"
#include "audio/Lv2Ports.h"
#include "audio/Lv2UridMap.h"
#include "audio/Lv2Worker.h"
#include "common/SpscQueue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct LilvInstanceImpl LilvInstance;

namespace zw {

class TLv2World;

// How an instance is made: in the plug-in host its log goes to stderr, and
// offline its worker does the work within the request.
struct TLv2InstanceOptions {
    bool Log = false;
    bool SynchronousWorker = false;
};

// One LV2 instrument, made off the audio thread and reused across genomes:
// its MIDI input, its control inputs and its audio outputs. A genome's
// values travel to the audio thread through a lock-free queue and take
// effect at the start of the next Run().
class TLv2Instance {
public:
    // Loads, instantiates and activates `uri`. ELv2Error, with a message for
    // the user, when it is not installed, needs a feature this host lacks,
    // has no MIDI input or no audio output, or will not start.
    TLv2Instance(TLv2World& world, const std::string& uri, double sampleRate, uint32_t maxBlock,
                 TLv2InstanceOptions options = {});
    ~TLv2Instance();
    TLv2Instance(const TLv2Instance&) = delete;
    TLv2Instance& operator=(const TLv2Instance&) = delete;

    const std::string& Uri() const { return FUri; }
    const std::string& Name() const { return FName; }
    const TLv2PortLayout& Ports() const { return FLayout; }

    // Control side. The control values of genome `genes`: gene k sets the
    // k-th breedable input; the others keep their defaults, and genes past
    // the last breedable input do nothing.
    std::vector<float> ValuesOf(const uint8_t* genes, size_t count) const;
    // Control side. Sends the values of `genes`; false when the queue is full
    // (the audio thread has not run for a while): nothing is lost that the
    // next call does not send again.
    bool SetGenome(const uint8_t* genes, size_t count);
    // Control side: the same, for values in Ports().Controls order.
    bool SendValues(const std::vector<float>& values);
    // Control side: the same instrument made anew for another sample rate, with the values last sent.
    std::unique_ptr<TLv2Instance> Remade(double sampleRate, uint32_t maxBlock) const;
    // The values last sent (the defaults before any genome), in Ports().Controls order.
    const std::vector<float>& SentValues() const { return FSent; }

    // Control side: writes the sent values and the plug-in's state as a preset.
    void SavePreset(const std::string& bundle, const std::string& label);
    // Control side: the same with `values` (in Ports().Controls order).
    void SavePreset(const std::string& bundle, const std::string& label, const std::vector<float>& values);

    // Audio thread: genome `genes` takes effect at once, as ValuesOf gives
    // it; for the plug-in host, which takes genomes from its shared slot.
    void ApplyGenome(const uint8_t* genes, size_t count) noexcept;
    // The thread that runs the instance, in the plug-in host: the plug-in
    // starts afresh (deactivated, activated), its notes ended. Not real-time safe.
    void Reset();
    // The same thread: a new instance of the plug-in in place of this one,
    // the values last applied kept. Offline renders need it: some plug-ins
    // (mda's) keep oscillator and noise state across deactivate/activate, so
    // a render would otherwise depend on the ones before it. ELv2Error when
    // the plug-in will not start again.
    void Renew();

    // Audio thread. Renders `frames` frames into `left` and `right` (a mono
    // instrument fills both), playing `events` (by frame, each below
    // `frames`). With no frames the events are kept for the start of the
    // next Run that renders. Allocates nothing, takes no lock.
    void Run(const TMidiEvent* events, size_t count, uint32_t frames, float* left, float* right) noexcept;
    // Audio thread: the next Run begins by ending every note and sound on
    // every channel; events kept from before are dropped.
    void Silence() noexcept
    {
        FProcess.Silence = true;
        FProcess.HeldCount = 0;
    }
    double SampleRate() const { return FSampleRate; }

    // Atom buffers hold at least this, more when a port asks for more (rsz:minimumSize).
    static constexpr uint32_t kSequenceSize = 16384;

private:
    struct TParameter {
        uint32_t Control; // index into Ports().Controls
        float Value;
        bool Last;        // the last of one genome: the values apply together
    };

    void ConnectPorts();
    void RunBlock(const TMidiEvent*& events, const TMidiEvent* end, uint32_t offset, uint32_t frames,
                  float* left, float* right) noexcept;
    void TakeParameters() noexcept;

    TLv2World& FWorld;
    const LilvPlugin* FPlugin;
    std::string FUri;
    std::string FName;
    TLv2PortLayout FLayout;
    std::vector<uint32_t> FBreedable; // indexes into FLayout.Controls
    std::vector<float> FDefaults;
    std::vector<float> FSent;
    uint32_t FMaxBlock;
    double FSampleRate;
    uint32_t FSequenceBytes = kSequenceSize;

    TLv2UridMap FUrids;
    TLv2Worker FWorker;
    TLv2Features FFeatures;
    LilvInstance* FInstance = nullptr;
    const LV2_Worker_Interface* FWorkerInterface = nullptr;
    bool FSynchronousWorker = false;

    // What the audio thread touches, and nothing else does while it runs.
    struct TProcessState {
        std::vector<float> Controls;     // connected to the control inputs
        std::vector<float> Staged;       // a genome's values until its last one arrives
        std::vector<float> ControlOutputs;
        std::vector<std::vector<float>> Audio; // per audio output, then one silent input buffer, then CV
        std::vector<uint64_t> MidiSequence;    // 8-byte aligned atom sequences
        std::vector<std::vector<uint64_t>> OtherSequences;
        uint32_t MidiEventType = 0;
        uint32_t SequenceType = 0;
        uint32_t ChunkType = 0;
        bool Silence = false;
        std::vector<TMidiEvent> Held; // events of a Run without frames, played at the next one's start
        size_t HeldCount = 0;
    } FProcess;
    TSpscQueue<TParameter, 4096> FParameters;
};

} // namespace zw
