// The search on the mda JX10, rendered through the plug-in host as the
// matcher renders every candidate.
#include "app/MatchRenderers.h"
#include "common/FileNotes.h"
#include "rules/Substitution.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

namespace zw {
namespace {

const char* const kJx10 = "http://drobilla.net/plugins/mda/JX10";

// A held JX10 tone with neither noise, glide nor vibrato; genes in the
// plug-in's breedable port order.
std::vector<uint8_t> QuietGenome()
{
    std::vector<uint8_t> genes(120, 0);
    const uint8_t values[22] = {90, 128, 128, 0, 0, 0, 150, 60, 160, 0, 0, 10, 110, 90, 60, 5, 120, 150, 60, 0, 0, 0};
    std::copy(std::begin(values), std::end(values), genes.begin());
    return genes;
}

TTarget RenderedTarget(const TRendererFactory& renderers, const std::vector<uint8_t>& genes)
{
    TTarget target;
    target.Samples = renderers()->Render(genes);
    return target;
}

// A search that ends after `renders` renders, not at a time: repeatable with one worker.
TMatchOptions RenderLimited(uint64_t seed, int workers, long renders)
{
    TMatchOptions options;
    options.Seed = seed;
    options.Workers = workers;
    options.MaxRenders = renders;
    options.BudgetSeconds = 1e6;
    return options;
}

std::vector<TMatch> Search(const TTarget& target, const TMatchSpace& space, const TRendererFactory& renderers,
                           const TMatchOptions& options)
{
    TMatchJob job(target, space, renderers, options);
    job.Start();
    job.Wait();
    EXPECT_TRUE(job.Progress().Finished);
    EXPECT_EQ(job.Progress().FailedRenders, 0);
    EXPECT_EQ(job.Error(), "");
    return job.Results();
}

TEST(MatchJob, FindsThreeFreeGenesOfARenderedGenome)
{
    const TRendererFactory renderers = MakeRenderers({kJx10, nullptr, {}, 0}, {48, 100, 1});
    const std::vector<uint8_t> truth = QuietGenome();
    TMatchSpace space;
    space.Start = truth;
    // Filter cutoff, amplifier decay, oscillator mix: the rest locked.
    space.Free = {{6, 0, 255}, {16, 0, 255}, {0, 0, 255}};
    for (const auto& free : space.Free)
        space.Start[static_cast<size_t>(free.Gene)] = 128;
    const TMatchOptions options = RenderLimited(7, 2, 400);
    const std::vector<TMatch> results = Search(RenderedTarget(renderers, truth), space, renderers, options);
    ASSERT_FALSE(results.empty());
    const TMatch& best = results.front();
    for (const auto& free : space.Free)
        EXPECT_NEAR(best.Genes[static_cast<size_t>(free.Gene)], truth[static_cast<size_t>(free.Gene)], 8)
            << "gene " << free.Gene << ", distance " << best.Distance;
    for (size_t gene = 0; gene < truth.size(); ++gene)
        if (gene != 6 && gene != 16 && gene != 0) {
            EXPECT_EQ(best.Genes[gene], truth[gene]) << "locked gene " << gene;
        }
}

// The gene view's ranges bound every result, also where the target lies
// beyond them (its cutoff below the range given) and the search presses
// against the bound.
TEST(MatchJob, KeepsEveryResultWithinTheRangesGiven)
{
    const TRendererFactory renderers = MakeRenderers({kJx10, nullptr, {}, 0}, {48, 100, 1});
    std::vector<uint8_t> truth = QuietGenome();
    truth[6] = 20;   // VCF cutoff
    truth[9] = 240;  // VCF LFO
    truth[19] = 150; // LFO rate
    TMatchSpace space;
    space.Start = truth;
    space.Free = {{6, 100, 140}, {19, 140, 170}};
    for (const auto& free : space.Free)
        space.Start[static_cast<size_t>(free.Gene)] = free.Max;
    const TMatchOptions options = RenderLimited(3, 1, 400);
    const std::vector<TMatch> results = Search(RenderedTarget(renderers, truth), space, renderers, options);
    ASSERT_EQ(results.size(), 16u);
    for (const TMatch& match : results)
        for (const auto& free : space.Free) {
            const int value = match.Genes[static_cast<size_t>(free.Gene)];
            EXPECT_TRUE(value >= free.Min && value <= free.Max) << "gene " << free.Gene << " is " << value;
        }
    EXPECT_EQ(results.front().Genes[6], 100) << "the cutoff stops at its bound";
}

// One worker and a render limit: the same seed gives the same results; the
// results differ from each other by at least 8 in a free gene.
TEST(MatchJob, RepeatsASeededOneWorkerSearchAndKeepsDistinctResults)
{
    const TRendererFactory renderers = MakeRenderers({kJx10, nullptr, {}, 0}, {48, 100, 1});
    std::vector<uint8_t> target = QuietGenome();
    target[7] = 200;
    TMatchSpace space;
    space.Start = QuietGenome();
    space.Free = {{6, 0, 255}, {7, 0, 255}};
    // 100 renders: long enough for the optimizer to close in, so near duplicates abound.
    TMatchOptions options = RenderLimited(11, 1, 100);
    options.Count = 6;
    const TTarget sound = RenderedTarget(renderers, target);
    const std::vector<TMatch> first = Search(sound, space, renderers, options);
    const std::vector<TMatch> second = Search(sound, space, renderers, options);
    ASSERT_EQ(first.size(), 6u);
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].Genes, second[i].Genes) << "result " << i;
        EXPECT_EQ(first[i].Distance, second[i].Distance) << "result " << i;
        if (i > 0) {
            EXPECT_LE(first[i - 1].Distance, first[i].Distance);
        }
        for (size_t j = 0; j < i; ++j) {
            int largest = 0;
            for (const auto& free : space.Free)
                largest = std::max(largest, std::abs(first[i].Genes[static_cast<size_t>(free.Gene)] -
                                                     first[j].Genes[static_cast<size_t>(free.Gene)]));
            EXPECT_GE(largest, 8) << "results " << j << " and " << i << " are near duplicates";
        }
    }
}

