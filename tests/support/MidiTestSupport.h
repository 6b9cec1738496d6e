#pragma once

#include "support/ScriptedMidiBinding.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zw {

// Delivers the notices that the driver callback posted to the ports.
inline void DeliverNotices()
{
    QCoreApplication::sendPostedEvents();
}

// Runs `action`, which must raise E with exactly `message`.
template <typename E, typename F>
void ExpectRaises(F&& action, const std::string& message)
{
    try {
        action();
        ADD_FAILURE() << "nothing raised; expected \"" << message << "\"";
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

inline std::string BindingText(TMidiResult code)
{
    std::string text;
    EXPECT_TRUE(MidiResultText(code, text));
    return text;
}

} // namespace zw
