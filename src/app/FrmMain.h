#pragma once

#include "app/ChannelSet.h"
#include "app/FirstSteps.h"
#include "app/MainSettings.h"
#include "common/Dialogs.h"
#include "worms/BreederHistory.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QFrame;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;
class QAction;
class QKeySequence;
class QMenu;
class QScrollArea;

namespace zw {

class EmidioutputError;
class TAudioInstrument;
class TWormTake;
class TDeferredAction;
class TFailureTally;
class TGene;
class TGeneBox;
class TGeneView;
class TMidiInput;
class TMidiOutput;
class TControlMap;
class TFormControls;
class TFormSound;
class TLv2Catalog;
class TMidiScheduler;
class TInstrumentBreeders;
class TMorphKnob;
class TSoundStatus;
class TStatusLine;
struct TControlSettings;
struct TSoundSettings;
class TWormPanel;

// The main window: four breeders (channels A..D) on tab pages, the automation,
// operation and active-channel toggles, the breeding parameters, the MIDI
// activity lamp and the gene bank. Buttons, keys and menu entries breed the
// channel shown; every one of them, and every timer tick, runs guarded, so a
// failure shows its message and the window stays usable.
class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    // The three automation modes, in the order of the button rows.
    enum class TAutoMode { Randomize, Mate, Mutate, BreedFromRated };

    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The breeder of `channel` (0..3), null outside; the one of the tab shown.
    TWormPanel* WormPanel(TChannel channel) const;
    TWormPanel* CurrentPanel() const;

    // The automation period, confined to 600..120000 ms; the timer's next tick
    // comes one full period after a change.
    void SetAutoInterval(int32_t ms);
    int32_t AutoInterval() const { return FAutoInterval; }
    // Some channel has an automation mode; the timer runs exactly then.
    bool AutomationActive() const;
    // One tick: breeds the active channels in their modes, A to D.
    void TimerAutoTimer();

    // Sends one rule result to the MIDI output and lights the lamp; nothing
    // while the output is closed or the bytes are empty (false then).
    bool SendToMidiOut(const std::vector<uint8_t>& bytes);

    // The settings file: read once at creation, the rule file name at first
    // show, written once at close. A file that could not be read at creation
    // is reported then and left alone: neither read again nor written.
    void ReadSettings();
    void WriteSettings();
    void LoadTranslations();
    // Closes as File -> Exit does, without asking about unsaved rules: the
    // end a signal asks for.
    void CloseWithoutAsking();

    // Choosing, opening and closing the MIDI devices by the names the system reports.
    void SetMidiInDevice(const QString& name);
    void SetMidiOutDevice(const QString& name);
    void SetMidiInOpen(bool open);
    void SetMidiOutOpen(bool open);
    // The exchange with the MIDI settings dialog (menu "&Midi ...").
    void MidiSettingsClick();
    // A chosen device that the MIDI system lost (its server stopped, its port
    // went away, no system answered) is closed but kept, and tried again once
    // a second until it opens; the loss and the return are each told once.
    // While devices are open, the same tick asks whether the server stopped.
    bool MidiOutLost() const { return FMidiOutLost; }
    bool MidiInLost() const { return FMidiInLost; }
    void TimerMidiRecoveryTimer();

    // The MIDI-learned controls (menu "&Controls ..."): MIDI input messages
    // bound to the breeding actions and the morph knob; thru leaves them out.
    void ControlsClick();
    const TControlMap& Controls() const { return *FControls; }

    // The Sound dialog (menu "&Sound ..."): the audio output, the built-in
    // synthesizer's SoundFont and gain, each breeder's instrument. A choice
    // takes effect at once and goes into the settings file; one that cannot
    // (a SoundFont that does not load, an output that does not open) is one
    // message, and what played before plays on.
    void SoundClick();

    // Audition (button, menu entry, F5): while on, every active channel plays
    // the [Audition] phrase on its output channel.
    void SetAuditionPlaying(bool playing);
    bool AuditionPlaying() const { return FAudition.Playing; }
    // A press of audition's toggle, `on` its new state; on a breeder shown
    // that is not active it switches that breeder on and plays.
    void AuditionPressed(bool on);

