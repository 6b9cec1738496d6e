#include "app/MorphKnob.h"

#include "worms/Breeding.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

namespace zw {

bool TMorphKnob::Continues(const TWormPanel& panel) const
{
    const TWorm* audible = panel.Worms(panel.Audible());
    const TWorm* frozen = panel.Worms(panel.Frozen());
    return FPanel == &panel && panel.Audible() == FAudible && panel.Frozen() == FFrozen && audible &&
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
    // Set before reporting: a failing report (a rule) must not end the turn.
    const TGene genes = FLast;
    if (continues && FStepped) {
        audible->AssignGenes(&genes);
        return;
    }
    // The turn's first move away from its start is the one undo step.
    FStepped = !(genes == FOrigin);
    panel.Step([&] { audible->AssignGenes(&genes); });
}

} // namespace zw
