#include "audio/Lv2RenderHost.h"

#include "audio/Lv2World.h"
#include "audio/PluginHostProcess.h"

#include <algorithm>
#include <cmath>

namespace zw {

// The engine's view of the host for one render.
class TLv2RenderHost::TInstrument final : public TAudioInstrument {
public:
    explicit TInstrument(TLv2RenderHost& host) : FHost(host) {}

    void Prepare(double sampleRate, uint32_t) override { FHost.Prepare(sampleRate); }
    void Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames) noexcept override
    {
        FHost.Process(events, count, left, right, frames);
    }
    void Silence() noexcept override { FHost.FFlags |= TPluginShared::kSilence; }
    void CheckRender() const override { FHost.Check(); }

private:
    TLv2RenderHost& FHost;
};

namespace {

// One render's instrument together with the host it plays through.
class TOwningInstrument final : public TAudioInstrument {
public:
    TOwningInstrument(std::unique_ptr<TLv2RenderHost> host, const uint8_t* genes, size_t count)
        : FHost(std::move(host)), FInstrument(FHost->Instrument(genes, count))
    {
    }
    void Prepare(double sampleRate, uint32_t maxFrames) override { FInstrument->Prepare(sampleRate, maxFrames); }
    void Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames) noexcept override
    {
        FInstrument->Process(events, count, left, right, frames);
    }
    void Silence() noexcept override { FInstrument->Silence(); }
    void CheckRender() const override { FInstrument->CheckRender(); }

private:
    std::unique_ptr<TLv2RenderHost> FHost;
    std::unique_ptr<TAudioInstrument> FInstrument;
};

} // namespace

std::unique_ptr<TAudioInstrument> TLv2RenderHost::OneRender(const std::string& uri, const uint8_t* genes, size_t count)
{
    return std::make_unique<TOwningInstrument>(std::make_unique<TLv2RenderHost>(uri), genes, count);
}

TLv2RenderHost::TLv2RenderHost(std::string uri, double sampleRate) : FUri(std::move(uri)), FSampleRate(sampleRate)
{
    Prepare(sampleRate);
    if (!FHost)
        throw ELv2Error(FFailure);
    FName = FHost->Name();
}

TLv2RenderHost::~TLv2RenderHost() = default;

void TLv2RenderHost::Prepare(double sampleRate)
{
    if (FHost && sampleRate == FSampleRate)
        return;
    FSampleRate = sampleRate;
    FHost.reset();
    try {
        FHost = std::make_unique<TPluginHostProcess>(TPluginHostStart{FUri, sampleRate, TPluginShared::kMaxFrames, true});
        ++FStarts;
        FHost->Shared().WriteGenome(FGenes.data(), static_cast<uint32_t>(FGenes.size()));
    } catch (const ELv2Error& error) {
        FFailure = error.Message();
    }
}

void TLv2RenderHost::Begin(const uint8_t* genes, size_t count)
{
    FGenes.assign(genes, genes + count);
    FFailure.clear();
    Prepare(FSampleRate);
    if (FHost)
        FHost->Shared().WriteGenome(genes, static_cast<uint32_t>(count));
    FFlags = TPluginShared::kReset; // every render starts from the same voice
}

std::unique_ptr<TAudioInstrument> TLv2RenderHost::Instrument(const uint8_t* genes, size_t count)
{
    Begin(genes, count);
    return std::make_unique<TInstrument>(*this);
}

void TLv2RenderHost::Render(const uint8_t* genes, size_t count, const std::vector<TTimedMidi>& messages,
                            int64_t frames, const TOfflineRender::TSink& sink)
{
    TOfflineRender render(Instrument(genes, count), FSampleRate);
    render.Render(messages, frames, sink);
    Check();
}

void TLv2RenderHost::Fail(const std::string& what)
{
    if (FFailure.empty())
        FFailure = "The LV2 instrument \"" + FName + "\" " + what + ".";
    FHost->DrainLog();
    FHost.reset();
}

void TLv2RenderHost::Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames)
{
    if (frames == 0 || !FHost) {
        if (FHost)
            FHost->Hold(events, count);
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    FHost->Post(events, count, frames, FFlags);
    FFlags = 0;
    // A block is usually done within a fraction of a millisecond: watched
    // without sleeping for that long, then in slices, so that a host that
    // died is seen at once.
    const int64_t limit = MonotonicNanoseconds() + int64_t(kRunLimitMs) * 1'000'000;
    const uint32_t posted = FHost->Shared().Request.load(std::memory_order_relaxed);
    bool done = SpinWhile(FHost->Shared().Done, posted - 1, 200'000) && !FHost->Busy();
    while (!done && !FHost->Exited() && MonotonicNanoseconds() < limit)
        done = FHost->WaitDone(std::min(limit, MonotonicNanoseconds() + 20'000'000));
    const TPluginShared& shared = FHost->Shared();
    bool finite = done;
    for (uint32_t i = 0; finite && i < frames; ++i)
        finite = std::isfinite(shared.Left[i]) && std::isfinite(shared.Right[i]);
    if (finite) {
        std::copy(shared.Left, shared.Left + frames, left);
        std::copy(shared.Right, shared.Right + frames, right);
        return;
    }
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    if (done) {
        Fail("put out NaN or infinity");
        return;
    }
    FHost->Kill();
    if (FHost->Killed())
        Fail("stopped answering (" + std::to_string(kRunLimitMs / 1000) + " s on one block) and was ended");
    else
        Fail(FHost->Ending());
}

void TLv2RenderHost::Check()
{
    if (FHost)
        FHost->DrainLog(); // the plug-in's log lines of the render
    if (!FFailure.empty())
        throw ELv2Error(FFailure);
}

} // namespace zw
