#include "ui/SoundMatch.h"

#include "audio/AudioHost.h"
#include "audio/SamplePlayer.h"
#include "common/Exceptions.h"
#include "common/Guard.h"
#include "match/Pitch.h"
#include "midi/MidiScheduler.h"
#include "rules/FrmTranslat.h"
#include "ui/AuditionControl.h"
#include "ui/Automation.h"
#include "ui/BreederTabs.h"
#include "ui/Forms.h"
#include "ui/MidiDevices.h"
#include "ui/SoundControl.h"
#include "ui/StatusLine.h"
#include "worms/WormPanel.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace zw {
namespace {

constexpr int kPollMilliseconds = 100;
constexpr int kProgressSteps = 1000;
constexpr uint8_t kTargetNote = 60; // any note: the target plays as recorded
// Of the automation period, what a short search toward the target may take.
constexpr double kAutomaticShare = 0.8;

QChar Letter(TChannel channel) { return QChar('A' + channel); }

// The worms a search's results replace: every one but the frozen one, in
// order, at most `count`.
std::vector<int> Places(const TWormPanel& panel, size_t count)
{
    std::vector<int> places;
    for (int i = 0; i < panel.WormCount() && places.size() < count; ++i)
        if (i != panel.Frozen())
            places.push_back(i);
    return places;
}

// The matches in the breeder, best first, as one step; the best is reported once, as audible.
void ReplaceWorms(TWormPanel& panel, const std::vector<TMatch>& matches)
{
    const std::vector<int> places = Places(panel, matches.size());
    if (places.empty())
        return;
    panel.Step([&] {
        for (size_t k = 0; k < places.size(); ++k) {
            const std::vector<uint8_t>& genes = matches[k].Genes;
            panel.Worms(places[k])->SetGene(TGene(genes.data(), static_cast<int32_t>(genes.size())));
        }
        if (panel.Audible() == places.front())
            panel.Worms(places.front())->NotifyChanged();
        else
            panel.SetAudible(places.front());
    });
}

} // namespace

struct TSoundMatch::TSearch {
    TChannel Channel = 0;
    TMatchSpace Space;
    TRendererFactory Renderers;
    int Count = 0;
};

TSoundMatch::TSoundMatch(const TBreederTabs& breeders, TMidiDevices& midi, TSoundControl& sound,
                         TAuditionControl& audition, const TAutomation& automation, TStatusLine& status)
    : FBreeders(breeders), FMidi(midi), FSound(sound), FAudition(audition), FAutomation(automation), FStatus(status)
{
    FOpenDialog.Title = "Breed toward a sound";
    FOpenDialog.Filter = "sounds (*.wav *.flac *.ogg)|*.wav;*.flac;*.ogg|all files (*.*)|*.*";
    FPoll = new QTimer(this);
    FPoll->setObjectName("TimerMatch");
    FPoll->setInterval(kPollMilliseconds);
    connect(FPoll, &QTimer::timeout, this, [this] { RunGuarded([this] { Poll(); }); });
}

TSoundMatch::~TSoundMatch()
{
    Stop();
    if (FTargetHost)
        FTargetHost->SetInstrument(kTargetSlot, nullptr);
}

QWidget* TSoundMatch::CreateProgress(QWidget* parent)
{
    FProgressBox = new QWidget(parent);
    FProgressBox->setObjectName("MatchProgress");
    auto* row = new QHBoxLayout(FProgressBox);
    row->setContentsMargins(0, 0, 0, 0);
    FProgress = new QProgressBar(FProgressBox);
    FProgress->setObjectName("ProgressBarMatch");
    FProgress->setRange(0, kProgressSteps);
    FProgress->setToolTip("Breeding toward a sound");
    // Room for the longest text it shows, so that it never wraps.
    FProgress->setMinimumWidth(FProgress->fontMetrics().horizontalAdvance("Breeder A: 999999 renders, best 99.9 dB") + 24);
    auto* cancel = new QToolButton(FProgressBox);
    cancel->setObjectName("ButtonMatchCancel");
    cancel->setText("Cancel");
    cancel->setToolTip("End the search; what it found replaces the worms");
    cancel->setFocusPolicy(Qt::NoFocus);
    connect(cancel, &QToolButton::clicked, this, [this] { RunGuarded([this] { CancelClick(); }); });
    row->addWidget(FProgress);
    row->addWidget(cancel);
    FProgressBox->hide();
    return FProgressBox;
}

// Starting ---------------------------------------------------------------------

