// The main window's side of the breeders' undo history and of the breeders
// kept between runs.
#include "app/FrmMain.h"
#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/Guard.h"
#include "common/ProgramFiles.h"
#include "common/Random.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "worms/BreederFile.h"
#include "worms/WormPanel.h"

#include <QAction>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zw {
namespace {

// Beside the settings file.
constexpr const char* kBreedersFile = "zwirbels.breeders";
// A kept-breeders file beyond this is no file the program wrote.
constexpr std::size_t kMaxBreedersFileSize = 64U << 20;

std::vector<TGene> GenomesOf(const TWormPanel& panel)
{
    const TBreederSnapshot snapshot = panel.Snapshot();
    std::vector<TGene> genomes;
    for (int i = 0; i < snapshot.GenomeCount(); ++i)
        genomes.push_back(snapshot.Genome(i));
    return genomes;
}

std::string ReadBreedersText(const std::string& fileName)
{
    std::string text = ReadFileUpTo(fileName, kMaxBreedersFileSize);
    if (text.size() > kMaxBreedersFileSize)
        throw EInvalidFile(Format("it is larger than %zu bytes", kMaxBreedersFileSize));
    return text;
}

} // namespace

// Undo history ---------------------------------------------------------------

void TFormMain::WormPanelStep(TWormPanel* panel, const TBreederSnapshot& before)
{
    FHistories.at(static_cast<size_t>(panel->Tag())).Record(before);
    UpdateEditMenu();
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
    if (previous)
        panel->Restore(*previous);
}

void TFormMain::RedoClick()
{
    TWormPanel* panel = CurrentPanel();
    const std::optional<TBreederSnapshot> next = FHistories[static_cast<size_t>(panel->Tag())].Redo(panel->Snapshot());
    UpdateEditMenu();
    if (next)
        panel->Restore(*next);
}

void TFormMain::NewBreedersClick()
{
    if (Dialogs().AskYesNoCancel("Breed all four breeders anew? Undo brings back each one.") != TQueryAnswer::Yes)
        return;
    Randomize();
    // One failing channel (its rules) leaves the others to be bred.
    for (TWormPanel* panel : FWormPanels)
        RunGuarded([panel] { panel->RandomizeEvery(); });
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
    try {
        breeders = ReadBreederFile(ReadBreedersText(fileName), kChannelCount, FWormPanels[0]->WormCount());
    } catch (const Exception& e) {
        // Moved aside, the file is safe from the write at close; where it
        // cannot be moved, it is not written at all.
        QString message =
            QString("The breeders file \"%1\" could not be read: %2; the breeders start anew.")
                .arg(QString::fromStdString(fileName), QString::fromStdString(e.what()));
        const std::string asideName = fileName + ".bad";
        if (std::rename(fileName.c_str(), asideName.c_str()) == 0) {
            message += QString(" It is kept as \"%1\".").arg(QString::fromStdString(asideName));
        } else {
            FWriteBreeders = false;
            message += QString(" It could not be moved aside (%1), so it stays as it is and the breeders are not "
                               "kept at close.")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
        Dialogs().ShowError(message);
        return;
    }
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        FWormPanels[i]->Restore(TBreederSnapshot(breeders[i], audible[i], frozen[i]));
    }
}

void TFormMain::WriteBreeders()
{
    if (!FWriteBreeders)
        return;
    TBreederGenomes breeders;
    for (const TWormPanel* panel : FWormPanels)
        breeders.push_back(GenomesOf(*panel));
    WriteFileAtomically(WritableFileName(kBreedersFile), BreederFileText(breeders));
}

} // namespace zw
