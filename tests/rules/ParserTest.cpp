#include "common/Exceptions.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "rules/Parser.h"

#include "support/TempPath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace zw;

namespace {

const char* const kDefaultRule = "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";

struct TEvaluation {
    bool Ok;
    TRuleBytes Bytes;
};

TEvaluation Evaluate(std::string_view text, std::initializer_list<long long> variables = {0, 1, 2})
{
    ClearVariables();
    AddVariables(variables);
    TEvaluation evaluation{false, {}};
    evaluation.Ok = EvaluateRules(text, evaluation.Bytes);
    return evaluation;
}

// The message of the exception an evaluation raises; empty when none.
std::string ErrorOf(std::string_view text, std::initializer_list<long long> variables = {0, 1, 2})
{
    try {
        Evaluate(text, variables);
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

// The value of a one-field rule "32(<expression>)".
std::int32_t Value(const std::string& expression, std::initializer_list<long long> variables = {0, 1, 2})
{
    const TEvaluation evaluation = Evaluate("32(" + expression + ")", variables);
    EXPECT_TRUE(evaluation.Ok) << expression;
    EXPECT_EQ(evaluation.Bytes.size(), 4U) << expression;
    if (evaluation.Bytes.size() != 4)
        return 0;
    std::uint32_t v = 0;
    for (std::uint8_t b : evaluation.Bytes)
        v = v << 8 | b;
    return static_cast<std::int32_t>(v);
}

std::string Syntax(const char* reason, int position)
{
    return Format("Syntax error : %s at pos. %d", reason, position);
}

std::vector<std::string> TraceOf(std::string_view text, std::initializer_list<long long> variables = {0, 1, 2})
{
    const std::string file = TempPath("parser-trace.txt");
    ClearVariables();
    AddVariables(variables);
    TRuleBytes result;
    try {
        EvaluateRulesTraced(file, text, result);
    } catch (const EParser&) {
    }
    return SplitLines(ReadWholeFile(file));
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(RuleLanguage, WorkedExamplesGiveTheirBytes)
{
    EXPECT_EQ(Evaluate(kDefaultRule).Bytes, (TRuleBytes{0xB0, 0x01, 0x02}));
    EXPECT_EQ(Evaluate(kDefaultRule, {0, 1, 200}).Bytes, (TRuleBytes{0xB0, 0x01, 0x48}));
    EXPECT_EQ(Evaluate(kDefaultRule, {15, 119, 255}).Bytes, (TRuleBytes{0xBF, 0x77, 0x7F}));
    EXPECT_EQ(Evaluate("4(1) 8($FF) 4(0)").Bytes, (TRuleBytes{0x1F, 0xF0}));
    EXPECT_EQ(Evaluate("3(5)").Bytes, (TRuleBytes{0xA0}));
    EXPECT_EQ(Evaluate("4(17)").Bytes, (TRuleBytes{0x10}));
    EXPECT_EQ(Evaluate("8(-1)").Bytes, (TRuleBytes{0xFF}));
    EXPECT_EQ(Evaluate("8(-2 * 3)").Bytes, (TRuleBytes{0xFA}));
    // Fields run on across bytes without alignment.
    EXPECT_EQ(Evaluate("1(1) 1(0) 3(7) 5(0) 7($55)").Bytes, (TRuleBytes{0xB8, 0x2A, 0x80}));
    EXPECT_EQ(Evaluate("16($ABCD)").Bytes, (TRuleBytes{0xAB, 0xCD}));
    EXPECT_EQ(Evaluate("").Bytes, TRuleBytes{});
    EXPECT_TRUE(Evaluate("").Ok);

    EXPECT_EQ(VariablesText(), "0, 1, 2");
    Evaluate(kDefaultRule);
    EXPECT_EQ(ResultBitsText(), "10110000, 00000001, 00000010");
    EXPECT_EQ(ResultHexText(), "$B0, $01, $02");
    EXPECT_EQ(ResultBitCount(), 24);
}

TEST(RuleLanguage, OperatorsGroupFromTheRightWithinTwoLevels)
{
    EXPECT_EQ(Value("10 - 3 - 2"), 9);
    EXPECT_EQ(Value("10 - 3 + 2"), 5);
    EXPECT_EQ(Value("8 / 4 / 2"), 4);
    EXPECT_EQ(Value("7 MOD 4 * 2"), 7);
    EXPECT_EQ(Value("1 + 2 * 3"), 7);
    EXPECT_EQ(Value("2 * 3 + 1"), 7);
    EXPECT_EQ(Value("12 AND 10 OR 1"), 8);  // 12 AND (10 OR 1)
    EXPECT_EQ(Value("1 OR 2 * 3"), 7);
    EXPECT_EQ(Value("(10 - 3) - 2"), 5);
    EXPECT_EQ(Value("-2 * 3"), -6);
    EXPECT_EQ(Value("-(2 + 3)"), -5);
    EXPECT_EQ(Value("NOT 0"), -1);
    EXPECT_EQ(Value("NOT 5 * 2"), ~10);
    EXPECT_EQ(Value("+7"), 7);
    EXPECT_EQ(Value("(-1) + 2"), 1);
    EXPECT_EQ(Value("1 AND 3"), 1);
    EXPECT_EQ(Value("5 XOR 1"), 4);
    EXPECT_EQ(Value("-7 / 2"), -3);
    EXPECT_EQ(Value("-7 MOD 2"), -1);
    EXPECT_EQ(Value("7 MOD(-2)"), 1);
    EXPECT_EQ(Value("1 xor 3 and 2 or 8"), 1 ^ (3 & (2 | 8)));
}

TEST(RuleLanguage, ConstantsVariablesAndPredefinedWords)
{
    EXPECT_EQ(Value("0x1f"), 31);
    EXPECT_EQ(Value("$1F"), 31);
    EXPECT_EQ(Value("7X1F"), 31);
    EXPECT_EQ(Value("$FFFFFFFF"), -1);
    EXPECT_EQ(Value("$80000000"), INT32_MIN);
    EXPECT_EQ(Value("$000000001"), 1);  // leading zeros are not significant
    EXPECT_EQ(Value("2147483647"), INT32_MAX);
    EXPECT_EQ(Value("007"), 7);
    EXPECT_EQ(Value("%3", {4, 5, 6}), 6);
    EXPECT_EQ(Value("% 2", {4, 5, 6}), 5);
    EXPECT_EQ(Value("%$1", {4, 5, 6}), 4);

    const std::pair<const char*, int> words[] = {
        {"NOTEOFF", 8}, {"off", 8}, {"NoteOn", 9}, {"ON", 9}, {"KEYPRESSURE", 10}, {"kp", 10},
        {"CONTROLCHANGE", 11}, {"cc", 11}, {"PROGRAMCHANGE", 12}, {"PC", 12}, {"CHANNELPRESSURE", 13},
        {"CP", 13}, {"PITCHBEND", 14}, {"bend", 14}, {"PB", 14}, {"SYSEX", 15}, {"SX", 15}, {"ex", 15},
    };
    for (const auto& [word, value] : words)
        EXPECT_EQ(Value(word), value) << word;
    EXPECT_EQ(Value("CC * 16 +%1", {3}), 0xB3);
    EXPECT_EQ(Value("%1 OR(NOTEON)", {0x10}), 0x19);
}

TEST(RuleLanguage, BlanksAreSkippedOnlyInTheirPlaces)
{
    // Valid: blanks before a rule, around the parentheses, after operands and
    // unary operators, after "%" and in front of numbers.
    for (const char* text : {" 8 ( 1 ) ", "8(1 + 2)", "8(%1 * 2)", "8(1 +%1)", "8(2 *(3))", "8(%1 AND%2)",
                             "8(- 1)", "8(NOT\t1)", "8(( 1 ))", "8(% 1)", "8(1 MOD 2)", "\t4(1)  4(2)"})
        EXPECT_TRUE(Evaluate(text).Ok) << text;

    // Nothing is skipped between a binary operator and an operand that is no number.
    EXPECT_EQ(ErrorOf("8(1 + %1)"), Syntax("rule : ')' expected", 6));
    EXPECT_EQ(ErrorOf("8(2 * (3))"), Syntax("rule : ')' expected", 6));
    EXPECT_EQ(ErrorOf("8(%1 AND %2)"), Syntax("rule : ')' expected", 7));
    EXPECT_EQ(ErrorOf("8(1 OR CC)"), Syntax("rule : ')' expected", 6));
    // A predefined word glued to an operator word makes one unknown word.
    EXPECT_EQ(ErrorOf("8(1 ORCC)"), Syntax("rule : ')' expected", 6));
    // CR and LF are no blanks.
    EXPECT_FALSE(Evaluate("4(1)\r\n").Ok);
}

TEST(RuleLanguage, IncompleteTextsAreNoMatchNotErrors)
{
    TEvaluation e = Evaluate("4(1) x");
    EXPECT_FALSE(e.Ok);
    EXPECT_EQ(e.Bytes, (TRuleBytes{0x10}));

    EXPECT_FALSE(Evaluate("   ").Ok);
    EXPECT_FALSE(Evaluate("x").Ok);
    EXPECT_FALSE(Evaluate("4()").Ok);
    EXPECT_FALSE(Evaluate("4(1) 4()").Ok);
    EXPECT_EQ(Evaluate("4(1) 4()").Bytes, (TRuleBytes{0x10}));
    // Blanks after the last rule are accepted.
    e = Evaluate("4(1) \t");
    EXPECT_TRUE(e.Ok);
    EXPECT_EQ(e.Bytes, (TRuleBytes{0x10}));
}

TEST(RuleLanguage, HardErrorsCarryTheirTextAndPosition)
{
    EXPECT_EQ(ErrorOf("4(1 2)"), Syntax("rule : ')' expected", 6));
    EXPECT_EQ(ErrorOf("8(-1 + 2)"), Syntax("rule : ')' expected", 7));
    EXPECT_EQ(ErrorOf("8(2 * -3)"), Syntax("rule : ')' expected", 6));
    EXPECT_EQ(ErrorOf("4(1 FOO)"), Syntax("rule : ')' expected", 6));
    EXPECT_EQ(ErrorOf("8(1"), Syntax("rule : ')' expected", 5));  // one past the end
    EXPECT_EQ(ErrorOf("8 x"), Syntax("rule : '(' expected", 4));
    EXPECT_EQ(ErrorOf("8"), Syntax("rule : '(' expected", 3));
    EXPECT_EQ(ErrorOf("8((1 2)"), Syntax("f : ')' expected.", 7));
    EXPECT_EQ(ErrorOf("0(1)"), Syntax("Adding zero bits is useless", 5));
    EXPECT_EQ(ErrorOf("4(1) 0( 1 ) 4(1)"), Syntax("Adding zero bits is useless", 12));
    EXPECT_EQ(ErrorOf("8($)"), Syntax("constant expected", 4));
    EXPECT_EQ(ErrorOf("8(0xZ)"), Syntax("constant expected", 5));
    EXPECT_EQ(ErrorOf("8(2147483648)"), Syntax("constant expected", 13));
    EXPECT_EQ(ErrorOf("8($100000000)"), Syntax("constant expected", 13));
    EXPECT_EQ(ErrorOf("99999999999(1)"), Syntax("constant expected", 12));

    EXPECT_EQ(ErrorOf("8(%0)"), "Non existing variable referenced (-1)");
    EXPECT_EQ(ErrorOf("8(%4)"), "Non existing variable referenced (3)");
    EXPECT_EQ(ErrorOf("8(%1)", {}), "Non existing variable referenced (0)");
    EXPECT_EQ(ErrorOf("8(1/0)"), "Division by zero");
    EXPECT_EQ(ErrorOf("8(1 MOD 0)"), "Division by zero");
    EXPECT_EQ(ErrorOf("32(2147483647 + 1)"), "Integer overflow");
    EXPECT_EQ(ErrorOf("32($80000000 - 1)"), "Integer overflow");
    EXPECT_EQ(ErrorOf("32(65536 * 32768)"), "Integer overflow");
    EXPECT_EQ(ErrorOf("32(-$80000000)"), "Integer overflow");
    EXPECT_EQ(ErrorOf("32($80000000 / $FFFFFFFF)"), "Integer overflow");
    EXPECT_EQ(ErrorOf("8(%$80000000)"), "Integer overflow");
    EXPECT_EQ(Value("$80000000 MOD $FFFFFFFF"), 0);
}

TEST(RuleLanguage, AHardErrorHandsBackNoResultAndTheNextEvaluationStartsClean)
{
    TRuleBytes result{0x42};
    ClearVariables();
    AddVariables({0, 1, 2});
    EXPECT_THROW(EvaluateRules("8(1) 8((((1/0))))", result), EZeroDivide);
    EXPECT_EQ(result, TRuleBytes{0x42});
    EXPECT_EQ(ResultHexText(), "$01");  // the output so far stays readable

    const TEvaluation next = Evaluate(kDefaultRule);
    EXPECT_TRUE(next.Ok);
    EXPECT_EQ(next.Bytes, (TRuleBytes{0xB0, 0x01, 0x02}));
}

TEST(RuleLanguage, FieldWidthsBeyondAByte)
{
    // A field wider than 32 bits repeats the value: field bit k is value bit k mod 32.
    EXPECT_EQ(Evaluate("40($12345678)").Bytes, (TRuleBytes{0x78, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(Evaluate("36(-1)").Bytes, (TRuleBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
    // A negative count (only reachable through a hexadecimal pattern) appends nothing.
    TEvaluation e = Evaluate("4(1) $FFFFFFFF(7) 4(1)");
    EXPECT_TRUE(e.Ok);
    EXPECT_EQ(e.Bytes, (TRuleBytes{0x11}));
    // The output is bounded by the longest message the MIDI port takes.
    e = Evaluate("524280(0) ");
    EXPECT_TRUE(e.Ok);
    EXPECT_EQ(e.Bytes.size(), 65535U);
    EXPECT_EQ(ErrorOf("524280(0) 1(1)"), "Rule output too long, maximal 65535 bytes are allowed.");
    EXPECT_EQ(ErrorOf("2147483647(1)"), "Rule output too long, maximal 65535 bytes are allowed.");
}

TEST(RuleLanguage, NestingIsBoundedByTheContextStack)
{
    const std::string nest = std::string(83, '(') + "1" + std::string(83, ')');
    // Deepest point: rule, two right-hand e's and 85 levels of e, t, f, then
    // the constant: exactly 256 saved positions.
    EXPECT_EQ(Value("1+1+" + nest), 3);
    EXPECT_EQ(ErrorOf("32(1+1+1+" + nest + ")"), "Expression too complex, out of context stack space.");
    EXPECT_EQ(ErrorOf("8(" + std::string(100000, '(')), "Expression too complex, out of context stack space.");
    std::string chain = "8(1";
    for (int i = 0; i < 5000; ++i)
        chain += "+1";
    EXPECT_EQ(ErrorOf(chain + ")"), "Expression too complex, out of context stack space.");
}

TEST(RuleMachinery, VariablesHoldAtMost256Bytes)
{
    ClearVariables();
    for (int i = 0; i < 256; ++i)
        AddVariables({i});
    EXPECT_EQ(GetVariable(255), 255);
    try {
        AddVariables({0});
        FAIL() << "the 257th variable was accepted";
    } catch (const EVar& e) {
        EXPECT_EQ(e.Message(), "Too many variables added, maximal 256 are allowed.");
    }

    ClearVariables();
    EXPECT_EQ(VariablesText(), "");
    try {
        GetVariable(0);
        FAIL();
    } catch (const EVar& e) {
        EXPECT_EQ(e.Message(), "Non existing variable referenced (0)");
    }
    EXPECT_THROW(AddVariables({256}), ERangeError);
    EXPECT_THROW(AddVariables({-1}), ERangeError);
    AddVariables({7});
    EXPECT_THROW(AddVariables({8, 300, 9}), ERangeError);
    EXPECT_EQ(VariablesText(), "7, 8");  // values before the bad one stay
}

TEST(RuleMachinery, StacksHold256EntriesAndRefuseBadPops)
{
    ResetParser();
    for (int i = 0; i < 256; ++i)
        PushContext(i);
    EXPECT_THROW(PushContext(0), EContext);
    EXPECT_EQ(PopContext(), 255);
    DropContext();
    EXPECT_EQ(PopContext(), 253);

    ResetParser();
    try {
        PopContext();
        FAIL();
    } catch (const EContext& e) {
        EXPECT_EQ(e.Message(), "Compiler bug encountered, too many pops from context stack.");
    }
    try {
        DropContext();
        FAIL();
    } catch (const EContext& e) {
        EXPECT_EQ(e.Message(), "Compiler bug encountered, too many pops from context stack.");
    }
    try {
        PopValue();
        FAIL();
    } catch (const EValue& e) {
        EXPECT_EQ(e.Message(), "Compiler bug encountered, too many pops from value stack.");
    }
    for (int i = 0; i < 256; ++i)
        PushValue(i);
    try {
        PushValue(0);
        FAIL();
    } catch (const EValue& e) {
        EXPECT_EQ(e.Message(), "Expression too complex, out of value stack space.");
    }
    EXPECT_EQ(PopValue(), 255);
    ResetParser();
}

TEST(RuleMachinery, CalculatorAppliesEachCodeAndRefusesUnknownOnes)
{
    struct TCase {
        std::int32_t Code, Left, Right, Result;
    };
    const TCase cases[] = {
        {4, 10, 3, 13}, {5, 10, 3, 7}, {6, 10, 3, 30}, {7, 10, 3, 3}, {8, -10, 3, -1},
        {9, 12, 3, 15}, {10, 12, 10, 8}, {11, 12, 10, 6},
    };
    for (const TCase& c : cases) {
        ResetParser();
        PushValue(c.Left);
        PushValue(c.Right);
        PushValue(c.Code);
        Calculate();
        EXPECT_EQ(PopValue(), c.Result) << "code " << c.Code;
        EXPECT_THROW(PopValue(), EValue) << "code " << c.Code << " left operands behind";
    }
    const TCase unary[] = {{1, 0, 5, 5}, {2, 0, 0, -1}, {3, 0, 5, -5}};
    for (const TCase& c : unary) {
        ResetParser();
        PushValue(99);  // a unary operator must not take this one
        PushValue(c.Right);
        PushValue(c.Code);
        Calculate();
        EXPECT_EQ(PopValue(), c.Result) << "code " << c.Code;
        EXPECT_EQ(PopValue(), 99);
    }
    for (std::int32_t code : {0, 12, -1}) {
        ResetParser();
        PushValue(1);
        PushValue(2);
        PushValue(code);
        try {
            Calculate();
            FAIL() << code;
        } catch (const EBug& e) {
            EXPECT_EQ(e.Message(), Format("Unknown or invalid operarator (%d) in calculator", code));
        }
    }
    ResetParser();
}

TEST(RuleMachinery, AppendBitsPacksMostSignificantFirst)
{
    ResetParser();
    AppendBits(4, 11);
    AppendBits(4, 0);
    EXPECT_EQ(ResultBytes(), TRuleBytes{0xB0});

    ResetParser();
    AppendBits(12, 0xABC);
    EXPECT_EQ(ResultBytes(), (TRuleBytes{0xAB, 0xC0}));
    EXPECT_EQ(ResultBitCount(), 12);
    AppendBits(7, 0x7F);  // crosses into a third byte
    EXPECT_EQ(ResultBytes(), (TRuleBytes{0xAB, 0xCF, 0xE0}));
    EXPECT_EQ(ResultBitCount(), 19);

    ResetParser();
    AppendBits(3, 5);
    EXPECT_EQ(ResultBitCount(), 3);
    EXPECT_EQ(ResultBitsText(), "10100000");
    EXPECT_EQ(ResultHexText(), "$A0");
    AppendBits(0, 1);
    AppendBits(-5, 1);
    EXPECT_EQ(ResultBitCount(), 3);

    ResetParser();
    EXPECT_EQ(ResultBitsText(), "");
    EXPECT_EQ(ResultHexText(), "");
}

TEST(RuleTrace, EveryStepOfARuleIsWritten)
{
    const std::vector<std::string> expected = {
        "-- test rules",
        "-- test rule",
        "-- test bitcount",
        "-- test constant",
        "-- Push value   : [0] 8",
        "constant : 8",
        "bitcount : constant",
        "-- Expect '('",
        "-- test e",
        "-- test t",
        "-- test f",
        "-- Test '('",
        "-- no match",
        "-- test constant",
        "-- Push value   : [1] 3",
        "constant : 3",
        "f : constant",
        "t : f",
        "e : t",
        "-- Expect ')'",
        "rule : bitcount ( e )",
        "-- Pop  value   : [1] 3",
        "-- Pop  value   : [0] 8",
        "rules : rule *",
        "Vars   = 0, 1, 2",
        "Rule   = 8(3)",
        "Rules  = 8(3)",
        "Result = 00000011",
        "",
        "-- test rule",
        "-- test bitcount",
        "-- test constant",
        "-- no match",
        "-- no match",
        "-- no match",
    };
    EXPECT_EQ(TraceOf("8(3)"), expected);
    const std::string raw = ReadWholeFile(TempPath("parser-trace.txt"));
    EXPECT_EQ(raw.substr(0, 15), "-- test rules\r\n");
}

TEST(RuleTrace, OperatorsVariablesWordsAndErrorsAreWritten)
{
    std::vector<std::string> lines = TraceOf("8(10 - 3) 4(% 3 *CC)");
    for (const char* line : {"e : t - e", "-- Pop  value   : [3] 5", "-- operator Subtract( 3, 10) -> 7",
                             "-- Test '%'", "variable : %3 = 2", "predef_const : CC", "t : f * t",
                             "-- operator Multiply( 11, 2) -> 22", "Rule   = 8(10 - 3)", "Rule   =  4(% 3 *CC)",
                             "Rules  = 8(10 - 3) 4(% 3 *CC)", "Result = 00000111, 01100000"})
        EXPECT_TRUE(Contains(lines, line)) << line;

    lines = TraceOf("8(NOT 1)");
    EXPECT_TRUE(Contains(lines, "e : NOT t"));
    EXPECT_TRUE(Contains(lines, "-- operator Not( 1, 0) -> -2"));

    lines = TraceOf("4(1 2)");
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(lines[lines.size() - 2], "-- no match, an error.");
    EXPECT_EQ(lines.back(), "Syntax error : rule : ')' expected at pos. 6");

    lines = TraceOf("4(1) x");
    EXPECT_EQ(lines.back(), "-- no match, but not an empty rule, something weird ...");
}

TEST(RuleTrace, TraceFileIsClosedAfterwardsAndItsFailuresReported)
{
    const std::string file = TempPath("parser-trace-closed.txt");
    ClearVariables();
    TRuleBytes result;
    EXPECT_THROW(EvaluateRulesTraced(file, "8(1/0)", result), EZeroDivide);
    const std::string afterError = ReadWholeFile(file);
    EXPECT_NE(afterError.find("-- test rules"), std::string::npos);
    // Tracing is off again: a plain evaluation writes nothing more.
    EXPECT_TRUE(EvaluateRules("8(1)", result));
    EXPECT_EQ(ReadWholeFile(file), afterError);

    // A trace file that cannot be created: no evaluation takes place.
    EXPECT_THROW(EvaluateRulesTraced(TempPath("no-such-folder/trace.txt"), "8(2)", result), EInOutError);
    EXPECT_EQ(ResultHexText(), "$01");
    EXPECT_TRUE(EvaluateRules("8(3)", result));
    EXPECT_EQ(result, TRuleBytes{3});
}
