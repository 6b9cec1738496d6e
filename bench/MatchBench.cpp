// The sound matcher against its baselines, on the mda JX10 and DX10: random
// genomes rendered as one-second notes 48 are matched within a budget, and
// the match's distance is set beside the best of 2,000 random genomes, the
// best of as many random genomes as the matcher rendered, a 3-gene ±8
// mutation of the target and a second render of the target genome; in our
// distance and in the plain log-mel one. A plain program (no timing loop of
// its own): run it by hand; the full run takes about 2 × 20 × 2 minutes.
//
//   ZW_MATCH_TARGETS  targets per synthesizer (default 20)
//   ZW_MATCH_BUDGET   seconds of search per target (default 60)
//   ZW_MATCH_RANDOM   random genomes of the first baseline (default 2000)
//   ZW_MATCH_WORKERS  render threads (default: one per core)
//   ZW_MATCH_SYNTH    1: the JX10 only, 2: the DX10 only (default: both)
//   ZW_MATCH_BASELINES 0: no random baselines, for quick comparisons of the search

#include "app/MatchRenderers.h"
#include "match/Distance.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zw;

constexpr int kGenomeSize = 120;
constexpr double kRate = 48000;

double Setting(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::atof(text) : fallback;
}

// A distance in both measures.
struct TScore {
    double Ours = 1e9;
    double Plain = 1e9;
};

// Measures sounds against one target, in both distances.
class TJudge {
public:
    explicit TJudge(const std::vector<float>& target)
        : FOurs(TDistanceSettings{}, kRate), FPlain(TDistanceSettings::Plain(), kRate),
          FTargetOurs(FOurs.Features(target)), FTargetPlain(FPlain.Features(target))
    {
    }
    TScore Score(const std::vector<float>& sound)
    {
        return {FOurs.Between(FOurs.Features(sound), FTargetOurs), FPlain.Between(FPlain.Features(sound), FTargetPlain)};
    }

private:
    TSpectralDistance FOurs, FPlain;
    TFeatures FTargetOurs, FTargetPlain;
};

std::vector<uint8_t> RandomGenome(const TMatchSpace& space, std::mt19937_64& random)
{
    std::vector<uint8_t> genes = space.Start;
    for (const TMatchSpace::TFreeGene& free : space.Free)
        genes[static_cast<size_t>(free.Gene)] = static_cast<uint8_t>(
            std::uniform_int_distribution<int>(free.Min, free.Max)(random));
    return genes;
}

