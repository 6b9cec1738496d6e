// What the main window's features decide without a window: where thru goes,
// where the window starts, and which export lengths are taken.
#include "app/MainSettings.h"
#include "app/ThruPlan.h"
#include "app/WormTake.h"

#include <gtest/gtest.h>

#include <limits>

namespace zw {
namespace {

TEST(MainLogic, ThruGoesToTheActiveBreedersOutputsOrTheirInstrumentsAndNowhereWithThruOff)
{
    TChannelSet active;
    active.Include(0);
    active.Include(1);
    active.Include(3);
    // A and B listen on input channel 2, C (inactive) and D on 5; B plays an instrument.
    const std::array<int32_t, kChannelCount> in{2, 2, 5, 0x15};
    const std::array<int32_t, kChannelCount> out{7, 8, 9, 0x1A};
    const auto plays = [](TChannel c) { return c == 1; };

    const TThruPlan plan = PlanThru(active, in, out, true, plays);
    TMidiScheduler::TThruRoutes routes{};
    routes[2] = 1u << 7;
    routes[5] = 1u << 10; // channels are taken modulo 16
    TMidiScheduler::TThruVoices voices{};
    voices[2] = 1u << 1;
    EXPECT_EQ(plan.Routes, routes);
    EXPECT_EQ(plan.Voices, voices);

    const TThruPlan off = PlanThru(active, in, out, false, plays);
    EXPECT_EQ(off.Routes, TMidiScheduler::TThruRoutes{});
    EXPECT_EQ(off.Voices, TMidiScheduler::TThruVoices{});
}

TEST(MainLogic, TheStoredBoundsAreConfinedToTheScreenAndTheMinimum)
{
    const QSize minimum(TMainSettings::kMinWidth, TMainSettings::kMinHeight);
    const QRect area(0, 30, 1280, 770);
    TMainSettings s;
    EXPECT_EQ(s.Bounds(minimum, area), QRect(1, 103, 541, 553)); // the defaults fit as they are

    s.Left = -9000;
    s.Top = 2000000;
    s.Width = std::numeric_limits<int>::max();
    s.Height = std::numeric_limits<int>::max();
    EXPECT_EQ(s.Bounds(minimum, area), area);

    s.Left = 900;
    s.Top = 600;
    s.Width = 10;
    s.Height = 10;
    EXPECT_EQ(s.Bounds(minimum, area), QRect(1280 - 541, 800 - 553, 541, 553));
    // A screen smaller than the minimum: the minimum, at the screen's corner.
    EXPECT_EQ(s.Bounds(minimum, QRect(0, 0, 400, 300)), QRect(0, 0, 541, 553));
}

TEST(MainLogic, AnExportLengthIsAboveZeroAndAtMostAMinute)
{
    EXPECT_EQ(ExportSeconds("4"), 4.0);
    EXPECT_EQ(ExportSeconds(" 2.5 "), 2.5);
    EXPECT_EQ(ExportSeconds("60"), 60.0);
    for (const char* refused : {"0", "-1", "60.5", "", "four", "nan", "inf", "1e9"})
        EXPECT_EQ(ExportSeconds(refused), std::nullopt) << refused;
}

} // namespace
} // namespace zw