TSoundMatch::TSearch TSoundMatch::Prepare(TChannel channel, const TMatchNote& note, bool automatic)
{
    const TWormPanel& panel = *FBreeders.Panel(channel);
    TSearch search;
    search.Channel = channel;
    const TWorm* start = panel.Worms(std::max(panel.Audible(), 0));
    search.Space.Start.assign(start->Gene().Data(), start->Gene().Data() + start->Size());

    TMatchInstrument instrument;
    instrument.Lv2Uri = FSound.Instruments().at(static_cast<size_t>(channel));
    instrument.Channel = static_cast<int>(FMidi.OutChannel(channel) & 0x0F);
    instrument.Synth = FSound.Synth();
    // The genes that change the sound (the instrument's parameters, or those
    // the rules translate), as far as the breeder's locks and ranges let them.
    if (instrument.Lv2Uri.empty()) {
        if (!FormTranslate)
            throw Exception("No rules are loaded to play breeder " + std::string(1, char('A' + channel)) + " with.");
        instrument.Rules = std::make_shared<const TSubstitution>(FormTranslate->Substitution());
    }
    const int size = start->Size();
    const TMatchSpace heard = instrument.Lv2Uri.empty() ? RulesMatchSpace(*instrument.Rules, size)
                                                        : Lv2Space(instrument.Lv2Uri, size);
    for (const TMatchSpace::TFreeGene& gene : heard.Free) {
        const TGeneLimits limits = panel.GeneMask().Limits(gene.Gene);
        if (gene.Gene < size && !limits.Locked)
            search.Space.Free.push_back({gene.Gene, std::max(gene.Min, limits.Min), std::min(gene.Max, limits.Max)});
    }
    if (search.Space.Free.empty())
        throw Exception(QString("Breeder %1 has no gene the search may move: none that its %2 hears is unlocked.")
                            .arg(Letter(channel))
                            .arg(instrument.Lv2Uri.empty() ? "rules" : "instrument")
                            .toStdString());
    search.Count = static_cast<int>(Places(panel, static_cast<size_t>(panel.WormCount())).size());
    // The user's search tells at once what cannot play; the automation's would
    // start a host at every tick on this thread, so its search tells instead.
    search.Renderers =
        MakeRenderers(instrument, note, automatic ? TInstrumentCheck::ByTheJob : TInstrumentCheck::First);
    return search;
}

const TMatchSpace& TSoundMatch::Lv2Space(const std::string& uri, int size)
{
    const auto key = std::make_pair(uri, size);
    auto found = FLv2Spaces.find(key);
    if (found == FLv2Spaces.end())
        found = FLv2Spaces.emplace(key, Lv2MatchSpace(uri, size)).first;
    return found->second;
}

void TSoundMatch::BreedTowardClick()
{
    // A short search of the automation gives way to the user's; a search of the user's does not.
    if (FJob && FJobAutomatic)
        Finish();
    if (FJob) {
        Dialogs().ShowMessage(QString("Breeder %1 is still breeding toward a sound. Wait for it, or cancel it first.")
                                  .arg(Letter(FJobChannel)));
        return;
    }
    const QString fileName = Dialogs().OpenFileName(FOpenDialog);
    if (fileName.isEmpty())
        return;
    FOpenDialog.FileName = fileName;
    TTarget target;
    try {
        target = ReadTarget(fileName.toStdString(), TAudioEngine::kDefaultSampleRate);
    } catch (const ETargetError& e) {
        Dialogs().ShowError(QString::fromStdString(e.what()));
        return;
    }
    TMatchNote note;
    note.Note = EstimateNote(target.Samples, target.SampleRate).value_or(note.Note);
    note.Seconds = target.Seconds();
    // Whatever cannot start is told before anything changes.
    TSearch search = Prepare(FBreeders.Shown()->Tag(), note, false);
    FNote = note;
    LoadTarget(std::move(target), fileName);
    Start(std::move(search), FBudget, false);
}

void TSoundMatch::Start(TSearch search, double budget, bool automatic)
{
    TMatchOptions options;
    options.Count = std::max(1, search.Count);
    options.BudgetSeconds = budget;
    options.Seed = FSeed++;
    FJob = std::make_unique<TMatchJob>(*FTarget, std::move(search.Space), std::move(search.Renderers), options);
    FJobChannel = search.Channel;
    FJobAutomatic = automatic;
    FJobBudget = budget;
    FJob->Start();
    FProgress->setValue(0);
    FProgress->setFormat(QString("Breeder %1: starting").arg(Letter(FJobChannel)));
    FProgressBox->show();
    FPoll->start();
}

void TSoundMatch::BreedToward(const TChannelSet& channels)
{
    if (FJob)
        return; // the next tick after its end starts the next
    if (!FTarget) {
        FStatus.Show(TStatusTopic::Breeding, "Breeding toward a target needs one: File -> Breed toward a sound …");
        return;
    }
    // The breeders take turns.
    for (int i = 0; i < kChannelCount; ++i) {
        const TChannel channel = (FNextAutomatic + i) % kChannelCount;
        if (!channels.Contains(channel))
            continue;
        FNextAutomatic = channel + 1;
        try {
            Start(Prepare(channel, FNote, true), kAutomaticShare * FAutomation.Interval() / 1000.0, true);
        } catch (const std::exception& e) {
            // Told in the status line: under automation a box would come back at every tick.
            FStatus.Show(TStatusTopic::Breeding, QString::fromLocal8Bit(e.what()));
        }
        return;
    }
}

