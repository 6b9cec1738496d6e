#pragma once

#include "app/MainKeys.h"

#include <QString>

namespace zw {

// What a newcomer is told at a first start: one hint naming the keys that
// make the breeders heard. It goes once audition has been started and an
// arrow key has moved the audible worm; later starts show none.
class TFirstSteps {
public:
    static constexpr const char* kHint =
        "F5 plays channel A \u00B7 arrow keys listen to other worms \u00B7 keypad \u2212 breeds new ones";

    explicit TFirstSteps(bool firstStart = false) : FShown(firstStart) {}

    // The hint, or empty once it has done its work (or on a later start).
    QString Hint() const;
    void AuditionStarted() { FAudition = true; }
    // A key of the main window's table; the arrows that move the audible worm count.
    void KeyPressed(TKeyAction action);

private:
    bool FShown = false;
    bool FAudition = false;
    bool FArrow = false;
};

// What a press of audition (F5, its button or menu entry) does. `requested`
// is the toggle's new state. On a breeder that is not active the press
// switches it on and audition plays: the press is never silent. Otherwise
// audition follows the toggle.
struct TAuditionPress {
    bool SwitchOn = false;
    bool Playing = false;
};
TAuditionPress PressAudition(bool requested, bool shownActive);

} // namespace zw
