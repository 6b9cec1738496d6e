#pragma once

#include "rules/Parser.h"

#include <functional>

namespace zw {

class TGene;
class TSubstitution;

// Translates one genome, gene by gene, through the rule table: for every gene
// number with an active rule the variables %1 (the MIDI output channel), %2
// (the gene number) and %3 (the gene value) are set and the rule evaluated; a
// matching result goes to `send` before the next rule is evaluated, so the
// results leave in gene order. The table is fetched anew for every gene. The
// first failure (a gene beyond the table, a rule that raises, a failing send)
// ends the translation with its exception; earlier results have been sent.
void TranslateGenome(const std::function<const TSubstitution&()>& table, long long outChannel,
                     const TGene& gene, const std::function<void(const TRuleBytes&)>& send);

} // namespace zw
