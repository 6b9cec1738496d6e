#pragma once

#include "app/ChannelSet.h"

#include <QTabWidget>

#include <algorithm>
#include <array>

namespace zw {

class TWormPanel;

// The four breeders on their tab pages, as the main window's feature objects
// see them: each breeder by channel, and the one shown. It owns nothing: the
// window owns the tab pages and the panels on them.
struct TBreederTabs {
    QTabWidget* Tabs = nullptr;
    std::array<TWormPanel*, kChannelCount> Panels{};

    // The breeder of `channel` (0..3), null outside.
    TWormPanel* Panel(TChannel channel) const
    {
        return channel < 0 || channel >= kChannelCount ? nullptr : Panels[static_cast<size_t>(channel)];
    }
    TWormPanel* Shown() const { return Panel(std::clamp(Tabs->currentIndex(), 0, kChannelCount - 1)); }
};

} // namespace zw
