#include "app/GeneTranslation.h"
#include "common/FileErrors.h"
#include "rules/Substitution.h"
#include "worms/Gene.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace zw;

namespace {

const char* kDefaultRule = "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";

TGene MakeGenome(int size)
{
    TGene gene;
    gene.SetSize(size);
    for (int i = 0; i < size; ++i)
        gene.SetGenes(i, static_cast<uint8_t>(200 + i % 56));
    return gene;
}

TSubstitution DefaultTable(int count, bool active)
{
    TSubstitution table;
    table.SetCount(count);
    for (int i = 0; i < count; ++i) {
        table.SetRule(i, kDefaultRule);
        table.SetActive(i, active);
    }
    return table;
}

struct TSink {
    std::vector<TRuleBytes> Sent;
    std::function<void(int32_t, const TRuleBytes&)> Function()
    {
        return [this](int32_t, const TRuleBytes& bytes) { Sent.push_back(bytes); };
    }
};

} // namespace

TEST(GeneTranslation, OneActiveGeneSendsOneControlChangeWithItsNumberAndValue)
{
    TSubstitution table = DefaultTable(120, false);
    table.SetActive(5, true);
    const TGene gene = MakeGenome(120);
    TSink sink;
    TranslateGenome([&]() -> const TSubstitution& { return table; }, 3, gene, sink.Function());
    ASSERT_EQ(sink.Sent.size(), 1u);
    // Control change on channel 3, controller 5, low seven bits of 205.
    EXPECT_EQ(sink.Sent[0], (TRuleBytes{0xB3, 5, 205 & 0x7F}));
}

TEST(GeneTranslation, EveryActiveGeneIsSentInGeneOrderWithTheOutputChannel)
{
    const TSubstitution table = DefaultTable(120, true);
    const TGene gene = MakeGenome(120);
    TSink sink;
    TranslateGenome([&]() -> const TSubstitution& { return table; }, 9, gene, sink.Function());
    ASSERT_EQ(sink.Sent.size(), 120u);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(sink.Sent[static_cast<std::size_t>(i)],
                  (TRuleBytes{0xB9, static_cast<uint8_t>(i), static_cast<uint8_t>(gene.Genes(i) & 0x7F)}))
            << "gene " << i;
}

// A genome may be longer than the rules (a gene file's entry, a worm given
// one): the genes beyond them are kept, but nothing translates them.
TEST(GeneTranslation, GenesBeyondTheRulesAreNotTranslated)
{
    const TSubstitution table = DefaultTable(120, true);
    TSink sink;
    EXPECT_NO_THROW(TranslateGenome([&]() -> const TSubstitution& { return table; }, 0, MakeGenome(121),
                                    sink.Function()));
    EXPECT_EQ(sink.Sent.size(), 120u);
    const TSubstitution shorter = DefaultTable(4, true);
    sink.Sent.clear();
    EXPECT_NO_THROW(TranslateGenome([&]() -> const TSubstitution& { return shorter; }, 0, MakeGenome(6),
                                    sink.Function()));
    EXPECT_EQ(sink.Sent.size(), 4u);
}

TEST(GeneTranslation, RulesThatDoNotMatchAreSkippedAndLaterGenesStillGo)
{
    TSubstitution table = DefaultTable(3, true);
    table.SetRule(0, "4(");    // no match: nothing sent, no error
    table.SetRule(1, "");      // empty text: matches with an empty result (the port drops it)
    const TGene gene = MakeGenome(3);
    TSink sink;
    TranslateGenome([&]() -> const TSubstitution& { return table; }, 0, gene, sink.Function());
    ASSERT_EQ(sink.Sent.size(), 2u);
    EXPECT_TRUE(sink.Sent[0].empty());
    EXPECT_EQ(sink.Sent[1], (TRuleBytes{0xB0, 2, static_cast<uint8_t>(gene.Genes(2) & 0x7F)}));
}

TEST(GeneTranslation, AFailureEndsTheGenomeAfterEarlierResultsWereSent)
{
    const TSubstitution table = DefaultTable(4, true);
    TSink sink;
    // A rule that raises stops the genes after it.
    TSubstitution failing = DefaultTable(5, true);
    failing.SetRule(2, "8(1/0)");
    EXPECT_THROW(TranslateGenome([&]() -> const TSubstitution& { return failing; }, 0, MakeGenome(5),
                                 sink.Function()),
                 EZeroDivide);
    EXPECT_EQ(sink.Sent.size(), 2u);

    // A failing send stops at once.
    int sends = 0;
    EXPECT_THROW(TranslateGenome([&]() -> const TSubstitution& { return table; }, 0, MakeGenome(4),
                                 [&](int32_t, const TRuleBytes&) {
                                     if (++sends == 2)
                                         throw std::runtime_error("port gone");
                                 }),
                 std::runtime_error);
    EXPECT_EQ(sends, 2);
}

TEST(GeneTranslation, AnOutputChannelBeyondAByteIsARangeError)
{
    const TSubstitution table = DefaultTable(1, true);
    TSink sink;
    EXPECT_THROW(TranslateGenome([&]() -> const TSubstitution& { return table; }, 256, MakeGenome(1),
                                 sink.Function()),
                 ERangeError);
    EXPECT_TRUE(sink.Sent.empty());
}

TEST(GeneTranslation, TheTableIsFetchedAnewForEveryGene)
{
    // The editor may swap its table between genes; each gene reads the one current then.
    TSubstitution first = DefaultTable(2, true);
    TSubstitution second = DefaultTable(2, false);
    int fetches = 0;
    TSink sink;
    TranslateGenome([&]() -> const TSubstitution& { return ++fetches == 1 ? first : second; }, 0,
                    MakeGenome(2), sink.Function());
    EXPECT_EQ(fetches, 2);
    EXPECT_EQ(sink.Sent.size(), 1u);
}
