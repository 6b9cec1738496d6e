#pragma once

#include "rules/Parser.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

// The state under the rule language: variables, context stack, value stack,
// calculator, output bits and the trace writer. One instance serves the
// whole program (TheRuleMachine); Parser.h's operations forward to it.
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

    void PushContext(int position);
    int PopContext();
    void DropContext();

    void PushValue(std::int32_t value);
    std::int32_t PopValue();
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
