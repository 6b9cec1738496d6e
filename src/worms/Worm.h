#pragma once

#include "worms/DragDrop.h"
#include "worms/Gene.h"
#include "worms/GeneMask.h"
#include "worms/WormSettings.h"

#include <QColor>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <vector>

class QMimeData;
class QPainter;

namespace zw {

// A breeder's gene mask as one operation applies it: the locks and ranges,
// and the audible worm's genes as they were when the operation began.
struct TMaskedBreeding {
    const TGeneMask& Mask;
    const TGene& Audible;
};

// One creature on screen: owns a genome, carries its look and breeding
// parameters (TWormSettings; a change of look repaints) and the breeding
// operators, shows its state (audible, frozen, both, neither) by its border
// colour and draws its genome as a path of unit steps.
//
// Among the worms sharing one parent at most one is audible and at most one is
// frozen; making a worm audible (frozen) clears that state on its siblings.
//
// Mouse: left press makes the worm audible, then a drag past the system's drag
// threshold drags the worm (mime type kWormMimeType, the genome's bytes).
// Right press freezes it; a middle press cycles its rating. Dropping another worm on it makes it audible and
// mates its panel; dropping a gene bank entry (kGeneBoxMimeType) makes it
// audible and gives it the entry's genome.
class TWorm : public TWormSettings<QWidget> {
    Q_OBJECT

public:
    // Events: single listener, the sender first. OnGenomeChanged gets a
    // temporary copy of the genome, valid only during the call.
    using TNotifyEvent = std::function<void(TWorm* sender)>;
    using TGenomeChangedEvent = std::function<void(TWorm* sender, const TGene& gene)>;

    // A new worm is 80 x 80, neither audible nor frozen, with 120 random genes.
    explicit TWorm(QWidget* parent = nullptr);
    ~TWorm() override;

    // Number of genes. Setting it always resizes and randomizes (which notifies),
    // also when the count does not change.
    int32_t Size() const { return FGene.Size(); }
    void SetSize(int32_t count);
    const TGene& Gene() const { return FGene; }

    bool Audible() const { return FAudible; }
    void SetAudible(bool value);
    bool Frozen() const { return FFrozen; }
    void SetFrozen(bool value);

    // The user's rating, 0 (none) to kMaxRating, drawn as stars in the top
    // right corner; out of range raises ERangeError.
    int Rating() const { return FRating; }
    void SetRating(int rating);
    // Marks the worm as the one A/B compares with (a "B" in the top left corner).
    bool MarkedB() const { return FMarkedB; }
    void SetMarkedB(bool marked);

    // The worm's index in its panel (-1 outside a panel).
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // The border colour for the current state.
    QColor BorderColor() const;

    void SetOnAudible(TNotifyEvent handler) { FOnAudible = std::move(handler); }
    void SetOnFrozen(TNotifyEvent handler) { FOnFrozen = std::move(handler); }
    void SetOnGenomeChanged(TGenomeChangedEvent handler) { FOnGenomeChanged = std::move(handler); }

    // The genes anything listens to (an instrument's ports): the first
    // `count`, all when negative. The others are kept as they are by every
    // breeding operator and do not shape the drawing. All at first.
    int HeardGenes() const { return FHeardGenes; }
    void SetHeardGenes(int count);

    // Breeding operators (the draws are those of Breeding.h), each ending with
    // NotifyChanged. A null partner does nothing (AssignGenes(nullptr) still
    // notifies). Given a mask, the genes it produced are brought under it
    // before anyone hears of them. AssignWorm keeps the genes not heard, as
    // breeding does; AssignGenes takes every gene.
    void Randomize(const TMaskedBreeding* mask = nullptr);
    void Mutate(const TMaskedBreeding* mask = nullptr);
    void CrossOver(TWorm* other, const TMaskedBreeding* mask = nullptr);
    void Morph(TWorm* other, const TMaskedBreeding* mask = nullptr);
    void AssignGenes(const TGene* gene);
    void AssignWorm(TWorm* other);
    // Takes `gene` as it is, drawing nothing and reporting nothing: the genome
    // comes back from a breeder's history, whose restore reports it.
    void SetGene(const TGene& gene);
    // Reports the genome to OnGenomeChanged when audible; repaints.
    void NotifyChanged();

    // Whether a drag carrying `mime`, started by `source`, may be dropped here:
    // another worm's genome (not this worm's own) or a gene bank entry.
    bool AcceptsDrop(const QMimeData* mime, const QObject* source) const;
    // What such a drop does: this worm becomes audible, then a worm drop mates
    // the parent panel and a gene bank drop assigns the entry's genome; in a
    // panel, all of it is one of the panel's steps.
    void Drop(const QMimeData* mime, const QObject* source);

    // Draws the worm into `painter` at (0, 0) with the worm's size: the same
    // picture the widget shows.
    void PaintTo(QPainter& painter) const;
    // The path PaintTo draws, in device pixels: the heard genes' picture.
    std::vector<QPoint> Path() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void LookChanged() override { update(); }
    void BreedingChanged() override {}
    void StartDrag();
    // Brings what an operator produced from `before` under the mask, keeps the
    // genes not heard, and reports it.
    void Bred(const TGene& before, const TMaskedBreeding* mask, TGeneFit fit);
    void PaintMarks(QPainter& painter) const;

    TGene FGene;
    bool FDestroying = false;
    bool FAudible = false;
    bool FFrozen = false;
    int FTag = -1;
    int FRating = 0;
    bool FMarkedB = false;
    int FHeardGenes = -1;
    TNotifyEvent FOnAudible;
    TNotifyEvent FOnFrozen;
    TGenomeChangedEvent FOnGenomeChanged;
    TDragGesture FDrag;
};

// A copy of the worm's genome; an empty genome when `worm` is null.
inline TGene GenomeOf(const TWorm* worm) { return worm ? worm->Gene() : TGene(); }

} // namespace zw
