#pragma once

#include "worms/DragDrop.h"
#include "worms/Gene.h"

#include <QListView>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QMimeData;

namespace zw {

class TWorm;

// The gene bank: a list of named genomes, shown as a list of names in the
// order they were added (a very long name shows as its start). Each entry
// owns its genome.
//
// Dropping a worm (kWormMimeType, dragged by a TWorm) banks a copy of its
// genome under a name the host supplies through OnGetGeneName. A left press on
// an entry makes its genome the DragGene, and moving past the drag threshold
// drags it (kGeneBoxMimeType, the genome's bytes) to a worm.
class TGeneBankModel;

class TGeneBox : public QListView {
    Q_OBJECT

public:
    // Asked for the name of a genome about to be banked; `aName` arrives empty
    // and the genome is banked only when the handler leaves it non-empty.
    using TOnGetGeneName = std::function<void(TGeneBox* aSender, const TGene& aGene, QString& aName)>;

    explicit TGeneBox(QWidget* parent = nullptr);
    ~TGeneBox() override;

    int Count() const;
    // Name and genome of entry `index` (0..Count-1); outside raises ERangeError.
    QString Names(int index) const;
    TGene Genes(int index) const;

    // Banks a copy of the worm's genome (an empty genome for no worm). An empty
    // name is asked of OnGetGeneName; when it stays empty nothing is banked.
    void AddGene(QString name, const TWorm* worm);
    // Removes every entry, last first.
    void Clear();

    // The genome of the entry last pressed with the left button, null when none
    // (or after Clear).
    const TGene* DragGene() const { return FDragGene ? &*FDragGene : nullptr; }
    // What a drag from the bank carries: the DragGene's bytes under
    // kGeneBoxMimeType (none when there is no DragGene).
    std::unique_ptr<QMimeData> CreateDragData() const;

    // Appends the entries of a gene file; entries read before a failure stay.
    // A missing or unreadable file, one that is not regular or one above
    // kMaxGeneFileSize raises EInOutError and adds nothing, as does a file
    // giving more than kMaxGeneFileEntries entries (EInvalidFile). A file
    // that is not what it claims (see ReadGeneFile) raises EInvalidFile
    // naming each line after what it holds was added.
    void LoadFromFile(const QString& fileName);
    // Writes every entry to a gene file, replacing it as a whole: a failed save
    // raises EInOutError and leaves any previous file as it was.
    void SaveToFile(const QString& fileName) const;

    void SetOnGetGeneName(TOnGetGeneName handler) { FOnGetGeneName = std::move(handler); }

    // Whether a drag carrying `mime`, started by `source`, may be dropped here:
    // only a worm's drag, from a worm.
    bool AcceptsDrop(const QMimeData* mime, const QObject* source) const;
    // What such a drop does: AddGene with an empty name and the dragged worm,
    // so the host is asked for the name. Failures of the host's handler propagate.
    void Drop(const QMimeData* mime, const QObject* source);

    // A name that survives a save and load: surrounding blanks removed, and every
    // gene-file separator, control character or character outside single-byte
    // text replaced by "_". An empty (or all-blank) name stays empty.
    static QString StorableName(const QString& name);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void StartDrag();

    TGeneBankModel* FEntries; // child
    std::optional<TGene> FDragGene; // a copy of the pressed entry's genome
    TOnGetGeneName FOnGetGeneName;
    TDragGesture FDrag;
};

} // namespace zw