    // Breeds the breeder shown from its rated worms (keypad *, "* Breed");
    // with no worm rated it mates instead and says so in the status line.
    void BreedFromRated();
    // A/B on the breeder shown (keypad Enter): the previously audible worm
    // becomes audible again, and the audition note starts anew.
    void ToggleAB();

    // Each breeder's LV2 instrument ([Instruments]; empty: the MIDI output)
    // and the installed ones to choose from. SetInstruments, the hook of the
    // Sound settings, drops the instruments no longer chosen at once (their
    // breeders play the MIDI output again) and makes the new ones in the
    // background.
    const std::array<std::string, kChannelCount>& Instruments() const { return FInstrumentUris; }
    void SetInstruments(const std::array<std::string, kChannelCount>& uris);
    const TLv2Catalog& Lv2Catalog() const { return *FLv2Catalog; }
    // File -> "Save as LV2 preset ...": what the shown breeder's instrument plays.
    void SaveLv2PresetClick();

    // The gene bank's file actions, through the file dialogs.
    void SaveGenes();
    void LoadGenes();
    void ClearGenes();
    // File -> Export sound ... / Export MIDI ...: the audible worm of the
    // breeder shown with the audition phrase, as a WAV file through its
    // instrument (for a length asked first) or as a Standard MIDI File.
    void ExportSoundClick();
    void ExportMidiClick();
    // Undo and redo of the breeder shown (menu "&Edit"); each does nothing
    // when there is no step that way.
    void UndoClick();
    void RedoClick();
    // Breeds all four breeders anew from the clock, once the user agrees;
    // undoable on each breeder.
    void NewBreedersClick();
    // Where the breeders are kept between runs: in the folder of the settings file.
    static std::string BreedersFileName();

    // Asks the name of a genome being banked (the bank's OnGetGeneName).
    void GeneBox1GetGeneName(TGeneBox* aSender, const TGene& aGene, QString& aName);

    const TChannelSet& ActiveChannels() const { return FActiveChannels; }
    const TChannelSet& AutoRandomize() const { return FAutoRandomize; }
    const TChannelSet& AutoMate() const { return FAutoMate; }
    const TChannelSet& AutoMutate() const { return FAutoMutate; }
    const TChannelSet& AutoBreedFromRated() const { return FAutoBreedFromRated; }
    TMidiOutput* MidiOutputPort() const { return MidiOutput; }
    TMidiInput* MidiInputPort() const { return MidiInput; }
    bool MidiInOpen() const { return FMidiInOpen; }
    bool MidiOutOpen() const { return FMidiOutOpen; }
    const QString& MidiInName() const { return FMidiInName; }
    const QString& MidiOutName() const { return FMidiOutName; }
    int32_t InChannel(TChannel channel) const { return FInChannels.at(static_cast<size_t>(channel)); }
    int32_t OutChannel(TChannel channel) const { return FOutChannels.at(static_cast<size_t>(channel)); }
    const TFileDialogOptions& OpenDialogGenes() const { return FOpenDialogGenes; }
    const TFileDialogOptions& SaveDialogGenes() const { return FSaveDialogGenes; }
    // The one-line status below the breeders (object name "StatusLine").
    TStatusLine* StatusLine() const { return FStatusLine; }
    // The genes of the breeder shown, beside the breeders (object name
    // "GeneView"; F6 shows and hides it).
    TGeneView* GeneView() const { return FGeneView; }
    bool GeneViewShown() const;
    void SetGeneViewShown(bool shown);
    // Hands the gene view what the rules say of each gene.
    void UpdateGeneInfo();

signals:
    // The window has closed; the program ends.
    void Closed();

protected:
    // OnWormChanged of all four panels: the gene translation dispatch.
    virtual void WormPanelWormChanged(TWormPanel* aSender, const TGene& aGene);

    // The window sees every key before the focused control does.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* CreatePageControl();
    QWidget* CreateAutomationGroup();
    QWidget* CreateOperationGroup();
    QWidget* CreateActiveChannelsGroup();
    QWidget* CreateSpinControls();
    QWidget* CreateMidiLamp();
    QWidget* CreateGeneBank();
    QWidget* CreateGeneView();
    void AddGeneViewMenu(QMenu* menu);
    // Locks the genes the rules lock by default in every breeder whose locks
    // the settings did not name, once, when the rules first load.
    void ApplyDefaultLocks();
    void CreateMenu();
    QAction* AddMenuAction(QMenu* menu, const QString& objectName, const QString& text,
                           const QKeySequence& shortcut);
    QToolButton* AddButton(const QString& objectName, const QString& text, const QString& hint,
                           QWidget* parent);

