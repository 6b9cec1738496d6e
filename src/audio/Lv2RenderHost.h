#pragma once

#include "audio/AudioInstrument.h"
#include "audio/OfflineRender.h"
#include "audio/TimedMidi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zw {

class TPluginHostProcess;

// An LV2 instrument rendered offline through a plug-in host of its own:
// File → Export sound, zwirbels-render and the sound matcher. One host
// serves a whole batch of renders, each with its own genome and the voice
// reset before it; the host runs whole engine blocks, its worker does the
// work within the request, and a plug-in that prepares its sound on threads
// of its own is given that time before the note. A plug-in that crashes,
// hangs or puts out NaN or infinity spoils one render, which then raises
// ELv2Error naming the instrument and what happened; the next render starts
// a new host.
//
// One thread uses it (with the instruments it hands out).
class TLv2RenderHost {
public:
    // Longest a run may take before the host counts as hung.
    static constexpr int kRunLimitMs = 5000;

    // Starts the host at once: ELv2Error when the instrument cannot be hosted.
    explicit TLv2RenderHost(std::string uri, double sampleRate = 48000);
    ~TLv2RenderHost();
    TLv2RenderHost(const TLv2RenderHost&) = delete;
    TLv2RenderHost& operator=(const TLv2RenderHost&) = delete;

    const std::string& Name() const { return FName; }
    // Hosts started so far: 1 until a render fails.
    int Starts() const { return FStarts; }

    // An instrument for one render (TOfflineRender, TWormTake::SaveSound)
    // playing `genes` through this host, which must outlive it; one at a time.
    // Its CheckRender raises what spoiled the render.
    std::unique_ptr<TAudioInstrument> Instrument(const uint8_t* genes, size_t count);
    // An instrument for one render that owns a host of its own (an export).
    // ELv2Error when the instrument cannot be hosted.
    static std::unique_ptr<TAudioInstrument> OneRender(const std::string& uri, const uint8_t* genes, size_t count);
    // Renders `messages` for `frames` frames with `genes` into `sink`.
    // ELv2Error when the plug-in failed (what `sink` got is then spoiled).
    void Render(const uint8_t* genes, size_t count, const std::vector<TTimedMidi>& messages, int64_t frames,
                const TOfflineRender::TSink& sink);

private:
    class TInstrument;

    void Begin(const uint8_t* genes, size_t count);
    void Prepare(double sampleRate);
    void Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames);
    void Fail(const std::string& what);
    void Check();

    std::string FUri;
    std::string FName;
    double FSampleRate;
    std::unique_ptr<TPluginHostProcess> FHost; // null after a failure, until the next render
    std::vector<uint8_t> FGenes;
    uint32_t FFlags = 0;
    std::string FFailure; // of the render under way
    int FStarts = 0;
};

} // namespace zw
