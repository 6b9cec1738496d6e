#include "app/FirstSteps.h"

namespace zw {

QString TFirstSteps::Hint() const
{
    return FShown && !(FAudition && FArrow) ? QString::fromUtf8(kHint) : QString();
}

void TFirstSteps::KeyPressed(TKeyAction action)
{
    switch (action) {
    case TKeyAction::AudiblePrev:
    case TKeyAction::AudibleNext:
    case TKeyAction::AudibleUp:
    case TKeyAction::AudibleDown:
        FArrow = true;
        break;
    default:
        break;
    }
}

TAuditionPress PressAudition(bool requested, bool shownActive)
{
    if (!shownActive)
        return {true, true};
    return {false, requested};
}

} // namespace zw
