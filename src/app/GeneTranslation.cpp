#include "GeneTranslation.h"

#include "rules/Substitution.h"
#include "worms/Gene.h"

#include <cstdio>

namespace zw {

void TranslateGenome(const std::function<const TSubstitution&()>& table, long long outChannel,
                     const TGene& gene, const std::function<void(int32_t gene, const TRuleBytes&)>& send)
{
    TRuleBytes result;
    for (int32_t i = 0; i < gene.Size(); ++i) {
        const TSubstitution& rules = table();
        if (i >= rules.Count())
            return;
        if (!rules.Active(i))
            continue;
        ClearVariables();
        AddVariables({outChannel, i, gene.Genes(i)});
        if (EvaluateRules(rules.Rule(i), result))
            send(i, result);
    }
}

std::string GeneValueText(const TSubstitution& table, long long outChannel, int32_t gene, int value)
{
    if (gene < 0 || gene >= table.Count() || !table.Active(gene))
        return {};
    TRuleBytes result;
    try {
        ClearVariables();
        AddVariables({outChannel, gene, value});
        if (!EvaluateRules(table.Rule(gene), result))
            return {};
    } catch (const Exception&) {
        return "rule error";
    }
    std::string text;
    char byte[4];
    for (uint8_t b : result) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", b);
        text += byte;
    }
    return text;
}

std::string IncompleteBytesReport(const std::vector<int32_t>& genes, const std::vector<uint32_t>& incomplete)
{
    std::string report;
    size_t others = 0;
    for (size_t i = 0; i < incomplete.size() && i < genes.size(); ++i) {
        if (incomplete[i] == 0)
            continue;
        if (report.empty())
            report = "The rule of gene " + std::to_string(genes[i]) + " gave " + std::to_string(incomplete[i]) +
                     (incomplete[i] == 1 ? " byte" : " bytes") + " that make no complete MIDI message";
        else
            ++others;
    }
    if (report.empty())
        return report;
    if (others > 0)
        report += ", and so did the rules of " + std::to_string(others) + (others == 1 ? " more gene" : " more genes");
    return report + "; these bytes were not sent.";
}

} // namespace zw
