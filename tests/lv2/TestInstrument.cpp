// The tests' own LV2 instrument: a sine voice, and a control port "fault"
// (0..255, so gene 0 sets it byte for byte) that makes it fail while a note
// is held, as bred parameters make real plug-ins fail: 1 crash (SIGSEGV),
// 2 hang, 3 abort, 4 put out NaN; any other value plays, so that random
// genomes seldom fail. It asks for atom buffers of 40000 bytes
// (rsz:minimumSize) and refuses to start when the host offers less; its
// "brightness" port is given in multiples of the sample rate (unused).
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum TPort : uint32_t { kLeft, kRight, kEvents, kFault };
enum TFault { kNone, kCrash, kHang, kAbort, kNan };

struct TSine {
    double Rate = 48000;
    LV2_URID MidiEvent = 0;
    float* Left = nullptr;
    float* Right = nullptr;
    const LV2_Atom_Sequence* Events = nullptr;
    const float* Fault = nullptr;
    int Note = -1;
    double Phase = 0;
    float Level = 0;
};

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features)
{
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
        if (std::strcmp(features[i]->URI, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>(features[i]->data);
    }
    if (!map || !options)
        return nullptr;
    const LV2_URID sequenceSize = map->map(map->handle, LV2_BUF_SIZE__sequenceSize);
    bool roomy = false;
    for (const LV2_Options_Option* option = options; option->key; ++option)
        if (option->key == sequenceSize && option->size == sizeof(int32_t))
            roomy = *static_cast<const int32_t*>(option->value) >= 40000;
    if (!roomy)
        return nullptr;
    auto* sine = new (std::nothrow) TSine;
    if (sine) {
        sine->Rate = rate;
        sine->MidiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    }
    return sine;
}

void Connect(LV2_Handle handle, uint32_t port, void* data)
{
    auto* sine = static_cast<TSine*>(handle);
    switch (port) {
    case kLeft: sine->Left = static_cast<float*>(data); break;
    case kRight: sine->Right = static_cast<float*>(data); break;
    case kEvents: sine->Events = static_cast<const LV2_Atom_Sequence*>(data); break;
    case kFault: sine->Fault = static_cast<const float*>(data); break;
    default: break;
    }
}

void Activate(LV2_Handle handle)
{
    auto* sine = static_cast<TSine*>(handle);
    sine->Note = -1;
    sine->Phase = 0;
}

void Fail(long fault)
{
    switch (fault) {
    case kCrash:
        std::signal(SIGSEGV, SIG_DFL); // a crash as users meet it, past any handler of the host's
        *static_cast<volatile int*>(nullptr) = 1;
        break;
    case kHang: {
        volatile bool forever = true;
        while (forever) {
        }
        break;
    }
    case kAbort:
        std::abort();
    default:
        break;
    }
}

void Run(LV2_Handle handle, uint32_t frames)
{
    auto* sine = static_cast<TSine*>(handle);
    LV2_ATOM_SEQUENCE_FOREACH (sine->Events, event) {
        if (event->body.type != sine->MidiEvent || event->body.size < 3)
            continue;
        const auto* bytes = reinterpret_cast<const uint8_t*>(event + 1);
        const int kind = bytes[0] & 0xF0;
        if (kind == 0x90 && bytes[2] > 0) {
            sine->Note = bytes[1];
            sine->Level = 0.3f * bytes[2] / 127.0f;
        } else if ((kind == 0x80 || kind == 0x90) && bytes[1] == sine->Note) {
            sine->Note = -1;
        } else if (kind == 0xB0 && (bytes[1] == 120 || bytes[1] == 123)) {
            sine->Note = -1;
        }
    }
    const long fault = std::lround(*sine->Fault);
    if (sine->Note >= 0)
        Fail(fault);
    const double step = 2 * M_PI * 440.0 * std::pow(2.0, (sine->Note - 69) / 12.0) / sine->Rate;
    for (uint32_t i = 0; i < frames; ++i) {
        float value = 0;
        if (sine->Note >= 0) {
            value = fault == kNan ? NAN : sine->Level * static_cast<float>(std::sin(sine->Phase));
            sine->Phase = std::fmod(sine->Phase + step, 2 * M_PI);
        }
        sine->Left[i] = sine->Right[i] = value;
    }
}

void Cleanup(LV2_Handle handle) { delete static_cast<TSine*>(handle); }

const LV2_Descriptor kDescriptor = {"urn:zwirbels:test-instrument", Instantiate, Connect, Activate, Run, nullptr,
                                    Cleanup, nullptr};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
