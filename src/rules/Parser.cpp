#include "rules/Parser.h"

#include "common/Checked.h"
#include "common/TextLines.h"
#include "common/Tokens.h"
#include "rules/RuleMachine.h"

#include <climits>

namespace zw {

namespace {

struct TPredefined {
    const char* Word;
    std::int32_t Value;
};

// High nibbles of the MIDI status bytes.
constexpr TPredefined kPredefined[] = {
    {"NOTEOFF", 8}, {"OFF", 8},
    {"NOTEON", 9}, {"ON", 9},
    {"KEYPRESSURE", 10}, {"KP", 10},
    {"CONTROLCHANGE", 11}, {"CC", 11},
    {"PROGRAMCHANGE", 12}, {"PC", 12},
    {"CHANNELPRESSURE", 13}, {"CP", 13},
    {"PITCHBEND", 14}, {"BEND", 14}, {"PB", 14},
    {"SYSEX", 15}, {"SX", 15}, {"EX", 15},
};

// Positions are ints; a longer text could not be addressed.
constexpr std::size_t kMaxTextLength = INT_MAX / 2;

constexpr int kEnd = -1;

bool IsBlank(int c) { return c == ' ' || c == '\t'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsWordChar(int c) { return c == '@' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z'); }

char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// `word` equals the upper-case `upper`, ignoring case.
bool SameWord(std::string_view word, std::string_view upper)
{
    if (word.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (ToUpper(word[i]) != upper[i])
            return false;
    return true;
}

// One evaluation of one text. Each production saves the position on entry,
// drops it on success and restores it on failure, tracing every step.
class TRuleParser {
public:
    TRuleParser(TRuleMachine& machine, std::string_view text) : M(machine), FText(text) {}

    bool Rules();

private:
    bool Rule();
    bool Bitcount();
    bool E();
    bool T();
    bool F();
    bool Constant();
    bool Variable();
    bool PredefConst();

    int Char(int position) const
    {
        return position >= 1 && position <= Length()
            ? static_cast<unsigned char>(FText[static_cast<std::size_t>(position - 1)])
            : kEnd;
    }
    int Length() const { return static_cast<int>(FText.size()); }
    void SkipBlanks()
    {
        while (IsBlank(Char(FPos)))
            ++FPos;
    }
    std::string_view WordAt(int position) const
    {
        int end = position;
        while (IsWordChar(Char(end)))
            ++end;
        return end == position ? std::string_view()
                               : FText.substr(static_cast<std::size_t>(position - 1),
                                              static_cast<std::size_t>(end - position));
    }
    bool TestChar(char c);
    bool ExpectChar(char c);
    bool ScanHex(std::uint32_t& value);
    bool ScanDecimal(std::int32_t& value);

    void Enter(const char* line)
    {
        M.Trace(line);
        M.PushContext(FPos);
    }
    bool Succeed()
    {
        M.DropContext();
        return true;
    }
    bool Fail()
    {
        FPos = M.PopContext();
        M.Trace("-- no match");
        return false;
    }
    // Applies a binary or unary operator to the operands on the value stack.
    void Operate(const char* line, TRuleOperator code)
    {
        M.Trace(line);
        M.PushValue(static_cast<std::int32_t>(code));
        M.Calculate();
    }

    TRuleMachine& M;
    std::string_view FText;
    int FPos = 1;
};

bool TRuleParser::Rules()
{
    M.Reset();
    M.Trace("-- test rules");
    FPos = 1;
    int ruleStart = 1;
    int ruleNumber = 1;
    while (Rule()) {
        M.Trace("rules : rule *");
        if (M.Tracing()) {
            M.Trace("Vars   = %s", M.VariablesText().c_str());
            M.Trace("Rule   = %.*s", FPos - ruleStart, FText.data() + (ruleStart - 1));
            M.Trace("Rules  = %.*s", Length(), FText.data());
            M.Trace("Result = %s", M.ResultBitsText().c_str());
        }
        if (M.ValueCount() != 0)
            M.Trace("Value stack not empty after rule %d, pos %d, values left %d", ruleNumber, FPos,
                    M.ValueCount());
        M.Trace("");
        if (M.ValueCount() != 0)
            throw EBug(Format("Value stack not empty after evaluating rule %d, position %d", ruleNumber, FPos));
        ++ruleNumber;
        ruleStart = FPos;
    }
    // Blanks after the last rule are harmless; a text of blanks alone is no rule.
    if (ruleNumber > 1)
        SkipBlanks();
    const bool ok = FPos == Length() + 1;
    if (!ok)
        M.Trace("-- no match, but not an empty rule, something weird ...");
    return ok;
}

bool TRuleParser::Rule()
{
    Enter("-- test rule");
    SkipBlanks();
    if (!Bitcount())
        return Fail();
    SkipBlanks();
    if (!ExpectChar('('))
        M.RaiseSyntax("rule : '(' expected", FPos);
    SkipBlanks();
    if (!E())
        return Fail();
    SkipBlanks();
    if (!ExpectChar(')'))
        M.RaiseSyntax("rule : ')' expected", FPos);
    M.Trace("rule : bitcount ( e )");
    const std::int32_t value = M.PopValue();
    const std::int32_t bitCount = M.PopValue();
    if (bitCount == 0)
        M.RaiseSyntax("Adding zero bits is useless", FPos);
    M.AppendBits(bitCount, value);
    return Succeed();
}

bool TRuleParser::Bitcount()
{
    Enter("-- test bitcount");
    if (!Constant())
        return Fail();
    M.Trace("bitcount : constant");
    return Succeed();
}

bool TRuleParser::E()
{
    Enter("-- test e");
    if (T()) {
        SkipBlanks();
        const int operatorPos = FPos;
        const int c = Char(FPos);
        if (c == '+' || c == '-') {
            ++FPos;
            if (E()) {
                if (c == '+')
                    Operate("e : t + e", TRuleOperator::Add);
                else
                    Operate("e : t - e", TRuleOperator::Subtract);
                return Succeed();
            }
        } else {
            const std::string_view word = WordAt(FPos);
            const char* line = nullptr;
            TRuleOperator code{};
            if (SameWord(word, "OR")) {
                line = "e : t OR e";
                code = TRuleOperator::Or;
            } else if (SameWord(word, "AND")) {
                line = "e : t AND e";
                code = TRuleOperator::And;
            } else if (SameWord(word, "XOR")) {
                line = "e : t XOR e";
                code = TRuleOperator::Xor;
            }
            if (line) {
                FPos += static_cast<int>(word.size());
                if (E()) {
                    Operate(line, code);
                    return Succeed();
                }
            }
        }
        // An operator without a right operand stays unread.
        FPos = operatorPos;
        M.Trace("e : t");
        return Succeed();
    }

    const int c = Char(FPos);
    if (c == '-' || c == '+') {
        ++FPos;
        SkipBlanks();
        if (!T())
            return Fail();
        if (c == '-')
            Operate("e : - t", TRuleOperator::UnaryMinus);
        else
            M.Trace("e : + t");
        return Succeed();
    }
    const std::string_view word = WordAt(FPos);
    if (SameWord(word, "NOT")) {
        FPos += static_cast<int>(word.size());
        SkipBlanks();
        if (!T())
            return Fail();
        Operate("e : NOT t", TRuleOperator::Not);
        return Succeed();
    }
    return Fail();
}

bool TRuleParser::T()
{
    Enter("-- test t");
    if (!F())
        return Fail();
    SkipBlanks();
    const int operatorPos = FPos;
    const int c = Char(FPos);
    const char* line = nullptr;
    TRuleOperator code{};
    int length = 1;
    if (c == '*') {
        line = "t : f * t";
        code = TRuleOperator::Multiply;
    } else if (c == '/') {
        line = "t : f / t";
        code = TRuleOperator::Divide;
    } else {
        const std::string_view word = WordAt(FPos);
        if (SameWord(word, "MOD")) {
            line = "t : f MOD t";
            code = TRuleOperator::Modulo;
            length = 3;
        }
    }
    if (line) {
        FPos += length;
        if (T()) {
            Operate(line, code);
            return Succeed();
        }
        FPos = operatorPos;
    }
    M.Trace("t : f");
    return Succeed();
}

bool TRuleParser::F()
{
    Enter("-- test f");
    if (TestChar('(')) {
        SkipBlanks();
        if (!E())
            return Fail();
        SkipBlanks();
        if (!ExpectChar(')'))
            M.RaiseSyntax("f : ')' expected.", FPos);
        M.Trace("f : ( e )");
        return Succeed();
    }
    if (Constant()) {
        M.Trace("f : constant");
        return Succeed();
    }
    if (Variable()) {
        M.Trace("f : variable");
        return Succeed();
    }
    if (PredefConst()) {
        M.Trace("f : predef_const");
        return Succeed();
    }
    return Fail();
}

bool TRuleParser::Constant()
{
    Enter("-- test constant");
    SkipBlanks();
    const int c = Char(FPos);
    std::int32_t value = 0;
    bool valid = false;
    if (c == '$') {
        ++FPos;
        std::uint32_t pattern = 0;
        valid = ScanHex(pattern);
        value = static_cast<std::int32_t>(pattern);
    } else if (IsDigit(c)) {
        const int next = Char(FPos + 1);
        if (next == 'x' || next == 'X') {
            // The leading digit carries no value: 0x1F and 7x1F are both 31.
            FPos += 2;
            std::uint32_t pattern = 0;
            valid = ScanHex(pattern);
            value = static_cast<std::int32_t>(pattern);
        } else {
            valid = ScanDecimal(value);
        }
    } else {
        return Fail();
    }
    if (!valid)
        M.RaiseSyntax("constant expected", FPos);
    M.PushValue(value);
    M.Trace("constant : %d", value);
    return Succeed();
}

// Reads hexadecimal digits as a 32-bit pattern: at least one, at most eight
// significant ones. Leaves the position after the last digit.
bool TRuleParser::ScanHex(std::uint32_t& value)
{
    int digits = 0;
    int significant = 0;
    value = 0;
    for (int d = HexDigitValue(Char(FPos)); d >= 0; d = HexDigitValue(Char(FPos))) {
        ++digits;
        if (significant > 0 || d != 0)
            ++significant;
        if (significant <= 8)
            value = value * 16 + static_cast<std::uint32_t>(d);
        ++FPos;
    }
    return digits > 0 && significant <= 8;
}

bool TRuleParser::ScanDecimal(std::int32_t& value)
{
    long long number = 0;
    bool inRange = true;
    while (IsDigit(Char(FPos))) {
        if (inRange) {
            number = number * 10 + (Char(FPos) - '0');
            inRange = number <= INT32_MAX;
        }
        ++FPos;
    }
    value = inRange ? static_cast<std::int32_t>(number) : 0;
    return inRange;
}

bool TRuleParser::Variable()
{
    Enter("-- test variable");
    if (!TestChar('%'))
        return Fail();
    SkipBlanks();
    if (!Constant())
        return Fail();
    const std::int32_t number = M.PopValue();
    const std::uint8_t value = M.GetVariable(CheckedSub(number, 1));
    M.Trace("variable : %%%d = %d", number, value);
    M.PushValue(value);
    return Succeed();
}

bool TRuleParser::PredefConst()
{
    Enter("-- test predef_const");
    const std::string_view word = WordAt(FPos);
    for (const TPredefined& entry : kPredefined) {
        if (SameWord(word, entry.Word)) {
            FPos += static_cast<int>(word.size());
            M.Trace("predef_const : %s", entry.Word);
            M.PushValue(entry.Value);
            return Succeed();
        }
    }
    return Fail();
}

bool TRuleParser::TestChar(char c)
{
    M.Trace("-- Test '%c'", c);
    if (Char(FPos) == c) {
        ++FPos;
        return true;
    }
    M.Trace("-- no match");
    return false;
}

// Always advances, so a syntax error points one past the offending character.
bool TRuleParser::ExpectChar(char c)
{
    M.Trace("-- Expect '%c'", c);
    const bool matched = Char(FPos) == c;
    ++FPos;
    if (!matched)
        M.Trace("-- no match, an error.");
    return matched;
}

} // namespace

void ClearVariables() { TheRuleMachine().ClearVariables(); }

void AddVariables(std::initializer_list<long long> values)
{
    AddVariables(std::span<const long long>(values.begin(), values.size()));
}

void AddVariables(std::span<const long long> values)
{
    for (long long value : values)
        TheRuleMachine().AddVariable(value);
}

std::uint8_t GetVariable(int index) { return TheRuleMachine().GetVariable(index); }
void PushContext(int position) { TheRuleMachine().PushContext(position); }
int PopContext() { return TheRuleMachine().PopContext(); }
void DropContext() { TheRuleMachine().DropContext(); }
void PushValue(std::int32_t value) { TheRuleMachine().PushValue(value); }
std::int32_t PopValue() { return TheRuleMachine().PopValue(); }
void Calculate() { TheRuleMachine().Calculate(); }
void AppendBits(std::int32_t bitCount, std::int32_t value) { TheRuleMachine().AppendBits(bitCount, value); }
void ResetParser() { TheRuleMachine().Reset(); }
std::string VariablesText() { return TheRuleMachine().VariablesText(); }
std::string ResultBitsText() { return TheRuleMachine().ResultBitsText(); }
std::string ResultHexText() { return TheRuleMachine().ResultHexText(); }
const TRuleBytes& ResultBytes() { return TheRuleMachine().Output(); }
int ResultBitCount() { return TheRuleMachine().BitCount(); }

bool EvaluateRules(std::string_view text, TRuleBytes& result)
{
    if (text.size() > kMaxTextLength)
        throw EParser("Rule text too long");
    TRuleMachine& machine = TheRuleMachine();
    TRuleParser parser(machine, text);
    const bool ok = parser.Rules();
    result = machine.Output();
    return ok;
}

bool EvaluateRulesTraced(const std::string& traceFileName, std::string_view text, TRuleBytes& result)
{
    TRuleMachine& machine = TheRuleMachine();
    machine.StartTrace(traceFileName);
    bool ok = false;
    try {
        ok = EvaluateRules(text, result);
    } catch (...) {
        machine.StopTrace();
        throw;
    }
    if (const int error = machine.StopTrace(); error != 0)
        throw EInOutError(TFileAccess::Write, traceFileName, error);
    return ok;
}

} // namespace zw
