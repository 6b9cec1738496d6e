#include "worms/Worm.h"

#include "common/Checked.h"
#include "common/Guard.h"
#include "common/Random.h"
#include "worms/DragFormats.h"
#include "worms/WormPanel.h"
#include "worms/WormPath.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace zw {

TWorm::TWorm(QWidget* parent) : QWidget(parent)
{
    resize(80, 80);
    setAcceptDrops(true);
    SetSize(120);
}

TWorm::~TWorm()
{
    FDestroying = true;
    SetSize(0);
}

void TWorm::SetSize(int32_t count)
{
    FGene.SetSize(count);
    if (!FDestroying)
        Randomize();
}

void TWorm::SetAudible(bool value)
{
    if (value == FAudible)
        return;
    if (value && parentWidget()) {
        for (QObject* child : parentWidget()->children()) {
            auto* sibling = qobject_cast<TWorm*>(child);
            if (sibling && sibling != this)
                sibling->SetAudible(false);
        }
    }
    FAudible = value;
    update();
    if (value && FOnAudible) {
        TNotifyEvent handler = FOnAudible; // the listener may replace itself
        handler(this);
    }
}

void TWorm::SetFrozen(bool value)
{
    if (value == FFrozen)
        return;
    if (value && parentWidget()) {
        for (QObject* child : parentWidget()->children()) {
            auto* sibling = qobject_cast<TWorm*>(child);
            if (sibling && sibling != this)
                sibling->SetFrozen(false);
        }
    }
    FFrozen = value;
    update();
    if (value && FOnFrozen) {
        TNotifyEvent handler = FOnFrozen;
        handler(this);
    }
}

void TWorm::SetLookColor(QColor& field, const QColor& value)
{
    if (field == value)
        return;
    field = value;
    update();
}

void TWorm::SetClearance(int value)
{
    const uint8_t clearance = CheckedByte(value);
    if (clearance == FClearance)
        return;
    FClearance = clearance;
    update();
}

void TWorm::SetBackColor(const QColor& value) { SetLookColor(FBackColor, value); }
void TWorm::SetBorderColorNormal(const QColor& value) { SetLookColor(FBorderColorNormal, value); }
void TWorm::SetBorderColorAudible(const QColor& value) { SetLookColor(FBorderColorAudible, value); }
void TWorm::SetBorderColorFrozen(const QColor& value) { SetLookColor(FBorderColorFrozen, value); }
void TWorm::SetBorderColorBoth(const QColor& value) { SetLookColor(FBorderColorBoth, value); }
void TWorm::SetPenColor(const QColor& value) { SetLookColor(FPenColor, value); }

void TWorm::SetTransparent(bool value)
{
    if (value == FTransparent)
        return;
    FTransparent = value;
    update();
}

void TWorm::SetDrawLines(bool value)
{
    if (value == FDrawLines)
        return;
    FDrawLines = value;
    update();
}

QColor TWorm::BorderColor() const
{
    if (FAudible)
        return FFrozen ? FBorderColorBoth : FBorderColorAudible;
    return FFrozen ? FBorderColorFrozen : FBorderColorNormal;
}

void TWorm::SetCrossOverProbability(int value)
{
    FCrossOverProbability = CheckedRange<TPercentage>(value, 0, kMaxPercentage);
}

void TWorm::SetMutationProbability(int value)
{
    FMutationProbability = CheckedRange<TPercentage>(value, 0, kMaxPercentage);
}

void TWorm::SetMutationRange(int value)
{
    FMutationRange = CheckedByte(value);
}

void TWorm::SetMorphPercentage(int value)
{
    FMorphPercentage = CheckedRange<TPercentage>(value, 0, kMaxPercentage);
}

void TWorm::Randomize()
{
    uint8_t* genes = FGene.Data();
    for (int32_t i = 0; i < FGene.Size(); ++i)
        genes[i] = static_cast<uint8_t>(Random(256));
    NotifyChanged();
}

void TWorm::Mutate()
{
    const int range = FMutationRange;
    uint8_t* genes = FGene.Data();
    for (int32_t i = 0; i < FGene.Size(); ++i) {
        if (Random(100) >= FMutationProbability)
            continue;
        const int step = range - Random(2 * range + 1);
        // Steps wrap around the byte on purpose: 255 + 1 gives 0.
        genes[i] = static_cast<uint8_t>((genes[i] + 256 + step) % 256);
    }
    NotifyChanged();
}

