// Loads arbitrary substitution files; whatever loads must save and load back
// to the same table.
#include "common/Exceptions.h"
#include "rules/Substitution.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Above the lines of any input (-max_len=4096).
constexpr int kRoundTripCount = 4096;

// One scratch file per process, in memory: rewriting a file on disk for every
// input made the file system flush it each time, some milliseconds an input.
struct TScratchFile {
    int Fd = ::memfd_create("zw-fuzz-substitution.sub", MFD_CLOEXEC);
    std::string Name = "/proc/self/fd/" + std::to_string(Fd);
    ~TScratchFile() { ::close(Fd); }

    bool Write(const std::uint8_t* data, std::size_t size) const
    {
        return Fd >= 0 && ::ftruncate(Fd, 0) == 0 &&
               ::pwrite(Fd, data, size, 0) == static_cast<ssize_t>(size);
    }
};

const TScratchFile& Scratch()
{
    static const TScratchFile file;
    return file;
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
    // Writing into memory does not fail; when it does, the harness is broken.
    if (!Scratch().Write(data, size))
        __builtin_trap();

    zw::TSubstitution table;
    table.SetCount(120);
    try {
        table.LoadFromFile(Scratch().Name);
    } catch (const zw::Exception&) {
        // Refused: the table must be as it was.
        if (table.Count() != 120)
            __builtin_trap();
        return 0;
    }
    if (table.Count() < 0 || table.Count() > zw::TSubstitution::kMaxCount)
        __builtin_trap();
    // An input holds at most a few thousand lines; a larger table adds only
    // empty entries, whose round trip is the same code on more lines (and
    // cost most of the time). The largest table itself is still checked.
    if (table.Count() > kRoundTripCount && table.Count() != zw::TSubstitution::kMaxCount)
        return 0;
    zw::TSubstitution again;
    again.LoadFromText(table.SaveToText());
    if (!SameTable(table, again))
        __builtin_trap();
    return 0;
}
