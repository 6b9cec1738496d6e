#include "audio/Lv2World.h"

#include "audio/Lv2Nodes.h"

#include <lv2/core/lv2.h>

#include <algorithm>
#include <chrono>

namespace zw {

TLv2World::TLv2World() : FWorld(lilv_world_new())
{
    if (!FWorld)
        throw ELv2Error("The LV2 plug-ins cannot be listed: lilv has no memory for its world.");
    lilv_world_load_all(FWorld);
    const TLilvNode instrument = LilvUri(FWorld, LV2_CORE__InstrumentPlugin);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(FWorld);
    LILV_FOREACH (plugins, it, plugins) {
        const LilvPlugin* plugin = lilv_plugins_get(plugins, it);
        const LilvNode* pluginClass = lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin));
        if (!lilv_node_equals(pluginClass, instrument.get()))
            continue;
        const TLilvNode name(lilv_plugin_get_name(plugin));
        FInstruments.push_back({LilvText(lilv_plugin_get_uri(plugin)), LilvText(name.get())});
    }
    std::sort(FInstruments.begin(), FInstruments.end(), [](const TLv2PluginInfo& a, const TLv2PluginInfo& b) {
        return a.Name != b.Name ? a.Name < b.Name : a.Uri < b.Uri;
    });
}

TLv2World::~TLv2World() { lilv_world_free(FWorld); }

const LilvPlugin* TLv2World::Plugin(const std::string& uri) const
{
    const TLilvNode node = LilvUri(FWorld, uri.c_str());
    const LilvPlugin* plugin = node ? lilv_plugins_get_by_uri(lilv_world_get_all_plugins(FWorld), node.get()) : nullptr;
    if (!plugin)
        throw ELv2Error("The LV2 instrument " + uri + " is not installed.");
    return plugin;
}

TLv2Catalog::TLv2Catalog()
    : FWorld(std::async(std::launch::async, [] { return std::make_shared<TLv2World>(); }).share())
{
}

bool TLv2Catalog::Ready() const { return FWorld.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }

TLv2World& TLv2Catalog::World() const { return *FWorld.get(); }

} // namespace zw
