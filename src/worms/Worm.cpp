#include "worms/Worm.h"

#include "common/Guard.h"
#include "worms/Breeding.h"
#include "worms/DragFormats.h"
#include "worms/RatedBreeding.h"
#include "worms/WormPanel.h"
#include "worms/WormPath.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zw {

TWorm::TWorm(QWidget* parent) : TWormSettings(parent)
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

void TWorm::SetRating(int rating)
{
    rating = CheckedRange(rating, 0, kMaxRating);
    if (rating == FRating)
        return;
    FRating = rating;
    update();
}

void TWorm::SetMarkedB(bool marked)
{
    if (marked == FMarkedB)
        return;
    FMarkedB = marked;
    update();
}

QColor TWorm::BorderColor() const
{
    const TWormLook& look = Look();
    if (FAudible)
        return FFrozen ? look.BorderColorBoth : look.BorderColorAudible;
    return FFrozen ? look.BorderColorFrozen : look.BorderColorNormal;
}

void TWorm::SetHeardGenes(int count)
{
    const int heard = std::max(-1, count);
    if (heard == FHeardGenes)
        return;
    FHeardGenes = heard;
    update();
}

void TWorm::Randomize(const TMaskedBreeding* mask)
{
    const TGene before = FGene;
    RandomizeGenes(FGene);
    Bred(before, mask, TGeneFit::Scale);
}

void TWorm::Mutate(const TMaskedBreeding* mask)
{
    const TGene before = FGene;
    MutateGenes(FGene, Breeding(), mask ? &mask->Mask : nullptr);
    Bred(before, mask, TGeneFit::Clamp);
}

void TWorm::CrossOver(TWorm* other, const TMaskedBreeding* mask)
{
    if (!other)
        return;
    const TGene before = FGene;
    CrossOverGenes(FGene, other->FGene, Breeding(), mask ? &mask->Mask : nullptr);
    Bred(before, mask, TGeneFit::Clamp);
}

void TWorm::Morph(TWorm* other, const TMaskedBreeding* mask)
{
    if (!other)
        return;
    const TGene before = FGene;
    MorphGenes(FGene, other->FGene, Breeding());
    Bred(before, mask, TGeneFit::Clamp);
}

void TWorm::Bred(const TGene& before, const TMaskedBreeding* mask, TGeneFit fit)
{
    if (mask)
        ApplyGeneMask(FGene, mask->Audible, mask->Mask, fit);
    KeepUnheardGenes(FGene, before, FHeardGenes);
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
    if (!other)
        return;
    TGene gene = other->FGene;
    KeepUnheardGenes(gene, FGene, FHeardGenes);
    AssignGenes(&gene);
}

void TWorm::SetGene(const TGene& gene)
{
    FGene = gene;
    update();
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

std::vector<QPoint> TWorm::Path() const
{
    const bool all = FHeardGenes < 0 || FHeardGenes >= FGene.Size();
    const TGene heard = all ? FGene : TGene(FGene.Data(), FHeardGenes);
    return RoundWormPath(WormPath(heard, width(), height(), Look().Clearance));
}

void TWorm::PaintTo(QPainter& painter) const
{
    const int w = width();
    const int h = height();
    const TWormLook& look = Look();
    const std::vector<QPoint> points = Path();

    // The caller's painter may be shared (an image, another widget): leave it as it was.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen border(BorderColor(), 4);
    border.setJoinStyle(Qt::MiterJoin);
    painter.setPen(border);
    painter.setBrush(look.BackColor);
    painter.drawRect(1, 1, w - 1, h - 1);

    painter.setPen(QPen(look.PenColor, 1));
    if (look.DrawLines) {
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    } else {
        // Dots on the inner points only: the ends of the path get none.
        for (size_t k = 1; k + 1 < points.size(); ++k)
            painter.drawEllipse(QRect(points[k].x() - 2, points[k].y() - 2, 4, 4));
    }
    painter.restore();
    if (FRating > 0 || FMarkedB)
        PaintMarks(painter);
}

void TWorm::PaintMarks(QPainter& painter) const
{
    // Drawn over the corners, light with a dark outline: readable on a dark
    // or light background and on every border colour.
    const QColor outline(0x20, 0x20, 0x20);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(QColor(0xFF, 0xC8, 0x00));
    constexpr double kOuter = 4.5;
    constexpr double kInner = 2.0;
    for (int star = 0; star < FRating; ++star) {
        const QPointF centre(width() - 8 - 10 * star, 7.5);
        QPolygonF points;
        for (int k = 0; k < 10; ++k) {
            const double angle = std::numbers::pi * k / 5 - std::numbers::pi / 2;
            const double radius = k % 2 == 0 ? kOuter : kInner;
            points << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
        }
        painter.drawPolygon(points);
    }
    if (FMarkedB) {
        QFont font = painter.font();
        font.setPixelSize(10);
        font.setBold(true);
        QPainterPath letter;
        letter.addText(QPointF(4, 12), font, QStringLiteral("B"));
        painter.strokePath(letter, QPen(outline, 2.5));
        painter.fillPath(letter, Qt::white);
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
        } else if (button == Qt::MiddleButton) {
            SetRating(NextRating(FRating));
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
    auto* panel = qobject_cast<TWormPanel*>(parentWidget());
    const auto drop = [&] {
        SetAudible(true);
        if (mime->hasFormat(kWormMimeType)) {
            if (panel)
                panel->Mate();
            return;
        }
        const QByteArray bytes = mime->data(kGeneBoxMimeType);
        const TGene gene(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<int32_t>(bytes.size()));
        AssignGenes(&gene);
    };
    // Undoing the drop also brings back the audible worm it moved.
    if (panel)
        panel->Step(drop);
    else
        drop();
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
