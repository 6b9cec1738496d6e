#pragma once

#include "app/ChannelSet.h"
#include "app/MatchRenderers.h"
#include "common/Dialogs.h"
#include "match/MatchJob.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>

class QProgressBar;
class QTimer;
class QWidget;

namespace zw {

class TAudioHost;
class TAuditionControl;
class TAutomation;
class TMidiDevices;
class TSoundControl;
class TStatusLine;
class TWormPanel;
struct TBreederTabs;

// The main window's breeding toward a sound: File -> "Breed toward a sound …"
// reads a recording (the target) and searches, in the background, for genomes
// of the breeder shown that sound like it, through the breeder's instrument
// or rules, moving only its unlocked genes within their ranges. A progress bar
// with Cancel stands in the status line meanwhile; at the end, or on Cancel,
// the matches replace every worm but the frozen one, best first, as one undo
// step, and the best becomes audible. One search runs at a time: a second
// request is refused with a message (one of the automation's ends first). While a target is loaded, A/B toggles
// between the audible worm and the target, which plays through the audio
// engine; the automation row "toward target" runs short searches from the
// audible worm, one breeder after another. It owns the target, the running
// search, its progress bar and timer, and the target's engine instrument.
class TSoundMatch : public QObject {
    Q_OBJECT

public:
    // The engine slot of the target, after the breeders' instruments.
    static constexpr int kTargetSlot = 5;

    TSoundMatch(const TBreederTabs& breeders, TMidiDevices& midi, TSoundControl& sound, TAuditionControl& audition,
                const TAutomation& automation, TStatusLine& status);
    ~TSoundMatch() override;

    // The progress bar and its Cancel button, hidden while no search runs.
    QWidget* CreateProgress(QWidget* parent);

    void BreedTowardClick();
    // Ends the search at once; what it found so far replaces the worms.
    void CancelClick();
    bool Running() const { return FJob != nullptr; }
    // The wall time a search from the menu may take.
    void SetBudget(double seconds) { FBudget = seconds; }

    bool TargetLoaded() const { return FTarget.has_value(); }
    bool TargetHeard() const { return FTargetHeard; }
    // A/B while a target is loaded: the target instead of the breeder shown, and back.
    void ToggleTarget();
    // Whether the audition of `channel` keeps quiet while the target plays.
    bool Silenced(TChannel channel) const { return FTargetHeard && channel == FHeardChannel; }

    // One automation tick for the channels that breed toward the target.
    void BreedToward(const TChannelSet& channels);
    // At close: the search ends, and nothing it found is kept.
    void Stop();

private:
    struct TSearch;
    TSearch Prepare(TChannel channel, const TMatchNote& note, bool automatic);
    // The genes an instrument hears; read once per instrument, since reading
    // the installed plug-ins takes a tenth of a second at every automation tick.
    const TMatchSpace& Lv2Space(const std::string& uri, int size);
    void Start(TSearch search, double budget, bool automatic);
    void Poll();
    void Finish();
    void LoadTarget(TTarget target, const QString& fileName);
    void StopTarget();
    void Tell(const QString& message);

    const TBreederTabs& FBreeders;
    TMidiDevices& FMidi;
    TSoundControl& FSound;
    TAuditionControl& FAudition;
    const TAutomation& FAutomation;
    TStatusLine& FStatus;
    TFileDialogOptions FOpenDialog;

    std::optional<TTarget> FTarget;
    QString FTargetName;
    TMatchNote FNote;
    TAudioHost* FTargetHost = nullptr; // where the target's instrument is; null: none made
    bool FTargetHeard = false;
    TChannel FHeardChannel = 0;

    std::unique_ptr<TMatchJob> FJob;
    TChannel FJobChannel = 0;
    bool FJobAutomatic = false;
    double FJobBudget = 0;
    double FBudget = 60;
    uint64_t FSeed = 1;
    TChannel FNextAutomatic = 0;
    std::map<std::pair<std::string, int>, TMatchSpace> FLv2Spaces;

    QTimer* FPoll = nullptr;
    QWidget* FProgressBox = nullptr;
    QProgressBar* FProgress = nullptr;
};

} // namespace zw
