#include "support/JackPeer.h"


namespace zw {

TJackPeer::TJackPeer(const std::string& name) : FName(name)
{
    FIn = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, FName + "-in", 10000);
    FIn->ignoreTypes(false, false, false);
    FIn->setCallback(&TJackPeer::Arrived, this);
    FIn->openVirtualPort("in");
    FOut = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, FName + "-out");
    FOut->openVirtualPort("out");
}

TJackPeer::~TJackPeer()
{
    // The receiving clients go first: their callbacks write into the records.
    FListener.reset();
    FIn.reset();
}

void TJackPeer::Send(const TMidiBytes& message)
{
    FOut->sendMessage(message.data(), message.size());
}

bool TJackPeer::ListenTo(const std::string& portNameEnd)
{
    FListener = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, FName + "-listen", 10000);
    FListener->ignoreTypes(false, false, false);
    FListener->setCallback(&TJackPeer::Arrived, this);
    for (unsigned i = 0; i < FListener->getPortCount(); ++i) {
        const std::string port = FListener->getPortName(i);
        if (port.size() >= portNameEnd.size() && port.compare(port.size() - portNameEnd.size(), portNameEnd.size(), portNameEnd) == 0) {
            FListener->openPort(i, "listen");
            return FListener->isPortOpen();
        }
    }
    return false;
}

void TJackPeer::Arrived(double, std::vector<unsigned char>* message, void* self)
{
    auto* peer = static_cast<TJackPeer*>(self);
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(peer->FMutex);
        peer->FReceived.emplace_back(message->begin(), message->end());
        peer->FTimes.push_back(now);
    }
    peer->FArrival.notify_all();
}

bool TJackPeer::WaitFor(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(FMutex);
    return FArrival.wait_for(lock, timeout, [&] { return FReceived.size() >= count; });
}

std::vector<TMidiBytes> TJackPeer::Received()
{
    std::lock_guard lock(FMutex);
    return FReceived;
}

std::vector<std::chrono::steady_clock::time_point> TJackPeer::ArrivalTimes()
{
    std::lock_guard lock(FMutex);
    return FTimes;
}

void TJackPeer::Clear()
{
    std::lock_guard lock(FMutex);
    FReceived.clear();
    FTimes.clear();
}

} // namespace zw
