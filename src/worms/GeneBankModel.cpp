#include "worms/GeneBankModel.h"

#include <algorithm>

namespace zw {
namespace {

// Laying out a line costs far more than the line's bytes: a name of
// megabytes shows as its start.
constexpr std::size_t kShownNameLength = 200;

} // namespace

std::string_view TGeneBankModel::NameBytes(int index) const
{
    const auto i = static_cast<std::size_t>(index);
    const uint64_t begin = i == 0 ? 0 : FEntries[i - 1].Name;
    return std::string_view(FNames).substr(begin, FEntries[i].Name - begin);
}

QString TGeneBankModel::Name(int index) const
{
    const std::string_view bytes = NameBytes(index);
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

TGene TGeneBankModel::Genome(int index) const
{
    const auto i = static_cast<std::size_t>(index);
    const uint64_t begin = i == 0 ? 0 : FEntries[i - 1].Genes;
    return TGene(FGenes.data() + begin, static_cast<int32_t>(FEntries[i].Genes - begin));
}

void TGeneBankModel::AppendGenome(const TGene& genome)
{
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    FGenes.insert(FGenes.end(), genome.Data(), genome.Data() + genome.Size());
    FEntries.push_back({FNames.size(), FGenes.size()});
    endInsertRows();
}

void TGeneBankModel::Append(const QString& name, const TGene& genome)
{
    FNames += name.toUtf8().toStdString();
    AppendGenome(genome);
}

void TGeneBankModel::AppendLatin1(std::string_view name, const TGene& genome)
{
    // Straight into the block, made as large as the name needs: a name of
    // megabytes is neither copied on the way nor doubles the block.
    const auto wide = static_cast<std::size_t>(
        std::count_if(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
    FNames.reserve(FNames.size() + name.size() + wide);
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            FNames += c;
        } else {
            FNames += static_cast<char>(0xC0 | byte >> 6);
            FNames += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    AppendGenome(genome);
}

void TGeneBankModel::Clear()
{
    beginResetModel();
    FNames.clear();
    FNames.shrink_to_fit();
    FGenes.clear();
    FGenes.shrink_to_fit();
    FEntries.clear();
    FEntries.shrink_to_fit();
    endResetModel();
}

int TGeneBankModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

QVariant TGeneBankModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count() || role != Qt::DisplayRole)
        return {};
    const std::string_view bytes = NameBytes(index.row());
    if (bytes.size() <= kShownNameLength)
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Cut before a character's continuation bytes, so the start stays whole.
    std::size_t cut = kShownNameLength;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(cut)) + QChar(0x2026);
}

} // namespace zw
