#pragma once

#include "rules/Parser.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zw {

class TGene;
class TSubstitution;

// Translates one genome, gene by gene, through the rule table: for every gene
// number with an active rule the variables %1 (the MIDI output channel), %2
// (the gene number) and %3 (the gene value) are set and the rule evaluated; a
// matching result goes to `send`, with its gene number, before the next rule is evaluated, so the
// results leave in gene order. The table is fetched anew for every gene.
// Genes beyond the table are not translated (a genome may be longer than the
// rules; it keeps those genes). The first failure (a rule that raises, a
// failing send) ends the translation with its exception; earlier results
// have been sent.
void TranslateGenome(const std::function<const TSubstitution&()>& table, long long outChannel,
                     const TGene& gene, const std::function<void(int32_t gene, const TRuleBytes&)>& send);

// What the rule of `gene` makes of `value` on `outChannel`, as the bytes it
// sends ("B0 4A 40"); empty for an inactive gene, a gene beyond the table or
// a rule that sends nothing, "rule error" for one that fails.
std::string GeneValueText(const TSubstitution& table, long long outChannel, int32_t gene, int value);

// The report of the results that held bytes making no complete MIDI message:
// `genes` and `incomplete` give, per result sent, its gene and how many of its
// bytes were not sent. Empty when every byte went.
std::string IncompleteBytesReport(const std::vector<int32_t>& genes, const std::vector<uint32_t>& incomplete);

} // namespace zw
