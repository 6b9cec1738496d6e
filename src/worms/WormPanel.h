#pragma once

#include "worms/BreederHistory.h"
#include "worms/Gene.h"
#include "worms/GeneMask.h"
#include "worms/Worm.h"
#include "worms/WormSettings.h"

#include <QFrame>
#include <QPointer>

#include <functional>
#include <optional>
#include <vector>

namespace zw {

// One breeder: a bevelled panel holding RowCount x ColCount worms in row-major
// order, tracking which worm is audible and which is frozen, and offering the
// grid-wide breeding operations. A worm's index is its position in the grid
// and its Tag.
//
// Events (single listener each, the panel as sender):
//  - OnAudible(panel): a worm has become audible, before its genome is reported;
//  - OnFrozen(panel): a worm has become frozen;
//  - OnWormChanged(panel, gene): the audible worm became audible or its genes
//    changed; `gene` is a temporary copy valid only during the call;
//  - OnStep(panel, before): a step (see Step) changed some genome or the gene
//    mask; `before` is the breeder as it was when the step began;
//  - OnStepContinued(panel): a change went on with the last step (see
//    ContinueStep) and changed some genome.
// The Qt signal GenesShown() tells views that the audible worm's genes or the
// gene mask may have changed (any number of listeners).
// Exceptions thrown by a listener propagate to the caller of the operation.
//
// Every setter except SetAudible/SetFrozen does nothing when the value is unchanged.
// The look and breeding settings (TWormSettings) reach every worm on change
// (UpdateWorms); worms added by a larger grid keep the worm defaults until then.
class TWormPanel : public TWormSettings<QFrame> {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TWormPanel* sender)>;
    using TOnWormChanged = std::function<void(TWormPanel* sender, const TGene& gene)>;
    using TOnStep = std::function<void(TWormPanel* sender, const TBreederSnapshot& before)>;

    // A 2 x 2 grid of default worms, no audible and no frozen worm, 168 x 168.
    explicit TWormPanel(QWidget* parent = nullptr);
    ~TWormPanel() override;

    // Hosts tell panels apart by it (the main window: the channel index).
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // Grid shape; a change adds or removes worms at the end, then arranges.
    int RowCount() const { return FRowCount; }
    void SetRowCount(int value);
    int ColCount() const { return FColCount; }
    void SetColCount(int value);
    int WormCount() const { return static_cast<int>(FWorms.size()); }
    // The worm at `index`, or null outside 0..WormCount-1.
    TWorm* Worms(int index) const;

    // Audible/Frozen index, -1 for none. Setting an index outside
    // 0..WormCount-1 is ignored; setting the current one raises nothing.
    int Audible() const { return FAudible; }
    void SetAudible(int index);
    int Frozen() const { return FFrozen; }
    void SetFrozen(int index);
    // The worm that was audible before the audible one (B of A/B), marked on
    // the grid; -1 for none. ClearPrevious forgets it.
    int Previous() const { return FPrevious; }
    void ClearPrevious() { SetPrevious(-1); }
    // A/B: the previous worm becomes audible again, and the one audible now
    // becomes the previous one. False when there is no previous worm.
    bool ToggleAB();

    // The rating of worm `index` (0 outside); setting one outside does nothing.
    int Rating(int index) const;
    void SetRating(int index, int rating);
    std::vector<uint8_t> Ratings() const;

    // Layout (unsigned bytes 0..255; out of range raises ERangeError).
    int Spacing() const { return FSpacing; }
    void SetSpacing(int value);
    int WormWidth() const { return FWormWidth; }
    void SetWormWidth(int value);
    int WormHeight() const { return FWormHeight; }
    void SetWormHeight(int value);
    // Gene count of every worm; a change re-randomizes every worm in index order.
    int WormSize() const { return FWormSize; }
    void SetWormSize(int value);
    // The genes the breeder's sound listens to: the first `count`, all when
    // negative (see TWorm::SetHeardGenes); every worm, and every worm added later.
    int HeardGenes() const { return FHeardGenes; }
    void SetHeardGenes(int count);

    void SetOnAudible(TNotifyEvent handler) { FOnAudible = std::move(handler); }
    void SetOnFrozen(TNotifyEvent handler) { FOnFrozen = std::move(handler); }
    void SetOnWormChanged(TOnWormChanged handler) { FOnWormChanged = std::move(handler); }
    void SetOnStep(TOnStep handler) { FOnStep = std::move(handler); }
    void SetOnStepContinued(TNotifyEvent handler) { FOnStepContinued = std::move(handler); }

