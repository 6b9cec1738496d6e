// The help text shipped beside the program: every rule, expression and
// constant it shows must behave the way it says.
#include "common/Globals.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "rules/Parser.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace zw {
namespace {

// The build copies RuleHelp.txt beside the executables.
std::vector<std::string> HelpLines()
{
    return SplitLines(ReadWholeFile(ProgramPath() + "RuleHelp.txt"));
}

// Evaluates `rule` with the variables 0, 1, 2; false when it is no valid rule
// (not used up, or a hard error).
bool Evaluate(const std::string& rule, TRuleBytes& bytes)
{
    ClearVariables();
    AddVariables({0, 1, 2});
    try {
        return EvaluateRules(rule, bytes);
    } catch (const std::exception&) {
        return false;
    }
}

bool Valid(const std::string& rule)
{
    TRuleBytes bytes;
    return Evaluate(rule, bytes);
}

// The value of an expression, read back through a 32-bit field.
long long ValueOf(const std::string& expression)
{
    TRuleBytes bytes;
    if (!Evaluate("32(" + expression + ")", bytes) || bytes.size() != 4)
        return 0x7FFFFFFFFFFFLL; // no value
    const uint32_t bits = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    return static_cast<int32_t>(bits);
}

TEST(RuleHelpText, EveryExampleRuleIsValidAndGivesTheBytesItNames)
{
    const std::regex rule(R"(^    (\d+\(.*?\))(?:\s{2,}(.*))?$)");
    const std::regex hexByte(R"(\$([0-9A-F]{2})\b)");
    int rules = 0;
    bool defaultRule = false;
    for (const std::string& line : HelpLines()) {
        std::smatch m;
        if (!std::regex_match(line, m, rule) || m[1] == "bitcount(expression)")
            continue;
        ++rules;
        defaultRule = defaultRule || m[1] == "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";
        TRuleBytes bytes;
        EXPECT_TRUE(Evaluate(m[1], bytes)) << line;
        const std::string comment = m[2];
        std::vector<uint8_t> named;
        for (auto it = std::sregex_iterator(comment.begin(), comment.end(), hexByte); it != std::sregex_iterator(); ++it)
            named.push_back(static_cast<uint8_t>(std::stoi((*it)[1], nullptr, 16)));
        if (!named.empty()) {
            EXPECT_EQ(bytes, named) << line;
        }
    }
    EXPECT_GE(rules, 10);
    EXPECT_TRUE(defaultRule);
}

TEST(RuleHelpText, GroupingExamplesHaveTheValuesTheyClaim)
{
    const std::regex value(R"(^    (\S.*?)\s{2,}is (?:.* = )?(-?\d+)$)");
    const std::regex error(R"(^    (\S.*?)\s{2,}is an error; write (.*?)(?: \(.*\))?$)");
    int checked = 0;
    for (const std::string& line : HelpLines()) {
        std::smatch m;
        if (std::regex_match(line, m, error)) {
            ++checked;
            EXPECT_FALSE(Valid("8(" + m[1].str() + ")")) << line;
            EXPECT_TRUE(Valid("8(" + m[2].str() + ")")) << line;
        } else if (std::regex_match(line, m, value)) {
            ++checked;
            EXPECT_EQ(ValueOf(m[1]), std::stoll(m[2])) << line;
        }
    }
    EXPECT_GE(checked, 8);
}

TEST(RuleHelpText, BlankExamplesAreFineOrWrongAsTheySay)
{
    const std::regex fine(R"(^    (\S.*?)\s{2,}fine$)");
    const std::regex wrong(R"(^    (\S.*?)\s{2,}error: write (.*)$)");
    int checked = 0;
    for (const std::string& line : HelpLines()) {
        std::smatch m;
        if (std::regex_match(line, m, fine)) {
            ++checked;
            EXPECT_TRUE(Valid("8(" + m[1].str() + ")")) << line;
        } else if (std::regex_match(line, m, wrong)) {
            ++checked;
            EXPECT_FALSE(Valid("8(" + m[1].str() + ")")) << line;
            EXPECT_TRUE(Valid("8(" + m[2].str() + ")")) << line;
        }
    }
    EXPECT_GE(checked, 5);
    EXPECT_TRUE(Valid("8(%1 OR(NOTEON))"));
}

TEST(RuleHelpText, NamedConstantsHaveTheirTableValues)
{
    const std::regex row(R"(^    ([A-Z]+(?:\s+[A-Z]+)*)\s+(\d+)$)");
    const std::regex word("[A-Z]+");
    int words = 0;
    for (const std::string& line : HelpLines()) {
        std::smatch m;
        if (!std::regex_match(line, m, row))
            continue;
        const std::string names = m[1];
        const long long expected = std::stoll(m[2]);
        for (auto it = std::sregex_iterator(names.begin(), names.end(), word); it != std::sregex_iterator(); ++it) {
            ++words;
            EXPECT_EQ(ValueOf(it->str()), expected) << it->str();
        }
    }
    EXPECT_EQ(words, 18);
    EXPECT_EQ(ValueOf("$7F"), 127);
    EXPECT_EQ(ValueOf("0x7F"), 127);
    EXPECT_EQ(ValueOf("0X7F"), 127);
    EXPECT_EQ(ValueOf("$FFFFFFFF"), -1);
    EXPECT_EQ(ValueOf("NOT 0"), -1);
}

} // namespace
} // namespace zw
