// Feeds arbitrary bytes to the gene-file reader. Expected failures are the
// reader's own (EInvalidFile, the range error); anything else, a crash or a
// runaway allocation is a finding. Every entry read must also survive being
// written and read again unchanged.
#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "worms/GeneFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckRoundTrip(const std::string& name, const zw::TGene& gene)
{
    std::string text;
    zw::WriteGeneFileCount(text, 1);
    zw::WriteGeneFileEntry(text, name, gene);
    int entries = 0;
    zw::ReadGeneFile(text, [&](std::string readName, zw::TGene readGene) {
        ++entries;
        Check(readName == name);
        Check(readGene.Size() == gene.Size());
        for (int32_t i = 0; i < gene.Size(); ++i)
            Check(readGene.Data()[i] == gene.Data()[i]);
    });
    Check(entries == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        zw::ReadGeneFile(text, [](std::string name, zw::TGene gene) {
            Check(!name.empty());
            Check(gene.Size() >= 0 && gene.Size() <= zw::kMaxGeneFileGeneCount);
            // Long genomes from short lines are mostly padding; writing them
            // out again would only cost time.
            if (gene.Size() <= 4096)
                CheckRoundTrip(name, gene);
        });
    } catch (const zw::EInvalidFile&) {
    } catch (const zw::ERangeError&) {
    }
    return 0;
}