    // Runs `change` as one step: when it changed any genome, also when it
    // failed halfway, OnStep hears how the breeder was before, and a worm
    // whose genome changed loses its rating. A step run within a step belongs
    // to the outer one.
    void Step(const std::function<void()>& change);
    // Runs `change` as more of the last step (a knob still turning): a worm
    // whose genome changed loses its rating and OnStepContinued hears of it,
    // but no step of its own is told. Ends an open step first.
    void ContinueStep(const std::function<void()>& change);
    // Counts the steps told through OnStep and the restores: whoever goes on
    // with a step checks that none came since its own.
    int StepCount() const { return FStepCount; }
    // The breeder as it is (with its ratings), and bringing one back. Restore
    // draws nothing from the random generator; the audible worm is reported
    // once when it or its genome differs from before.
    TBreederSnapshot Snapshot() const;
    void Restore(const TBreederSnapshot& snapshot);

    // The locks and ranges of the genes (see TGeneMask). Every breeding
    // operation brings the worms it produces under it, the locked genes to
    // the audible worm's values as they were before the operation. Within a
    // Step, setting another mask is a step of its own (undoable).
    const TGeneMask& GeneMask() const { return FGeneMask; }
    void SetGeneMask(const TGeneMask& mask);

    // Sets gene `index` of the audible worm and reports it, with no step of
    // its own (see EndStepFrom); nothing without an audible worm or outside
    // its genes.
    void SetAudibleGene(int index, uint8_t value);
    // A change made outside Step over a while, such as a drag through several
    // values: begun at its first change (again after an end), ended as one
    // step. Any Step ends it first, so each step begins where the last ended.
    void BeginOpenStep();
    void EndOpenStep();

    // Breeding, each a Step: every worm but the frozen one randomizes / mutates.
    void RandomizeAll();
    void MutateAll();
    // Every worm but the audible and the frozen one becomes a child of the
    // audible (first parent) and the frozen worm (second parent).
    void Mate();
    // The audible worm morphs toward the frozen worm.
    void Morph();
    // Every unrated worm but the frozen one is replaced by one bred from the
    // rated worms (BreedFromRated in RatedBreeding.h), as one step. False,
    // and nothing changed, when no worm is rated.
    bool BreedFromRated();
    // Every worm, the frozen one too, randomizes: a new population.
    void RandomizeEvery();
    // Reports the audible worm's genome again through OnWormChanged.
    void NotifyAudible();

    // Selection moves through the grid, wrapping; nothing on an empty panel.
    void AudiblePrev();
    void AudibleNext();
    void AudibleUp();
    void AudibleDown();
    void FrozenPrev();
    void FrozenNext();
    void FrozenUp();
    void FrozenDown();

    // Copies the worm settings to every worm and sizes them.
    void UpdateWorms();
    // Sizes the panel to the grid and places the worms.
    void ArrangeWorms();

    QSize sizeHint() const override;

signals:
    void GenesShown();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void AdjustWormCount();
    void AddWorm();
    void RemoveLastWorm();
    void RenumberWorms();
    void WormAudible(TWorm* worm);
    void WormFrozen(TWorm* worm);
    void WormGenomeChanged(const TGene& gene);
    void SetPrevious(int index);
    void RunStep(const std::function<void()>& change, bool continued);
    void EndStep(const TBreederSnapshot& before, bool continued);
    // The mask with the audible worm's genes as they are now.
    TMaskedBreeding MaskedBy(const TGene& audible) const { return {FGeneMask, audible}; }
    void LookChanged() override { UpdateWorms(); }
    void BreedingChanged() override { UpdateWorms(); }
    int MovePrev(int index) const;
    int MoveNext(int index) const;
    int MoveUp(int index) const;
    int MoveDown(int index) const;

    std::vector<TWorm*> FWorms; // owned through Qt parenthood
    QPointer<TWorm> FAudibleWorm;
    QPointer<TWorm> FFrozenWorm;
    int FTag = 0;
    int FRowCount = 0; // the constructor builds the default grid
    int FColCount = 0;
    int FAudible = -1;
    int FFrozen = -1;
    int FPrevious = -1;
    int FSpacing = 2;
    int FWormWidth = 80;
    int FWormHeight = 80;
    int FWormSize = 120;
    int FHeardGenes = -1;
    TNotifyEvent FOnAudible;
    TNotifyEvent FOnFrozen;
    TOnWormChanged FOnWormChanged;
    TOnStep FOnStep;
    TNotifyEvent FOnStepContinued;
    bool FInStep = false;
    int FStepCount = 0;
    std::optional<TBreederSnapshot> FOpenStep; // how the breeder was when the open step began
    TGeneMask FGeneMask;
};

} // namespace zw
