// Evaluates arbitrary rule texts. Input: one control byte (bits 0-2: number
// of variables, bit 7: trace to /dev/null), the variable bytes, then the text.
#include "common/Exceptions.h"
#include "rules/Parser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t variableCount = data[0] & 7U;
    const bool traced = (data[0] & 0x80U) != 0;
    if (size < 1 + variableCount)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1 + variableCount),
                                size - 1 - variableCount);
    zw::ClearVariables();
    for (std::size_t i = 0; i < variableCount; ++i)
        zw::AddVariables({data[1 + i]});

    zw::TRuleBytes result{0xEE};
    try {
        const bool ok = traced ? zw::EvaluateRulesTraced("/dev/null", text, result)
                               : zw::EvaluateRules(text, result);
        (void)ok;
        // The result is exactly the packed output.
        if (result != zw::ResultBytes() ||
            result.size() != static_cast<std::size_t>((zw::ResultBitCount() + 7) / 8) ||
            result.size() > static_cast<std::size_t>(zw::kMaxResultBytes))
            __builtin_trap();
    } catch (const zw::Exception&) {
        // Hard errors are expected; they must leave the result alone.
        if (result != zw::TRuleBytes{0xEE})
            __builtin_trap();
    }
    zw::ResultBitsText();
    zw::ResultHexText();
    return 0;
}
