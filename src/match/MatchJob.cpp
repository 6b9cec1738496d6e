#include "match/MatchJob.h"

#include "match/CmaEs.h"
#include "match/Distance.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

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

} // namespace

struct TMatchJob::TState {
    TState(TTarget target, TMatchSpace space, TRendererFactory renderers, TMatchOptions options)
        : Target(std::move(target)), Space(std::move(space)), Factory(std::move(renderers)), Options(options)
    {
        for (const TMatchSpace::TFreeGene& free : Space.Free)
            Distinct.push_back(std::max(1, (free.Max - free.Min + kDistinctDivisor - 1) / kDistinctDivisor));
    }

    void Run();
    void Work();
    void RunBatch();
    double Score(TRenderer& renderer, TSpectralDistance& distance, const std::vector<uint8_t>& genes);
    // A new result enters unless a kept one as good lies near it; it replaces the worse ones near it.
    void Keep(const std::vector<uint8_t>& genes, double distance);
    bool Near(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) const;
    std::vector<uint8_t> Genome(const Eigen::VectorXd& point) const;
    // Called with Lock held: no new render is to start.
    bool Halted() const;
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
void TMatchJob::TState::RunBatch()
{
    std::unique_lock lock(Lock);
    Scores.assign(Batch.size(), kFailedScore);
    Next = Done = 0;
    WorkReady.notify_all();
    WorkDone.wait(lock, [&] { return Done == Batch.size() || (Done == Next && (Halted() || (Alive == 0 && Waiting == 0))); });
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
    std::uniform_real_distribution<double> uniform(0, 1);
    const auto n = static_cast<int>(Space.Free.size());
    Batch = {Space.Start};
    for (int k = 0; k < kSeedPoints && n > 0; ++k) {
        Eigen::VectorXd point(n);
        for (int i = 0; i < n; ++i)
            point[i] = uniform(random);
        Batch.push_back(Genome(point));
    }
    RunBatch();
    {
        // An instrument that fails every render of the first batch fails them all.
        const std::lock_guard guard(ResultLock);
        if (Progress.Renders > 0 && Progress.FailedRenders == Progress.Renders)
            Error = FirstRenderError.empty() ? "no render succeeded" : FirstRenderError;
    }
    TCmaEs optimizer(n, Options.Seed, 0.3, 1e-3, kPopulationFactor * TCmaEs::DefaultPopulation(n));
    for (;;) {
        {
            const std::lock_guard guard(Lock);
            if (Halted() || Done < Batch.size() || n == 0 || !Error.empty())
                break;
        }
        const std::vector<Eigen::VectorXd>& points = optimizer.Ask();
        Batch.clear();
        for (const Eigen::VectorXd& point : points)
            Batch.push_back(Genome(point));
        RunBatch();
        const std::lock_guard guard(Lock);
        if (Done < Batch.size())
            break; // halted within the batch: an incomplete generation teaches nothing
        optimizer.Tell(Scores);
    }

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
