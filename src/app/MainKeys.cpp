#include "app/MainKeys.h"

namespace zw {
namespace {

TKeyAction ArrowAction(int key, bool frozen)
{
    switch (key) {
    case Qt::Key_Left:
        return frozen ? TKeyAction::FrozenPrev : TKeyAction::AudiblePrev;
    case Qt::Key_Right:
        return frozen ? TKeyAction::FrozenNext : TKeyAction::AudibleNext;
    case Qt::Key_Up:
        return frozen ? TKeyAction::FrozenUp : TKeyAction::AudibleUp;
    case Qt::Key_Down:
        return frozen ? TKeyAction::FrozenDown : TKeyAction::AudibleDown;
    default:
        return TKeyAction::None;
    }
}

// The keypad's operator keys and their stand-ins (Execute, Insert, Delete,
// Help). The keypad's decimal key reports a comma under some layouts.
TKeyAction BreedingAction(int key, bool keypad)
{
    switch (key) {
    case Qt::Key_Plus:
        return keypad ? TKeyAction::Mate : TKeyAction::None;
    case Qt::Key_Execute:
        return TKeyAction::Mate;
    case Qt::Key_Minus:
        return keypad ? TKeyAction::RandomizeAll : TKeyAction::None;
    case Qt::Key_Insert:
        return TKeyAction::RandomizeAll;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return keypad ? TKeyAction::Morph : TKeyAction::None;
    case Qt::Key_Delete:
        return TKeyAction::Morph;
    case Qt::Key_Slash:
        return keypad ? TKeyAction::MutateAll : TKeyAction::None;
    case Qt::Key_Help:
        return TKeyAction::MutateAll;
    case Qt::Key_Asterisk:
        return keypad ? TKeyAction::BreedFromRated : TKeyAction::None;
    case Qt::Key_Enter: // the keypad's; the main keyboard's is Key_Return
        return TKeyAction::ToggleAB;
    default:
        return TKeyAction::None;
    }
}

TKeyAction RatingAction(int key)
{
    switch (key) {
    case Qt::Key_0:
        return TKeyAction::Rate0;
    case Qt::Key_1:
        return TKeyAction::Rate1;
    case Qt::Key_2:
        return TKeyAction::Rate2;
    case Qt::Key_3:
        return TKeyAction::Rate3;
    default:
        return TKeyAction::None;
    }
}

} // namespace

TKeyAction MainKeyAction(int key, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (modifiers.testFlag(Qt::MetaModifier))
        return TKeyAction::None;
    if (modifiers.testFlag(Qt::ShiftModifier) || modifiers.testFlag(Qt::AltModifier))
        return ArrowAction(key, true);
    if (modifiers.testFlag(Qt::ControlModifier))
        return RatingAction(key);
    const TKeyAction arrow = ArrowAction(key, false);
    return arrow != TKeyAction::None ? arrow : BreedingAction(key, keypad);
}

} // namespace zw