// The built-in synthesizer on two workers at once: each translates genomes
// through the rules on its own thread, and none of the renders fails.
TEST(MatchJob, TranslatesGenomesOnSeveralWorkersAtOnce)
{
    auto rules = std::make_shared<TSubstitution>();
    ASSERT_TRUE(rules->LoadFromFile(ZW_SYNTH_RULES).empty());
    const TRendererFactory renderers = MakeRenderers({"", rules, {}, 0}, {60, 100, 0.5});
    TMatchSpace space = RulesMatchSpace(*rules, 120);
    ASSERT_GT(space.Free.size(), 10u);
    std::vector<uint8_t> target = space.Start;
    for (const auto& free : space.Free)
        target[static_cast<size_t>(free.Gene)] = static_cast<uint8_t>(free.Gene * 37);
    const TMatchOptions options = RenderLimited(0, 2, 40);
    TMatchJob job(RenderedTarget(renderers, target), space, renderers, options);
    job.Start();
    job.Wait();
    EXPECT_EQ(job.Progress().Renders, 40);
    EXPECT_EQ(job.Progress().FailedRenders, 0);
    EXPECT_FALSE(job.Results().empty());
}

// Cancel ends a search with no end of its own within the renders under way,
// and what it found stays.
TEST(MatchJob, CancelEndsTheSearchAndKeepsWhatWasFound)
{
    using namespace std::chrono_literals;
    const TRendererFactory renderers = MakeRenderers({kJx10, nullptr, {}, 0}, {48, 100, 1});
    TMatchSpace space;
    space.Start = QuietGenome();
    space.Free = {{6, 0, 255}, {7, 0, 255}, {16, 0, 255}};
    TMatchOptions options;
    options.Workers = 2;
    options.BudgetSeconds = 1e6;
    TMatchJob job(RenderedTarget(renderers, QuietGenome()), space, renderers, options);
    job.Start();
    for (const auto start = std::chrono::steady_clock::now();
         job.Progress().Renders < 30 && std::chrono::steady_clock::now() - start < 60s;)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(job.Progress().Renders, 30);
    job.Cancel();
    const long atCancel = job.Progress().Renders;
    auto waited = std::async(std::launch::async, [&] { job.Wait(); });
    ASSERT_EQ(waited.wait_for(30s), std::future_status::ready) << "the search did not end on Cancel";
    EXPECT_TRUE(job.Progress().Finished);
    EXPECT_LE(job.Progress().Renders, atCancel + options.Workers) << "renders began after Cancel";
    EXPECT_FALSE(job.Results().empty());
    EXPECT_EQ(job.Error(), "");
}

// An instrument that cannot play: raised at once when checked first, or else
// the search's error after its first batch.
TEST(MatchJob, AnInstrumentThatCannotPlayIsToldFirstOrByTheSearch)
{
    auto rules = std::make_shared<TSubstitution>();
    ASSERT_TRUE(rules->LoadFromFile(ZW_SYNTH_RULES).empty());
    TMatchInstrument broken{"", rules, {}, 0};
    broken.Synth.SoundFont = "/nonexistent/none.sf2";
    EXPECT_ANY_THROW(MakeRenderers(broken, {60, 100, 0.5}));
    const TRendererFactory renderers = MakeRenderers(broken, {60, 100, 0.5}, TInstrumentCheck::ByTheJob);
    TTarget target;
    target.Samples.assign(24000, 0.25f);
    TMatchOptions options;
    options.Workers = 2;
    options.BudgetSeconds = 10;
    TMatchJob job(target, RulesMatchSpace(*rules, 120), renderers, options);
    job.Start();
    job.Wait();
    EXPECT_TRUE(job.Progress().Finished);
    EXPECT_LE(job.Progress().Renders, 8) << "the search went on past its first batch";
    EXPECT_NE(job.Error().find("none.sf2"), std::string::npos) << job.Error();
    EXPECT_TRUE(job.Results().empty());
}

} // namespace
} // namespace zw
