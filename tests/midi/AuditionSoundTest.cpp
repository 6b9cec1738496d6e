// Audition through the built-in synthesizer, rendered offline: the note is
// heard in the first audio period after it leaves the scheduler, and stopping
// leaves silence once the release has passed.
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/SynthBinding.h"
#include "support/MidiTestSupport.h"

#include <algorithm>
#include <cmath>

namespace zw {
namespace {

using namespace std::chrono_literals;

constexpr int kPeriodFrames = 256;
// Audio rendered after the note-off within which the sound must have died away.
constexpr int kReleaseFrames = 3 * TSynthesizer::kSampleRate;

// The loudest sample of the next period.
float RenderPeak(TSynthBinding& synth)
{
    float left[kPeriodFrames];
    float right[kPeriodFrames];
    EXPECT_TRUE(synth.Render(left, right, kPeriodFrames));
    float peak = 0;
    for (int i = 0; i < kPeriodFrames; ++i)
        peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
    return peak;
}

TEST(AuditionSound, StartIsHeardInTheNextPeriodAndStopEndsInSilence)
{
    TScriptedMidiBinding system;
    TSynthBinding synth(system, TSynthOutput::Offline);
    TMidiOutput out(nullptr, &synth);
    out.SetProductName(kSynthDeviceName);
    out.OpenPort();
    out.SendShort(0xC0, 80, 0); // a square lead: it sounds from its first sample
    TMidiScheduler scheduler;
    scheduler.SetOutput(&synth, out.Handle());
    scheduler.SetPhrase({{60}, 100, 10s, 10s});
    scheduler.SetVoice(0, true, 0);
    EXPECT_LT(RenderPeak(synth), 1e-5f) << "sound before the start";

    scheduler.SetPlaying(true);
    ASSERT_TRUE(WaitUntil([&] { return scheduler.SentCount() == 1; }));
    EXPECT_GT(RenderPeak(synth), 1e-3f) << "the first period after the note-on is silent";
    float sustained = 0;
    for (int i = 0; i < TSynthesizer::kSampleRate / 4 / kPeriodFrames; ++i)
        sustained = RenderPeak(synth);
    EXPECT_GT(sustained, 1e-2f);

    scheduler.SetPlaying(false); // returns once the note-off is out
    int silentFrom = -1;
    for (int frame = 0; frame < kReleaseFrames; frame += kPeriodFrames) {
        const bool silent = RenderPeak(synth) < sustained * 1e-3f; // -60 dB
        if (silent && silentFrom < 0)
            silentFrom = frame;
        else if (!silent)
            silentFrom = -1;
    }
    ASSERT_GE(silentFrom, 0) << "still sounding 3 s after the stop";
    ::testing::Test::RecordProperty("silent_ms_after_stop", 1000 * silentFrom / TSynthesizer::kSampleRate);
}

} // namespace
} // namespace zw
