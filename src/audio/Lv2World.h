#pragma once

#include "common/Exceptions.h"

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct LilvWorldImpl LilvWorld;
typedef struct LilvPluginImpl LilvPlugin;

namespace zw {

// An LV2 instrument could not be loaded, made or saved; the message says which and why.
class ELv2Error : public Exception {
public:
    using Exception::Exception;
};

// An installed instrument, as the Sound dialog lists it.
struct TLv2PluginInfo {
    std::string Uri;
    std::string Name;
};

// Every installed LV2 bundle, read once (that takes about 0.1 s), and the
// instruments among them. Listing loads no plug-in code. lilv is not made
// for several threads at once: whoever uses Get() holds Lock() meanwhile.
class TLv2World {
public:
    TLv2World();
    ~TLv2World();
    TLv2World(const TLv2World&) = delete;
    TLv2World& operator=(const TLv2World&) = delete;

    LilvWorld* Get() const { return FWorld; }
    std::mutex& Lock() { return FLock; }

    // The plug-ins of class lv2:InstrumentPlugin, by name.
    const std::vector<TLv2PluginInfo>& Instruments() const { return FInstruments; }
    // The plug-in of `uri`; ELv2Error when none is installed. Call with Lock() held.
    const LilvPlugin* Plugin(const std::string& uri) const;

private:
    LilvWorld* FWorld;
    std::mutex FLock;
    std::vector<TLv2PluginInfo> FInstruments;
};

// The world, read on a thread of its own from the moment this is made, so
// that neither the window nor the audio waits for it.
class TLv2Catalog {
public:
    TLv2Catalog();
    // Whether the world is read (World() would not wait).
    bool Ready() const;
    // Waits for the world to be read.
    TLv2World& World() const;

private:
    std::shared_future<std::shared_ptr<TLv2World>> FWorld;
};

} // namespace zw
