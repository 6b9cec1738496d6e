#include "audio/Lv2Ports.h"

#include "audio/Lv2Nodes.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>
#include <lv2/port-props/port-props.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

namespace zw {
namespace {

// The words of a port's symbol and name, lower case: "masterVol_2" gives
// "master", "vol", "2". Whole words only, so "scale_detune" is no tuning.
std::set<std::string> Words(const std::string& symbol, const std::string& name)
{
    std::set<std::string> words;
    for (const std::string* text : {&symbol, &name}) {
        std::string word;
        auto flush = [&] {
            if (!word.empty())
                words.insert(word);
            word.clear();
        };
        for (size_t i = 0; i < text->size(); ++i) {
            const unsigned char c = static_cast<unsigned char>((*text)[i]);
            if (!std::isalnum(c)) {
                flush();
                continue;
            }
            const bool upperAfterLower = std::isupper(c) && i > 0 && std::islower(static_cast<unsigned char>((*text)[i - 1]));
            const bool digitBoundary = !word.empty() && (std::isdigit(c) != 0) != (std::isdigit(static_cast<unsigned char>(word.back())) != 0);
            if (upperAfterLower || digitBoundary)
                flush();
            word += static_cast<char>(std::tolower(c));
        }
        flush();
    }
    return words;
}

bool HasAny(const std::set<std::string>& words, std::initializer_list<const char*> candidates)
{
    return std::any_of(candidates.begin(), candidates.end(), [&](const char* c) { return words.count(c) > 0; });
}

} // namespace

bool IsKeptAtDefault(const std::string& designation, const std::string& symbol, const std::string& name)
{
    static const char* const kKeptDesignations[] = {LV2_PARAMETERS__gain, LV2_CORE__enabled, LV2_CORE__freeWheeling,
                                                    LV2_CORE__latency, LV2_CORE__control};
    for (const char* kept : kKeptDesignations)
        if (designation == kept)
            return true;
    if (designation.rfind(LV2_TIME_PREFIX, 0) == 0 || designation.rfind(LV2_MIDI_PREFIX, 0) == 0)
        return true;

    const auto words = Words(symbol, name);
    const bool all = HasAny(words, {"master", "main", "global", "output", "out"});
    // Which events are heard: MIDI channel filters and key ranges.
    if (HasAny(words, {"channel", "chan", "midi", "midich", "midichannel"}))
        return true;
    if (HasAny(words, {"key", "keys", "note"}) &&
        HasAny(words, {"lo", "hi", "low", "high", "min", "max", "range", "split", "first", "last", "lowest", "highest"}))
        return true;
    if (HasAny(words, {"keyrange", "lokey", "hikey", "keylo", "keyhi", "split"}))
        return true;
    // The level of everything.
    if (HasAny(words, {"volume", "vol", "mastervol", "mastervolume"}))
        return true;
    if (HasAny(words, {"gain", "level", "amp", "amplitude"}) && (all || words.size() == 1))
        return true;
    // The pitch of everything.
    if (HasAny(words, {"tuning", "finetune", "mastertune", "transpose", "transp", "octave", "oct"}))
        return true;
    if (HasAny(words, {"tune"}) && all)
        return true;
    if (HasAny(words, {"bendrange", "pbrange", "pitchbend", "pb"}) ||
        (HasAny(words, {"bend"}) && HasAny(words, {"range", "pitch"})))
        return true;
    // The number of voices.
    return HasAny(words, {"polyphony", "poly", "voices", "maxvoices", "numvoices"});
}

float TLv2ControlPort::ValueOf(uint8_t byte) const
{
    switch (Kind) {
    case TLv2PortKind::Toggled:
        return byte < 128 ? Minimum : Maximum;
    case TLv2PortKind::Enumeration:
        if (!ScalePoints.empty())
            return ScalePoints[byte * ScalePoints.size() / 256];
        [[fallthrough]];
    case TLv2PortKind::Integer: {
        const double low = std::ceil(Minimum);
        const double high = std::floor(Maximum);
        if (high < low)
            return Default;
        const double count = high - low + 1;
        return static_cast<float>(low + std::floor(byte * count / 256));
    }
    case TLv2PortKind::Logarithmic:
        if (Minimum > 0 && Maximum > Minimum)
            return static_cast<float>(Minimum * std::pow(double(Maximum) / Minimum, byte / 255.0));
        [[fallthrough]];
    case TLv2PortKind::Linear:
        break;
    }
    return static_cast<float>(Minimum + (double(Maximum) - Minimum) * byte / 255.0);
}

std::vector<const TLv2ControlPort*> TLv2PortLayout::Breedable() const
{
    std::vector<const TLv2ControlPort*> ports;
    for (const TLv2ControlPort& port : Controls)
        if (port.Breedable)
            ports.push_back(&port);
    return ports;
}

TLv2PortLayout ReadPortLayout(LilvWorld* world, const LilvPlugin* plugin, double sampleRate)
{
    const TLilvNode input = LilvUri(world, LV2_CORE__InputPort);
    const TLilvNode control = LilvUri(world, LV2_CORE__ControlPort);
    const TLilvNode audio = LilvUri(world, LV2_CORE__AudioPort);
    const TLilvNode cv = LilvUri(world, LV2_CORE__CVPort);
    const TLilvNode atom = LilvUri(world, LV2_ATOM__AtomPort);
    const TLilvNode midiEvent = LilvUri(world, LV2_MIDI__MidiEvent);
    const TLilvNode optional = LilvUri(world, LV2_CORE__connectionOptional);
    const TLilvNode toggled = LilvUri(world, LV2_CORE__toggled);
    const TLilvNode integer = LilvUri(world, LV2_CORE__integer);
    const TLilvNode enumeration = LilvUri(world, LV2_CORE__enumeration);
    const TLilvNode logarithmic = LilvUri(world, LV2_PORT_PROPS__logarithmic);
    const TLilvNode designation = LilvUri(world, LV2_CORE__designation);
    const TLilvNode perSample = LilvUri(world, LV2_CORE__sampleRate);
    const TLilvNode minimumSize = LilvUri(world, LV2_RESIZE_PORT__minimumSize);

    TLv2PortLayout layout;
    layout.PortCount = lilv_plugin_get_num_ports(plugin);
    std::vector<float> minimum(layout.PortCount), maximum(layout.PortCount), defaults(layout.PortCount);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());

