#include "worms/GeneView.h"

#include "common/Guard.h"
#include "worms/WormPanel.h"

#include <QAction>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cstdlib>

namespace zw {
namespace {

constexpr int kLockLeft = 2;
constexpr int kLockSize = 9;
constexpr int kLabelLeft = 16;
constexpr int kBarLeft = 150;
constexpr int kBarRightMargin = 4;
constexpr int kEdgeGrab = 3; // pixels either side of a band edge that take it

const QColor kBackground(0x4A, 0x4A, 0x4A);
const QColor kBand(0x68, 0x68, 0x60);
const QColor kBar(0xFF, 0xFF, 0xC4);
const QColor kBarDimmed(0x8A, 0x8A, 0x80);
const QColor kText(0xF0, 0xF0, 0xE0);
const QColor kTextDimmed(0x9A, 0x9A, 0x90);
const QColor kLockOn(0xFF, 0xB0, 0x40);

} // namespace

TGeneView::TGeneView(QWidget* parent) : QWidget(parent)
{
    setObjectName("GeneView");
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto action = [this](const char* name, const char* text, const QKeySequence& key) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        a->setShortcut(key);
        return a;
    };
    FPrevious = action("GeneViewPrevious", "Previous gene", QKeySequence(Qt::CTRL | Qt::Key_Up));
    FNext = action("GeneViewNext", "Next gene", QKeySequence(Qt::CTRL | Qt::Key_Down));
    FLock = action("GeneViewLock", "Lock gene", QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(FPrevious, &QAction::triggered, this, [this] { SetCurrent(FCurrent - 1); });
    connect(FNext, &QAction::triggered, this, [this] { SetCurrent(FCurrent + 1); });
    connect(FLock, &QAction::triggered, this, [this] { RunGuarded([this] { ToggleLock(FCurrent); }); });
}

void TGeneView::SetPanel(TWormPanel* panel)
{
    if (panel == FPanel)
        return;
    disconnect(FConnection);
    // A drag under way ends on the breeder it changed, as a step of its own.
    if (FPanel && FDrag != TDrag::None)
        RunGuarded([this] { FPanel->EndOpenStep(); });
    FPanel = panel;
    FDrag = TDrag::None;
    if (panel)
        FConnection = connect(panel, &TWormPanel::GenesShown, this, [this] { GenesChanged(); });
    GenesChanged();
}

void TGeneView::SetGeneInfo(std::vector<TGeneInfo> info, bool restActive)
{
    FInfo = std::move(info);
    FRest.Active = restActive;
    FLabels.clear();
    GenesChanged();
}

const TGeneInfo& TGeneView::GeneInfo(int gene) const
{
    return gene >= 0 && gene < static_cast<int>(FInfo.size()) ? FInfo[static_cast<size_t>(gene)] : FRest;
}

void TGeneView::SetCurrent(int gene)
{
    const int current = std::clamp(gene, 0, std::max(0, GeneCount() - 1));
    if (current == FCurrent)
        return;
    update(RowRect(FCurrent));
    FCurrent = current;
    update(RowRect(FCurrent));
}

void TGeneView::ToggleLock(int gene)
{
    if (!FPanel || gene < 0 || gene >= GeneCount())
        return;
    TGeneMask mask = FPanel->GeneMask();
    mask.SetLocked(gene, !mask.Locked(gene));
    FPanel->Step([&] { FPanel->SetGeneMask(mask); });
}

int TGeneView::GeneCount() const
{
    const TWorm* audible = FPanel ? FPanel->Worms(FPanel->Audible()) : nullptr;
    return audible ? audible->Size() : 0;
}

void TGeneView::GenesChanged()
{
    const int count = GeneCount();
    if (static_cast<int>(FLabels.size()) != count) {
        FLabels.clear();
        for (int gene = 0; gene < count; ++gene)
            FLabels.push_back(Label(gene));
        FCurrent = std::clamp(FCurrent, 0, std::max(0, count - 1));
        // In a scroll area the rows keep their height and scroll.
        setMinimumHeight(std::max(1, count) * kRowHeight);
        updateGeometry();
    }
    update();
}

QString TGeneView::Label(int gene) const
{
    const QString& name = GeneInfo(gene).Name;
    return name.isEmpty() ? QString::number(gene) : QString::number(gene) + "  " + name;
}

QSize TGeneView::sizeHint() const { return QSize(320, std::max(1, GeneCount()) * kRowHeight); }

QRect TGeneView::RowRect(int gene) const { return QRect(0, gene * kRowHeight, width(), kRowHeight); }

QRect TGeneView::BarRect(int gene) const
{
    return QRect(kBarLeft, gene * kRowHeight + 2, std::max(1, width() - kBarLeft - kBarRightMargin),
                 kRowHeight - 4);
}

int TGeneView::GeneAt(QPoint pos) const
{
    if (pos.y() < 0 || pos.x() < 0 || pos.x() >= width())
        return -1;
    const int gene = pos.y() / kRowHeight;
    return gene < GeneCount() ? gene : -1;
}

int TGeneView::XOf(int gene, int value) const
{
    const QRect bar = BarRect(gene);
    return bar.left() + value * (bar.width() - 1) / 255;
}

int TGeneView::ValueAt(int gene, int x) const
{
    const QRect bar = BarRect(gene);
    const int span = std::max(1, bar.width() - 1);
    return std::clamp(((x - bar.left()) * 255 + span / 2) / span, 0, 255);
}

QString TGeneView::HoverText(int gene) const
{
    if (gene < 0 || gene >= GeneCount())
        return QString();
    const int value = FPanel->Worms(FPanel->Audible())->Gene().Data()[gene];
    const TGeneInfo& info = GeneInfo(gene);
    QString text = QString("Gene %1").arg(gene);
    if (!info.Name.isEmpty())
        text += ": " + info.Name;
    text += QString("\nValue %1").arg(value);
    if (FValueText) {
        const QString own = FValueText(gene, value);
        if (!own.isEmpty())
            text += " (" + own + ")";
    }
    const TGeneLimits limits = FPanel->GeneMask().Limits(gene);
    if (limits.Min != 0 || limits.Max != 255)
        text += QString("\nRange %1-%2").arg(limits.Min).arg(limits.Max);
    if (limits.Locked)
        text += "\nLocked";
    if (!info.Active)
        text += "\nNot sent";
    return text;
}

void TGeneView::PaintTo(QPainter& painter, const QRect& area) const
{
    painter.fillRect(area, kBackground);
    const int count = GeneCount();
    if (count == 0)
        return;
    const uint8_t* genes = FPanel->Worms(FPanel->Audible())->Gene().Data();
    const TGeneMask& mask = FPanel->GeneMask();
    const int first = std::max(0, area.top() / kRowHeight);
    const int last = std::min(count - 1, area.bottom() / kRowHeight);
    for (int gene = first; gene <= last; ++gene) {
        const TGeneLimits limits = mask.Limits(gene);
        const bool active = GeneInfo(gene).Active;
        const QRect bar = BarRect(gene);
        const int low = XOf(gene, limits.Min);
        painter.fillRect(QRect(low, bar.top(), XOf(gene, limits.Max) - low + 1, bar.height()), kBand);
        painter.fillRect(QRect(bar.left(), bar.top() + 2, XOf(gene, genes[gene]) - bar.left() + 1, bar.height() - 4),
                         active ? kBar : kBarDimmed);
        const QRect lock(kLockLeft, gene * kRowHeight + (kRowHeight - kLockSize) / 2, kLockSize, kLockSize);
        if (limits.Locked)
            painter.fillRect(lock, kLockOn);
        else
            painter.fillRect(lock.adjusted(3, 3, -3, -3), kTextDimmed);
        painter.setPen(active ? kText : kTextDimmed);
        painter.drawText(QRect(kLabelLeft, gene * kRowHeight, kBarLeft - kLabelLeft - 2, kRowHeight),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         gene < static_cast<int>(FLabels.size()) ? FLabels[static_cast<size_t>(gene)] : QString());
    }
    if (FCurrent >= first && FCurrent <= last) {
        painter.setPen(kLockOn);
        painter.drawRect(RowRect(FCurrent).adjusted(0, 0, -1, -1));
    }
}

void TGeneView::paintEvent(QPaintEvent* event)
{
    try {
        QPainter painter(this);
        PaintTo(painter, event->rect());
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    }
}

void TGeneView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint pos = event->position().toPoint();
    const int gene = GeneAt(pos);
    if (event->button() != Qt::LeftButton || gene < 0 || FDrag != TDrag::None)
        return;
    SetCurrent(gene);
    if (pos.x() < kLabelLeft) {
        RunGuarded([this, gene] { ToggleLock(gene); });
        return;
    }
    if (pos.x() < kBarLeft - kEdgeGrab)
        return;
    const TGeneLimits limits = FPanel->GeneMask().Limits(gene);
    const int x = pos.x();
    const bool nearMax = std::abs(x - XOf(gene, limits.Max)) <= kEdgeGrab;
    const bool nearMin = std::abs(x - XOf(gene, limits.Min)) <= kEdgeGrab;
    FDrag = nearMax && nearMin ? TDrag::Edge : nearMax ? TDrag::Max : nearMin ? TDrag::Min : TDrag::Value;
    FDragGene = gene;
    DragTo(x);
}

