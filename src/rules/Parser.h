#pragma once

#include "common/Exceptions.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The rule language: a backtracking recursive-descent parser that evaluates a
// rule text while it parses it, turning a few byte variables into a packed
// bit stream. The machinery (variables, context and value stacks, output bits,
// trace) is one process-wide state, so evaluations must never overlap or nest;
// everything runs on the GUI thread.
namespace zw {

// Failures of the rule language.
class EParser : public Exception {
public:
    using Exception::Exception;
};

// "Syntax error : <reason> at pos. <position>"
class ESyntax : public EParser {
public:
    using EParser::EParser;
};

// Context stack overflow or underflow.
class EContext : public EParser {
public:
    using EParser::EParser;
};

// Value stack overflow or underflow.
class EValue : public EParser {
public:
    using EParser::EParser;
};

// Too many variables, or a reference to one that does not exist.
class EVar : public EParser {
public:
    using EParser::EParser;
};

// Consistency checks that well-formed use never trips.
class EBug : public EParser {
public:
    using EParser::EParser;
};

// Capacity of the variable list and of both stacks.
inline constexpr int kParserStackSize = 256;

// The longest result one evaluation may produce: a result travels to the MIDI
// port with a 16-bit length. A longer one raises EParser.
inline constexpr int kMaxResultBytes = 65535;

// The packed output: one byte per started group of 8 bits, most significant
// bit first, the last byte padded with zero bits.
using TRuleBytes = std::vector<std::uint8_t>;

// --- Variables (%1 is index 0) ---------------------------------------------

void ClearVariables();
// Appends each value in order; a value outside 0..255 raises ERangeError
// ("Range check error"), the 257th variable raises EVar. Values added before
// the failing one stay.
void AddVariables(std::initializer_list<long long> values);
void AddVariables(std::span<const long long> values);
// The byte at 0-based `index`; EVar when there is none.
std::uint8_t GetVariable(int index);

// --- Stacks and calculator (used by the productions; open for tests) -------

void PushContext(int position);
int PopContext();
void DropContext();
void PushValue(std::int32_t value);
std::int32_t PopValue();
// The calculator's operator codes, as they stand on the value stack. Codes up
// to UnaryMinus take one operand.
enum class TRuleOperator : std::int32_t {
    UnaryPlus = 1, Not, UnaryMinus, Add, Subtract, Multiply, Divide, Modulo, Or, And, Xor
};
// Pops an operator code (a TRuleOperator, 1..11), its operand(s), pushes the result.
void Calculate();
// Appends the low `bitCount` bits of `value`, most significant first. Bits of
// a field wider than 32 repeat: field bit k takes value bit (k mod 32). A
// count of 0 or less appends nothing.
void AppendBits(std::int32_t bitCount, std::int32_t value);

// Empties both stacks and the output (not the variables).
void ResetParser();

// --- Texts describing the variables and the last output ----------------------

std::string VariablesText();   // "0, 1, 2"
std::string ResultBitsText();  // "10110000, 00000001, 00000010"
std::string ResultHexText();   // "$B0, $01, $02"
// The output of the last evaluation, also after a failed one.
const TRuleBytes& ResultBytes();
int ResultBitCount();

// --- Evaluation ----------------------------------------------------------------

// Evaluates `text` with the current variables. Returns true when the whole
// text was consumed by rules (blanks after the last rule are accepted).
// `result` receives the output whether true or false; a hard error raises
// (an EParser, EIntOverflow or EZeroDivide) and leaves `result` untouched.
bool EvaluateRules(std::string_view text, TRuleBytes& result);

// The same, writing a trace of every step to `traceFileName`, created anew
// (lines end with CR LF). A trace file that cannot be created or written
// raises EInOutError; when it cannot be created nothing is evaluated.
bool EvaluateRulesTraced(const std::string& traceFileName, std::string_view text,
                         TRuleBytes& result);

} // namespace zw
