// zwirbels-render's speed: one gene-file entry as the renderer makes it (a
// new synthesizer, the genome through synth.sub, one note held for the whole
// take, rendered offline and written as a WAV file), in multiples of real time.
#include "app/WormTake.h"
#include "audio/SynthInstrument.h"
#include "common/Random.h"
#include "rules/Substitution.h"
#include "worms/Breeding.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include <unistd.h>

namespace {

using namespace zw;

void BM_RenderEntryRealTimeFactor(benchmark::State& state)
{
    const double seconds = static_cast<double>(state.range(0));
    TSubstitution rules;
    rules.LoadFromFile(ZW_SYNTH_RULES);
    RandSeed(3);
    TGene genome;
    genome.SetSize(120);
    RandomizeGenes(genome);
    TAuditionPhrase phrase;
    phrase.Period = phrase.Length = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    const std::string fileName =
        (std::filesystem::temp_directory_path() / ("zw-render-bench-" + std::to_string(::getpid()) + ".wav")).string();
    double audio = 0;
    for (auto _ : state) {
        const TWormTake take(rules, 0, TSynthSettings{}.Programs[0], genome);
        take.SaveSound(std::make_unique<TSynthInstrument>(TSynthSettings{}), phrase, seconds, fileName);
        audio += seconds;
    }
    std::remove(fileName.c_str());
    // Audio seconds per second of wall time.
    state.counters["x_real_time"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderEntryRealTimeFactor)->Arg(2)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
