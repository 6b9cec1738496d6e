#pragma once

#include "app/FirstSteps.h"
#include "ui/Automation.h"
#include "ui/BreederTabs.h"
#include "worms/BreederHistory.h"

#include <QMainWindow>

#include <memory>

class QKeySequence;
class QMenu;
class QSpinBox;
class QToolButton;

namespace zw {

class TAuditionControl;
class TExportActions;
class TGene;
class TGeneBox;
class TGeneControls;
class TKeptBreeders;
class TMidiControls;
class TMidiDevices;
class TSettingsStore;
class TSoundControl;
class TSoundMatch;
class TStatusLine;
class TWormPanel;

// The main window: four breeders (channels A..D) on tab pages, the automation,
// operation and active-channel toggles, the breeding parameters, the MIDI
// activity lamp, the gene view and the gene bank. It makes the feature
// objects that own what these do, lays out the widgets, builds the menus and
// wires both to the features; the keys it sees first. Buttons, keys and menu
// entries act on the channel shown; every one of them runs guarded, so a
// failure shows its message and the window stays usable.
class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The breeder of `channel` (0..3), null outside; the one of the tab shown.
    TWormPanel* WormPanel(TChannel channel) const { return FBreeders.Panel(channel); }
    TWormPanel* CurrentPanel() const { return FBreeders.Shown(); }

    TMidiDevices& Midi() const { return *FMidi; }
    TAutomation& Automation() const { return *FAutomation; }
    TAuditionControl& Audition() const { return *FAudition; }
    TSoundControl& Sound() const { return *FSound; }
    TExportActions& Exports() const { return *FExports; }
    TGeneControls& Genes() const { return *FGenes; }
    TMidiControls& MidiControls() const { return *FMidiControls; }
    TKeptBreeders& KeptBreeders() const { return *FKept; }
    TSettingsStore& Settings() const { return *FSettings; }
    TSoundMatch& Match() const { return *FMatch; }
    // The one-line status below the breeders (object name "StatusLine").
    TStatusLine* StatusLine() const { return FStatusLine; }

    // Closes as File -> Exit does, without asking about unsaved rules: the
    // end a signal asks for.
    void CloseWithoutAsking();

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
    void CreateFeatures();
    void WireFeatures();
    QWidget* CreatePageControl();
    QWidget* CreateAutomationGroup();
    QWidget* CreateOperationGroup();
    QWidget* CreateActiveChannelsGroup();
    QWidget* CreateSpinControls();
    QWidget* CreateGeneBank();
    void CreateMenu();
    void AddControlActions();
    QToolButton* AddButton(const QString& objectName, const QString& text, const QString& hint,
                           QWidget* parent);
    void FormCreate();
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void ShowHint();
    // Once the rules are loaded, each active channel sends its audible worm,
    // so a start sounds as the last run was left.
    void SendActiveChannels();
    // A/B: against the target while one is loaded, else between two worms.
    void ToggleAB();

    // Components.
    TBreederTabs FBreeders;
    std::array<std::array<QToolButton*, kChannelCount>, TAutomation::kModeCount> FAutoButtons{};
    std::array<QToolButton*, kChannelCount> FChActiveButtons{};
    QSpinBox* SpinEditCrossoverProb = nullptr;
    QSpinBox* SpinEditMutationProb = nullptr;
    QSpinBox* SpinEditMutationRange = nullptr;
    QSpinBox* SpineditAutoInterval = nullptr;
    TGeneBox* GeneBox1 = nullptr;
    TStatusLine* FStatusLine = nullptr;

    // The features, in the order they are made; each is ended before those it uses.
    std::unique_ptr<TMidiDevices> FMidi;
    std::unique_ptr<TAutomation> FAutomation;
    std::unique_ptr<TAuditionControl> FAudition;
    std::unique_ptr<TSoundControl> FSound;
    std::unique_ptr<TExportActions> FExports;
    std::unique_ptr<TGeneControls> FGenes;
    std::unique_ptr<TMidiControls> FMidiControls;
    std::unique_ptr<TKeptBreeders> FKept;
    std::unique_ptr<TSettingsStore> FSettings;
    std::unique_ptr<TSoundMatch> FMatch;

    // The hints of the first steps, after the keys and the audition.
    TFirstSteps FFirstSteps;
    bool FShownOnce = false;
    bool FCloseWithoutAsking = false;
};

} // namespace zw
