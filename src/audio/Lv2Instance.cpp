#include "audio/Lv2Instance.h"

#include "audio/Lv2Nodes.h"
#include "audio/Lv2State.h"
#include "audio/Lv2World.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <cstring>

namespace zw {
namespace {

LV2_Atom_Sequence* Sequence(std::vector<uint64_t>& words) { return reinterpret_cast<LV2_Atom_Sequence*>(words.data()); }

} // namespace

TLv2Instance::TLv2Instance(TLv2World& world, const std::string& uri, double sampleRate, uint32_t maxBlock,
                           TLv2InstanceOptions options)
    : FWorld(world),
      FUri(uri),
      FMaxBlock(std::max<uint32_t>(maxBlock, 1)),
      FSampleRate(sampleRate),
      FFeatures(FUrids, FWorker, sampleRate, FMaxBlock, kSequenceSize, options.Log)
{
    std::lock_guard lock(world.Lock());
    FPlugin = world.Plugin(uri);
    FName = LilvText(TLilvNode(lilv_plugin_get_name(FPlugin)).get());
    const std::string quoted = "The LV2 instrument \"" + FName + "\"";
    const std::string missing = TLv2Features::MissingRequired(FPlugin);
    if (!missing.empty())
        throw ELv2Error(quoted + " needs the feature " + missing + ", which this program does not provide.");
    FLayout = ReadPortLayout(world.Get(), FPlugin, sampleRate);
    if (FLayout.MidiInput < 0)
        throw ELv2Error(quoted + " takes no MIDI input.");
    if (FLayout.AudioOutputs.empty())
        throw ELv2Error(quoted + " has no audio output.");
    if (!FLayout.Unconnectable.empty())
        throw ELv2Error(quoted + " has a port (" + FLayout.Unconnectable + ") of a kind this program cannot connect.");

    for (uint32_t i = 0; i < FLayout.Controls.size(); ++i) {
        FDefaults.push_back(FLayout.Controls[i].Default);
        if (FLayout.Controls[i].Breedable)
            FBreedable.push_back(i);
    }
    FProcess.Controls = FDefaults;
    FProcess.Staged = FDefaults;
    FProcess.ControlOutputs.assign(FLayout.ControlOutputs.size(), 0.0f);
    FProcess.Audio.assign(FLayout.AudioOutputs.size() + 1 + FLayout.CvPorts.size(), std::vector<float>(FMaxBlock));
    FSequenceBytes = std::max(kSequenceSize, (FLayout.AtomBufferSize + 7) / 8 * 8);
    FFeatures.SetSequenceSize(FSequenceBytes);
    const size_t sequenceWords = FSequenceBytes / sizeof(uint64_t);
    FProcess.MidiSequence.assign(sequenceWords, 0);
    // More events than one sequence holds would be dropped at the next run anyway.
    FProcess.Held.resize(FSequenceBytes / sizeof(LV2_Atom_Event));
    FProcess.OtherSequences.assign(FLayout.OtherAtomInputs.size() + FLayout.AtomOutputs.size(),
                                   std::vector<uint64_t>(sequenceWords));
    FProcess.MidiEventType = FUrids.Map(LV2_MIDI__MidiEvent);
    FProcess.SequenceType = FUrids.Map(LV2_ATOM__Sequence);
    FProcess.ChunkType = FUrids.Map(LV2_ATOM__Chunk);

    FInstance = lilv_plugin_instantiate(FPlugin, sampleRate, FFeatures.All());
    if (!FInstance)
        throw ELv2Error(quoted + " could not be started.");
    ConnectPorts();
    RestoreDefaultState(world.Get(), FPlugin, FInstance, FUrids, FLayout, FDefaults, FFeatures.All());
    FProcess.Controls = FDefaults;
    FProcess.Staged = FDefaults;
    FSent = FDefaults;
    lilv_instance_activate(FInstance);
    FWorkerInterface = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(FInstance, LV2_WORKER__interface));
    FSynchronousWorker = options.SynchronousWorker;
    FWorker.Start(FWorkerInterface, lilv_instance_get_handle(FInstance), FSynchronousWorker);
}

TLv2Instance::~TLv2Instance()
{
    FWorker.Stop();
    std::lock_guard lock(FWorld.Lock()); // freeing closes the plug-in's library inside lilv
    if (FInstance) {
        lilv_instance_deactivate(FInstance);
        lilv_instance_free(FInstance);
    }
}

