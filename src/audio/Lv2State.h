#pragma once

#include <lilv/lilv.h>

#include <map>
#include <string>
#include <vector>

namespace zw {

class TLv2UridMap;
struct TLv2PortLayout;

// Port values by symbol.
using TLv2PortValues = std::map<std::string, float>;

// Loads the plug-in's own default state (lv2:default state, when it has one)
// into `instance` before it is activated; its port values land in `values`
// (one per control input, in the layout's order).
void RestoreDefaultState(LilvWorld* world, const LilvPlugin* plugin, LilvInstance* instance, TLv2UridMap& urids,
                         const TLv2PortLayout& layout, std::vector<float>& values,
                         const LV2_Feature* const* features);

// Writes an LV2 preset bundle `bundle` (a folder, made if missing), holding
// the control inputs at `values` and the plug-in's own state, named `label`,
// so that any LV2 host finds it there. ELv2Error when it cannot be written.
void SaveLv2Preset(LilvWorld* world, const LilvPlugin* plugin, LilvInstance* instance, TLv2UridMap& urids,
                   const TLv2PortLayout& layout, const std::vector<float>& values, const std::string& bundle,
                   const std::string& label);

// The port values of the preset in `file` (a bundle's .ttl), as lilv reads them.
TLv2PortValues ReadLv2PresetValues(LilvWorld* world, TLv2UridMap& urids, const std::string& file);

// The folder LV2 hosts look in for a user's presets of `label`: ~/.lv2/<label>.lv2.
std::string UserPresetBundle(const std::string& label);

} // namespace zw
