#include "ui/WormPage.h"

#include "worms/WormPanel.h"

#include <algorithm>

namespace zw {

TWormPage::TWormPage(QWidget* parent) : QWidget(parent) {}

void TWormPage::SetPanel(TWormPanel* panel)
{
    FPanel = panel;
    FMinSide = std::min(panel->WormWidth(), panel->WormHeight());
    FPanel->move(kMargin, kMargin);
    updateGeometry();
}

QSize TWormPage::PageSize(int side) const
{
    // As the panel lays its worms out: a spacing before each and after the last.
    const int spacing = FPanel->Spacing();
    return QSize((side + spacing + 1) * FPanel->ColCount() + spacing + 2 * kMargin,
                 (side + spacing + 1) * FPanel->RowCount() + spacing + 2 * kMargin);
}

int TWormPage::SideFor(const QSize& room) const
{
    const int spacing = FPanel->Spacing();
    const int cols = std::max(1, FPanel->ColCount());
    const int rows = std::max(1, FPanel->RowCount());
    const int byWidth = (room.width() - 2 * kMargin - spacing) / cols - spacing - 1;
    const int byHeight = (room.height() - 2 * kMargin - spacing) / rows - spacing - 1;
    return std::clamp(std::min(byWidth, byHeight), FMinSide, kMaxSide);
}

QSize TWormPage::minimumSizeHint() const { return FPanel ? PageSize(FMinSide) : QSize(); }

QSize TWormPage::sizeHint() const
{
    if (!FPanel)
        return QSize();
    // As wide as the worms the page's height allows.
    const int side = SideFor(QSize(QWIDGETSIZE_MAX / 2, height()));
    return PageSize(side);
}

void TWormPage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!FPanel)
        return;
    const int side = SideFor(size());
    FPanel->SetWormWidth(side);
    FPanel->SetWormHeight(side);
    // The height may now allow a wider grid than the layout gave.
    if (sizeHint() != FHint) {
        FHint = sizeHint();
        updateGeometry();
    }
}

} // namespace zw