void TLv2Instance::ConnectPorts()
{
    for (size_t i = 0; i < FLayout.Controls.size(); ++i)
        lilv_instance_connect_port(FInstance, FLayout.Controls[i].Index, &FProcess.Controls[i]);
    for (size_t i = 0; i < FLayout.ControlOutputs.size(); ++i)
        lilv_instance_connect_port(FInstance, FLayout.ControlOutputs[i], &FProcess.ControlOutputs[i]);
    size_t buffer = 0;
    for (uint32_t port : FLayout.AudioOutputs)
        lilv_instance_connect_port(FInstance, port, FProcess.Audio[buffer++].data());
    float* silence = FProcess.Audio[buffer++].data(); // never written: plug-ins do not write their inputs
    for (uint32_t port : FLayout.AudioInputs)
        lilv_instance_connect_port(FInstance, port, silence);
    for (uint32_t port : FLayout.CvPorts)
        lilv_instance_connect_port(FInstance, port, FProcess.Audio[buffer++].data());
    lilv_instance_connect_port(FInstance, static_cast<uint32_t>(FLayout.MidiInput), FProcess.MidiSequence.data());
    size_t sequence = 0;
    for (uint32_t port : FLayout.OtherAtomInputs)
        lilv_instance_connect_port(FInstance, port, FProcess.OtherSequences[sequence++].data());
    for (uint32_t port : FLayout.AtomOutputs)
        lilv_instance_connect_port(FInstance, port, FProcess.OtherSequences[sequence++].data());
}

std::vector<float> TLv2Instance::ValuesOf(const uint8_t* genes, size_t count) const
{
    std::vector<float> values = FDefaults;
    for (size_t k = 0; k < std::min(count, FBreedable.size()); ++k) {
        const uint32_t control = FBreedable[k];
        values[control] = FLayout.Controls[control].ValueOf(genes[k]);
    }
    return values;
}

bool TLv2Instance::SetGenome(const uint8_t* genes, size_t count) { return SendValues(ValuesOf(genes, count)); }

std::unique_ptr<TLv2Instance> TLv2Instance::Remade(double sampleRate, uint32_t maxBlock) const
{
    auto instance = std::make_unique<TLv2Instance>(FWorld, FUri, sampleRate, maxBlock);
    instance->SendValues(FSent);
    return instance;
}

bool TLv2Instance::SendValues(const std::vector<float>& values)
{
    if (values.size() != FSent.size())
        return false;
    if (FParameters.capacity() < values.size())
        return false;
    for (uint32_t i = 0; i < values.size(); ++i)
        if (!FParameters.TryPush({i, values[i], i + 1 == values.size()}))
            return false; // the next genome sends every value again, its last one completes the set
    FSent = values;
    return true;
}

void TLv2Instance::SavePreset(const std::string& bundle, const std::string& label) { SavePreset(bundle, label, FSent); }

void TLv2Instance::SavePreset(const std::string& bundle, const std::string& label, const std::vector<float>& values)
{
    std::lock_guard lock(FWorld.Lock());
    SaveLv2Preset(FWorld.Get(), FPlugin, FInstance, FUrids, FLayout, values, bundle, label);
}

// Audio thread.
void TLv2Instance::ApplyGenome(const uint8_t* genes, size_t count) noexcept
{
    std::copy(FDefaults.begin(), FDefaults.end(), FProcess.Controls.begin());
    for (size_t k = 0; k < std::min(count, FBreedable.size()); ++k) {
        const uint32_t control = FBreedable[k];
        FProcess.Controls[control] = FLayout.Controls[control].ValueOf(genes[k]);
    }
    std::copy(FProcess.Controls.begin(), FProcess.Controls.end(), FProcess.Staged.begin());
}

// The thread that runs the instance; the worker does not work meanwhile.
void TLv2Instance::Reset()
{
    FWorker.Stop();
    lilv_instance_deactivate(FInstance);
    lilv_instance_activate(FInstance);
    FWorker.Start(FWorkerInterface, lilv_instance_get_handle(FInstance), FSynchronousWorker);
    FProcess.Silence = true;
}

void TLv2Instance::Renew()
{
    FWorker.Stop();
    {
        std::lock_guard lock(FWorld.Lock());
        // The new instance first: the plug-in's library stays loaded meanwhile.
        LilvInstance* fresh = lilv_plugin_instantiate(FPlugin, FSampleRate, FFeatures.All());
        if (!fresh)
            throw ELv2Error("The LV2 instrument \"" + FName + "\" could not be started again.");
        lilv_instance_deactivate(FInstance);
        lilv_instance_free(FInstance);
        FInstance = fresh;
        const std::vector<float> controls = FProcess.Controls;
        ConnectPorts();
        RestoreDefaultState(FWorld.Get(), FPlugin, FInstance, FUrids, FLayout, FDefaults, FFeatures.All());
        FProcess.Controls = controls;
        lilv_instance_activate(FInstance);
        FWorkerInterface = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(FInstance, LV2_WORKER__interface));
    }
    FWorker.Start(FWorkerInterface, lilv_instance_get_handle(FInstance), FSynchronousWorker);
    FProcess.Silence = true;
}

