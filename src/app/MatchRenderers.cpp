#include "app/MatchRenderers.h"

#include "app/EntryPlayer.h"
#include "audio/Lv2Ports.h"
#include "audio/Lv2RenderHost.h"
#include "audio/Lv2World.h"
#include "audio/SynthInstrument.h"
#include "worms/Gene.h"

#include <cmath>

namespace zw {
namespace {

// Plays candidates through a player and hears them as the target is heard.
// The buffers live as long as the renderer: no allocation per render once
// the first has sized them.
class TPlayerRenderer : public TRenderer {
public:
    TPlayerRenderer(const TMatchInstrument& instrument, const TMatchNote& note, std::unique_ptr<TLv2RenderHost> lv2)
        : FRules(instrument.Rules ? instrument.Rules : std::make_shared<const TSubstitution>()),
          FLv2(std::move(lv2)),
          FPlayer(*FRules, instrument.Synth, instrument.Channel, FLv2.get(),
                  {note.Note, note.Velocity, note.Seconds, TWormTake::kDefaultReleaseSeconds}),
          FFrames(static_cast<size_t>(std::llround(note.Seconds * 48000)))
    {
        FSound.reserve(FFrames + 4096);
    }

    std::vector<float> Render(const std::vector<uint8_t>& genes) override
    {
        FGenome.SetSize(static_cast<int32_t>(genes.size()));
        std::copy(genes.begin(), genes.end(), FGenome.Data());
        FSound.clear();
        FPlayer.Render(FGenome, [this](const float* left, const float* right, uint32_t frames) {
            for (uint32_t i = 0; i < frames; ++i)
                FSound.push_back(0.5f * (left[i] + right[i]));
        });
        TrimSound(FSound, FFrames);
        return FSound;
    }

private:
    std::shared_ptr<const TSubstitution> FRules;
    std::unique_ptr<TLv2RenderHost> FLv2; // null: the built-in synthesizer
    TEntryPlayer FPlayer;
    size_t FFrames;
    TGene FGenome;
    std::vector<float> FSound;
};

// The byte whose value lies nearest the port's default.
uint8_t DefaultByte(const TLv2ControlPort& port)
{
    int best = 0;
    for (int byte = 1; byte < 256; ++byte)
        if (std::fabs(port.ValueOf(static_cast<uint8_t>(byte)) - port.Default) <
            std::fabs(port.ValueOf(static_cast<uint8_t>(best)) - port.Default))
            best = byte;
    return static_cast<uint8_t>(best);
}

} // namespace

TMatchSpace Lv2MatchSpace(const std::string& uri, int genomeSize)
{
    TLv2World world;
    const std::lock_guard guard(world.Lock());
    const TLv2PortLayout layout = ReadPortLayout(world.Get(), world.Plugin(uri), 48000);
    const std::vector<const TLv2ControlPort*> ports = layout.Breedable();
    if (ports.empty())
        throw ELv2Error("The LV2 instrument \"" + uri + "\" has no control to search.");
    TMatchSpace space;
    space.Start.assign(std::max(static_cast<size_t>(std::max(genomeSize, 0)), ports.size()), 0);
    for (size_t i = 0; i < ports.size(); ++i) {
        space.Start[i] = DefaultByte(*ports[i]);
        space.Free.push_back({static_cast<int>(i), 0, 255});
    }
    return space;
}

TMatchSpace RulesMatchSpace(const TSubstitution& rules, int genomeSize)
{
    TMatchSpace space;
    space.Start.assign(static_cast<size_t>(std::max({genomeSize, rules.Count(), 0})), 128);
    for (int gene = 0; gene < rules.Count(); ++gene)
        if (rules.Active(gene))
            space.Free.push_back({gene, 0, 255});
    return space;
}

TRendererFactory MakeRenderers(const TMatchInstrument& instrument, const TMatchNote& note, TInstrumentCheck check)
{
    if (check == TInstrumentCheck::First) {
        if (!instrument.Lv2Uri.empty())
            TLv2RenderHost host(instrument.Lv2Uri);
        else
            TSynthInstrument synth(instrument.Synth);
    }
    return [instrument, note]() -> std::unique_ptr<TRenderer> {
        auto lv2 = instrument.Lv2Uri.empty() ? nullptr : std::make_unique<TLv2RenderHost>(instrument.Lv2Uri);
        return std::make_unique<TPlayerRenderer>(instrument, note, std::move(lv2));
    };
}

} // namespace zw
