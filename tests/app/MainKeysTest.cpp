// The key table on its own: layouts and keypad states the window tests do not reach.
#include "app/MainKeys.h"

#include <gtest/gtest.h>

namespace zw {
namespace {

TEST(MainKeys, TheKeypadDecimalKeyMorphsUnderEveryLayout)
{
    EXPECT_EQ(MainKeyAction(Qt::Key_Period, Qt::KeypadModifier), TKeyAction::Morph);
    EXPECT_EQ(MainKeyAction(Qt::Key_Comma, Qt::KeypadModifier), TKeyAction::Morph);
    EXPECT_EQ(MainKeyAction(Qt::Key_Comma, Qt::NoModifier), TKeyAction::None);
}

TEST(MainKeys, KeypadNavigationKeysActLikeTheirMainCounterparts)
{
    // With NumLock off the keypad sends Insert, Delete and the arrows.
    EXPECT_EQ(MainKeyAction(Qt::Key_Insert, Qt::KeypadModifier), TKeyAction::RandomizeAll);
    EXPECT_EQ(MainKeyAction(Qt::Key_Delete, Qt::KeypadModifier), TKeyAction::Morph);
    EXPECT_EQ(MainKeyAction(Qt::Key_Up, Qt::KeypadModifier), TKeyAction::AudibleUp);
    EXPECT_EQ(MainKeyAction(Qt::Key_Up, Qt::KeypadModifier | Qt::ShiftModifier), TKeyAction::FrozenUp);
}

TEST(MainKeys, ModifiersOtherThanShiftOrAltStopEveryKey)
{
    for (int key : {Qt::Key_Left, Qt::Key_Insert, Qt::Key_Help, Qt::Key_Execute}) {
        EXPECT_EQ(MainKeyAction(key, Qt::ControlModifier), TKeyAction::None) << key;
        EXPECT_EQ(MainKeyAction(key, Qt::MetaModifier | Qt::ShiftModifier), TKeyAction::None) << key;
    }
    EXPECT_EQ(MainKeyAction(Qt::Key_A, Qt::NoModifier), TKeyAction::None);
    EXPECT_EQ(MainKeyAction(Qt::Key_Help, Qt::ShiftModifier), TKeyAction::None);
}

} // namespace
} // namespace zw