// Audio thread.
void TLv2Instance::TakeParameters() noexcept
{
    TParameter parameter;
    while (FParameters.TryPop(parameter)) {
        FProcess.Staged[parameter.Control] = parameter.Value;
        if (parameter.Last)
            std::copy(FProcess.Staged.begin(), FProcess.Staged.end(), FProcess.Controls.begin());
    }
}

// Audio thread.
void TLv2Instance::Run(const TMidiEvent* events, size_t count, uint32_t frames, float* left, float* right) noexcept
{
    TakeParameters();
    if (frames == 0) {
        for (size_t i = 0; i < count && FProcess.HeldCount < FProcess.Held.size(); ++i)
            FProcess.Held[FProcess.HeldCount++] = events[i];
        return;
    }
    const TMidiEvent* end = events + count;
    for (uint32_t offset = 0; offset < frames; offset += FMaxBlock)
        RunBlock(events, end, offset, std::min(FMaxBlock, frames - offset), left + offset, right + offset);
}

// Audio thread: one run() of at most the block length, from `offset` frames into the period.
void TLv2Instance::RunBlock(const TMidiEvent*& events, const TMidiEvent* end, uint32_t offset, uint32_t frames,
                            float* left, float* right) noexcept
{
    LV2_Atom_Sequence* midi = Sequence(FProcess.MidiSequence);
    midi->atom.type = FProcess.SequenceType;
    lv2_atom_sequence_clear(midi);
    struct {
        LV2_Atom_Event Head;
        uint8_t Bytes[TMidiEvent::kMaxBytes];
    } event{};
    event.Head.body.type = FProcess.MidiEventType;
    if (FProcess.Silence) {
        FProcess.Silence = false;
        event.Head.body.size = 3;
        for (uint8_t channel = 0; channel < 16; ++channel)
            for (uint8_t controller : {123, 120}) { // all notes off, all sound off
                event.Bytes[0] = static_cast<uint8_t>(0xB0 | channel);
                event.Bytes[1] = controller;
                event.Bytes[2] = 0;
                lv2_atom_sequence_append_event(midi, FSequenceBytes - sizeof(LV2_Atom), &event.Head);
            }
    }
    const auto append = [&](const TMidiEvent& source, uint32_t frame) {
        event.Head.time.frames = frame;
        event.Head.body.size = std::min<uint32_t>(source.Length, TMidiEvent::kMaxBytes);
        std::memcpy(event.Bytes, source.Bytes, event.Head.body.size);
        lv2_atom_sequence_append_event(midi, FSequenceBytes - sizeof(LV2_Atom), &event.Head);
    };
    if (offset == 0) {
        for (size_t i = 0; i < FProcess.HeldCount; ++i)
            append(FProcess.Held[i], 0);
        FProcess.HeldCount = 0;
    }
    for (; events != end && events->Frame < offset + frames; ++events)
        append(*events, events->Frame >= offset ? events->Frame - offset : 0);
    size_t sequence = 0;
    for (size_t i = 0; i < FLayout.OtherAtomInputs.size(); ++i, ++sequence) {
        LV2_Atom_Sequence* input = Sequence(FProcess.OtherSequences[sequence]);
        input->atom.type = FProcess.SequenceType;
        lv2_atom_sequence_clear(input);
    }
    for (size_t i = 0; i < FLayout.AtomOutputs.size(); ++i, ++sequence) {
        // An output's size is its capacity until the plug-in writes it.
        LV2_Atom* output = &Sequence(FProcess.OtherSequences[sequence])->atom;
        output->type = FProcess.ChunkType;
        output->size = FSequenceBytes - sizeof(LV2_Atom);
    }

    lilv_instance_run(FInstance, frames);
    FWorker.DeliverResponses();

    const float* first = FProcess.Audio[0].data();
    const float* second = FLayout.AudioOutputs.size() > 1 ? FProcess.Audio[1].data() : first;
    std::copy(first, first + frames, left);
    std::copy(second, second + frames, right);
}

} // namespace zw
