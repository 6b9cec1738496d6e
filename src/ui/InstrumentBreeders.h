#pragma once

#include "audio/Lv2Genes.h"
#include "audio/Lv2World.h"
#include "midi/MidiThru.h"

#include <QObject>

#include <array>
#include <future>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace zw {

class TAudioHost;
class TGene;
class TRemoteInstrument;
class TMidiScheduler;

// Per breeder A–D, the LV2 instrument its audible worm plays, if one is
// chosen: started in a process of its own (TRemoteInstrument; loading can
// take a second or more), then handed to the audio engine, and given the
// breeder's audition notes and thru. A breeder without one, or whose
// instrument failed to load or failed too often, plays through the MIDI
// output and its rules. What befalls a playing one (a crash, a restart) is
// told by Notice.
class TInstrumentBreeders : public QObject {
    Q_OBJECT

public:
    static constexpr int kBreeders = 4;
    static constexpr int kFirstSlot = 1; // the engine's slot of breeder A; 0 is the built-in synthesizer

    TInstrumentBreeders(const TLv2Catalog& catalog, TAudioHost& audio, TMidiScheduler& scheduler,
                        QObject* parent = nullptr);
    ~TInstrumentBreeders() override;

    // The plug-in URI per breeder; empty: the MIDI output. A breeder whose
    // URI changed drops its instrument and starts making the new one; one
    // whose instrument failed tries it again.
    void Configure(const std::array<std::string, kBreeders>& uris);
    // The breeder's instrument is made and playing.
    bool Plays(int breeder) const;
    // The breeder's instrument takes the genome's values (from the next period on).
    void SetGenome(int breeder, const TGene& genome);
    // What each gene of the breeder's playing instrument stands for, one per
    // breedable port; null when it plays none.
    const std::vector<TLv2Gene>* Genes(int breeder) const;
    // The name of the breeder's instrument; empty when it has none.
    std::string Name(int breeder) const;
    // Writes the values last sent to the breeder's instrument as an LV2 preset. ELv2Error when that fails.
    void SavePreset(int breeder, const std::string& bundle, const std::string& label);

signals:
    // One instrument could not be made, or failed too often and is off; the
    // breeder plays the MIDI output.
    void Failed(int breeder, const QString& message);
    // One instrument is made and playing.
    void Ready(int breeder);
    // What befell a playing instrument, for the status line: it crashed, hung
    // or put out NaN, starts again, plays again, waits for another genome.
    void Notice(int breeder, const QString& message);

private:
    // Sends a voice's notes to its instrument in the engine.
    class TEngineSink final : public TMidiVoiceSink {
    public:
        TEngineSink(TAudioHost& audio, int slot) : FAudio(audio), FSlot(slot) {}
        void Play(uint32_t message) noexcept override;

    private:
        TAudioHost& FAudio;
        int FSlot;
    };

    struct TBreeder {
        std::string Uri;
        std::future<std::unique_ptr<TRemoteInstrument>> Loading;
        TRemoteInstrument* Playing = nullptr; // owned by the engine
        std::vector<TLv2Gene> Genes;          // of the playing one
        std::unique_ptr<TEngineSink> Sink;
    };

    void Drop(int breeder);
    void TakeLoaded();
    // Passes on what befell the playing instruments; drops one that is off.
    void Watch();

    const TLv2Catalog& FCatalog;
    TAudioHost& FAudio;
    TMidiScheduler& FScheduler;
    std::array<TBreeder, kBreeders> FBreeders;
    QTimer* FPoll;
};

// File → Save as LV2 preset…: asks for a name, saves the values the
// breeder's instrument plays as a preset in the user's LV2 folder, where
// other LV2 hosts find it, and says where it went or why it did not.
// `instruments` is null while no breeder has an instrument.
void AskSaveLv2Preset(TInstrumentBreeders* instruments, int breeder);

} // namespace zw
