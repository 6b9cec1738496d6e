#pragma once

#include <Qt>

namespace zw {

// What a key does to the breeder shown in the main window.
enum class TKeyAction {
    None,
    AudiblePrev,
    AudibleNext,
    AudibleUp,
    AudibleDown,
    FrozenPrev,
    FrozenNext,
    FrozenUp,
    FrozenDown,
    Mate,
    RandomizeAll,
    Morph,
    MutateAll,
    Rate0, // clears the audible worm's rating
    Rate1,
    Rate2,
    Rate3,
    BreedFromRated,
    ToggleAB,
};

// The main window's key table. Without a modifier the arrows move the audible
// worm and the keypad's + - . / (or Execute, Insert, Delete, Help) breed; with
// Shift or Alt held (Ctrl may be held too) only the arrows act, moving the
// frozen worm. The keypad's * breeds from the rated worms and its Enter
// toggles A/B; Ctrl with 0..3 (main keyboard or keypad) rates the audible
// worm. Ctrl with any other key, the Meta key, and every other key do
// nothing, so the main keyboard's + - . / * and Return never breed.
TKeyAction MainKeyAction(int key, Qt::KeyboardModifiers modifiers);

} // namespace zw