void TWorm::CrossOver(TWorm* other)
{
    if (!other)
        return;
    bool take = Random(100) < FCrossOverProbability;
    const int32_t count = std::min(FGene.Size(), other->FGene.Size());
    uint8_t* genes = FGene.Data();
    const uint8_t* partner = other->FGene.Data();
    for (int32_t i = 0; i < count; ++i) {
        if (take)
            genes[i] = partner[i];
        if (Random(100) < FCrossOverProbability)
            take = !take;
    }
    Mutate();
}

void TWorm::Morph(TWorm* other)
{
    if (!other)
        return;
    const int q = FMorphPercentage;
    const int32_t count = std::min(FGene.Size(), other->FGene.Size());
    uint8_t* genes = FGene.Data();
    const uint8_t* partner = other->FGene.Data();
    for (int32_t i = 0; i < count; ++i)
        genes[i] = static_cast<uint8_t>((genes[i] * (100 - q) + partner[i] * q) / 100);
    NotifyChanged();
}

void TWorm::AssignGenes(const TGene* gene)
{
    if (gene) {
        // A copy first: the genome may be this worm's own, which SetSize re-randomizes.
        const TGene source = *gene;
        SetSize(source.Size());
        std::copy(source.Data(), source.Data() + source.Size(), FGene.Data());
    }
    NotifyChanged();
}

void TWorm::AssignWorm(TWorm* other)
{
    if (other)
        AssignGenes(&other->FGene);
}

void TWorm::NotifyChanged()
{
    update();
    if (FAudible && FOnGenomeChanged) {
        // The listener gets a copy that lives only for the call; unwinding frees it too.
        const TGene copy(FGene);
        TGenomeChangedEvent handler = FOnGenomeChanged;
        handler(this, copy);
    }
}

void TWorm::PaintTo(QPainter& painter) const
{
    const int w = width();
    const int h = height();
    const std::vector<QPoint> points = RoundWormPath(WormPath(FGene, w, h, FClearance));

    // The caller's painter may be shared (an image, another widget): leave it as it was.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen border(BorderColor(), 4);
    border.setJoinStyle(Qt::MiterJoin);
    painter.setPen(border);
    painter.setBrush(FBackColor);
    painter.drawRect(1, 1, w - 1, h - 1);

    painter.setPen(QPen(FPenColor, 1));
    if (FDrawLines) {
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    } else {
        // Dots on the inner points only: the ends of the path get none.
        for (size_t k = 1; k + 1 < points.size(); ++k)
            painter.drawEllipse(QRect(points[k].x() - 2, points[k].y() - 2, 4, 4));
    }
    painter.restore();
}

void TWorm::paintEvent(QPaintEvent* /*event*/)
{
    // No error box from inside a paint: it would only ask for the next paint.
    try {
        QPainter painter(this);
        PaintTo(painter);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    }
}

void TWorm::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    const Qt::MouseButton button = event->button();
    const QPoint pos = event->position().toPoint();
    RunGuarded([this, button, pos] {
        if (button == Qt::LeftButton) {
            FDrag.Press(pos);
            SetAudible(true);
        } else if (button == Qt::RightButton) {
            SetFrozen(true);
        }
    });
}

void TWorm::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (FDrag.Starts(event))
        RunGuarded([this] { StartDrag(); });
}

void TWorm::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    FDrag.Cancel();
}

void TWorm::StartDrag()
{
    auto* mime = new QMimeData;
    mime->setData(kWormMimeType, GenomeBytes(FGene));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(grab());
    drag->setHotSpot(FDrag.PressPos());
    drag->exec(Qt::CopyAction);
}

bool TWorm::AcceptsDrop(const QMimeData* mime, const QObject* source) const
{
    if (!mime)
        return false;
    if (mime->hasFormat(kWormMimeType))
        return source != this;
    return mime->hasFormat(kGeneBoxMimeType);
}

void TWorm::Drop(const QMimeData* mime, const QObject* source)
{
    if (!AcceptsDrop(mime, source))
        return;
    SetAudible(true);
    if (mime->hasFormat(kWormMimeType)) {
        if (auto* panel = qobject_cast<TWormPanel*>(parentWidget()))
            panel->Mate();
        return;
    }
    const QByteArray bytes = mime->data(kGeneBoxMimeType);
    const TGene gene(reinterpret_cast<const uint8_t*>(bytes.constData()),
                     static_cast<int32_t>(bytes.size()));
    AssignGenes(&gene);
}

void TWorm::dragEnterEvent(QDragEnterEvent* event)
{
    AnswerDragOver(*this, event);
}

void TWorm::dragMoveEvent(QDragMoveEvent* event)
{
    AnswerDragOver(*this, event);
}

void TWorm::dropEvent(QDropEvent* event)
{
    AnswerDrop(*this, event);
}

} // namespace zw
