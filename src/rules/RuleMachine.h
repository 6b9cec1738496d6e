#pragma once

#include "rules/Parser.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

// The state under the rule language: variables, context stack, value stack,
// calculator, output bits and the trace writer. One instance serves each
// thread (TheRuleMachine); Parser.h's operations forward to it.
namespace zw {

class TRuleMachine {
public:
    TRuleMachine() = default;
    ~TRuleMachine();
    TRuleMachine(const TRuleMachine&) = delete;
    TRuleMachine& operator=(const TRuleMachine&) = delete;

    void ClearVariables() { FVariableCount = 0; }
    void AddVariable(long long value);
    std::uint8_t GetVariable(int index) const;

    // The stack operations run several times per character: inline, with the
    // failures out of line.
    void PushContext(int position)
    {
        if (FContextCount >= kParserStackSize)
            RaiseContextOverflow();
        FContexts[static_cast<std::size_t>(FContextCount++)] = position;
    }
    int PopContext()
    {
        if (FContextCount <= 0)
            RaiseContextUnderflow();
        return FContexts[static_cast<std::size_t>(--FContextCount)];
    }
    void DropContext() { PopContext(); }

    void PushValue(std::int32_t value)
    {
        Trace("-- Push value   : [%d] %d", FValueCount, value);
        if (FValueCount >= kParserStackSize)
            RaiseValueOverflow();
        FValues[static_cast<std::size_t>(FValueCount++)] = value;
    }
    std::int32_t PopValue()
    {
        if (FValueCount <= 0)
            RaiseValueUnderflow();
        const std::int32_t value = FValues[static_cast<std::size_t>(--FValueCount)];
        Trace("-- Pop  value   : [%d] %d", FValueCount, value);
        return value;
    }
    int ValueCount() const { return FValueCount; }

    void Calculate();
    void AppendBits(std::int32_t bitCount, std::int32_t value);

    void Reset();

    std::string VariablesText() const;
    std::string ResultBitsText() const;
    std::string ResultHexText() const;
    const TRuleBytes& Output() const { return FOutput; }
    int BitCount() const { return FBitCount; }

    // Tracing: formatting happens only while a trace file is open.
    bool Tracing() const { return FTraceFile != nullptr; }
    void Trace(const char* text)
    {
        if (FTraceFile)
            WriteTraceLine(text);
    }
    template <typename... Args>
    void Trace(const char* format, Args... args)
    {
        if (FTraceFile)
            WriteTraceFormatted(format, args...);
    }
    // Raises EInOutError (tracing stays off) when the file cannot be created.
    void StartTrace(const std::string& fileName);
    // Closes the file; returns 0, or the error number when writing or closing failed.
    int StopTrace();

    [[noreturn]] void RaiseSyntax(const char* reason, int position);

private:
    [[noreturn]] static void RaiseContextOverflow();
    [[noreturn]] static void RaiseContextUnderflow();
    [[noreturn]] static void RaiseValueOverflow();
    [[noreturn]] static void RaiseValueUnderflow();
    void WriteTraceLine(const char* text);
    void WriteTraceFormatted(const char* format, ...);

    std::array<std::uint8_t, kParserStackSize> FVariables{};
    int FVariableCount = 0;
    std::array<int, kParserStackSize> FContexts{};
    int FContextCount = 0;
    std::array<std::int32_t, kParserStackSize> FValues{};
    int FValueCount = 0;
    TRuleBytes FOutput;
    int FBitCount = 0;
    std::FILE* FTraceFile = nullptr;
};

TRuleMachine& TheRuleMachine();

} // namespace zw
