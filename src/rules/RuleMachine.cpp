#include "rules/RuleMachine.h"

#include "common/Checked.h"
#include "common/TextLines.h"

#include <cerrno>
#include <cstdarg>

namespace zw {

namespace {

// Indexed by operator code.
constexpr const char* kOperatorNames[] = {
    "", "UnaryPlus", "Not", "UnaryMinus", "Add", "Subtract", "Multiply",
    "Divide", "Modulo", "Or", "And", "Xor",
};

std::int32_t Apply(TRuleOperator code, std::int32_t left, std::int32_t right)
{
    switch (code) {
    case TRuleOperator::UnaryPlus: return right;
    case TRuleOperator::Not: return ~right;
    case TRuleOperator::UnaryMinus: return CheckedNeg(right);
    case TRuleOperator::Add: return CheckedAdd(left, right);
    case TRuleOperator::Subtract: return CheckedSub(left, right);
    case TRuleOperator::Multiply: return CheckedMul(left, right);
    case TRuleOperator::Divide: return CheckedDiv(left, right);
    case TRuleOperator::Modulo: return CheckedMod(left, right);
    case TRuleOperator::Or: return left | right;
    case TRuleOperator::And: return left & right;
    case TRuleOperator::Xor: break;
    }
    return left ^ right;
}

constexpr std::int32_t Code(TRuleOperator code) { return static_cast<std::int32_t>(code); }

} // namespace

TRuleMachine::~TRuleMachine()
{
    StopTrace();
}

void TRuleMachine::AddVariable(long long value)
{
    const std::uint8_t byte = CheckedByte(value);
    if (FVariableCount >= kParserStackSize)
        throw EVar(Format("Too many variables added, maximal %d are allowed.", kParserStackSize));
    FVariables[static_cast<std::size_t>(FVariableCount++)] = byte;
}

std::uint8_t TRuleMachine::GetVariable(int index) const
{
    if (index < 0 || index >= FVariableCount)
        throw EVar(Format("Non existing variable referenced (%d)", index));
    return FVariables[static_cast<std::size_t>(index)];
}

void TRuleMachine::RaiseContextOverflow()
{
    throw EContext("Expression too complex, out of context stack space.");
}

void TRuleMachine::RaiseContextUnderflow()
{
    throw EContext("Compiler bug encountered, too many pops from context stack.");
}

void TRuleMachine::RaiseValueOverflow()
{
    throw EValue("Expression too complex, out of value stack space.");
}

void TRuleMachine::RaiseValueUnderflow()
{
    throw EValue("Compiler bug encountered, too many pops from value stack.");
}

void TRuleMachine::Calculate()
{
    const std::int32_t code = PopValue();
    if (code < Code(TRuleOperator::UnaryPlus) || code > Code(TRuleOperator::Xor))
        throw EBug(Format("Unknown or invalid operarator (%d) in calculator", code));
    const std::int32_t right = PopValue();
    const std::int32_t left = code > Code(TRuleOperator::UnaryMinus) ? PopValue() : 0;
    const std::int32_t result = Apply(static_cast<TRuleOperator>(code), left, right);
    PushValue(result);
    Trace("-- operator %s( %d, %d) -> %d", kOperatorNames[code], right, left, result);
}

void TRuleMachine::AppendBits(std::int32_t bitCount, std::int32_t value)
{
    if (bitCount <= 0)
        return;
    if (static_cast<long long>(FBitCount) + bitCount > 8LL * kMaxResultBytes)
        throw EParser(Format("Rule output too long, maximal %d bytes are allowed.", kMaxResultBytes));
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::int32_t k = bitCount - 1; k >= 0; --k) {
        if (FBitCount % 8 == 0)
            FOutput.push_back(0);
        if ((bits >> (k % 32)) & 1U)
            FOutput[static_cast<std::size_t>(FBitCount / 8)] |= static_cast<std::uint8_t>(0x80U >> (FBitCount % 8));
        ++FBitCount;
    }
}

void TRuleMachine::Reset()
{
    FContextCount = 0;
    FValueCount = 0;
    FOutput.clear();
    FBitCount = 0;
}

std::string TRuleMachine::VariablesText() const
{
    std::string text;
    for (int i = 0; i < FVariableCount; ++i) {
        if (i > 0)
            text += ", ";
        text += std::to_string(FVariables[static_cast<std::size_t>(i)]);
    }
    return text;
}

std::string TRuleMachine::ResultBitsText() const
{
    std::string text;
    for (std::size_t i = 0; i < FOutput.size(); ++i) {
        if (i > 0)
            text += ", ";
        for (int bit = 7; bit >= 0; --bit)
            text += ((FOutput[i] >> bit) & 1) ? '1' : '0';
    }
    return text;
}

std::string TRuleMachine::ResultHexText() const
{
    std::string text;
    for (std::size_t i = 0; i < FOutput.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += Format("$%.2X", FOutput[i]);
    }
    return text;
}

void TRuleMachine::StartTrace(const std::string& fileName)
{
    StopTrace();
    FTraceFile = std::fopen(fileName.c_str(), "wb");
    if (!FTraceFile)
        throw EInOutError(TFileAccess::Write, fileName, errno);
}

int TRuleMachine::StopTrace()
{
    if (!FTraceFile)
        return 0;
    const bool written = std::ferror(FTraceFile) == 0;
    errno = 0;
    const bool closed = std::fclose(FTraceFile) == 0;
    const int error = errno;
    FTraceFile = nullptr;
    if (written && closed)
        return 0;
    return error != 0 ? error : EIO;
}

void TRuleMachine::RaiseSyntax(const char* reason, int position)
{
    std::string message = Format("Syntax error : %s at pos. %d", reason, position);
    Trace(message.c_str());
    throw ESyntax(std::move(message));
}

void TRuleMachine::WriteTraceLine(const char* text)
{
    std::fputs(text, FTraceFile);
    std::fputs("\r\n", FTraceFile);
}

void TRuleMachine::WriteTraceFormatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(FTraceFile, format, args);
    va_end(args);
    std::fputs("\r\n", FTraceFile);
}

TRuleMachine& TheRuleMachine()
{
    // One per thread: the sound matcher translates genomes on several
    // threads at once, and a translation sets and reads the machine whole.
    thread_local TRuleMachine machine;
    return machine;
}

} // namespace zw
