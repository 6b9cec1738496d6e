#include "midi/MidiScheduler.h"

#include "common/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace zw {

namespace {

// Below JACK's own threads (which default to 10 and above) on a typical audio setup.
constexpr int kRealtimePriority = 5;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kChannelPressure = 0xD0;

bool IsChannelMessage(uint8_t status) { return status >= 0x80 && status < 0xF0; }

// Keeps `sounding` up to date with a thru message, so its notes can be ended.
void Track(std::bitset<128>& sounding, uint8_t kind, uint8_t data1, uint8_t data2)
{
    if (kind == kNoteOn && data2 > 0)
        sounding.set(data1);
    else if (kind == kNoteOn || kind == kNoteOff)
        sounding.reset(data1);
}

} // namespace

TMidiScheduler::TMidiScheduler()
{
    FThread = std::thread([this] { Run(); });
    // Where the system grants it (an audio group's rtprio), notes keep time
    // also on a busy machine; elsewhere the thread runs at normal priority.
    sched_param priority{};
    priority.sched_priority = kRealtimePriority;
    pthread_setschedparam(FThread.native_handle(), SCHED_FIFO, &priority);
}

TMidiScheduler::~TMidiScheduler()
{
    {
        std::lock_guard lock(FMutex);
        for (TVoice& voice : FVoices)
            EndNote(voice);
        EndThruNotes();
        FStopping = true;
    }
    Wake();
    FThread.join();
}

void TMidiScheduler::SetOutput(TMidiBinding* binding, TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    if (!binding || !handle) {
        binding = nullptr;
        handle = 0;
    }
    if (binding == FBinding && handle == FHandle)
        return;
    for (TVoice& voice : FVoices)
        EndNote(voice);
    EndThruNotes();
    FBinding = binding;
    FHandle = handle;
    // What failed on the former output says nothing of this one.
    FFirstFailure.store(MMSYSERR_NOERROR);
}

void TMidiScheduler::SetPhrase(const TAuditionPhrase& phrase)
{
    {
        std::lock_guard lock(FMutex);
        FPhrase = phrase;
        // A period of 0 would play without pause; a note longer than its
        // period would overlap the next one.
        FPhrase.Period = std::max(FPhrase.Period, std::chrono::milliseconds(1));
        FPhrase.Length = std::clamp(FPhrase.Length, std::chrono::milliseconds(1), FPhrase.Period);
        FPhrase.Velocity = std::clamp<uint8_t>(FPhrase.Velocity, 1, 127);
        for (uint8_t& note : FPhrase.Notes)
            note &= 0x7F;
        for (TVoice& voice : FVoices)
            voice.Next = FPhrase.Notes.empty() ? 0 : voice.Next % FPhrase.Notes.size();
    }
    Wake();
}

void TMidiScheduler::SetPlaying(bool playing)
{
    {
        std::lock_guard lock(FMutex);
        if (playing == FPlaying)
            return;
        FPlaying = playing;
        const auto now = TClock::now();
        for (TVoice& voice : FVoices) {
            EndNote(voice);
            voice.NoteOn = TClock::time_point::max();
            if (playing && voice.Active)
                StartVoice(voice, now);
        }
    }
    Wake();
}

bool TMidiScheduler::Playing() const
{
    std::lock_guard lock(FMutex);
    return FPlaying;
}

void TMidiScheduler::SetVoice(int voice, bool active, uint8_t channel)
{
    if (voice < 0 || voice >= kVoiceCount)
        return;
    channel &= 0x0F;
    {
        std::lock_guard lock(FMutex);
        TVoice& v = FVoices[static_cast<size_t>(voice)];
        if (!active || channel != v.Channel)
            EndNote(v);
        const bool starts = active && !v.Active;
        v.Active = active;
        v.Channel = channel;
        if (!active)
            v.NoteOn = TClock::time_point::max();
        else if (starts && FPlaying)
            StartVoice(v, TClock::now());
    }
    Wake();
}

