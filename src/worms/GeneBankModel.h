#pragma once

#include "worms/Gene.h"

#include <QAbstractListModel>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zw {

// The gene bank's entries as a list model: a name and a genome each, in the
// order they were added. All names share one block, and all genomes another,
// so that a file of many small entries costs little more than its bytes. The
// list shows a very long name as its start.
class TGeneBankModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int Count() const { return static_cast<int>(FEntries.size()); }
    // `index` must be within 0..Count-1.
    QString Name(int index) const;
    TGene Genome(int index) const;

    void Append(const QString& name, const TGene& genome);
    // A name read from a file: one byte a character (ISO 8859-1).
    void AppendLatin1(std::string_view name, const TGene& genome);
    void Clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    // Where an entry's name and genes end in the blocks; each starts where the
    // one before it ends.
    struct TEnd {
        uint64_t Name;
        uint64_t Genes;
    };
    void AppendGenome(const TGene& genome);
    std::string_view NameBytes(int index) const;

    std::string FNames; // UTF-8
    std::vector<uint8_t> FGenes;
    std::vector<TEnd> FEntries;
};

} // namespace zw
