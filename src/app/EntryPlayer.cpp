#include "app/EntryPlayer.h"

#include "audio/Lv2RenderHost.h"
#include "audio/SynthInstrument.h"
#include "worms/Gene.h"

#include <cmath>

namespace zw {

TEntryPlayer::TEntryPlayer(const TSubstitution& rules, const TSynthSettings& synth, int channel,
                           TLv2RenderHost* lv2, const TEntryNote& note)
    : FRules(rules), FSynth(synth), FChannel(channel & 0x0F), FLv2(lv2), FNote(note)
{
    FPhrase.Notes = {static_cast<uint8_t>(note.Note & 0x7F)};
    FPhrase.Velocity = static_cast<uint8_t>(note.Velocity & 0x7F);
    FPhrase.Period = FPhrase.Length = std::chrono::milliseconds(std::llround(note.Seconds * 1000));
}

TWormTake TEntryPlayer::Take(const TGene& genome) const
{
    // On an LV2 instrument the genes are parameters: the take holds the notes only.
    if (FLv2)
        return TWormTake(FChannel);
    return TWormTake(FRules, FChannel, FSynth.Programs[static_cast<size_t>(FChannel) % FSynth.Programs.size()], genome);
}

std::unique_ptr<TAudioInstrument> TEntryPlayer::Instrument(const TGene& genome) const
{
    if (!FLv2)
        return std::make_unique<TSynthInstrument>(FSynth);
    return FLv2->Instrument(genome.Data(), static_cast<size_t>(genome.Size()));
}

void TEntryPlayer::Render(const TGene& genome, const TOfflineRenderSink& sink) const
{
    Take(genome).Render(Instrument(genome), FPhrase, FNote.Seconds, sink, FNote.Release);
}

void TEntryPlayer::Save(const TGene& genome, const std::string& fileName) const
{
    Take(genome).SaveSound(Instrument(genome), FPhrase, FNote.Seconds, fileName, FNote.Release);
}

} // namespace zw
