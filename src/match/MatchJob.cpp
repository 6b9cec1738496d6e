#include "match/MatchJob.h"

#include "match/CmaEs.h"
#include "match/Distance.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <random>
#include <thread>
#include <utility>

namespace zw {
namespace {

using TClock = std::chrono::steady_clock;

// What a render that failed scores: worse than any sound.
constexpr double kFailedScore = 1e6;
// Random genomes beside the start genome in the first batch, so that a poor
// start and an unlucky first run of the optimizer still find something.
constexpr int kSeedPoints = 7;
// Two results are distinct when a free gene differs by at least this part
// of its range (8 of a full 0..255 gene): nearer ones sound nearly alike.
constexpr int kDistinctDivisor = 32;
// The first run of the optimizer takes this many times its default
// population: a synthesizer's sounds lie in many small basins (a partial
// that lines up at another interval, a filter that opens on another
// harmonic), which a small population falls into and a larger one averages
// out. Restarts double it again.
constexpr int kPopulationFactor = 4;
// After a run from a random point, a local run around the best genome so
// far, with this step: the basin found is searched again before the next,
// larger population looks elsewhere.
constexpr double kLocalSigma = 0.1;
// A synthesizer's sound can hang on one gene alone within a few bytes (an
// LFO's rate against a frame-by-frame distance), where CMA-ES, whose steps
// move all genes at once, rarely lands. So the best of each run is scanned
// gene by gene: this many points across each gene, then the bytes around
// the best; sweeps repeat while they gain kScanGain dB, at most kScanSweeps.
constexpr int kScanPoints = 32;
constexpr int kScanSweeps = 4;
constexpr double kScanGain = 0.01;
// The last part of the budget scans the results kept, best first.
constexpr double kPolishShare = 0.15;

} // namespace

struct TMatchJob::TState {
    TState(TTarget target, TMatchSpace space, TRendererFactory renderers, TMatchOptions options)
        : Target(std::move(target)), Space(std::move(space)), Factory(std::move(renderers)), Options(options)
    {
        for (const TMatchSpace::TFreeGene& free : Space.Free)
            Distinct.push_back(std::max(1, (free.Max - free.Min + kDistinctDivisor - 1) / kDistinctDivisor));
    }

    void Run();
    // The start genome and a few random ones; sets Error when every render failed.
    void RunFirstBatch(std::mt19937_64& random);
    // CMA-ES runs, each one's best scanned, a local run after each global
    // one, until the last part of the budget: true then, false once halted.
    bool Optimize(std::mt19937_64& random);
    // The last part of the budget: the kept results scanned, best first.
    void PolishKept(std::mt19937_64& random);
    void Work();
    void RunBatch(std::vector<std::vector<uint8_t>> batch);
    // Scans `genes` gene by gene (see kScanPoints), keeping what is better;
    // false once the search is halted.
    bool Scan(std::vector<uint8_t>& genes, double& score, std::mt19937_64& random);
    // Runs the batch, and takes its best entry if it is better than `score`;
    // false once the search is halted.
    bool Improve(std::vector<std::vector<uint8_t>> batch, std::vector<uint8_t>& genes, double& score);
    // Called with Lock held: the batch's best entry replaces `genes` if it is better than `score`.
    void TakeBest(std::vector<uint8_t>& genes, double& score) const;
    // The best genome kept so far, or nothing.
    std::vector<uint8_t> BestGenes() const;
    double Score(TRenderer& renderer, TSpectralDistance& distance, const std::vector<uint8_t>& genes);
    // A new result enters unless a kept one as good lies near it; it replaces the worse ones near it.
    void Keep(const std::vector<uint8_t>& genes, double distance);
    bool Near(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) const;
    std::vector<uint8_t> Genome(const Eigen::VectorXd& point) const;
    Eigen::VectorXd Point(const std::vector<uint8_t>& genes) const;
    // Called with Lock held: no new render is to start.
    bool Halted() const;
    // Called with Lock held: the optimizer gives way to the last scan.
    bool Polishing() const;
    double Seconds() const { return std::chrono::duration<double>(TClock::now() - Began).count(); }

    const TTarget Target;
    const TMatchSpace Space;
    const TRendererFactory Factory;
    const TMatchOptions Options;
    std::vector<int> Distinct; // per free gene
    TFeatures TargetFeatures;
    TClock::time_point Began;

