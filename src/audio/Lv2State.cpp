#include "audio/Lv2State.h"

#include "audio/Lv2Nodes.h"
#include "audio/Lv2Ports.h"
#include "audio/Lv2UridMap.h"
#include "audio/Lv2World.h"

#include <lv2/atom/atom.h>
#include <lv2/state/state.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zw {
namespace {

// The value of a port as lilv hands it over, when it is a number.
bool NumberOf(TLv2UridMap& urids, const void* value, uint32_t size, uint32_t type, float& number)
{
    if (type == urids.Map(LV2_ATOM__Float) && size == sizeof(float))
        number = *static_cast<const float*>(value);
    else if (type == urids.Map(LV2_ATOM__Double) && size == sizeof(double))
        number = static_cast<float>(*static_cast<const double*>(value));
    else if (type == urids.Map(LV2_ATOM__Int) && size == sizeof(int32_t))
        number = static_cast<float>(*static_cast<const int32_t*>(value));
    else if (type == urids.Map(LV2_ATOM__Bool) && size == sizeof(int32_t))
        number = *static_cast<const int32_t*>(value) ? 1.0f : 0.0f;
    else
        return false;
    return true;
}

// `label` as a file name: letters, digits, '-' and '_', the rest '_'.
std::string FileNameOf(const std::string& label)
{
    std::string name;
    for (char c : label)
        name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    return name;
}

struct TValueSink {
    TLv2UridMap& Urids;
    const TLv2PortLayout* Layout;
    std::vector<float>* Values;
    TLv2PortValues* BySymbol;
};

void SetValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type)
{
    auto& sink = *static_cast<TValueSink*>(data);
    float number = 0;
    if (!NumberOf(sink.Urids, value, size, type, number))
        return;
    if (sink.BySymbol)
        (*sink.BySymbol)[symbol] = number;
    if (sink.Layout)
        for (size_t i = 0; i < sink.Layout->Controls.size(); ++i)
            if (sink.Layout->Controls[i].Symbol == symbol)
                (*sink.Values)[i] = number;
}

struct TValueSource {
    const TLv2PortLayout& Layout;
    const std::vector<float>& Values;
    uint32_t FloatType;
};

const void* GetValue(const char* symbol, void* data, uint32_t* size, uint32_t* type)
{
    auto& source = *static_cast<TValueSource*>(data);
    for (size_t i = 0; i < source.Layout.Controls.size(); ++i)
        if (source.Layout.Controls[i].Symbol == symbol) {
            *size = sizeof(float);
            *type = source.FloatType;
            return &source.Values[i];
        }
    *size = 0;
    *type = 0;
    return nullptr;
}

} // namespace

void RestoreDefaultState(LilvWorld* world, const LilvPlugin* plugin, LilvInstance* instance, TLv2UridMap& urids,
                         const TLv2PortLayout& layout, std::vector<float>& values,
                         const LV2_Feature* const* features)
{
    const TLilvState state(lilv_state_new_from_world(world, urids.MapFeature(), lilv_plugin_get_uri(plugin)));
    if (!state)
        return;
    TValueSink sink{urids, &layout, &values, nullptr};
    lilv_state_restore(state.get(), instance, SetValue, &sink, 0, features);
}

void SaveLv2Preset(LilvWorld* world, const LilvPlugin* plugin, LilvInstance* instance, TLv2UridMap& urids,
                   const TLv2PortLayout& layout, const std::vector<float>& values, const std::string& bundle,
                   const std::string& label)
{
    std::error_code error;
    std::filesystem::create_directories(bundle, error);
    if (error)
        throw ELv2Error("The LV2 preset cannot be saved: cannot make the folder \"" + bundle + "\": " + error.message());
    TValueSource source{layout, values, urids.Map(LV2_ATOM__Float)};
    const std::string dir = bundle + "/";
    const TLilvState state(lilv_state_new_from_instance(plugin, instance, urids.MapFeature(), nullptr, dir.c_str(),
                                                        dir.c_str(), dir.c_str(), GetValue, &source,
                                                        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr));
    if (!state)
        throw ELv2Error("The LV2 preset cannot be saved: the instrument gave no state.");
    lilv_state_set_label(state.get(), label.c_str());
    const std::string file = FileNameOf(label) + ".ttl";
    if (lilv_state_save(world, urids.MapFeature(), urids.UnmapFeature(), state.get(), nullptr, dir.c_str(),
                        file.c_str()) != 0)
        throw ELv2Error("The LV2 preset cannot be saved to \"" + bundle + "\".");
}

TLv2PortValues ReadLv2PresetValues(LilvWorld* world, TLv2UridMap& urids, const std::string& file)
{
    const TLilvState state(lilv_state_new_from_file(world, urids.MapFeature(), nullptr, file.c_str()));
    if (!state)
        throw ELv2Error("The LV2 preset \"" + file + "\" cannot be read.");
    TLv2PortValues values;
    TValueSink sink{urids, nullptr, nullptr, &values};
    lilv_state_emit_port_values(state.get(), SetValue, &sink);
    return values;
}

std::string UserPresetBundle(const std::string& label)
{
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.lv2/" + FileNameOf(label) + ".lv2";
}

} // namespace zw