    QWidget* CreateAuditionButton(QWidget* parent);
    // Hands the scheduler the active channels, their MIDI channels and the
    // phrase; and the open ports (before closing the output, detach it first).
    void SyncMidiScheduler();
    void ConnectMidiScheduler();
    void DisconnectMidiScheduler();
    // Makes or drops each breeder's LV2 instrument after FInstrumentUris.
    void ConfigureInstruments();
    // The Sound dialog's choice made heard, kept and written; false, told, when refused.
    bool ApplySound(const TSoundSettings& chosen);

    // The controls a MIDI message can trigger, the input handed to them, and
    // the bound messages handed to thru.
    void CreateControls();
    void MidiInputReceived();
    void ApplyControls();
    void ApplyControlSettings(const TControlSettings& settings);

    void FormCreate();
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

    void SpeedButtonAutoClick(TAutoMode mode, TChannel channel, bool down);
    void BreedFromRatedOn(TWormPanel& panel);
    void SpeedButtonChActiveClick(TChannel channel, bool down);
    void SpinEditCrossoverProbChange(int value);
    void SpinEditMutationProbChange(int value);
    void SpinEditMutationRangeChange(int value);
    void EncodingsClick();
    void RuleSyntaxHelpClick();
    void AboutClick();
    void Timer1Timer();
    void SetMidiLamp(bool flowing);
    // Opens the MIDI devices of the settings once their system has answered:
    // at once when it answers within a moment, else from TimerMidiStart.
    void StartMidi();
    void TimerMidiStartTimer();
    void OpenMidiAtStart();
    // Chooses the MIDI system of the settings; false, told once, when it does
    // not answer: the devices of the settings then wait for it.
    bool StartMidiSystem();
    // Closes the port and marks it lost, told once, when its last result
    // says that the system lost it (the server's loss takes the input too);
    // false for any other failure.
    bool MidiOutputFailed();
    // A failed send: a lost device as above; any other failure is raised, or
    // when `automated` counted in the status line.
    void MidiSendFailed(const EmidioutputError& failure, bool automated);
    void MarkMidiLost(bool input, bool output, bool server);
    void TellMidiLoss(const std::string& text, bool input, bool output, bool server);
    bool ReopenMidiOut();
    bool ReopenMidiIn();
    // The input device listed as `name` now; -1 when none is.
    int MidiInputDeviceNumber(const QString& name) const;
    TChannelSet& AutoSet(TAutoMode mode);
    QToolButton* AutoButton(TAutoMode mode, TChannel channel) const;
    // The state the settings file keeps, as it stands now.
    TMainSettings CurrentSettings() const;
    void ApplyFlags(TChannelSet& set, const std::array<bool, kChannelCount>& flags,
                    const std::array<QToolButton*, kChannelCount>& buttons);
    void EnableTimerAuto(bool enable);
    // The built-in synthesizer starts each breeder's output channel with its program.
    void SendSynthPrograms();
    // A tick of TimerAuto, guarded; ticks wait while a failed tick's error is open.
    void TimerAutoTick();
    // A tick of TimerMidiRecovery, guarded, never inside another one.
    void TimerMidiRecoveryTick();
    // Undo history: a step of `panel` and the menu entries' state.
    void WormPanelStep(TWormPanel* panel, const TBreederSnapshot& before);
    void UpdateEditMenu();
    // The kept breeders: read at creation with the selections the settings
    // hold, written at close and a short while after each breeding step
    // (KeepBreeders, which tells a failure in the status line).
    void ReadBreeders(const std::array<int, kChannelCount>& audible, const std::array<int, kChannelCount>& frozen);
    void WriteBreeders();
    // Once the rules are loaded, each active channel sends its audible worm,
    // so a start sounds as the last run was left.
    void SendActiveChannels();
    void ShowHint();
    void KeepBreeders();
    // The exports: the genome of `channel` through its rules (raises as
    // they do), and the instrument that renders it.
    TWormTake RulesTake(TChannel channel, const TGene& genome);
    std::unique_ptr<TAudioInstrument> ExportInstrument(TChannel channel, const TGene& genome);

