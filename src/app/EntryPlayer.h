#pragma once

#include "app/WormTake.h"
#include "synth/SynthSettings.h"

#include <memory>
#include <string>
#include <vector>

namespace zw {

class TGene;
class TLv2RenderHost;
class TSubstitution;

// One held note, as zwirbels-render plays every entry and the sound matcher
// every candidate.
struct TEntryNote {
    int Note = 60;
    int Velocity = 100;
    double Seconds = 2;
    double Release = TWormTake::kDefaultReleaseSeconds;
};

// Plays genomes as zwirbels-render does, the one place that decides how: on
// an LV2 instrument (through `lv2`, the genes its parameters, no rules), or
// on the built-in synthesizer (`synth`, a new one per genome: its program on
// `channel`, then the genome as `rules` translate it). The rules and the host
// must outlive the player.
class TEntryPlayer {
public:
    TEntryPlayer(const TSubstitution& rules, const TSynthSettings& synth, int channel, TLv2RenderHost* lv2,
                 const TEntryNote& note);

    // What SaveSound would write for `genome`, block by block (48 kHz,
    // stereo). Raises what spoiled the render.
    void Render(const TGene& genome, const TOfflineRenderSink& sink) const;
    // Writes it as a WAV file; raises as TWormTake::SaveSound does.
    void Save(const TGene& genome, const std::string& fileName) const;

private:
    TWormTake Take(const TGene& genome) const;
    std::unique_ptr<TAudioInstrument> Instrument(const TGene& genome) const;

    const TSubstitution& FRules;
    TSynthSettings FSynth;
    int FChannel;
    TLv2RenderHost* FLv2;
    TEntryNote FNote;
    TAuditionPhrase FPhrase;
};

} // namespace zw
