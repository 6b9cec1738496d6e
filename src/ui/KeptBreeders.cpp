#include "ui/KeptBreeders.h"

#include "app/DeferredAction.h"
#include "common/Dialogs.h"
#include "common/Exceptions.h"
#include "common/Guard.h"
#include "common/ProgramFiles.h"
#include "common/Random.h"
#include "common/SafeFile.h"
#include "ui/BreederTabs.h"
#include "ui/StatusLine.h"
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
// How long a breeding step may go unsaved: what a crash or a kill loses.
constexpr std::chrono::seconds kSaveDelay{2};

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

TKeptBreeders::TKeptBreeders(const TBreederTabs& breeders, TStatusLine& status)
    : FBreeders(breeders), FStatus(status), FSave(new TDeferredAction(kSaveDelay, [this] { Keep(); }, this))
{
}

void TKeptBreeders::SetMenuActions(QAction* undo, QAction* redo)
{
    FUndo = undo;
    FRedo = redo;
    // Both act on the breeder shown.
    connect(FBreeders.Tabs, &QTabWidget::currentChanged, this, [this] { UpdateEditMenu(); });
}

// Undo history ---------------------------------------------------------------

void TKeptBreeders::Step(TWormPanel* panel, const TBreederSnapshot& before)
{
    FHistories.at(static_cast<size_t>(panel->Tag())).Record(before);
    UpdateEditMenu();
    FSave->Request();
}

void TKeptBreeders::StepContinued() { FSave->Request(); }

void TKeptBreeders::UpdateEditMenu()
{
    const TBreederHistory& history = FHistories[static_cast<size_t>(FBreeders.Shown()->Tag())];
    FUndo->setEnabled(history.CanUndo());
    FRedo->setEnabled(history.CanRedo());
}

void TKeptBreeders::UndoClick()
{
    TWormPanel* panel = FBreeders.Shown();
    panel->EndOpenStep(); // a drag under way is a step of its own first
    const std::optional<TBreederSnapshot> previous =
        FHistories[static_cast<size_t>(panel->Tag())].Undo(panel->Snapshot());
    // The menu first: reporting the restored audible worm may fail.
    UpdateEditMenu();
    FSave->Request();
    if (previous)
        panel->Restore(*previous);
}

void TKeptBreeders::RedoClick()
{
    TWormPanel* panel = FBreeders.Shown();
    panel->EndOpenStep();
    const std::optional<TBreederSnapshot> next = FHistories[static_cast<size_t>(panel->Tag())].Redo(panel->Snapshot());
    UpdateEditMenu();
    FSave->Request();
    if (next)
        panel->Restore(*next);
}

void TKeptBreeders::NewBreedersClick()
{
    if (!Dialogs().Confirm("Breed all four breeders anew? Undo brings back each one."))
        return;
    Randomize();
    // One failing channel (its rules) leaves the others to be bred.
    for (TWormPanel* panel : FBreeders.Panels)
        RunGuarded([panel] { panel->RandomizeEvery(); });
}

// The file -----------------------------------------------------------------------

std::string TKeptBreeders::FileName() { return WriteFolder() + kBreedersFile; }

void TKeptBreeders::Read(const std::array<int, kChannelCount>& audible, const std::array<int, kChannelCount>& frozen)
{
    const std::string fileName = FileName();
    std::error_code error;
    if (!std::filesystem::exists(fileName, error) && !error)
        return; // a first start: the breeders are bred as always
    TBreederGenomes breeders;
    TBreederRatings ratings;
    try {
        // The bank's own limits: the file is one the bank may load.
        const std::string text = ReadRegularFile(fileName, kMaxGeneFileSize);
        const int wormCount = FBreeders.Panels[0]->WormCount();
        breeders = ReadBreederFile(text, kChannelCount, wormCount);
        ratings = ReadBreederRatings(text, kChannelCount, wormCount);
    } catch (const Exception& e) {
        QString message = QString("The breeders file \"%1\" could not be read: %2; the breeders start anew.")
                              .arg(QString::fromStdString(fileName), QString::fromStdString(ReadFailure(e)));
        // A file left in place is never replaced without the user's knowing.
        FWrite = SetAside(fileName, message);
        Dialogs().ShowError(message);
        return;
    }
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        FBreeders.Panels[i]->Restore(TBreederSnapshot(breeders[i], audible[i], frozen[i], ratings[i]));
    }
}

void TKeptBreeders::Write()
{
    if (!FWrite)
        return;
    TBreederGenomes breeders;
    TBreederRatings ratings;
    for (const TWormPanel* panel : FBreeders.Panels) {
        breeders.push_back(GenomesOf(*panel));
        ratings.push_back(panel->Ratings());
    }
    WriteFileAtomically(WritableFileName(kBreedersFile), BreederFileText(breeders, ratings));
}

void TKeptBreeders::Keep()
{
    // Told in the status line: under automation a box would come back every few seconds.
    try {
        Write();
        if (FKeptFailed)
            FStatus.Clear(TStatusTopic::Breeding);
        FKeptFailed = false;
    } catch (const std::exception& e) {
        FKeptFailed = true;
        FStatus.Show(TStatusTopic::Breeding,
                     QString("The breeders could not be kept: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

} // namespace zw
