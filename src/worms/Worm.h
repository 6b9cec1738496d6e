#pragma once

#include "worms/DragDrop.h"
#include "worms/Gene.h"

#include <QColor>
#include <QWidget>

#include <functional>

class QMimeData;
class QPainter;

namespace zw {

// One creature on screen: owns a genome, carries the breeding parameters and
// operators, shows its state (audible, frozen, both, neither) by its border
// colour and draws its genome as a path of unit steps.
//
// Among the worms sharing one parent at most one is audible and at most one is
// frozen; making a worm audible (frozen) clears that state on its siblings.
//
// Mouse: left press makes the worm audible, then a drag past the system's drag
// threshold drags the worm (mime type kWormMimeType, the genome's bytes).
// Right press freezes it. Dropping another worm on it makes it audible and
// mates its panel; dropping a gene bank entry (kGeneBoxMimeType) makes it
// audible and gives it the entry's genome.
class TWorm : public QWidget {
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

    // The worm's index in its panel (-1 outside a panel).
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // Look; each setter repaints and does nothing when the value is unchanged.
    int Clearance() const { return FClearance; } // 0..255
    void SetClearance(int value);
    QColor BackColor() const { return FBackColor; }
    void SetBackColor(const QColor& value);
    QColor BorderColorNormal() const { return FBorderColorNormal; }
    void SetBorderColorNormal(const QColor& value);
    QColor BorderColorAudible() const { return FBorderColorAudible; }
    void SetBorderColorAudible(const QColor& value);
    QColor BorderColorFrozen() const { return FBorderColorFrozen; }
    void SetBorderColorFrozen(const QColor& value);
    QColor BorderColorBoth() const { return FBorderColorBoth; }
    void SetBorderColorBoth(const QColor& value);
    QColor PenColor() const { return FPenColor; }
    void SetPenColor(const QColor& value);
    // Stored and repainted on change; the drawing does not consult it.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    bool DrawLines() const { return FDrawLines; }
    void SetDrawLines(bool value);
    // The border colour for the current state.
    QColor BorderColor() const;

    // Breeding parameters (stored only). Out-of-range values raise ERangeError.
    int CrossOverProbability() const { return FCrossOverProbability; } // 0..100
    void SetCrossOverProbability(int value);
    int MutationProbability() const { return FMutationProbability; } // 0..100
    void SetMutationProbability(int value);
    int MutationRange() const { return FMutationRange; } // 0..255
    void SetMutationRange(int value);
    int MorphPercentage() const { return FMorphPercentage; } // 0..100
    void SetMorphPercentage(int value);

    void SetOnAudible(TNotifyEvent handler) { FOnAudible = std::move(handler); }
    void SetOnFrozen(TNotifyEvent handler) { FOnFrozen = std::move(handler); }
    void SetOnGenomeChanged(TGenomeChangedEvent handler) { FOnGenomeChanged = std::move(handler); }

    // Breeding operators; each draws from zw::Random in a fixed order and ends
    // with NotifyChanged. A null partner does nothing (AssignGenes(nullptr)
    // still notifies).
    void Randomize();
    void Mutate();
    void CrossOver(TWorm* other);
    void Morph(TWorm* other);
    void AssignGenes(const TGene* gene);
    void AssignWorm(TWorm* other);
    // Reports the genome to OnGenomeChanged when audible; repaints.
    void NotifyChanged();

    // Whether a drag carrying `mime`, started by `source`, may be dropped here:
    // another worm's genome (not this worm's own) or a gene bank entry.
    bool AcceptsDrop(const QMimeData* mime, const QObject* source) const;
    // What such a drop does: this worm becomes audible, then a worm drop mates
    // the parent panel and a gene bank drop assigns the entry's genome.
    void Drop(const QMimeData* mime, const QObject* source);

    // Draws the worm into `painter` at (0, 0) with the worm's size: the same
    // picture the widget shows.
    void PaintTo(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void StartDrag();
    void SetLookColor(QColor& field, const QColor& value);

    TGene FGene;
    bool FDestroying = false;
    bool FAudible = false;
    bool FFrozen = false;
    int FTag = -1;
    int FClearance = 10;
    QColor FBackColor{255, 255, 255};
    QColor FBorderColorNormal{128, 128, 128};
    QColor FBorderColorAudible{255, 255, 0};
    QColor FBorderColorFrozen{0, 0, 255};
    QColor FBorderColorBoth{0, 255, 0};
    QColor FPenColor{0, 0, 0};
    bool FTransparent = false;
    bool FDrawLines = true;
    TPercentage FCrossOverProbability = 33;
    TPercentage FMutationProbability = 50;
    uint8_t FMutationRange = 5;
    TPercentage FMorphPercentage = 20;
    TNotifyEvent FOnAudible;
    TNotifyEvent FOnFrozen;
    TGenomeChangedEvent FOnGenomeChanged;
    TDragGesture FDrag;
};

// A copy of the worm's genome; an empty genome when `worm` is null.
inline TGene GenomeOf(const TWorm* worm) { return worm ? worm->Gene() : TGene(); }

} // namespace zw
