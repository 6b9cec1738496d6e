#include "worms/GeneFile.h"

#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/TextLines.h"
#include "common/Tokens.h"


namespace zw {

void WriteGeneFileCount(std::string& out, std::size_t count)
{
    out += Format("%zu", count);
    out += kLineEnd;
}

void WriteGeneFileEntry(std::string& out, std::string_view name, const TGene& gene)
{
    std::string storedName(name);
    for (char& c : storedName)
        if (c == '\r' || c == '\n')
            c = '_';
    out += storedName; // as "%s = " would, but keeping any NUL byte of the name
    out += " = ";
    gene.WriteTo(out);
}

void ReadGeneFile(std::string_view text, const TGeneFileAdd& add, std::string_view fileName)
{
    // Lines are taken as they are needed: a file of millions of short lines
    // must not become millions of strings.
    TLineReader lines(text);
    std::size_t pos = 0;
    long long totalGenes = 0;
    const long long entryCount = ReadIntToken(lines.Next(), pos);
    if (entryCount > kMaxGeneFileEntries)
        throw EInvalidFile(Format("Invalid gene file '%.*s': %lld entries, at most %d are allowed",
                                  static_cast<int>(fileName.size()), fileName.data(), entryCount,
                                  kMaxGeneFileEntries));
    for (long long entry = 0; entry < entryCount; ++entry) {
        const std::size_t lineIndex = static_cast<std::size_t>(entry) + 1;
        const std::string_view current = lines.Next();
        pos = 0;
        std::string name = ReadToken(current, pos);
        if (name.empty())
            throw EInvalidFile();

        const long long geneCount = ReadIntToken(current, pos);
        if (geneCount < 0 || geneCount > kMaxGeneFileGeneCount)
            throw EInvalidFile(Format("Invalid gene count %lld in line %zu, allowed are 0 to %d",
                                      geneCount, lineIndex + 1, kMaxGeneFileGeneCount));
        totalGenes += geneCount;
        if (totalGenes > kMaxGeneFileTotalGenes)
            throw EInvalidFile(Format("Too many genes at line %zu, a gene file may hold at most %lld",
                                      lineIndex + 1, static_cast<long long>(kMaxGeneFileTotalGenes)));
        TGene gene;
        gene.SetSize(static_cast<int32_t>(geneCount));
        // Genes the line leaves out stay 0.
        for (int32_t i = 0; i < gene.Size() && pos < current.size(); ++i) {
            const long long value = ReadIntToken(current, pos);
            if (value < 0 || value > 255)
                throw ERangeError();
            gene.SetGenes(i, static_cast<uint8_t>(value));
        }
        add(std::move(name), std::move(gene));
    }
}

} // namespace zw