    // The batch under way, shared with the workers.
    std::mutex Lock;
    std::condition_variable WorkReady, WorkDone;
    std::vector<std::vector<uint8_t>> Batch;
    std::vector<double> Scores;
    size_t Next = 0;
    size_t Done = 0;
    long Started = 0;      // renders begun, over all batches
    int Alive = 0;         // workers with a renderer
    int Waiting = 0;       // workers still making theirs
    bool Cancelled = false;
    bool Quit = false;
    std::string FirstError;

    // What the caller polls.
    mutable std::mutex ResultLock;
    TMatchProgress Progress;
    std::vector<TMatch> Archive; // best first, pairwise distinct
    std::string Error;
    std::string FirstRenderError;

    std::mutex JoinLock;
    std::thread Coordinator;
    std::vector<std::thread> Workers;
};

bool TMatchJob::TState::Halted() const
{
    return Cancelled || (Options.MaxRenders > 0 && Started >= Options.MaxRenders) ||
           (Started > 0 && Seconds() >= Options.BudgetSeconds);
}

bool TMatchJob::TState::Polishing() const
{
    const double until = 1 - kPolishShare;
    return (Options.MaxRenders > 0 && Started >= until * Options.MaxRenders) ||
           Seconds() >= until * Options.BudgetSeconds;
}

std::vector<uint8_t> TMatchJob::TState::Genome(const Eigen::VectorXd& point) const
{
    std::vector<uint8_t> genes = Space.Start;
    for (size_t i = 0; i < Space.Free.size(); ++i) {
        const TMatchSpace::TFreeGene& free = Space.Free[i];
        const double x = std::clamp(point[static_cast<Eigen::Index>(i)], 0.0, 1.0);
        genes[static_cast<size_t>(free.Gene)] = static_cast<uint8_t>(std::lround(free.Min + x * (free.Max - free.Min)));
    }
    return genes;
}

Eigen::VectorXd TMatchJob::TState::Point(const std::vector<uint8_t>& genes) const
{
    Eigen::VectorXd point(static_cast<Eigen::Index>(Space.Free.size()));
    for (size_t i = 0; i < Space.Free.size(); ++i) {
        const TMatchSpace::TFreeGene& free = Space.Free[i];
        const int range = free.Max - free.Min;
        point[static_cast<Eigen::Index>(i)] =
            range > 0 ? double(genes[static_cast<size_t>(free.Gene)] - free.Min) / range : 0.5;
    }
    return point;
}

bool TMatchJob::TState::Near(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) const
{
    for (size_t i = 0; i < Space.Free.size(); ++i) {
        const auto gene = static_cast<size_t>(Space.Free[i].Gene);
        if (std::abs(int(a[gene]) - int(b[gene])) >= Distinct[i])
            return false;
    }
    return true;
}

void TMatchJob::TState::Keep(const std::vector<uint8_t>& genes, double distance)
{
    const std::lock_guard guard(ResultLock);
    for (const TMatch& kept : Archive)
        if (kept.Distance <= distance && Near(kept.Genes, genes))
            return;
    std::erase_if(Archive, [&](const TMatch& kept) { return Near(kept.Genes, genes); });
    const auto at = std::upper_bound(Archive.begin(), Archive.end(), distance,
                                     [](double d, const TMatch& kept) { return d < kept.Distance; });
    if (at - Archive.begin() >= std::max(1, Options.Count))
        return;
    Archive.insert(at, {genes, distance});
    if (Archive.size() > static_cast<size_t>(std::max(1, Options.Count)))
        Archive.pop_back();
}

double TMatchJob::TState::Score(TRenderer& renderer, TSpectralDistance& distance, const std::vector<uint8_t>& genes)
{
    bool failed = false;
    double score = kFailedScore;
    std::string error;
    try {
        score = distance.Between(distance.Features(renderer.Render(genes)), TargetFeatures);
        if (!std::isfinite(score)) {
            score = kFailedScore;
            failed = true;
        }
    } catch (const std::exception& e) {
        failed = true; // the renderer's next render starts afresh
        error = e.what();
    }
    {
        const std::lock_guard guard(ResultLock);
        if (FirstRenderError.empty())
            FirstRenderError = error;
        ++Progress.Renders;
        Progress.FailedRenders += failed ? 1 : 0;
        if (!failed && (Progress.Renders - Progress.FailedRenders == 1 || score < Progress.BestDistance))
            Progress.BestDistance = score;
    }
    if (!failed)
        Keep(genes, score);
    return score;
}

void TMatchJob::TState::Work()
{
    std::unique_ptr<TRenderer> renderer;
    std::unique_ptr<TSpectralDistance> distance;
    std::string error;
    try {
        renderer = Factory();
        distance = std::make_unique<TSpectralDistance>(TDistanceSettings{}, Target.SampleRate);
    } catch (const std::exception& e) {
        error = e.what();
    }
    std::unique_lock lock(Lock);
    --Waiting;
    if (!renderer || !distance) {
        if (FirstError.empty())
            FirstError = error.empty() ? "no renderer" : error;
        WorkDone.notify_all();
        return;
    }
    ++Alive;
    WorkDone.notify_all();
    std::vector<uint8_t> genes;
    for (;;) {
        WorkReady.wait(lock, [&] { return Quit || (Next < Batch.size() && !Halted()); });
        if (Quit)
            return;
        const size_t index = Next++;
        ++Started;
        genes = Batch[index];
        lock.unlock();
        const double score = Score(*renderer, *distance, genes);
        lock.lock();
        Scores[index] = score;
        ++Done;
        WorkDone.notify_all();
    }
}

// Hands the batch to the workers and waits until they are through with it
// or the search is halted.
void TMatchJob::TState::RunBatch(std::vector<std::vector<uint8_t>> batch)
{
    std::unique_lock lock(Lock);
    Batch = std::move(batch);
    Scores.assign(Batch.size(), kFailedScore);
    Next = Done = 0;
    WorkReady.notify_all();
    WorkDone.wait(lock, [&] { return Done == Batch.size() || (Done == Next && (Halted() || (Alive == 0 && Waiting == 0))); });
}

bool TMatchJob::TState::Improve(std::vector<std::vector<uint8_t>> batch, std::vector<uint8_t>& genes, double& score)
{
    RunBatch(std::move(batch));
    const std::lock_guard guard(Lock);
    TakeBest(genes, score);
    return Done == Batch.size();
}

void TMatchJob::TState::TakeBest(std::vector<uint8_t>& genes, double& score) const
{
    const auto best = std::min_element(Scores.begin(), Scores.end());
    if (best != Scores.end() && *best < score) {
        score = *best;
        genes = Batch[static_cast<size_t>(best - Scores.begin())];
    }
}

bool TMatchJob::TState::Scan(std::vector<uint8_t>& genes, double& score, std::mt19937_64& random)
{
    std::vector<size_t> order(Space.Free.size());
    std::iota(order.begin(), order.end(), size_t{0});
    for (int sweep = 0; sweep < kScanSweeps; ++sweep) {
        const double before = score;
        std::shuffle(order.begin(), order.end(), random);
        for (const size_t i : order) {
            const TMatchSpace::TFreeGene& free = Space.Free[i];
            const auto gene = static_cast<size_t>(free.Gene);
            const int step = std::max(1, (free.Max - free.Min) / kScanPoints);
            std::vector<std::vector<uint8_t>> batch;
            const auto add = [&](int value) {
                if (value >= free.Min && value <= free.Max && value != genes[gene]) {
                    batch.push_back(genes);
                    batch.back()[gene] = static_cast<uint8_t>(value);
                }
            };
            for (int value = free.Min; value <= free.Max; value += step)
                add(value);
            if (!Improve(std::exchange(batch, {}), genes, score))
                return false;
            for (int d = 1; d < step; ++d) {
                add(genes[gene] - d);
                add(genes[gene] + d);
            }
            if (!Improve(std::move(batch), genes, score))
                return false;
        }
        if (score > before - kScanGain)
            break;
    }
    return true;
}

std::vector<uint8_t> TMatchJob::TState::BestGenes() const
{
    const std::lock_guard guard(ResultLock);
    return Archive.empty() ? std::vector<uint8_t>{} : Archive.front().Genes;
}

void TMatchJob::TState::RunFirstBatch(std::mt19937_64& random)
{
    std::uniform_real_distribution<double> uniform(0, 1);
    const auto n = static_cast<int>(Space.Free.size());
    std::vector<std::vector<uint8_t>> first{Space.Start};
    for (int k = 0; k < kSeedPoints && n > 0; ++k) {
        Eigen::VectorXd point(n);
        for (int i = 0; i < n; ++i)
            point[i] = uniform(random);
        first.push_back(Genome(point));
    }
    RunBatch(std::move(first));
    // An instrument that fails every render of the first batch fails them all.
    const std::lock_guard guard(ResultLock);
    if (Progress.Renders > 0 && Progress.FailedRenders == Progress.Renders)
        Error = FirstRenderError.empty() ? "no render succeeded" : FirstRenderError;
}

bool TMatchJob::TState::Optimize(std::mt19937_64& random)
{
    const auto n = static_cast<int>(Space.Free.size());
    const int population = kPopulationFactor * TCmaEs::DefaultPopulation(n);
    TCmaEs optimizer(n, Options.Seed, 0.3, 1e-3, population);
    std::vector<uint8_t> runBest;
    double runScore = kFailedScore;
    bool localRun = false;
    for (;;) {
        {
            const std::lock_guard guard(Lock);
            if (Halted() || Done < Batch.size() || n == 0 || !Error.empty())
                return false;
            if (Polishing())
                return true;
        }
        std::vector<std::vector<uint8_t>> batch;
        for (const Eigen::VectorXd& point : optimizer.Ask())
            batch.push_back(Genome(point));
        RunBatch(std::move(batch));
        bool ended = false;
        {
            const std::lock_guard guard(Lock);
            if (Done < Batch.size())
                return false; // halted within the batch: an incomplete generation teaches nothing
            TakeBest(runBest, runScore);
            const int restarts = optimizer.Restarts();
            optimizer.Tell(Scores);
            ended = optimizer.Restarts() != restarts;
        }
        if (!ended)
            continue;
        if (!runBest.empty() && !Scan(runBest, runScore, random))
            return false;
        runBest.clear();
        runScore = kFailedScore;
        const std::vector<uint8_t> best = BestGenes();
        localRun = !localRun && !best.empty();
        if (localRun)
            optimizer.RestartAt(Point(best), kLocalSigma, population);
    }
}

void TMatchJob::TState::PolishKept(std::mt19937_64& random)
{
    std::vector<TMatch> kept;
    {
        const std::lock_guard guard(ResultLock);
        kept = Archive;
    }
    for (TMatch& match : kept)
        if (!Scan(match.Genes, match.Distance, random))
            return;
}

void TMatchJob::TState::Run()
{
    {
        TSpectralDistance distance(TDistanceSettings{}, Target.SampleRate);
        TargetFeatures = distance.Features(Target.Samples);
    }
    const int workers = Options.Workers > 0 ? Options.Workers : std::max(1, int(std::thread::hardware_concurrency()));
    {
        const std::lock_guard guard(Lock);
        Waiting = workers;
    }
    for (int i = 0; i < workers; ++i)
        Workers.emplace_back([this] { Work(); });

    std::mt19937_64 random(Options.Seed ^ 0x5eed5eed5eedULL);
    RunFirstBatch(random);
    if (Optimize(random))
        PolishKept(random);

    {
        const std::lock_guard guard(Lock);
        Quit = true;
        WorkReady.notify_all();
    }
    for (std::thread& worker : Workers)
        worker.join();
    const std::lock_guard guard(ResultLock);
    if (Progress.Renders == 0 && !FirstError.empty())
        Error = FirstError;
    Progress.Elapsed = Seconds();
    Progress.Finished = true;
}

TMatchJob::TMatchJob(TTarget target, TMatchSpace space, TRendererFactory renderers, TMatchOptions options)
    : FState(std::make_unique<TState>(std::move(target), std::move(space), std::move(renderers), options))
{
}

TMatchJob::~TMatchJob()
{
    Cancel();
    Wait();
}

void TMatchJob::Start()
{
    const std::lock_guard guard(FState->JoinLock);
    if (FState->Coordinator.joinable() || FState->Began != TClock::time_point())
        return;
    FState->Began = TClock::now();
    FState->Coordinator = std::thread([this] { FState->Run(); });
}

void TMatchJob::Cancel()
{
    const std::lock_guard guard(FState->Lock);
    FState->Cancelled = true;
    FState->WorkDone.notify_all();
}

void TMatchJob::Wait()
{
    const std::lock_guard guard(FState->JoinLock);
    if (FState->Coordinator.joinable())
        FState->Coordinator.join();
}

TMatchProgress TMatchJob::Progress() const
{
    const std::lock_guard guard(FState->ResultLock);
    TMatchProgress progress = FState->Progress;
    if (!progress.Finished && FState->Began != TClock::time_point())
        progress.Elapsed = FState->Seconds();
    return progress;
}

std::vector<TMatch> TMatchJob::Results() const
{
    const std::lock_guard guard(FState->ResultLock);
    return FState->Archive;
}

std::string TMatchJob::Error() const
{
    const std::lock_guard guard(FState->ResultLock);
    return FState->Error;
}

} // namespace zw
