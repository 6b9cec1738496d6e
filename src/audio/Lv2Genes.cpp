#include "audio/Lv2Genes.h"

#include "audio/Lv2Nodes.h"
#include "audio/Lv2World.h"

#include <lv2/units/units.h>

#include <cmath>
#include <cstdio>
#include <mutex>

namespace zw {

std::string TLv2Gene::ValueText(uint8_t byte) const
{
    const float value = Port.ValueOf(byte);
    // Three digits where that is all there is to see; whole numbers where more would be noise.
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(value) >= 100 ? "%.0f" : "%.3g", static_cast<double>(value));
    return Unit.empty() ? text : std::string(text) + " " + Unit;
}

std::vector<TLv2Gene> ReadLv2Genes(TLv2World& world, const std::string& uri, double sampleRate)
{
    const std::lock_guard lock(world.Lock());
    LilvWorld* lilv = world.Get();
    const LilvPlugin* plugin = world.Plugin(uri);
    const TLv2PortLayout layout = ReadPortLayout(lilv, plugin, sampleRate);
    const TLilvNode unit = LilvUri(lilv, LV2_UNITS__unit);
    const TLilvNode symbol = LilvUri(lilv, LV2_UNITS__symbol);
    std::vector<TLv2Gene> genes;
    for (const TLv2ControlPort* port : layout.Breedable()) {
        TLv2Gene& gene = genes.emplace_back(TLv2Gene{*port, {}});
        const TLilvNode stated(lilv_port_get(plugin, lilv_plugin_get_port_by_index(plugin, port->Index), unit.get()));
        if (!stated)
            continue;
        // A unit of the units vocabulary carries its symbol there; one made
        // up by the plug-in carries it itself.
        const TLilvNode named(lilv_world_get(lilv, stated.get(), symbol.get(), nullptr));
        gene.Unit = LilvText(named.get());
    }
    return genes;
}

} // namespace zw