// Running and ending ---------------------------------------------------------------

void TSoundMatch::Poll()
{
    if (!FJob)
        return;
    const TMatchProgress progress = FJob->Progress();
    FProgress->setValue(
        static_cast<int>(kProgressSteps * std::clamp(progress.Elapsed / std::max(FJobBudget, 0.001), 0.0, 1.0)));
    if (progress.Renders > 0)
        FProgress->setFormat(QString("Breeder %1: %2 renders, best %3 dB")
                                 .arg(Letter(FJobChannel))
                                 .arg(progress.Renders)
                                 .arg(progress.BestDistance, 0, 'f', 1));
    if (progress.Finished)
        Finish();
}

void TSoundMatch::CancelClick()
{
    if (FJob)
        Finish();
}

void TSoundMatch::Finish()
{
    FPoll->stop();
    FProgressBox->hide();
    const std::unique_ptr<TMatchJob> job = std::move(FJob);
    job->Cancel();
    job->Wait();
    const std::string error = job->Error();
    if (!error.empty()) {
        const QString message = QString("Breeder %1 could not breed toward the target: %2")
                                    .arg(Letter(FJobChannel), QString::fromStdString(error));
        if (FJobAutomatic)
            FStatus.Show(TStatusTopic::Breeding, message);
        else
            Dialogs().ShowError(message);
        return;
    }
    const std::vector<TMatch> matches = job->Results();
    const TMatchProgress progress = job->Progress();
    if (matches.empty()) {
        Tell(QString("Breeder %1 found no match in %2 renders: its worms stay.").arg(Letter(FJobChannel)).arg(progress.Renders));
        return;
    }
    // A target heard over the breeder makes way for its best match.
    if (FTargetHeard && FHeardChannel == FJobChannel)
        ToggleTarget();
    ReplaceWorms(*FBreeders.Panel(FJobChannel), matches);
    if (!FJobAutomatic)
        Tell(QString("Breeder %1 holds %2 matches of \"%3\", the best %4 dB away (%5 renders).")
                 .arg(Letter(FJobChannel))
                 .arg(matches.size())
                 .arg(FTargetName)
                 .arg(matches.front().Distance, 0, 'f', 1)
                 .arg(progress.Renders));
}

void TSoundMatch::Stop()
{
    FPoll->stop();
    FJob.reset(); // cancels and waits
    if (FProgressBox)
        FProgressBox->hide();
}

void TSoundMatch::Tell(const QString& message) { FStatus.Show(TStatusTopic::Breeding, message); }

// The target heard -------------------------------------------------------------------

void TSoundMatch::LoadTarget(TTarget target, const QString& fileName)
{
    StopTarget();
    FTarget = std::move(target);
    FTargetName = QFileInfo(fileName).fileName();
    if (FTargetHost)
        FTargetHost->SetInstrument(kTargetSlot, nullptr);
    FTargetHost = FSound.Audio();
    if (FTargetHost)
        FTargetHost->SetInstrument(kTargetSlot, std::make_unique<TSamplePlayer>(FTarget->Samples, FTarget->SampleRate));
}

void TSoundMatch::ToggleTarget()
{
    if (!FTarget)
        return;
    if (FTargetHeard) {
        StopTarget();
        FAudition.SyncScheduler();
        FMidi.Scheduler().Restart(FHeardChannel);
        FStatus.Clear(TStatusTopic::Channels);
        return;
    }
    if (!FTargetHost) {
        FStatus.Show(TStatusTopic::Channels, "The target cannot be heard: the audio engine is not running.");
        return;
    }
    FTargetHeard = true;
    FHeardChannel = FBreeders.Shown()->Tag();
    FAudition.SyncScheduler(); // the breeder keeps quiet meanwhile
    FTargetHost->Activate();
    const uint8_t noteOn[] = {0x90, kTargetNote, 100};
    FTargetHost->Engine().Send(kTargetSlot, noteOn, sizeof noteOn);
    FStatus.Show(TStatusTopic::Channels, QString("The target \"%1\" plays instead of breeder %2 (A/B: back to the worm).")
                                             .arg(FTargetName, Letter(FHeardChannel)));
}

void TSoundMatch::StopTarget()
{
    if (!FTargetHeard)
        return;
    FTargetHeard = false;
    if (FTargetHost) {
        const uint8_t noteOff[] = {0x80, kTargetNote, 0};
        FTargetHost->Engine().Send(kTargetSlot, noteOff, sizeof noteOff);
    }
}

} // namespace zw
