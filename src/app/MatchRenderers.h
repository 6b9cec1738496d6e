#pragma once

#include "match/MatchJob.h"
#include "rules/Substitution.h"
#include "synth/SynthSettings.h"

#include <memory>
#include <string>

namespace zw {

// What a breeder plays, as the matcher hears it: an installed LV2 instrument
// taking the genes as its parameters, or the built-in synthesizer playing the
// genes as the rules translate them.
struct TMatchInstrument {
    std::string Lv2Uri;                          // empty: the built-in synthesizer
    std::shared_ptr<const TSubstitution> Rules;  // for the built-in synthesizer
    TSynthSettings Synth;                        // its SoundFont and programs
    int Channel = 0;
};

// The note every candidate plays, exactly as zwirbels-render plays an entry
// with the same note, velocity and --seconds.
struct TMatchNote {
    int Note = 60;
    int Velocity = 100;
    double Seconds = 1;
};

// When an instrument that cannot play is told.
enum class TInstrumentCheck {
    First,      // MakeRenderers raises it, before any worker starts
    ByTheJob,   // the search ends with it as its Error, at its first batch; nothing runs on the caller's thread
};

// One renderer per worker thread; an LV2 instrument renders in its own host
// process, one instance serving every candidate of that worker. With
// TInstrumentCheck::First, raises what makes the instrument unusable (an
// instrument that cannot be hosted, naming its URI).
TRendererFactory MakeRenderers(const TMatchInstrument& instrument, const TMatchNote& note,
                               TInstrumentCheck check = TInstrumentCheck::First);

// The genes a search of an installed LV2 instrument moves: its breedable
// controls, each over its whole range, starting from its defaults, in a
// genome of at least `genomeSize` genes. ELv2Error when it is not installed
// or has no breedable control.
TMatchSpace Lv2MatchSpace(const std::string& uri, int genomeSize);
// The genes with an active rule, each over its whole range, starting in the
// middle; none when no rule is active.
TMatchSpace RulesMatchSpace(const TSubstitution& rules, int genomeSize);

} // namespace zw