// The scores of `count` random genomes (seeded), on `workers` threads.
std::vector<TScore> RandomScores(const TRendererFactory& renderers, const TMatchSpace& space,
                                 const std::vector<float>& target, long count, uint64_t seed, int workers)
{
    std::vector<std::vector<uint8_t>> genomes;
    std::mt19937_64 random(seed);
    for (long i = 0; i < count; ++i)
        genomes.push_back(RandomGenome(space, random));
    std::vector<TScore> scores(genomes.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&] {
            const std::unique_ptr<TRenderer> renderer = renderers();
            TJudge judge(target);
            for (size_t i = next++; i < genomes.size(); i = next++) {
                try {
                    scores[i] = judge.Score(renderer->Render(genomes[i]));
                } catch (const std::exception&) {
                    // a failed render stays worst
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    return scores;
}

TScore Best(const std::vector<TScore>& scores, size_t count)
{
    TScore best;
    for (size_t i = 0; i < std::min(count, scores.size()); ++i) {
        best.Ours = std::min(best.Ours, scores[i].Ours);
        best.Plain = std::min(best.Plain, scores[i].Plain);
    }
    return best;
}

struct TRow {
    TScore Match, Random, RandomAsMany, Mutation, Again;
    long Renders = 0;
    double Rate = 0;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Summarize(const char* synth, const std::vector<TRow>& rows)
{
    const auto column = [&](auto pick) {
        std::vector<double> values;
        for (const TRow& row : rows)
            values.push_back(pick(row));
        return values;
    };
    const struct {
        const char* Name;
        TScore TRow::*Field;
    } columns[] = {{"match", &TRow::Match}, {"best of random", &TRow::Random},
                   {"best of as many random", &TRow::RandomAsMany}, {"3-gene ±8 mutation", &TRow::Mutation},
                   {"second render", &TRow::Again}};
    std::printf("\n%s, %zu targets: median / worst distance in dB (ours | plain log-mel)\n", synth, rows.size());
    for (const auto& c : columns) {
        const std::vector<double> ours = column([&](const TRow& r) { return (r.*c.Field).Ours; });
        const std::vector<double> plain = column([&](const TRow& r) { return (r.*c.Field).Plain; });
        std::printf("  %-24s %7.3f / %7.3f | %7.3f / %7.3f\n", c.Name, Median(ours),
                    *std::max_element(ours.begin(), ours.end()), Median(plain),
                    *std::max_element(plain.begin(), plain.end()));
    }
    for (const bool plain : {false, true}) {
        int nearer = 0, nearerAsMany = 0;
        for (const TRow& row : rows) {
            const auto pick = [plain](const TScore& s) { return plain ? s.Plain : s.Ours; };
            nearer += pick(row.Match) < pick(row.Random);
            nearerAsMany += pick(row.Match) < pick(row.RandomAsMany);
        }
        const auto median = [&](TScore TRow::*field) {
            return Median(column([&](const TRow& r) { return plain ? (r.*field).Plain : (r.*field).Ours; }));
        };
        std::printf("  %s: match nearer than the best random on %d of %zu (than as many random: %d); "
                    "median best random / median match %.2f (as many: %.2f); median match %.3f vs mutation %.3f\n",
                    plain ? "plain" : "ours", nearer, rows.size(), nearerAsMany,
                    median(&TRow::Random) / std::max(1e-9, median(&TRow::Match)),
                    median(&TRow::RandomAsMany) / std::max(1e-9, median(&TRow::Match)), median(&TRow::Match),
                    median(&TRow::Mutation));
    }
    std::printf("  evaluations a second: median %.0f\n", Median(column([](const TRow& r) { return r.Rate; })));
}

void Bench(const char* synth, const std::string& uri, int targets, double budget, long randomCount, int workers)
{
    const TRendererFactory renderers = MakeRenderers({uri, nullptr, {}, 0}, {48, 100, 1});
    const TMatchSpace space = Lv2MatchSpace(uri, kGenomeSize);
    std::vector<TRow> rows;
    std::mt19937_64 random(uri.size() * 1000 + 7);
    std::printf("%s: %zu free genes; per target: match | best of %ld random | best of as many | mutation | "
                "second render (ours/plain dB), renders, evaluations a second\n",
                synth, space.Free.size(), randomCount);
    for (int t = 0, skipped = 0; t < targets;) {
        const std::vector<uint8_t> genome = RandomGenome(space, random);
        TTarget target;
        target.Samples = renderers()->Render(genome);
        if (target.Seconds() < TTarget::kMinSeconds) {
            std::printf("  (genome %d silent: skipped)\n", t + ++skipped);
            continue;
        }
        TRow row;
        TMatchOptions options;
        options.Count = 16;
        options.BudgetSeconds = budget;
        options.Seed = static_cast<uint64_t>(t + 1);
        options.Workers = workers;
        TMatchJob job(target, space, renderers, options);
        job.Start();
        job.Wait();
        const TMatchProgress progress = job.Progress();
        row.Renders = progress.Renders;
        row.Rate = progress.Renders / std::max(1e-9, progress.Elapsed);
        TJudge judge(target.Samples);
        const std::unique_ptr<TRenderer> renderer = renderers();
        row.Match = judge.Score(renderer->Render(job.Results().front().Genes));
        const std::vector<TScore> randomScores =
            Setting("ZW_MATCH_BASELINES", 1) == 0
                ? std::vector<TScore>{}
                : RandomScores(renderers, space, target.Samples, std::max(randomCount, row.Renders), 99 + t, workers);
        row.Random = Best(randomScores, static_cast<size_t>(randomCount));
        row.RandomAsMany = Best(randomScores, static_cast<size_t>(row.Renders));
        std::vector<uint8_t> mutated = genome;
        std::vector<TMatchSpace::TFreeGene> free = space.Free;
        std::shuffle(free.begin(), free.end(), random);
        for (size_t k = 0; k < 3 && k < free.size(); ++k) {
            int step = 0;
            while (step == 0)
                step = std::uniform_int_distribution<int>(-8, 8)(random);
            uint8_t& gene = mutated[static_cast<size_t>(free[k].Gene)];
            gene = static_cast<uint8_t>(std::clamp(gene + step, 0, 255));
        }
        row.Mutation = judge.Score(renderer->Render(mutated));
        row.Again = judge.Score(renderers()->Render(genome)); // another host, started afresh
        std::printf("  %2d: %6.3f/%6.3f | %6.3f/%6.3f | %6.3f/%6.3f | %6.3f/%6.3f | %6.3f/%6.3f  %6ld renders %5.0f/s\n",
                    t + 1, row.Match.Ours, row.Match.Plain, row.Random.Ours, row.Random.Plain, row.RandomAsMany.Ours,
                    row.RandomAsMany.Plain, row.Mutation.Ours, row.Mutation.Plain, row.Again.Ours, row.Again.Plain,
                    row.Renders, row.Rate);
        std::fflush(stdout);
        rows.push_back(row);
        ++t;
    }
    Summarize(synth, rows);
}

} // namespace

int main()
{
    const int targets = static_cast<int>(Setting("ZW_MATCH_TARGETS", 20));
    const double budget = Setting("ZW_MATCH_BUDGET", 60);
    const long randomCount = static_cast<long>(Setting("ZW_MATCH_RANDOM", 2000));
    const int workers = std::max(1, static_cast<int>(Setting("ZW_MATCH_WORKERS", std::thread::hardware_concurrency())));
    std::printf("Self-match: %d targets per synthesizer, %.0f s each, %ld random genomes, %s workers\n", targets,
                budget, randomCount, std::to_string(workers).c_str());
    try {
        const double synth = Setting("ZW_MATCH_SYNTH", 0); // 1: JX10 only, 2: DX10 only
        if (synth != 2)
            Bench("mda JX10", "http://drobilla.net/plugins/mda/JX10", targets, budget, randomCount, workers);
        if (synth != 1)
            Bench("mda DX10", "http://drobilla.net/plugins/mda/DX10", targets, budget, randomCount, workers);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "MatchBench: %s\n", e.what());
        return 1;
    }
    return 0;
}
