#include "ui/MorphKnob.h"

#include "worms/Breeding.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

namespace zw {

bool TMorphKnob::Continues(const TWormPanel& panel) const
{
    const TWorm* audible = panel.Worms(panel.Audible());
    const TWorm* frozen = panel.Worms(panel.Frozen());
    return FPanel.data() == &panel && panel.Audible() == FAudible && panel.Frozen() == FFrozen && audible &&
           audible->Gene() == FLast && (frozen ? frozen->Gene() : FOrigin) == FTarget;
}

void TMorphKnob::Turn(TWormPanel& panel, int value)
{
    TWorm* audible = panel.Worms(panel.Audible());
    if (!audible)
        return;
    const bool continues = Continues(panel);
    if (!continues) {
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
    // Taken as it is (drawing nothing), then heard once. FLast is set before
    // the report: a failing report (a rule) must not end the turn.
    const auto move = [&] {
        audible->SetGene(FLast);
        audible->NotifyChanged();
    };
    if (continues && FStepped) {
        move();
        return;
    }
    // The turn's first move away from its start is the one undo step.
    FStepped = !(FLast == FOrigin);
    panel.Step(move);
}

} // namespace zw
