#pragma once

#include <QWidget>

namespace zw {

class TWormPanel;

// A breeder's tab page: its worm grid fills the page, every worm square and
// as large as the page allows (from the panel's own worm size up to 255
// pixels). Its preferred width follows its height, so a taller window
// widens the grid and what is left of the width goes to the gene bank.
class TWormPage : public QWidget {
public:
    explicit TWormPage(QWidget* parent = nullptr);
    // The panel, a child of this page.
    void SetPanel(TWormPanel* panel);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    static constexpr int kMargin = 2;
    static constexpr int kMaxSide = 255;
    // The grid of worms of `side` pixels, with the page's margins.
    QSize PageSize(int side) const;
    // The largest worm side whose grid fits `room`; at least the smallest.
    int SideFor(const QSize& room) const;

    TWormPanel* FPanel = nullptr;
    int FMinSide = 0;
    QSize FHint; // the preferred size last told to the layout
};

} // namespace zw
