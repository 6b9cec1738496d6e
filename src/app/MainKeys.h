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
};

// The main window's key table. Without a modifier the arrows move the audible
// worm and the keypad's + - . / (or Execute, Insert, Delete, Help) breed; with
// Shift or Alt held (Ctrl may be held too) only the arrows act, moving the
// frozen worm. Ctrl alone, the Meta key, and every other key do nothing, so the
// main keyboard's + - . / never breed.
TKeyAction MainKeyAction(int key, Qt::KeyboardModifiers modifiers);

} // namespace zw
