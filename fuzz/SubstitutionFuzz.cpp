// Loads arbitrary substitution files; whatever loads must save and load back
// to the same table.
#include "common/Exceptions.h"
#include "rules/Substitution.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// One scratch file per process, removed when the run ends.
struct TScratchFile {
    std::string Name = "/tmp/zw-fuzz-substitution-" + std::to_string(getpid()) + ".sub";
    ~TScratchFile() { std::remove(Name.c_str()); }
};

const std::string& FileName()
{
    static const TScratchFile file;
    return file.Name;
}

bool SameTable(const zw::TSubstitution& a, const zw::TSubstitution& b)
{
    if (a.Count() != b.Count())
        return false;
    for (int i = 0; i < a.Count(); ++i)
        if (a.Active(i) != b.Active(i) || a.Rule(i) != b.Rule(i))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(FileName().c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    zw::TSubstitution table;
    table.SetCount(120);
    try {
        table.LoadFromFile(FileName());
    } catch (const zw::Exception&) {
        // Refused: the table must be as it was.
        if (table.Count() != 120)
            __builtin_trap();
        return 0;
    }
    zw::TSubstitution again;
    again.LoadFromText(table.SaveToText());
    if (!SameTable(table, again) || table.Count() < 0 || table.Count() > zw::TSubstitution::kMaxCount)
        __builtin_trap();
    return 0;
}
