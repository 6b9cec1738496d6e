#include "support/JackPeer.h"


namespace zw {

namespace {

// The records of the peers that have gone, kept until the process ends.
std::vector<std::shared_ptr<void>>& GoneRecords()
{
    static std::vector<std::shared_ptr<void>> records;
    return records;
}

} // namespace

TJackPeer::TJackPeer(const std::string& name) : FName(name), FRecord(std::make_shared<TRecord>())
{
    FIn = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, FName + "-in", 10000);
    FIn->ignoreTypes(false, false, false);
    FIn->setCallback(&TJackPeer::Arrived, FRecord.get());
    FIn->openVirtualPort("in");
    FOut = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, FName + "-out");
    FOut->openVirtualPort("out");
}

TJackPeer::~TJackPeer()
{
    FListener.reset();
    FIn.reset();
    {
        std::lock_guard lock(FRecord->Mutex);
        FRecord->Received = {};
        FRecord->Times = {};
    }
    GoneRecords().push_back(std::move(FRecord));
}

void TJackPeer::Send(const TMidiBytes& message)
{
    FOut->sendMessage(message.data(), message.size());
}

bool TJackPeer::ListenTo(const std::string& portNameEnd)
{
    FListener = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, FName + "-listen", 10000);
    FListener->ignoreTypes(false, false, false);
    FListener->setCallback(&TJackPeer::Arrived, FRecord.get());
    for (unsigned i = 0; i < FListener->getPortCount(); ++i) {
        const std::string port = FListener->getPortName(i);
        if (port.size() >= portNameEnd.size() && port.compare(port.size() - portNameEnd.size(), portNameEnd.size(), portNameEnd) == 0) {
            FListener->openPort(i, "listen");
            return FListener->isPortOpen();
        }
    }
    return false;
}

void TJackPeer::Arrived(double, std::vector<unsigned char>* message, void* record)
{
    auto& into = *static_cast<TRecord*>(record);
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(into.Mutex);
        into.Received.emplace_back(message->begin(), message->end());
        into.Times.push_back(now);
    }
    into.Arrival.notify_all();
}

bool TJackPeer::WaitFor(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(FRecord->Mutex);
    return FRecord->Arrival.wait_for(lock, timeout, [&] { return FRecord->Received.size() >= count; });
}

std::vector<TMidiBytes> TJackPeer::Received()
{
    std::lock_guard lock(FRecord->Mutex);
    return FRecord->Received;
}

std::vector<std::chrono::steady_clock::time_point> TJackPeer::ArrivalTimes()
{
    std::lock_guard lock(FRecord->Mutex);
    return FRecord->Times;
}

void TJackPeer::Clear()
{
    std::lock_guard lock(FRecord->Mutex);
    FRecord->Received.clear();
    FRecord->Times.clear();
}

} // namespace zw