void TGeneView::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (FDrag != TDrag::None)
        DragTo(event->position().toPoint().x());
}

void TGeneView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (FDrag == TDrag::None)
        return;
    DragTo(event->position().toPoint().x());
    FDrag = TDrag::None;
    if (FPanel)
        RunGuarded([this] { FPanel->EndOpenStep(); });
}

void TGeneView::DragTo(int x)
{
    if (!FPanel || FDragGene >= GeneCount())
        return;
    const int value = ValueAt(FDragGene, x);
    RunGuarded([this, value] {
        // Again after another step ended the drag's step: each its own.
        FPanel->BeginOpenStep();
        if (FDrag == TDrag::Value) {
            FPanel->SetAudibleGene(FDragGene, static_cast<uint8_t>(value));
            return;
        }
        TGeneMask mask = FPanel->GeneMask();
        const TGeneLimits limits = mask.Limits(FDragGene);
        if (FDrag == TDrag::Edge && value != limits.Min && value != limits.Max)
            FDrag = value < limits.Min ? TDrag::Min : TDrag::Max;
        if (FDrag == TDrag::Edge)
            return;
        if (FDrag == TDrag::Min)
            mask.SetRange(FDragGene, std::min<int>(value, limits.Max), limits.Max);
        else
            mask.SetRange(FDragGene, limits.Min, std::max<int>(value, limits.Min));
        FPanel->SetGeneMask(mask);
    });
}

bool TGeneView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QString text;
        RunGuarded([&] { text = HoverText(GeneAt(help->pos())); });
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this, RowRect(GeneAt(help->pos())));
        return true;
    }
    return QWidget::event(event);
}

} // namespace zw
