#include "worms/GeneFile.h"

#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/TextLines.h"
#include "common/Tokens.h"

#include <optional>


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

namespace {

// Where a failure lies: the file (when the caller gave it) and the line.
std::string Where(std::string_view fileName, std::size_t line)
{
    return fileName.empty() ? Format("line %zu", line) : Format("\"%s\" line %zu", Escaped(fileName).c_str(), line);
}

// A name as the bank can show and save it: control characters become "_".
bool MakeNamePrintable(std::string& name)
{
    bool changed = false;
    for (char& c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F) {
            c = '_';
            changed = true;
        }
    }
    return changed;
}

// Whether a name that ends at `nameEnd` of `line` was longer as written: the
// writer follows a name with " = " and the gene count, so any other separator
// after it, or a count that is no run of digits, is a separator inside the
// name. The character the name was cut at; none for a whole name.
std::optional<char> NameCutAt(std::string_view line, std::size_t nameEnd)
{
    std::size_t pos = nameEnd;
    const std::string count = ReadToken(line, pos);
    const std::size_t countStart = pos - count.size();
    const std::size_t other = line.substr(nameEnd, countStart - nameEnd).find_first_not_of(" \t=");
    if (other != std::string_view::npos)
        return line[nameEnd + other];
    const std::size_t digits = count.starts_with('-') || count.starts_with('+') ? 1 : 0;
    if (!count.empty() && count.find_first_not_of("0123456789", digits) != std::string::npos)
        return line[nameEnd];
    return std::nullopt;
}

} // namespace

TFileNotes ReadGeneFile(std::string_view text, const TGeneFileAdd& add, std::string_view fileName)
{
    // Lines are taken as they are needed: a file of millions of short lines
    // must not become millions of strings.
    TLineReader lines(text);
    TFileNotes notes;
    std::size_t pos = 0;
    long long totalGenes = 0;
    const std::string countToken = ReadToken(lines.Next(), pos);
    // No count at all (an empty file) is an empty bank, as it always was.
    const std::optional<long long> declared = countToken.empty() ? 0 : TokenNumber(countToken);
    const long long entryCount = declared.value_or(0);
    if (!declared)
        notes.push_back({1, "the entry count \"" + Escaped(countToken) + "\" is no number; nothing is read"});
    else if (entryCount < 0)
        notes.push_back({1, Format("the entry count %lld is below 0; nothing is read", entryCount)});
    if (entryCount > kMaxGeneFileEntries)
        throw EInvalidFile(Format("Invalid gene file%s: %lld entries, at most %d are allowed",
                                  fileName.empty() ? "" : (" '" + Escaped(fileName) + "'").c_str(), entryCount,
                                  kMaxGeneFileEntries));
    for (long long entry = 0; entry < entryCount; ++entry) {
        const std::size_t lineNumber = static_cast<std::size_t>(entry) + 2;
        const bool ended = lines.AtEnd();
        const std::string_view current = lines.Next();
        pos = 0;
        std::string name = ReadToken(current, pos);
        if (name.empty())
            throw EInvalidFile(Format("Not a Zwirbel ? (%s: %s)", Where(fileName, lineNumber).c_str(),
                                      ended ? Format("the file ends; it declares %lld entries", entryCount).c_str()
                                            : "no name"));
        if (MakeNamePrintable(name))
            notes.push_back({lineNumber, "the name holds control characters; they read as \"_\""});
        const std::size_t nameEnd = pos;

        const long long geneCount = ReadIntToken(current, pos);
        if (const std::optional<char> cut = NameCutAt(current, nameEnd))
            notes.push_back({lineNumber, Format("the name is cut at \"%c\", which the format splits names at; it "
                                                "reads as \"%s\" with %lld genes",
                                                *cut, Escaped(name).c_str(), geneCount)});
        if (geneCount < 0 || geneCount > kMaxGeneFileGeneCount)
            throw EInvalidFile(Format("Invalid gene count %lld in line %zu, allowed are 0 to %d",
                                      geneCount, lineNumber, kMaxGeneFileGeneCount));
        totalGenes += geneCount;
        if (totalGenes > kMaxGeneFileTotalGenes)
            throw EInvalidFile(Format("Too many genes at line %zu, a gene file may hold at most %lld",
                                      lineNumber, static_cast<long long>(kMaxGeneFileTotalGenes)));
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
    return notes;
}

} // namespace zw
