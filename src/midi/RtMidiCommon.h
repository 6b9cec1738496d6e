#pragma once

#include "midi/JackWatch.h"
#include "midi/MidiDriverApi.h"

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <system_error>

// What the RtMidi device table and its open devices share: the MIDI system in
// use, RtMidi's errors as result codes, and making and connecting clients.
namespace zw {

enum class TRtApi { None, Alsa, Jack };

// The client name of every client the program opens, fixed so that the
// virtual output keeps its name (and a stored choice of it stays valid)
// however the executable is named or started.
inline const char* const kMidiClientName = "zwirbels";
inline const char* const kRtOutPortName = "MIDI out";
inline const char* const kRtInPortName = "MIDI in";
inline const char* const kRtVirtualPortName = "virtual output";

TMidiResult RtResultCode(RtMidiError::Type type);

// Takes what RtMidi reports through its error callback, so that RtMidi never
// throws once the callback is set, and hands it to the next caller.
class TRtErrorSink {
public:
    static void Report(RtMidiError::Type type, const std::string&, void* self);
    TMidiResult Take() { return FCode.exchange(MMSYSERR_NOERROR); }
    // Take, after opening a port: a driver error there means the open failed.
    TMidiResult TakeOpenResult();
    void Set(TMidiResult code) { FCode.store(code); }

private:
    std::atomic<TMidiResult> FCode{MMSYSERR_NOERROR};
};

// An RtMidi client of `api` named `clientName` that reports into `errors`.
template <typename TRt>
std::unique_ptr<TRt> NewRtClient(TRtApi api, const std::string& clientName, TRtErrorSink& errors)
{
    auto rt = std::make_unique<TRt>(api == TRtApi::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK, clientName);
    rt->setErrorCallback(&TRtErrorSink::Report, &errors);
    return rt;
}

// Connects `rt`, through a port of ours named `ownName`, to the port listed as
// `rawName`; false when no port is listed so. A refused connection is left in
// `errors` for TakeOpenResult.
template <typename TRt>
bool ConnectRtPort(TRt& rt, const std::string& rawName, const char* ownName, TRtErrorSink& errors)
{
    const unsigned count = rt.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (rt.getPortName(i) == rawName) {
            rt.openPort(i, ownName);
            if (!rt.isPortOpen())
                errors.Set(MIDIERR_OPENFAILED);
            return true;
        }
    }
    return false;
}

// Runs an open; what RtMidi or the system throws becomes a result code.
template <typename TOpen>
TMidiResult GuardedRtOpen(TOpen&& open)
{
    try {
        return open();
    } catch (const RtMidiError& e) {
        return RtResultCode(e.getType());
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    } catch (const std::system_error&) {
        return MIDIERR_DRIVER;
    }
}

// What an open device is given by the table: the system, the server watch
// (JACK only), and whom to report to.
struct TRtDeviceContext {
    TRtApi Api;
    const TJackWatch* Watch;
    TMidiHandle Handle;
    TMidiCallback Callback;
    uintptr_t Instance;

    bool ServerStopped() const { return Watch && Watch->Stopped(); }
    void Notify(uint32_t message, uintptr_t param1, uintptr_t param2) const
    {
        Callback(Handle, message, Instance, param1, param2);
    }
};

} // namespace zw
