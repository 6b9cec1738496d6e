#include "audio/RemoteInstrument.h"

#include "audio/Lv2World.h"
#include "audio/PluginHostProcess.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>

namespace zw {

TRemoteInstrument::TRemoteInstrument(std::string uri, double sampleRate)
    : FUri(std::move(uri)), FRate(sampleRate), FHostRate(sampleRate)
{
    FHost = std::make_unique<TPluginHostProcess>(TPluginHostStart{FUri, sampleRate, TPluginShared::kMaxFrames, false});
    FName = FHost->Name();
    FWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FWake < 0)
        throw ELv2Error("The LV2 instrument \"" + FName + "\" cannot be watched: no event descriptor.");
    FPeriodRate = sampleRate;
    FLink = FHost.get();
    FSupervisor = std::thread([this] { Supervise(); });
}

TRemoteInstrument::~TRemoteInstrument()
{
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    Wake();
    FSupervisor.join();
    ::close(FWake);
}

void TRemoteInstrument::Wake() noexcept
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(FWake, &one, sizeof one);
}

void TRemoteInstrument::Notice(const std::string& text) { FNotices.push_back(text); }

std::vector<std::string> TRemoteInstrument::TakeNotices()
{
    std::lock_guard lock(FMutex);
    return std::exchange(FNotices, {});
}

void TRemoteInstrument::SetGenome(const uint8_t* genes, size_t count)
{
    std::lock_guard lock(FMutex);
    FGenome.assign(genes, genes + std::min<size_t>(count, TPluginShared::kMaxGenes));
    if (FHost)
        FHost->Shared().WriteGenome(FGenome.data(), static_cast<uint32_t>(FGenome.size()));
    FGenomeChanged = true;
    if (FPolicy.Waiting())
        Wake();
}

void TRemoteInstrument::SavePreset(const std::string& bundle, const std::string& label)
{
    std::lock_guard lock(FMutex);
    if (!FHost)
        throw ELv2Error("The LV2 instrument \"" + FName + "\" is not running just now; its preset is not saved.");
    FHost->SavePreset(bundle, label);
}

void TRemoteInstrument::Prepare(double sampleRate, uint32_t)
{
    FPeriodRate = sampleRate;
    std::lock_guard lock(FMutex);
    FRate = sampleRate;
    if (FRate != FHostRate)
        Wake();
}

void TRemoteInstrument::Silence() noexcept { FFlags |= TPluginShared::kSilence; }

// Audio thread.
void TRemoteInstrument::Process(const TMidiEvent* events, size_t count, float* left, float* right,
                                uint32_t frames) noexcept
{
    auto silence = [&] {
        if (frames > 0) {
            std::fill(left, left + frames, 0.0f);
            std::fill(right, right + frames, 0.0f);
        }
    };
    FInProcess.store(true);
    TPluginHostProcess* host = FLink.load();
    if (host != FAudioHost) { // a new host begins silent
        FAudioHost = host;
        FMissed = 0;
        FFlags = 0;
    }
    if (!host || frames == 0) {
        if (host)
            host->Hold(events, count);
        silence();
        FInProcess.store(false);
        return;
    }
    const double period = frames / FPeriodRate.load(std::memory_order_relaxed);
    const int64_t deadline = MonotonicNanoseconds() + static_cast<int64_t>(period * kDeadlineShare * 1e9);
    bool done = !host->Busy() || host->WaitDone(deadline); // a run that was late may end now; its output is stale
    if (done) {
        host->Post(events, count, frames, FFlags);
        FFlags = 0;
        done = host->WaitDone(deadline);
    } else {
        host->Hold(events, count);
    }
    if (!done) {
        FLate.fetch_add(1, std::memory_order_relaxed);
        if (++FMissed == 2) { // busy through a second period: hung (or gone)
            FFault.store(kHung);
            Wake();
        }
        silence();
        FInProcess.store(false);
        return;
    }
    FMissed = 0;
    const TPluginShared& shared = host->Shared();
    bool finite = true;
    for (uint32_t i = 0; i < frames; ++i)
        finite = finite && std::isfinite(shared.Left[i]) && std::isfinite(shared.Right[i]);
    if (finite) {
        std::copy(shared.Left, shared.Left + frames, left);
        std::copy(shared.Right, shared.Right + frames, right);
    } else {
        silence();
        FFlags |= TPluginShared::kReset;
        FNonFinite.fetch_add(1, std::memory_order_relaxed);
        Wake();
    }
    FInProcess.store(false);
}

