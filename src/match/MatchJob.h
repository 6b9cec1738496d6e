#pragma once

#include "match/Target.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zw {

// Plays one genome as the note the target is matched with, and hands back
// what it heard: mono, at the target's rate, trimmed as targets are. A
// renderer belongs to one worker thread. Raises what spoiled a render (a
// hosted plug-in that crashed); the search scores that candidate worst.
class TRenderer {
public:
    virtual ~TRenderer() = default;
    virtual std::vector<float> Render(const std::vector<uint8_t>& genes) = 0;
};

// Makes one renderer for each worker; called on the worker's own thread.
using TRendererFactory = std::function<std::unique_ptr<TRenderer>()>;

// The genes the search may move, and how far: every other gene keeps the
// value it has in `Start`.
struct TMatchSpace {
    std::vector<uint8_t> Start;
    struct TFreeGene {
        int Gene = 0;
        uint8_t Min = 0;
        uint8_t Max = 255;
    };
    std::vector<TFreeGene> Free;
};

struct TMatchOptions {
    int Count = 16;             // distinct results wanted
    double BudgetSeconds = 60;  // wall time; the search stops at the first generation past it
    long MaxRenders = 0;        // 0: no limit; a limit makes a seeded one-worker run repeatable
    uint64_t Seed = 0;
    int Workers = 0;            // 0: one per core
};

struct TMatch {
    std::vector<uint8_t> Genes; // whole genomes, locked genes included
    double Distance = 0;        // in dB, as TSpectralDistance measures
};

struct TMatchProgress {
    long Renders = 0;
    long FailedRenders = 0;
    double BestDistance = 0;    // meaningful once Renders > 0
    double Elapsed = 0;         // seconds since Start
    bool Finished = false;      // budget spent, cancelled, or failed
};

// A search for genomes that sound like the target, on worker threads of its
// own. The window polls Progress; nothing here calls back into the caller's
// thread. Results are best first and distinct from each other.
class TMatchJob {
public:
    TMatchJob(TTarget target, TMatchSpace space, TRendererFactory renderers, TMatchOptions options);
    ~TMatchJob(); // cancels and waits for the workers
    TMatchJob(const TMatchJob&) = delete;
    TMatchJob& operator=(const TMatchJob&) = delete;

    void Start();
    // Ends the search at the next render; what was found so far stays.
    void Cancel();
    // Waits until the search has ended.
    void Wait();

    TMatchProgress Progress() const;
    // The best distinct genomes found so far, at most Count, best first.
    std::vector<TMatch> Results() const;
    // Why the search could not run at all (no renderer could be made, or no
    // render of the first batch succeeded); empty otherwise.
    std::string Error() const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace zw