void TMidiScheduler::Restart(int voice)
{
    if (voice < 0 || voice >= kVoiceCount)
        return;
    {
        std::lock_guard lock(FMutex);
        TVoice& v = FVoices[static_cast<size_t>(voice)];
        if (!FPlaying || !v.Active)
            return;
        EndNote(v);
        StartVoice(v, TClock::now());
    }
    Wake();
}

void TMidiScheduler::SetVoiceSink(int voice, TMidiVoiceSink* sink)
{
    if (voice < 0 || voice >= kVoiceCount)
        return;
    std::lock_guard lock(FMutex);
    TVoice& v = FVoices[static_cast<size_t>(voice)];
    if (sink == v.Sink)
        return;
    EndNote(v);
    EndThruNotes();
    v.Sink = sink;
}

void TMidiScheduler::SetThruRoutes(const TThruRoutes& routes, const TThruVoices& voices)
{
    std::lock_guard lock(FMutex);
    if (routes == FThruRoutes && voices == FThruVoices)
        return;
    // A note-off arriving later would follow the new routes and miss its note.
    EndThruNotes();
    FThruRoutes = routes;
    FThruVoices = voices;
}

void TMidiScheduler::SourceClosed()
{
    std::lock_guard lock(FMutex);
    DrainThru();
    EndThruNotes();
}

void TMidiScheduler::Receive(uint32_t message) noexcept
{
    if (!IsChannelMessage(static_cast<uint8_t>(message)))
        return;
    if (!FThruQueue.TryPush(message))
        FThruDropped.fetch_add(1, std::memory_order_relaxed);
    Wake();
}

void TMidiScheduler::Run()
{
    std::unique_lock lock(FMutex);
    while (!FStopping) {
        DrainThru();
        const TClock::time_point next = PlayDue(TClock::now());
        lock.unlock();
        WaitUntil(next);
        lock.lock();
    }
}

TMidiScheduler::TClock::time_point TMidiScheduler::PlayDue(TClock::time_point now)
{
    TClock::time_point next = TClock::time_point::max();
    if (!FPlaying)
        return next;
    for (TVoice& voice : FVoices) {
        if (!voice.Active)
            continue;
        PlayVoice(voice, now);
        next = std::min({next, voice.NoteOn, voice.NoteOff});
    }
    return next;
}

void TMidiScheduler::PlayVoice(TVoice& voice, TClock::time_point now)
{
    while (std::min(voice.NoteOn, voice.NoteOff) <= now) {
        if (voice.NoteOff <= voice.NoteOn) {
            EndNote(voice);
            continue;
        }
        EndNote(voice);
        if (FPhrase.Notes.empty()) {
            voice.NoteOn = TClock::time_point::max();
            return;
        }
        const uint8_t note = FPhrase.Notes[voice.Next];
        voice.Next = (voice.Next + 1) % FPhrase.Notes.size();
        SendVoice(voice, static_cast<uint8_t>(kNoteOn | voice.Channel), note, FPhrase.Velocity);
        voice.Sounding = note;
        // A voice that fell a whole period behind (the machine stalled) goes
        // on from now instead of catching up in a burst.
        const TClock::time_point start = voice.NoteOn + FPhrase.Period <= now ? now : voice.NoteOn;
        voice.NoteOff = start + FPhrase.Length;
        voice.NoteOn = start + FPhrase.Period;
    }
}

void TMidiScheduler::StartVoice(TVoice& voice, TClock::time_point at)
{
    voice.Next = 0;
    voice.NoteOn = at;
}

void TMidiScheduler::EndNote(TVoice& voice)
{
    if (voice.Sounding >= 0)
        SendVoice(voice, static_cast<uint8_t>(kNoteOff | voice.Channel), static_cast<uint8_t>(voice.Sounding), 0);
    voice.Sounding = -1;
    voice.NoteOff = TClock::time_point::max();
}

