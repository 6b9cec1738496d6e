#pragma once

#include "support/ScriptedMidiBinding.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zw {

// Delivers the notices that the driver callback handed to the ports (their
// wake-up is a socket the event loop watches).
inline void DeliverNotices()
{
    QCoreApplication::processEvents();
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

// The short messages sent, as packed words, in order.
inline std::vector<uint32_t> ShortWords(const TScriptedMidiBinding& midi)
{
    std::vector<uint32_t> words;
    for (const auto& sent : midi.Sent())
        if (!sent.Long)
            words.push_back(sent.Word);
    return words;
}

// Every note-on among the short messages has had its note-off (or a note-on
// of velocity 0) on the same channel since.
inline bool EveryNoteEnded(const std::vector<uint32_t>& words)
{
    std::map<std::pair<uint32_t, uint32_t>, int> sounding; // (status low nibble, note) -> count
    for (const uint32_t word : words) {
        const uint32_t kind = word & 0xF0;
        const auto key = std::pair{word & 0x0F, word >> 8 & 0x7F};
        if (kind == 0x90 && (word >> 16 & 0x7F) > 0)
            ++sounding[key];
        else if (kind == 0x80 || kind == 0x90)
            sounding[key] = 0;
    }
    for (const auto& [key, count] : sounding)
        if (count > 0)
            return false;
    return true;
}

// Polls `done` until it holds or `timeout` has passed (work on other threads).
template <typename F>
bool WaitUntil(F&& done, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::string BindingText(TMidiResult code)
{
    std::string text;
    EXPECT_TRUE(MidiResultText(code, text));
    return text;
}

} // namespace zw
