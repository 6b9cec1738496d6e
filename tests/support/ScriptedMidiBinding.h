#pragma once

#include "midi/MidiBinding.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// A binding for tests: the devices are what the test sets, failures are
// injected per call, everything sent is recorded, and input is injected from
// any thread. Output long messages complete at once unless HoldLongMessages.
namespace zw {

class TScriptedMidiBinding : public TMidiBinding {
public:
    enum class TCall {
        OutGetDevCaps, OutOpen, OutShortMsg, OutPrepareHeader, OutLongMsg, OutUnprepareHeader,
        OutReset, OutClose,
        InGetDevCaps, InOpen, InPrepareHeader, InAddBuffer, InUnprepareHeader, InStart, InStop,
        InReset, InClose,
    };

    // One thing that reached an output device.
    struct TSent {
        uint32_t DeviceId;
        bool Long;
        uint32_t Word;              // short messages
        std::vector<uint8_t> Bytes; // long messages
    };

    TScriptedMidiBinding();
    ~TScriptedMidiBinding() override;

    // Set by the test before use (not while devices are open).
    std::vector<std::string> OutDevices;
    std::vector<std::string> InDevices;
    std::string MapperName = "Scripted mapper";
    // When true, long messages wait in the device until CompleteHeld or a reset.
    bool HoldLongMessages = false;

    // The next `times` calls of `call` fail with `code` (times < 0: all of them).
    void Fail(TCall call, TMidiResult code, int times = 1);

    // Records, in order. Calls holds the names of the device calls made
    // ("OutOpen", "InAddBuffer", ...), capability queries included.
    std::vector<TSent> Sent() const;
    std::vector<std::string> Calls() const;
    void ClearRecords();
    size_t OpenDeviceCount() const;

    // Completes every held long message (MOM_DONE on the calling thread).
    void CompleteHeld();
    // Input from the device `deviceId`, delivered on the calling thread when
    // that device is open and started; false when nothing was delivered.
    bool InjectShort(uint32_t deviceId, uint32_t message, uint32_t timestamp);
    // Fills queued buffers in order (a long message may fill several); false
    // when no buffer was left for some of the data.
    bool InjectSysex(uint32_t deviceId, const std::vector<uint8_t>& bytes, uint32_t timestamp);
    // Any notice, as a driver would send it (e.g. MIM_ERROR, MIM_LONGERROR).
    bool InjectNotice(uint32_t deviceId, uint32_t message, uintptr_t param1, uintptr_t param2);

    uint32_t OutGetNumDevs() override;
    TMidiResult OutGetDevCaps(uint32_t deviceId, TMidiOutCaps& caps) override;
    TMidiResult OutOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback,
                        uintptr_t instance, uint32_t flags) override;
    TMidiResult OutShortMsg(TMidiHandle handle, uint32_t message) override;
    TMidiResult OutPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult OutLongMsg(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult OutUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult OutReset(TMidiHandle handle) override;
    TMidiResult OutClose(TMidiHandle handle) override;
    bool OutGetErrorText(TMidiResult code, std::string& text) override;

    uint32_t InGetNumDevs() override;
    TMidiResult InGetDevCaps(uint32_t deviceId, TMidiInCaps& caps) override;
    TMidiResult InOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback,
                       uintptr_t instance, uint32_t flags) override;
    TMidiResult InPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult InAddBuffer(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult InUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult InStart(TMidiHandle handle) override;
    TMidiResult InStop(TMidiHandle handle) override;
    TMidiResult InReset(TMidiHandle handle) override;
    TMidiResult InClose(TMidiHandle handle) override;
    bool InGetErrorText(TMidiResult code, std::string& text) override;

private:
    struct TDevice {
        bool Input = false;
        uint32_t DeviceId = 0;
        TMidiCallback Callback = nullptr;
        uintptr_t Instance = 0;
        bool Started = false;
        std::deque<TMidiHdr*> Queue; // held output headers or queued input buffers
    };
    struct TFailure {
        TMidiResult Code;
        int Times;
    };

    // Records the call; returns the injected failure for it, or 0.
    TMidiResult Enter(TCall call);
    TDevice* Find(TMidiHandle handle, bool input);
    // Enter, then Find: the injected failure, or MMSYSERR_INVALHANDLE when the
    // handle is no open device of that direction; else `device` is set.
    TMidiResult EnterDevice(TCall call, TMidiHandle handle, bool input, TDevice*& device);
    // Hands back every held output header, done (MOM_DONE).
    void ReturnHeld(TMidiHandle handle, TDevice& device);
    TMidiResult Open(TMidiHandle& handle, bool input, uint32_t deviceId, TMidiCallback callback,
                     uintptr_t instance);
    TMidiResult Prepare(TMidiHandle handle, bool input, TMidiHdr* header, uint32_t size, TCall call);
    TMidiResult Unprepare(TMidiHandle handle, bool input, TMidiHdr* header, uint32_t size, TCall call);
    TMidiResult Close(TMidiHandle handle, bool input, TCall call);

    mutable std::recursive_mutex FMutex;
    std::map<TCall, TFailure> FFailures;
    std::map<TMidiHandle, TDevice> FDevices;
    TMidiHandle FNextHandle = 1;
    std::vector<TSent> FSent;
    std::vector<std::string> FCalls;
};

} // namespace zw
