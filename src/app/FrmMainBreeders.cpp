// The main window's side of the breeders' undo history and of the breeders
// kept between runs.
#include "app/DeferredAction.h"
#include "app/FrmMain.h"
#include "app/StatusLine.h"
#include "common/Exceptions.h"
#include "common/Guard.h"
#include "common/ProgramFiles.h"
#include "common/Random.h"
#include "common/SafeFile.h"
#include "midi/MidiScheduler.h"
#include "worms/BreederFile.h"
#include "worms/GeneFile.h"
#include "worms/WormPanel.h"

#include <QAction>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zw {
namespace {

// In the folder of the settings file.
constexpr const char* kBreedersFile = "zwirbels.breeders";

std::vector<TGene> GenomesOf(const TWormPanel& panel)
{
    const TBreederSnapshot snapshot = panel.Snapshot();
    std::vector<TGene> genomes;
    for (int i = 0; i < snapshot.GenomeCount(); ++i)
        genomes.push_back(snapshot.Genome(i));
    return genomes;
}

// Why the file could not be read, without its name: the message around it names it.
std::string ReadFailure(const Exception& e)
{
    const auto* io = dynamic_cast<const EInOutError*>(&e);
    return io ? io->Reason() : e.Message();
}

// Moves a breeders file that could not be read aside, out of the way of the
// write at close. False when it stays in place; `message` says which.
bool SetAside(const std::string& fileName, QString& message)
{
    const std::string asideName = fileName + ".bad";
    if (std::rename(fileName.c_str(), asideName.c_str()) == 0) {
        message += QString(" It is kept as \"%1\".").arg(QString::fromStdString(asideName));
        return true;
    }
    message += QString(" It could not be moved aside (%1), so it stays as it is and the breeders are not kept "
                       "at close.")
                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

} // namespace

// Undo history ---------------------------------------------------------------

void TFormMain::WormPanelStep(TWormPanel* panel, const TBreederSnapshot& before)
{
    FHistories.at(static_cast<size_t>(panel->Tag())).Record(before);
    UpdateEditMenu();
    FBreedersSave->Request();
}

void TFormMain::UpdateEditMenu()
{
    const TBreederHistory& history = FHistories[static_cast<size_t>(CurrentPanel()->Tag())];
    MenuUndo->setEnabled(history.CanUndo());
    MenuRedo->setEnabled(history.CanRedo());
}

void TFormMain::UndoClick()
{
    TWormPanel* panel = CurrentPanel();
    const std::optional<TBreederSnapshot> previous =
        FHistories[static_cast<size_t>(panel->Tag())].Undo(panel->Snapshot());
    // The menu first: reporting the restored audible worm may fail.
    UpdateEditMenu();
    FBreedersSave->Request();
    if (previous)
        panel->Restore(*previous);
}

void TFormMain::RedoClick()
{
    TWormPanel* panel = CurrentPanel();
    const std::optional<TBreederSnapshot> next = FHistories[static_cast<size_t>(panel->Tag())].Redo(panel->Snapshot());
    UpdateEditMenu();
    FBreedersSave->Request();
    if (next)
        panel->Restore(*next);
}

void TFormMain::NewBreedersClick()
{
    if (!Dialogs().Confirm("Breed all four breeders anew? Undo brings back each one."))
        return;
    Randomize();
    // One failing channel (its rules) leaves the others to be bred.
    for (TWormPanel* panel : FWormPanels)
        RunGuarded([panel] { panel->RandomizeEvery(); });
}

// Breeding from the rated and A/B --------------------------------------------

void TFormMain::BreedFromRated() { BreedFromRatedOn(*CurrentPanel()); }

void TFormMain::BreedFromRatedOn(TWormPanel& panel)
{
    const QString unrated = QString("No worm of breeder %1 is rated").arg(QChar('A' + panel.Tag()));
    if (panel.BreedFromRated()) {
        // Only its own notice: the topic carries other breeding messages too.
        if (FStatusLine->Message(TStatusTopic::Breeding).startsWith(unrated))
            FStatusLine->Clear(TStatusTopic::Breeding);
        return;
    }
    FStatusLine->Show(TStatusTopic::Breeding,
                      unrated + ", so it mated instead. Rate worms with Ctrl+1..3 or a middle click.");
    panel.Mate();
}

void TFormMain::ToggleAB()
{
    TWormPanel* panel = CurrentPanel();
    if (!panel->ToggleAB())
        return;
    // A retriggering audition has started the note anew with the genome.
    const TChannel channel = panel->Tag();
    if (!FAudition.Retrigger && FActiveChannels.Contains(channel))
        FScheduler->Restart(channel);
}

// Kept breeders ----------------------------------------------------------------

std::string TFormMain::BreedersFileName() { return WriteFolder() + kBreedersFile; }

void TFormMain::ReadBreeders(const std::array<int, kChannelCount>& audible,
                             const std::array<int, kChannelCount>& frozen)
{
    const std::string fileName = BreedersFileName();
    std::error_code error;
    if (!std::filesystem::exists(fileName, error) && !error)
        return; // a first start: the breeders are bred as always
    TBreederGenomes breeders;
    TBreederRatings ratings;
    try {
        // The bank's own limits: the file is one the bank may load.
        const std::string text = ReadRegularFile(fileName, kMaxGeneFileSize);
        const int wormCount = FWormPanels[0]->WormCount();
        breeders = ReadBreederFile(text, kChannelCount, wormCount);
        ratings = ReadBreederRatings(text, kChannelCount, wormCount);
    } catch (const Exception& e) {
        QString message = QString("The breeders file \"%1\" could not be read: %2; the breeders start anew.")
                              .arg(QString::fromStdString(fileName), QString::fromStdString(ReadFailure(e)));
        // A file left in place is never replaced without the user's knowing.
        FWriteBreeders = SetAside(fileName, message);
        Dialogs().ShowError(message);
        return;
    }
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        FWormPanels[i]->Restore(TBreederSnapshot(breeders[i], audible[i], frozen[i], ratings[i]));
    }
}

void TFormMain::WriteBreeders()
{
    if (!FWriteBreeders)
        return;
    TBreederGenomes breeders;
    TBreederRatings ratings;
    for (const TWormPanel* panel : FWormPanels) {
        breeders.push_back(GenomesOf(*panel));
        ratings.push_back(panel->Ratings());
    }
    WriteFileAtomically(WritableFileName(kBreedersFile), BreederFileText(breeders, ratings));
}

void TFormMain::KeepBreeders()
{
    // Told in the status line: under automation a box would come back every few seconds.
    try {
        WriteBreeders();
        if (FBreedersKeptFailed)
            FStatusLine->Clear(TStatusTopic::Breeding);
        FBreedersKeptFailed = false;
    } catch (const std::exception& e) {
        FBreedersKeptFailed = true;
        FStatusLine->Show(TStatusTopic::Breeding,
                          QString("The breeders could not be kept: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

} // namespace zw
