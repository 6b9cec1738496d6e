#pragma once

#include "worms/Gene.h"

#include <QPointer>

namespace zw {

class TWormPanel;

// A knob (a control change) that moves a breeder's audible worm between where
// it was when the knob was first touched (0) and the frozen worm (127), under
// the breeder's gene mask as keypad morph is: a locked gene keeps the value it
// had when the turn began, a ranged one stays in its range. A turn lasts while
// nothing else steps or restores the breeder, the audible worm still holds
// what the knob gave it, and the audible and frozen worm stay the same. Each
// turn is one step of the breeder's undo history; each value is heard, and
// each move is a change like any step's (kept soon, ratings dropped).
class TMorphKnob {
public:
    static constexpr int kFull = 127;

    // Moves `panel`'s audible worm to `value` (0..kFull) of the way from the
    // turn's start to the frozen worm. Nothing without an audible worm.
    void Turn(TWormPanel& panel, int value);

private:
    bool Continues(const TWormPanel& panel) const;

    QPointer<TWormPanel> FPanel; // the breeder of the turn; null between turns
    int FAudible = -1;
    int FFrozen = -1;
    TGene FOrigin; // the audible worm when the turn began
    TGene FTarget; // the frozen worm
    TGene FLast;   // what the knob last gave the audible worm
    bool FStepped = false; // the turn has its undo step
    int FStepCount = 0;    // the breeder's step count after the knob's last move
};

} // namespace zw
