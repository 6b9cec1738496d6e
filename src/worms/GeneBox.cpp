#include "worms/GeneBox.h"

#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/FileNotes.h"
#include "common/Guard.h"
#include "common/SafeFile.h"
#include "common/Tokens.h"
#include "worms/DragFormats.h"
#include "worms/GeneBankModel.h"
#include "worms/GeneFile.h"
#include "worms/Worm.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>

namespace zw {

TGeneBox::TGeneBox(QWidget* parent)
    : QListView(parent), FEntries(new TGeneBankModel(this))
{
    setModel(FEntries);
    // Every line is one line of text: no entry needs measuring on its own.
    setUniformItemSizes(true);
    // Drags are the bank's own (genome bytes, not the list's item format).
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

TGeneBox::~TGeneBox() = default;

int TGeneBox::Count() const { return FEntries->Count(); }

QString TGeneBox::Names(int index) const
{
    if (index < 0 || index >= Count())
        throw ERangeError();
    return FEntries->Name(index);
}

TGene TGeneBox::Genes(int index) const
{
    if (index < 0 || index >= Count())
        throw ERangeError();
    return FEntries->Genome(index);
}

void TGeneBox::AddGene(QString name, const TWorm* worm)
{
    const TGene gene = GenomeOf(worm);
    if (name.isEmpty() && FOnGetGeneName)
        FOnGetGeneName(this, gene, name);
    if (!name.isEmpty())
        FEntries->Append(name, gene);
}

void TGeneBox::Clear()
{
    FDragGene.reset();
    FDrag.Cancel();
    FEntries->Clear();
}

std::unique_ptr<QMimeData> TGeneBox::CreateDragData() const
{
    auto mime = std::make_unique<QMimeData>();
    if (FDragGene)
        mime->setData(kGeneBoxMimeType, GenomeBytes(*FDragGene));
    return mime;
}

void TGeneBox::LoadFromFile(const QString& fileName)
{
    const std::string name = QFile::encodeName(fileName).toStdString();
    const std::string text = ReadRegularFile(name, kMaxGeneFileSize);
    const TFileNotes notes = ReadGeneFile(
        text, [this](std::string entryName, TGene gene) { FEntries->AppendLatin1(entryName, gene); }, name);
    // What could be read is in the bank; the box says what could not.
    if (!notes.empty())
        throw EInvalidFile(FileNotesMessage(name, notes));
}

void TGeneBox::SaveToFile(const QString& fileName) const
{
    std::string text;
    WriteGeneFileCount(text, static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        WriteGeneFileEntry(text, Names(i).toLatin1().toStdString(), Genes(i));
    WriteFileAtomically(QFile::encodeName(fileName).toStdString(), text);
}

QString TGeneBox::StorableName(const QString& name)
{
    QString result = name.trimmed();
    for (QChar& c : result) {
        const char16_t code = c.unicode();
        const bool separator = code < 0x80 && kTokenSeparators.find(static_cast<char>(code)) != std::string_view::npos;
        if (separator || code < 0x20 || (code >= 0x7F && code < 0xA0) || code > 0xFF)
            c = QLatin1Char('_');
    }
    return result;
}

void TGeneBox::mousePressEvent(QMouseEvent* event)
{
    QListView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    // Only a line that holds an entry counts; the space below the last one does not.
    const QModelIndex pressed = indexAt(pos);
    if (!pressed.isValid())
        return;
    FDragGene = FEntries->Genome(pressed.row());
    FDrag.Press(pos);
}

void TGeneBox::mouseMoveEvent(QMouseEvent* event)
{
    QListView::mouseMoveEvent(event);
    if (FDrag.Starts(event))
        RunGuarded([this] { StartDrag(); });
}

void TGeneBox::mouseReleaseEvent(QMouseEvent* event)
{
    FDrag.Cancel();
    QListView::mouseReleaseEvent(event);
}

void TGeneBox::StartDrag()
{
    if (!FDragGene)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(CreateDragData().release());
    drag->exec(Qt::CopyAction);
}

bool TGeneBox::AcceptsDrop(const QMimeData* mime, const QObject* source) const
{
    return mime && mime->hasFormat(kWormMimeType) && qobject_cast<const TWorm*>(source);
}

void TGeneBox::Drop(const QMimeData* mime, const QObject* source)
{
    if (AcceptsDrop(mime, source))
        AddGene(QString(), qobject_cast<const TWorm*>(source));
}

void TGeneBox::dragEnterEvent(QDragEnterEvent* event)
{
    AnswerDragOver(*this, event);
}

void TGeneBox::dragMoveEvent(QDragMoveEvent* event)
{
    AnswerDragOver(*this, event);
}

void TGeneBox::dropEvent(QDropEvent* event)
{
    // The host's naming handler may fail; the bank then stays as it was.
    AnswerDrop(*this, event);
}

} // namespace zw
