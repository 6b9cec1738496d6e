#pragma once

#include "app/ChannelSet.h"
#include "worms/BreederHistory.h"

#include <QObject>

#include <array>
#include <string>

class QAction;

namespace zw {

class TDeferredAction;
class TStatusLine;
class TWormPanel;
struct TBreederTabs;

// The main window's kept breeders: each breeder's undo history with the Edit
// menu's Undo and Redo of the breeder shown, "New breeders", and the file
// that keeps the breeders between runs (read at creation with the selections
// the settings hold, written at close and a short while after each breeding
// step, a failure then told in the status line). It owns the histories, the
// deferred save and whether the file may be written.
class TKeptBreeders : public QObject {
    Q_OBJECT

public:
    TKeptBreeders(const TBreederTabs& breeders, TStatusLine& status);

    void SetMenuActions(QAction* undo, QAction* redo);
    // A breeding step of `panel`, `before` the state it left.
    void Step(TWormPanel* panel, const TBreederSnapshot& before);
    // The last step went on (a knob turning): kept soon, with no undo step of its own.
    void StepContinued();
    void UpdateEditMenu();
    void UndoClick();
    void RedoClick();
    // Breeds all four breeders anew from the clock, once the user agrees;
    // undoable on each breeder.
    void NewBreedersClick();

    // Where the breeders are kept between runs: in the folder of the settings file.
    static std::string FileName();
    void Read(const std::array<int, kChannelCount>& audible, const std::array<int, kChannelCount>& frozen);
    void Write();

private:
    void Keep();

    const TBreederTabs& FBreeders;
    TStatusLine& FStatus;
    QAction* FUndo = nullptr;
    QAction* FRedo = nullptr;
    std::array<TBreederHistory, kChannelCount> FHistories;
    TDeferredAction* FSave = nullptr;
    // False while a kept-breeders file that could not be read is still in
    // place: it is never replaced without the user's knowledge.
    bool FWrite = true;
    bool FKeptFailed = false; // and told in the status line
};

} // namespace zw