void TMidiScheduler::EndThruNotes()
{
    for (size_t channel = 0; channel < FThruSounding.size(); ++channel) {
        std::bitset<128>& sounding = FThruSounding[channel];
        for (size_t note = 0; note < sounding.size() && sounding.any(); ++note)
            if (sounding.test(note)) {
                Send(static_cast<uint8_t>(kNoteOff | channel), static_cast<uint8_t>(note), 0);
                sounding.reset(note);
            }
    }
    for (size_t v = 0; v < FVoices.size(); ++v) {
        std::bitset<128>& sounding = FThruVoiceSounding[v];
        for (size_t note = 0; note < sounding.size() && sounding.any(); ++note)
            if (sounding.test(note)) {
                SendVoice(FVoices[v], static_cast<uint8_t>(kNoteOff | FVoices[v].Channel), static_cast<uint8_t>(note), 0);
                sounding.reset(note);
            }
    }
}

void TMidiScheduler::DrainThru()
{
    uint32_t message = 0;
    while (FThruQueue.TryPop(message))
        PassThru(message);
}

void TMidiScheduler::PassThru(uint32_t message)
{
    const auto status = static_cast<uint8_t>(message);
    const uint8_t kind = status & 0xF0;
    const uint16_t routes = FThruRoutes[status & 0x0F];
    const auto data1 = static_cast<uint8_t>(message >> 8 & 0x7F);
    const auto data2 = static_cast<uint8_t>(kind == kProgramChange || kind == kChannelPressure ? 0 : message >> 16 & 0x7F);
    const bool blocked = FThruFilter.Blocks(message);
    const bool noteOff = kind == kNoteOff || (kind == kNoteOn && data2 == 0);
    for (uint8_t channel = 0; channel < kMidiChannels; ++channel) {
        if (!(routes >> channel & 1))
            continue;
        // A note learned while held still gets its note-off.
        if (blocked && !(noteOff && FThruSounding[channel].test(data1)))
            continue;
        Send(static_cast<uint8_t>(kind | channel), data1, data2);
        Track(FThruSounding[channel], kind, data1, data2);
    }
    const uint8_t voices = FThruVoices[status & 0x0F];
    for (size_t v = 0; v < FVoices.size(); ++v) {
        if (!(voices >> v & 1) || !FVoices[v].Sink)
            continue;
        if (blocked && !(noteOff && FThruVoiceSounding[v].test(data1)))
            continue;
        SendVoice(FVoices[v], static_cast<uint8_t>(kind | FVoices[v].Channel), data1, data2);
        Track(FThruVoiceSounding[v], kind, data1, data2);
    }
}

void TMidiScheduler::SendVoice(const TVoice& voice, uint8_t status, uint8_t data1, uint8_t data2)
{
    if (!voice.Sink)
        return Send(status, data1, data2);
    voice.Sink->Play(status | static_cast<uint32_t>(data1) << 8 | static_cast<uint32_t>(data2) << 16);
    FSent.fetch_add(1, std::memory_order_release);
}

void TMidiScheduler::Send(uint8_t status, uint8_t data1, uint8_t data2)
{
    if (!FBinding)
        return;
    const uint32_t message = status | static_cast<uint32_t>(data1) << 8 | static_cast<uint32_t>(data2) << 16;
    if (const TMidiResult result = FBinding->OutShortMsg(FHandle, message)) {
        FSendFailures.fetch_add(1, std::memory_order_relaxed);
        TMidiResult none = MMSYSERR_NOERROR;
        FFirstFailure.compare_exchange_strong(none, result);
    }
    FSent.fetch_add(1, std::memory_order_release);
}

void TMidiScheduler::Wake() noexcept
{
    FWake.Signal();
}

void TMidiScheduler::WaitUntil(TClock::time_point deadline)
{
    pollfd wake{FWake.Fd(), POLLIN, 0};
    timespec timeout{};
    const timespec* limit = nullptr;
    if (deadline != TClock::time_point::max()) {
        const auto left = std::max(deadline - TClock::now(), TClock::duration::zero());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        timeout.tv_sec = static_cast<time_t>(seconds.count());
        timeout.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count());
        limit = &timeout;
    }
    if (ppoll(&wake, 1, limit, nullptr) > 0)
        FWake.Drain();
}

} // namespace zw
