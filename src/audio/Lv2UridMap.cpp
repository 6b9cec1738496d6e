#include "audio/Lv2UridMap.h"

namespace zw {

TLv2UridMap::TLv2UridMap()
{
    FMap.handle = this;
    FMap.map = [](LV2_URID_Map_Handle handle, const char* uri) { return static_cast<TLv2UridMap*>(handle)->Map(uri); };
    FUnmap.handle = this;
    FUnmap.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) {
        return static_cast<TLv2UridMap*>(handle)->Unmap(urid);
    };
}

LV2_URID TLv2UridMap::Map(const char* uri)
{
    if (!uri)
        return 0;
    std::lock_guard lock(FLock);
    const auto found = FIds.find(uri);
    if (found != FIds.end())
        return found->second;
    FUris.emplace_back(uri);
    const auto id = static_cast<LV2_URID>(FUris.size());
    FIds.emplace(FUris.back(), id);
    return id;
}

const char* TLv2UridMap::Unmap(LV2_URID urid)
{
    std::lock_guard lock(FLock);
    return urid >= 1 && urid <= FUris.size() ? FUris[urid - 1].c_str() : nullptr;
}

} // namespace zw
