#pragma once

#include "worms/BreederHistory.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QPainter;

namespace zw {

class TWormPanel;

// What is known about one gene from outside the breeder: its name, and
// whether anything listens to it (an active rule, an instrument's port).
struct TGeneInfo {
    QString Name;
    bool Active = true;
};

// The genes of a breeder's audible worm, one row per gene: its number, lock
// mark, name and value as a bar over the gene's range (a band behind it).
// Inactive genes are drawn dimmed.
//
// Mouse: a click on the lock mark locks or unlocks the gene; dragging a bar
// sets the gene (heard at once); dragging an edge of the band sets the
// range's minimum or maximum. Each click or drag is one step of the panel,
// so undo takes it back. The keyboard works through Actions(): the next and
// previous gene (the current one is framed) and its lock.
class TGeneView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 14;

    explicit TGeneView(QWidget* parent = nullptr);

    // The breeder shown; null shows nothing.
    TWormPanel* Panel() const { return FPanel; }
    void SetPanel(TWormPanel* panel);

    // Names and active flags by gene number; genes beyond the list have no
    // name and count as active unless `restActive` is false.
    void SetGeneInfo(std::vector<TGeneInfo> info, bool restActive = true);
    const TGeneInfo& GeneInfo(int gene) const;
    // The value of a gene in its parameter's own terms, shown when hovering;
    // an empty text when it is not known.
    using TValueText = std::function<QString(int gene, int value)>;
    void SetValueText(TValueText valueText) { FValueText = std::move(valueText); }

    // The gene the keyboard acts on.
    int Current() const { return FCurrent; }
    void SetCurrent(int gene);
    // Locks or unlocks `gene` of the panel, as one step.
    void ToggleLock(int gene);
    // "GeneViewPrevious" (Ctrl+Up), "GeneViewNext" (Ctrl+Down) and
    // "GeneViewLock" (Ctrl+L), for the host's menu.
    std::vector<QAction*> Actions() const { return {FPrevious, FNext, FLock}; }

    // The gene drawn at `pos`, -1 for none; the rectangle of its row, and of
    // its bar (the range band's full width).
    int GeneAt(QPoint pos) const;
    QRect RowRect(int gene) const;
    QRect BarRect(int gene) const;
    // The text a hover over `gene` shows.
    QString HoverText(int gene) const;

    // Draws the rows that meet `area`, as the widget shows them.
    void PaintTo(QPainter& painter, const QRect& area) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Edge: both edges of the band are under the mouse (a collapsed range);
    // the first move outward decides which one it drags.
    enum class TDrag { None, Value, Min, Max, Edge };

    int GeneCount() const;
    int ValueAt(int gene, int x) const;
    int XOf(int gene, int value) const;
    void DragTo(int x);
    void GenesChanged();
    QString Label(int gene) const;

    QPointer<TWormPanel> FPanel;
    QMetaObject::Connection FConnection;
    std::vector<TGeneInfo> FInfo;
    TGeneInfo FRest; // of the genes beyond FInfo
    std::vector<QString> FLabels; // number and name per gene, made once
    TValueText FValueText;
    int FCurrent = 0;
    TDrag FDrag = TDrag::None;
    int FDragGene = -1;
    QAction* FPrevious;
    QAction* FNext;
    QAction* FLock;
};

} // namespace zw
