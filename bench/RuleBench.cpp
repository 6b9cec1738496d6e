// The cost of rule evaluation against hand-written packing of the same bytes.
#include "rules/Parser.h"
#include "rules/Substitution.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace zw;

const char* const kDefaultRule = "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";
constexpr int kGenes = 120;

// What the default rule computes, written by hand: the floor.
void PackByHand(int channel, int gene, int value, TRuleBytes& out)
{
    out.clear();
    out.push_back(static_cast<std::uint8_t>(0xB0 | (channel & 0x0F)));
    out.push_back(static_cast<std::uint8_t>(gene & 0x7F));
    out.push_back(static_cast<std::uint8_t>(value & 0x7F));
}

TSubstitution DefaultTable()
{
    TSubstitution table;
    table.SetCount(kGenes);
    for (int i = 0; i < kGenes; ++i) {
        table.SetRule(i, kDefaultRule);
        table.SetActive(i, true);
    }
    return table;
}

void BM_DefaultRule(benchmark::State& state)
{
    TRuleBytes result;
    for (auto _ : state) {
        ClearVariables();
        AddVariables({0, 1, 2});
        benchmark::DoNotOptimize(EvaluateRules(kDefaultRule, result));
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(BM_DefaultRule);

void BM_DefaultRuleByHand(benchmark::State& state)
{
    TRuleBytes result;
    int channel = 0, gene = 1, value = 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(channel);
        benchmark::DoNotOptimize(gene);
        benchmark::DoNotOptimize(value);
        PackByHand(channel, gene, value, result);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(BM_DefaultRuleByHand);

// One dispatch of a 120-gene genome with every rule active, as the main
// window does it: the flag, the text, the three variables, the evaluation.
void BM_Dispatch120Rules(benchmark::State& state)
{
    const TSubstitution table = DefaultTable();
    std::uint8_t genes[kGenes];
    for (int i = 0; i < kGenes; ++i)
        genes[i] = static_cast<std::uint8_t>(i * 37);
    TRuleBytes result;
    for (auto _ : state) {
        for (int i = 0; i < kGenes; ++i) {
            if (!table.Active(i))
                continue;
            ClearVariables();
            AddVariables({3, i, genes[i]});
            if (EvaluateRules(table.Rule(i), result))
                benchmark::DoNotOptimize(result.data());
        }
    }
}
BENCHMARK(BM_Dispatch120Rules);

void BM_Dispatch120ByHand(benchmark::State& state)
{
    const TSubstitution table = DefaultTable();
    std::uint8_t genes[kGenes];
    for (int i = 0; i < kGenes; ++i)
        genes[i] = static_cast<std::uint8_t>(i * 37);
    TRuleBytes result;
    for (auto _ : state) {
        for (int i = 0; i < kGenes; ++i) {
            if (!table.Active(i))
                continue;
            benchmark::DoNotOptimize(genes[i]);
            PackByHand(3, i, genes[i], result);
            benchmark::DoNotOptimize(result.data());
        }
    }
}
BENCHMARK(BM_Dispatch120ByHand);

} // namespace

BENCHMARK_MAIN();
