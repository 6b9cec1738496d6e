#include "ui/MorphKnob.h"

#include "worms/Breeding.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

namespace zw {

bool TMorphKnob::Continues(const TWormPanel& panel) const
{
    const TWorm* audible = panel.Worms(panel.Audible());
    const TWorm* frozen = panel.Worms(panel.Frozen());
    return FPanel.data() == &panel && panel.StepCount() == FStepCount && panel.Audible() == FAudible &&
           panel.Frozen() == FFrozen && audible && audible->Gene() == FLast &&
           (frozen ? frozen->Gene() : FOrigin) == FTarget;
}

void TMorphKnob::Turn(TWormPanel& panel, int value)
{
    TWorm* audible = panel.Worms(panel.Audible());
    if (!audible)
        return;
    panel.EndOpenStep(); // a gene dragged meanwhile is a step of its own, and ends the turn
    if (!Continues(panel)) {
        const TWorm* frozen = panel.Worms(panel.Frozen());
        FPanel = &panel;
        FAudible = panel.Audible();
        FFrozen = panel.Frozen();
        FOrigin = audible->Gene();
        // Without a frozen worm the knob has nowhere to go: it stays where it began.
        FTarget = frozen ? frozen->Gene() : FOrigin;
        FStepped = false;
    }
    FLast = BlendGenes(FOrigin, FTarget, value, kFull);
    ApplyGeneMask(FLast, FOrigin, panel.GeneMask(), TGeneFit::Clamp);
    KeepUnheardGenes(FLast, FOrigin, panel.HeardGenes());
    // Taken as it is (drawing nothing), then heard once. The knob's state is
    // set before the move: a report that fails (a rule) still leaves the step
    // told and the turn going on.
    const bool changes = FLast != audible->Gene();
    const bool continued = FStepped;
    FStepped = FStepped || changes;
    FStepCount = panel.StepCount() + (changes && !continued ? 1 : 0);
    const auto move = [&] {
        audible->SetGene(FLast);
        audible->NotifyChanged();
    };
    // The turn's first move away from its start is its one undo step.
    if (continued)
        panel.ContinueStep(move);
    else
        panel.Step(move);
}

} // namespace zw
