#pragma once

#include "common/Exceptions.h"
#include "midi/MidiPort.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace zw {

class EmidioutputError : public Exception {
public:
    using Exception::Exception;
};

// One MIDI output device. Select it by number (SetDeviceID) or by name
// (SetProductName) while closed, OpenPort, send, ClosePort. Every long
// message is released in the GUI thread when the driver reports it done.
class TMidiOutput : public TMidiPort {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TMidiOutput* sender)>;

    // `binding` null: the process-wide MidiBinding() (see MidiBinding.h).
    explicit TMidiOutput(QObject* owner = nullptr, TMidiBinding* binding = nullptr);
    ~TMidiOutput() override;

    uint32_t DeviceID() const { return FDeviceID; }
    // Selects a device by number (MIDI_MAPPER for the mapper) and reads its capabilities.
    void SetDeviceID(uint32_t value);
    const QString& ProductName() const { return FProductName; }
    // Selects a device by its exact name; raises when no device and not the mapper has it.
    void SetProductName(const QString& value);

    virtual bool OpenPort();
    // Resets and closes; false when the port was closed already.
    virtual bool ClosePort();
    virtual void SendEvent(const TMyMidiEvent& event);
    virtual void SendShort(uint8_t status, uint8_t data1, uint8_t data2);
    // The bytes as one long message, as they are; length 0 sends nothing.
    // Outside a batch, bytes that make no complete MIDI message are reported
    // (raised) once the complete ones have gone.
    virtual void SendLong(const uint8_t* data, uint16_t length);

    // Long messages sent from here on wait for EndBatch, which hands them to
    // the device together: one hand-off for all of them.
    void BeginBatch();
    // Raises the hand-off's failure (the messages before the refused one have
    // gone). Otherwise returns, per collected message in order, how many of
    // its bytes made no complete MIDI message and were not sent.
    std::vector<uint32_t> EndBatch();
    bool Batching() const { return FBatching; }

    // Raised after a long message has been completed and released.
    void SetOnmidioutput(TNotifyEvent handler) { FOnmidioutput = std::move(handler); }
    // Runs a send failure that arrives after its call had returned, so the
    // owner can tell it as it tells a failure of the call itself. Without
    // one, the failure is raised as the port's error.
    void SetOnSendFailed(std::function<void(std::function<void()> raise)> handler)
    {
        FOnSendFailed = std::move(handler);
    }

    // The report of bytes that made no complete message.
    static std::string IncompleteText(uint32_t bytes);

    bool IsOpen() const { return FOpen; }
    // The open device's handle, 0 while closed: for a sender of its own on another thread.
    TMidiHandle Handle() const { return FHandle; }
    TMidiResult LastError() const { return FError; }
    uint32_t DriverVersion() const { return FDriverVersion; }
    uint8_t Technology() const { return FTechnology; }
    uint16_t Voices() const { return FVoices; }
    uint16_t Notes() const { return FNotes; }
    uint16_t ChannelMask() const { return FChannelMask; }
    uint32_t Support() const { return FSupport; }
    // Long messages handed to the driver and not yet released.
    size_t OutstandingCount() const { return FOutstanding.size(); }

private:
    void NoticeReceived(TMidiNotice notice, uintptr_t param) override;
    // Hands the prepared headers over; those not queued are released, and the failure raised.
    void HandOver(TMidiHdr* const* headers, uint32_t count);
    bool DriverErrorText(TMidiResult code, std::string& text) const override;
    [[noreturn]] void Raise(const std::string& message) const override;

    uint32_t FDeviceID = 0;
    TMidiHandle FHandle = 0;
    bool FOpen = false;
    uint32_t FDriverVersion = 0;
    QString FProductName;
    uint8_t FTechnology = 0;
    uint16_t FVoices = 0;
    uint16_t FNotes = 0;
    uint16_t FChannelMask = 0;
    uint32_t FSupport = 0;
    TNotifyEvent FOnmidioutput;
    std::function<void(std::function<void()> raise)> FOnSendFailed;
    bool FBatching = false;
    std::vector<TMidiHdr*> FBatch; // prepared, not yet handed over
    // Owned here until their completion notice, so none is lost when the
    // port goes away with notices still queued.
    std::unordered_map<TMidiHdr*, std::unique_ptr<TMyMidiHdr>> FOutstanding;
};

// Collects the long messages sent through a port while it lives (see
// TMidiOutput::BeginBatch). Left without End, as when an exception ends the
// collecting, it hands them over all the same and raises nothing: the
// exception on its way is the one to report.
class TMidiOutBatch {
public:
    explicit TMidiOutBatch(TMidiOutput& port) : FPort(port) { FPort.BeginBatch(); }
    ~TMidiOutBatch();
    TMidiOutBatch(const TMidiOutBatch&) = delete;
    TMidiOutBatch& operator=(const TMidiOutBatch&) = delete;

    std::vector<uint32_t> End();

private:
    TMidiOutput& FPort;
};

} // namespace zw
