#pragma once

#include "app/ChannelSet.h"
#include "app/MainSettings.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace zw {

class TAudioHost;
class TAuditionControl;
class TAutomation;
class TFormSound;
class TGene;
class TInstrumentBreeders;
class TLv2Catalog;
struct TLv2Gene;
class TMidiDevices;
class TSoundStatus;
class TStatusLine;
class TWormPanel;
struct TBreederTabs;
struct TSoundSettings;

// The main window's sound and instruments: how a breeder's audible worm is
// heard (through its LV2 instrument, or through the rules to the MIDI
// output), the built-in synthesizer's and the audio output's settings, each
// breeder's instrument ([Instruments]) with the installed ones to choose
// from, the Sound dialog (menu "&Sound ...") and the Sound message in the
// status line. A choice takes effect at once and goes into the settings
// file; one that cannot is one message, and what played before plays on.
// It owns those settings, the catalog, the instruments and the dialog.
class TSoundControl : public QObject {
    Q_OBJECT

public:
    struct THooks {
        std::function<void()> LoadRules;  // the rules, loaded when none are yet
        std::function<void()> WriteSound; // the sound settings, written at once
    };

    TSoundControl(const TBreederTabs& breeders, TMidiDevices& midi, TAuditionControl& audition,
                  const TAutomation& automation, TStatusLine& status, QWidget& window);
    ~TSoundControl() override;
    void SetHooks(THooks hooks) { FHooks = std::move(hooks); }

    // A breeder's changed audible worm made heard, when its channel is active.
    void Dispatch(TWormPanel* sender, const TGene& gene);

    void SoundClick();
    // SetInstruments, the hook of the Sound settings, drops the instruments no
    // longer chosen at once (their breeders play the MIDI output again) and
    // makes the new ones in the background.
    void SetInstruments(const std::array<std::string, kChannelCount>& uris);
    const std::array<std::string, kChannelCount>& Instruments() const { return FInstrumentUris; }
    bool PlaysInstrument(TChannel channel) const;
    // What each gene of the channel's playing instrument stands for; null when it plays none.
    const std::vector<TLv2Gene>* InstrumentGenes(TChannel channel) const;
    TInstrumentBreeders* InstrumentBreeders() const { return FInstruments; }
    const TLv2Catalog& Lv2Catalog() const { return *FLv2Catalog; }
    const TSynthSettings& Synth() const { return FSynthSettings; }
    // The audio engine and its output; null when the MIDI system has no built-in synthesizer.
    TAudioHost* Audio() const;
    // The built-in synthesizer starts each breeder's output channel with its program.
    void SendSynthPrograms();

    // Reads the settings and starts the synthesizer and the instruments they name.
    void ApplySettings(const TMainSettings& s);
    void SaveSettings(TMainSettings& s) const;

signals:
    // A breeder's instrument started playing, or stopped (failed, dropped, another chosen).
    void InstrumentsChanged();

private:
    void ConfigureInstruments();
    // The breeders' instruments that failed, in the status line until that
    // breeder's instrument is chosen anew or starts.
    void TellInstrumentFailure(TChannel channel, const QString& message);
    bool ApplySound(const TSoundSettings& chosen);

    const TBreederTabs& FBreeders;
    TMidiDevices& FMidi;
    TAuditionControl& FAudition;
    const TAutomation& FAutomation;
    TStatusLine& FStatus;
    QWidget& FWindow;
    THooks FHooks;
    // The installed LV2 instruments, read on a thread of their own, and the
    // ones the breeders play.
    std::unique_ptr<TLv2Catalog> FLv2Catalog;
    TInstrumentBreeders* FInstruments = nullptr;
    std::array<std::string, kChannelCount> FInstrumentUris{};
    std::array<QString, kChannelCount> FInstrumentFailures;
    TFormSound* FFormSound = nullptr; // child of the window, made at first use
    TSoundStatus* FSoundStatus = nullptr;
    TSynthSettings FSynthSettings;
    TAudioSettings FAudioSettings;
};

} // namespace zw