    // Components.
    QTabWidget* PageControl1 = nullptr;
    std::array<TWormPanel*, kChannelCount> FWormPanels{};
    std::array<std::array<QToolButton*, kChannelCount>, 4> FAutoButtons{};
    std::array<QToolButton*, kChannelCount> FChActiveButtons{};
    QSpinBox* SpinEditCrossoverProb = nullptr;
    QSpinBox* SpinEditMutationProb = nullptr;
    QSpinBox* SpinEditMutationRange = nullptr;
    QSpinBox* SpineditAutoInterval = nullptr;
    QFrame* PanelMidi = nullptr;
    TGeneBox* GeneBox1 = nullptr;
    TStatusLine* FStatusLine = nullptr;
    TMidiOutput* MidiOutput = nullptr;
    TMidiInput* MidiInput = nullptr;
    QToolButton* SpeedButtonAudition = nullptr;
    QAction* MenuAudition = nullptr;
    // Times the audition notes and the thru messages; made before and ended
    // after the ports' use of it (see the destructor).
    std::unique_ptr<TMidiScheduler> FScheduler;
    // The installed LV2 instruments, read on a thread of their own, and the
    // ones the breeders play ([Instruments]).
    std::unique_ptr<TLv2Catalog> FLv2Catalog;
    TInstrumentBreeders* FInstruments = nullptr;
    std::array<std::string, kChannelCount> FInstrumentUris{};
    TFormSound* FFormSound = nullptr; // child, made at first use
    TSoundStatus* FSoundStatus = nullptr;
    std::unique_ptr<TControlMap> FControls;
    std::unique_ptr<TMorphKnob> FMorphKnob;
    TFormControls* FFormControls = nullptr; // child, made at first use
    QTimer* TimerAuto = nullptr;
    QTimer* Timer1 = nullptr;
    std::chrono::steady_clock::time_point FLampRestarted; // when Timer1 was last restarted by a send
    QTimer* TimerMidiRecovery = nullptr;
    QTimer* TimerMidiStart = nullptr; // runs while the start waits for the MIDI system
    bool FInRecovery = false;
    std::unique_ptr<TFailureTally> FMidiFailures; // MIDI failures of the automation
    QAction* MenuUndo = nullptr;
    QAction* MenuRedo = nullptr;
    TGeneView* FGeneView = nullptr;
    QScrollArea* FGeneViewArea = nullptr;
    QAction* MenuGeneView = nullptr;
    std::array<bool, kChannelCount> FDefaultLocksDue{};
    TFileDialogOptions FOpenDialogGenes;
    TFileDialogOptions FSaveDialogGenes;
    TFileDialogOptions FExportSoundDialog;
    TFileDialogOptions FExportMidiDialog;
    double FExportSeconds = 4;

    // Channel state.
    TChannelSet FActiveChannels;
    TChannelSet FAutoRandomize;
    TChannelSet FAutoMate;
    TChannelSet FAutoMutate;
    TChannelSet FAutoBreedFromRated;
    int32_t FAutoInterval = 700;
    QString FMidiInSetting;
    QString FMidiOutSetting;
    // The device names as the settings file held them, byte for byte.
    std::string FMidiInBytes;
    std::string FMidiOutBytes;
    bool FSettingsUnreadable = false;
    bool FInTick = false;
    QString FMidiInName;
    QString FMidiOutName;
    bool FMidiInOpen = false;
    bool FMidiOutOpen = false;
    bool FMidiInLost = false;
    bool FMidiOutLost = false;
    bool FMidiServerLost = false; // rather than one device
    std::string FMidiSystem = "auto";
    std::array<int32_t, kChannelCount> FInChannels{};
    std::array<int32_t, kChannelCount> FOutChannels{};
    bool FThru = true;
    TAuditionSettings FAudition;
    TSynthSettings FSynthSettings;
    TAudioSettings FAudioSettings;
    std::array<TBreederHistory, kChannelCount> FHistories;
    // False while a kept-breeders file that could not be read is still in
    // place: it is never replaced without the user's knowledge.
    bool FWriteBreeders = true;
    TFirstSteps FFirstSteps;
    bool FShownOnce = false;
    TDeferredAction* FBreedersSave = nullptr;
    bool FCloseWithoutAsking = false;
    bool FBreedersKeptFailed = false; // and told in the status line
};

} // namespace zw
