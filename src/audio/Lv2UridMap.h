#pragma once

#include <lv2/urid/urid.h>

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zw {

// URIs to numbers and back, for every plug-in instance of the program.
// Plug-ins map at instantiation and from their worker, not in run(), so a
// lock is fine here.
class TLv2UridMap {
public:
    TLv2UridMap();
    TLv2UridMap(const TLv2UridMap&) = delete;
    TLv2UridMap& operator=(const TLv2UridMap&) = delete;

    LV2_URID Map(const char* uri);
    // Null for a number never handed out.
    const char* Unmap(LV2_URID urid);

    LV2_URID_Map* MapFeature() { return &FMap; }
    LV2_URID_Unmap* UnmapFeature() { return &FUnmap; }

private:
    std::mutex FLock;
    std::unordered_map<std::string, LV2_URID> FIds;
    std::deque<std::string> FUris; // URID n is FUris[n - 1]; a deque keeps the texts where they are
    LV2_URID_Map FMap;
    LV2_URID_Unmap FUnmap;
};

} // namespace zw
