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
#include <cstdio>

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

// In the program a plug-in's messages are dropped: nothing may be written
// from its audio thread. The plug-in host writes them to its stderr, which
// the program reads and logs with the instrument's name.
int Vprintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args)
{
    return handle ? std::vfprintf(stderr, format, args) : 0;
}
int Printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int written = Vprintf(handle, type, format, args);
    va_end(args);
    return written;
}

} // namespace

TLv2Features::TLv2Features(TLv2UridMap& urids, TLv2Worker& worker, double sampleRate, uint32_t maxBlock,
                           uint32_t sequenceSize, bool log)
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
                option(LV2_BUF_SIZE__sequenceSize, intType, &FSequenceSize),
                LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    FLog.handle = log ? this : nullptr;
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
