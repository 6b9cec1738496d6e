#pragma once

#include "common/Exceptions.h"
#include "midi/Circbuf.h"
#include "midi/MidiPort.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zw {

class TMidiThruSink;

class EMidiInputError : public Exception {
public:
    using Exception::Exception;
};

// One MIDI input device. The driver callback stores what arrives in a ring
// buffer of Capacity events (system-exclusive data in SysexBufferCount buffers
// of SysexBufferSize bytes); OnMidiInput is raised in the GUI thread once per
// stored event and OnOverflow once per event dropped for lack of room.
class TMidiInput : public TMidiPort {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TMidiInput* sender)>;

    // Selects device 0 if there is one. `binding` null: the process-wide
    // MidiBinding() (see MidiBinding.h).
    explicit TMidiInput(QObject* owner = nullptr, TMidiBinding* binding = nullptr);
    ~TMidiInput() override;

    uint32_t DeviceID() const { return FDeviceID; }
    // No effect without input devices.
    void SetDeviceID(uint32_t value);
    const QString& ProductName() const { return FProductName; }
    // A name that matches no device changes nothing and is no error.
    void SetProductName(const QString& value);

    uint16_t Capacity() const { return FCapacity; }
    // Takes effect at the next OpenPort; above kMaxRingCapacity that open fails.
    void SetCapacity(uint16_t value) { FCapacity = value; }
    uint16_t SysexBufferSize() const { return FSysexBufferSize; }
    void SetSysexBufferSize(uint16_t value);
    uint16_t SysexBufferCount() const { return FSysexBufferCount; }
    void SetSysexBufferCount(uint16_t value);
    bool SysexOnly() const { return FSysexOnly; }
    // Acts at once, also while open.
    void SetSysexOnly(bool value);
    // Short messages also go to `sink`, on the driver's thread, from now on;
    // null stops that. The sink must outlive the open port.
    void SetThruSink(TMidiThruSink* sink);
    // Result code of the last failed MIDI call (0 = none).
    TMidiResult Error() const { return FError; }

    // Opens the device and queues the sysex buffers. A failure is not raised:
    // the port stays closed and holds nothing; Error() tells the code.
    virtual void OpenPort();
    virtual void StartInput();
    virtual void StopInput();
    virtual void ClosePort();
    uint16_t PendingEventCount() const;
    // Takes the oldest stored event out of the ring buffer (GUI thread), so
    // the events are read in the order they came and the buffer never fills
    // while someone reads; false when none is waiting or the port is closed.
    bool TakeEvent(TRingEvent& event);

    void SetOnMidiInput(TNotifyEvent handler) { FOnMidiInput = std::move(handler); }
    void SetOnOverflow(TNotifyEvent handler) { FOnOverflow = std::move(handler); }

    bool IsOpen() const { return FState == TState::Open; }
    uint32_t DriverVersion() const { return FDriverVersion; }
    uint16_t ManufacturerID() const { return FManufacturerID; }
    uint16_t ProductID() const { return FProductID; }
    // The stored events (tests and future readers); empty while closed.
    const TMidiRingBuffer* RingBuffer() const { return FRingBuffer; }
    // The sysex buffer that a ring record's Header refers to; null if none.
    const TMyMidiHdr* SysexBuffer(uint32_t number) const;
    size_t SysexBufferListSize() const { return FSysexHeaders.size(); }

private:
    enum class TState { Creating, Closed, Open };

    void NoticeReceived(TMidiNotice notice, uintptr_t param) override;
    bool DriverErrorText(TMidiResult code, std::string& text) const override;
    [[noreturn]] void Raise(const std::string& message) const override;
    void OpenDevice();
    void ReleaseAfterFailedOpen();
    void ReleaseSysexBuffers();

    uint32_t FDeviceID = 0;
    TMidiHandle FHandle = 0;
    TState FState = TState::Creating;
    bool FSysexOnly = false;
    TMidiThruSink* FThruSink = nullptr;
    uint32_t FDriverVersion = 0;
    QString FProductName;
    uint16_t FManufacturerID = 0;
    uint16_t FProductID = 0;
    uint16_t FCapacity = 1024;
    TMidiRingBuffer* FRingBuffer = nullptr;
    TNotifyEvent FOnMidiInput;
    TNotifyEvent FOnOverflow;
    uint16_t FSysexBufferSize = 4096;
    uint16_t FSysexBufferCount = 16;
    std::vector<std::unique_ptr<TMyMidiHdr>> FSysexHeaders;
};

} // namespace zw