void TRemoteInstrument::Retire()
{
    FLink.store(nullptr);
    while (FInProcess.load()) // the audio thread finishes the period it took the host for
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    FHost.reset();
}

bool TRemoteInstrument::StartHost(std::unique_lock<std::mutex>& lock)
{
    const double rate = FRate;
    std::unique_ptr<TPluginHostProcess> host;
    std::string failure;
    lock.unlock(); // loading takes a while; genomes and notices are taken meanwhile
    try {
        host = std::make_unique<TPluginHostProcess>(TPluginHostStart{FUri, rate, TPluginShared::kMaxFrames, false});
    } catch (const ELv2Error& error) {
        failure = error.Message();
    }
    lock.lock();
    if (!host) {
        Notice(failure);
        return false;
    }
    host->Shared().WriteGenome(FGenome.data(), static_cast<uint32_t>(FGenome.size()));
    FHost = std::move(host);
    FHostRate = rate;
    FRestarts.fetch_add(1);
    FLink.store(FHost.get());
    return true;
}

void TRemoteInstrument::HandleFailure(const std::string& what, std::unique_lock<std::mutex>& lock)
{
    const std::string instrument = "The LV2 instrument \"" + FName + "\" ";
    for (;;) {
        switch (FPolicy.Failed(TRestartPolicy::TClock::now(), FGenome)) {
        case TRestartPolicy::TVerdict::Off:
            Notice(instrument + what + ". It failed " + std::to_string(TRestartPolicy::kMaxFailures) +
                   " times within a minute and stays off until it is chosen again.");
            FOff = true;
            return;
        case TRestartPolicy::TVerdict::WaitForAnotherGenome:
            Notice(instrument + what + ". This genome made it fail twice: it stays silent until another one is heard.");
            return;
        case TRestartPolicy::TVerdict::Restart:
            Notice(instrument + what + "; it starts again.");
            if (StartHost(lock)) {
                Notice(instrument + "plays again.");
                return;
            }
            break; // a start that fails is one more failure
        }
    }
}

void TRemoteInstrument::Supervise()
{
    std::unique_lock lock(FMutex);
    while (!FStopping) {
        pollfd fds[3] = {{FWake, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        if (FHost) {
            fds[1].fd = FHost->ProcessFd();
            fds[2].fd = FHost->LogFd();
        }
        lock.unlock();
        poll(fds, 3, 500);
        uint64_t wakes = 0;
        [[maybe_unused]] const ssize_t got = ::read(FWake, &wakes, sizeof wakes);
        lock.lock();
        if (FStopping || FOff)
            break;
        if (FHost)
            FHost->DrainLog();
        // At most once a second: a plug-in that puts out NaN on every block
        // would otherwise flood the status line and the log.
        const uint64_t nonFinite = FNonFinite.load();
        const auto now = std::chrono::steady_clock::now();
        if (nonFinite != FNonFiniteTold && now - FNonFiniteToldAt >= std::chrono::seconds(1)) {
            FNonFiniteTold = nonFinite;
            FNonFiniteToldAt = now;
            Notice("The LV2 instrument \"" + FName + "\" put out NaN or infinity (" + std::to_string(nonFinite) +
                   " blocks so far); those blocks are silent and it was reset.");
        }
        const bool hung = FFault.exchange(kNoFault) == kHung;
        if (FHost && (FHost->Exited() || hung)) {
            FLink.store(nullptr);
            FHost->Kill(); // a host that was dying of a crash of its own (a core being written) keeps that ending
            const std::string what = FHost->Killed() ? "stopped answering and was ended" : FHost->Ending();
            FHost->DrainLog();
            Retire();
            HandleFailure(what, lock);
            FGenomeChanged = false;
            continue;
        }
        if (!FHost && FGenomeChanged && FPolicy.GenomeChanged(FGenome)) {
            if (StartHost(lock))
                Notice("The LV2 instrument \"" + FName + "\" plays again with the new genome.");
            else
                HandleFailure("would not start", lock);
        }
        FGenomeChanged = false;
        if (FHost && FRate != FHostRate) { // a new output rate: not a failure
            Retire();
            if (!StartHost(lock))
                HandleFailure("would not start at the new sample rate", lock);
        }
    }
    if (FHost)
        Retire();
}

} // namespace zw
