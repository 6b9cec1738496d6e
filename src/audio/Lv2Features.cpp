#include "audio/Lv2Features.h"

#include "audio/Lv2Nodes.h"
#include "audio/Lv2UridMap.h"
#include "audio/Lv2Worker.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <cstdarg>

namespace zw {
namespace {

// Features a plug-in may require that ask nothing of the host's code: this
// host never runs in place, always runs live, and the others are promises
// the host keeps by how it calls the plug-in.
const char* const kProvided[] = {
    LV2_URID__map, LV2_URID__unmap, LV2_OPTIONS__options, LV2_WORKER__schedule, LV2_LOG__log,
    LV2_BUF_SIZE__boundedBlockLength, LV2_STATE__loadDefaultState, LV2_CORE__isLive, LV2_CORE__inPlaceBroken,
    LV2_CORE__hardRTCapable,
};

// A plug-in's messages are dropped: nothing may be written from the audio
// thread, and the program keeps the terminal free of its libraries' chatter.
int Printf(LV2_Log_Handle, LV2_URID, const char*, ...) { return 0; }
int Vprintf(LV2_Log_Handle, LV2_URID, const char*, va_list) { return 0; }

} // namespace

TLv2Features::TLv2Features(TLv2UridMap& urids, TLv2Worker& worker, double sampleRate, uint32_t maxBlock,
                           uint32_t sequenceSize)
    : FSampleRate(static_cast<float>(sampleRate)),
      FMaxBlock(static_cast<int32_t>(maxBlock)),
      FSequenceSize(static_cast<int32_t>(sequenceSize))
{
    const LV2_URID intType = urids.Map(LV2_ATOM__Int);
    const LV2_URID floatType = urids.Map(LV2_ATOM__Float);
    auto option = [&](const char* key, LV2_URID type, const void* value) {
        return LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, urids.Map(key), sizeof(int32_t), type, value};
    };
    FOptions = {option(LV2_PARAMETERS__sampleRate, floatType, &FSampleRate),
                option(LV2_BUF_SIZE__minBlockLength, intType, &FMinBlock),
                option(LV2_BUF_SIZE__maxBlockLength, intType, &FMaxBlock),
                option(LV2_BUF_SIZE__nominalBlockLength, intType, &FMaxBlock),
                option(LV2_BUF_SIZE__sequenceSize, intType, &FSequenceSize),
                LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    FLog.handle = this;
    FLog.printf = Printf;
    FLog.vprintf = Vprintf;

    FFeatures = {
        {LV2_URID__map, urids.MapFeature()},
        {LV2_URID__unmap, urids.UnmapFeature()},
        {LV2_OPTIONS__options, FOptions.data()},
        {LV2_WORKER__schedule, worker.ScheduleFeature()},
        {LV2_LOG__log, &FLog},
        {LV2_BUF_SIZE__boundedBlockLength, nullptr},
        {LV2_STATE__loadDefaultState, nullptr},
    };
    for (const LV2_Feature& feature : FFeatures)
        FList.push_back(&feature);
    FList.push_back(nullptr);
}

std::string TLv2Features::MissingRequired(const LilvPlugin* plugin)
{
    const TLilvNodes required(lilv_plugin_get_required_features(plugin));
    LILV_FOREACH (nodes, it, required.get()) {
        const std::string uri = LilvText(lilv_nodes_get(required.get(), it));
        if (std::none_of(std::begin(kProvided), std::end(kProvided), [&](const char* p) { return uri == p; }))
            return uri;
    }
    return {};
}

} // namespace zw
