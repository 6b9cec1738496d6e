#include "GeneTranslation.h"

#include "rules/Substitution.h"
#include "worms/Gene.h"

namespace zw {

void TranslateGenome(const std::function<const TSubstitution&()>& table, long long outChannel,
                     const TGene& gene, const std::function<void(const TRuleBytes&)>& send)
{
    TRuleBytes result;
    for (int32_t i = 0; i < gene.Size(); ++i) {
        const TSubstitution& rules = table();
        if (!rules.Active(i))
            continue;
        ClearVariables();
        AddVariables({outChannel, i, gene.Genes(i)});
        if (EvaluateRules(rules.Rule(i), result))
            send(result);
    }
}

} // namespace zw