    for (uint32_t i = 0; i < layout.PortCount; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const bool isInput = lilv_port_is_a(plugin, port, input.get());
        const std::string symbol = LilvText(lilv_port_get_symbol(plugin, port));
        if (lilv_port_is_a(plugin, port, control.get())) {
            if (!isInput) {
                layout.ControlOutputs.push_back(i);
                continue;
            }
            TLv2ControlPort c;
            c.Index = i;
            c.Symbol = symbol;
            c.Name = LilvText(TLilvNode(lilv_port_get_name(plugin, port)).get());
            c.Minimum = std::isnan(minimum[i]) ? 0.0f : minimum[i];
            c.Maximum = std::isnan(maximum[i]) ? 1.0f : maximum[i];
            c.Default = std::isnan(defaults[i]) ? c.Minimum : defaults[i];
            if (lilv_port_has_property(plugin, port, perSample.get())) {
                const auto rate = static_cast<float>(sampleRate);
                c.Minimum *= rate;
                c.Maximum *= rate;
                c.Default *= rate;
            }
            if (lilv_port_has_property(plugin, port, toggled.get()))
                c.Kind = TLv2PortKind::Toggled;
            else if (lilv_port_has_property(plugin, port, enumeration.get()))
                c.Kind = TLv2PortKind::Enumeration;
            else if (lilv_port_has_property(plugin, port, integer.get()))
                c.Kind = TLv2PortKind::Integer;
            else if (lilv_port_has_property(plugin, port, logarithmic.get()))
                c.Kind = TLv2PortKind::Logarithmic;
            if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, port)) {
                LILV_FOREACH (scale_points, it, points)
                    c.ScalePoints.push_back(lilv_node_as_float(lilv_scale_point_get_value(lilv_scale_points_get(points, it))));
                lilv_scale_points_free(points);
                std::sort(c.ScalePoints.begin(), c.ScalePoints.end());
                c.ScalePoints.erase(std::unique(c.ScalePoints.begin(), c.ScalePoints.end()), c.ScalePoints.end());
            }
            const TLilvNode designated(lilv_port_get(plugin, port, designation.get()));
            c.Breedable = !IsKeptAtDefault(LilvText(designated.get()), c.Symbol, c.Name);
            layout.Controls.push_back(std::move(c));
        } else if (lilv_port_is_a(plugin, port, audio.get())) {
            (isInput ? layout.AudioInputs : layout.AudioOutputs).push_back(i);
        } else if (lilv_port_is_a(plugin, port, cv.get())) {
            layout.CvPorts.push_back(i);
        } else if (lilv_port_is_a(plugin, port, atom.get())) {
            const TLilvNode size(lilv_port_get(plugin, port, minimumSize.get()));
            if (size && lilv_node_is_int(size.get()) && lilv_node_as_int(size.get()) > 0)
                layout.AtomBufferSize = std::max(layout.AtomBufferSize, static_cast<uint32_t>(lilv_node_as_int(size.get())));
            if (!isInput)
                layout.AtomOutputs.push_back(i);
            else if (layout.MidiInput < 0 && lilv_port_supports_event(plugin, port, midiEvent.get()))
                layout.MidiInput = i;
            else
                layout.OtherAtomInputs.push_back(i);
        } else if (!lilv_port_has_property(plugin, port, optional.get()) && layout.Unconnectable.empty()) {
            layout.Unconnectable = symbol;
        }
    }
    return layout;
}

} // namespace zw
