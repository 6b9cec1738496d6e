#pragma once

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

typedef struct LilvPluginImpl LilvPlugin;

namespace zw {

class TLv2UridMap;
class TLv2Worker;

// The host features one instance is made with: URID map and unmap, options
// (sample rate, block lengths, sequence size), the worker, a log, bounded
// block lengths and the promise to load a plug-in's default state. The log
// goes to stderr when `log` is set (in the plug-in host, whose stderr the
// program reads), else nowhere.
class TLv2Features {
public:
    TLv2Features(TLv2UridMap& urids, TLv2Worker& worker, double sampleRate, uint32_t maxBlock, uint32_t sequenceSize,
                 bool log = false);
    TLv2Features(const TLv2Features&) = delete;
    TLv2Features& operator=(const TLv2Features&) = delete;

    // Before instantiate: atom buffers are larger than first said.
    void SetSequenceSize(uint32_t bytes) { FSequenceSize = static_cast<int32_t>(bytes); }

    // Null-terminated, for instantiate.
    const LV2_Feature* const* All() const { return FList.data(); }

    // The URI of a feature `plugin` requires and the host lacks; empty when none.
    static std::string MissingRequired(const LilvPlugin* plugin);

private:
    float FSampleRate;
    int32_t FMinBlock = 0;
    int32_t FMaxBlock;
    int32_t FSequenceSize;
    std::array<LV2_Options_Option, 5> FOptions{};
    LV2_Log_Log FLog{};
    std::vector<LV2_Feature> FFeatures;
    std::vector<const LV2_Feature*> FList;
};

} // namespace zw
