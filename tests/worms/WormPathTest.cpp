// The drawn path of a genome and its pixels: directions, scaling per axis,
// the minimum extent, rounding, border and dots.
#include "WormTestUtil.h"

#include "worms/Worm.h"
#include "worms/WormPath.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <vector>

namespace zw {
namespace {

using test::MakeGene;
using test::SetGenes;

std::vector<QPoint> Points(const std::vector<uint8_t>& genes, int width, int height, int clearance)
{
    return RoundWormPath(WormPath(MakeGene(genes), width, height, clearance));
}

TEST(WormPath, AllZeroGenesDrawAVerticalLineAtTheClearance)
{
    const std::vector<QPointF> path = WormPath(MakeGene(std::vector<uint8_t>(120, 0)), 80, 80, 10);
    ASSERT_EQ(path.size(), 121u);
    for (size_t i = 0; i < path.size(); ++i) {
        EXPECT_DOUBLE_EQ(path[i].x(), 10.0);
        EXPECT_NEAR(path[i].y(), 10.0 + 60.0 * static_cast<double>(i) / 120.0, 1e-9);
    }
    EXPECT_DOUBLE_EQ(path.back().y(), 70.0);
}

TEST(WormPath, NoGenesGiveOnePointAtTheClearance)
{
    const std::vector<QPointF> path = WormPath(TGene(), 80, 60, 8);
    ASSERT_EQ(path.size(), 1u);
    EXPECT_EQ(path[0], QPointF(8, 8));
}

TEST(WormPath, GenesPointInAbsoluteDirections)
{
    // 0 down, 64 right, 128 up, 192 left; each stretched to the inset box.
    EXPECT_EQ(Points({0, 64}, 80, 60, 10), (std::vector<QPoint>{{10, 10}, {10, 50}, {70, 50}}));
    EXPECT_EQ(Points({128}, 80, 60, 10), (std::vector<QPoint>{{10, 50}, {10, 10}}));
    EXPECT_EQ(Points({192}, 80, 60, 10), (std::vector<QPoint>{{70, 10}, {10, 10}}));
    // Absolute, not turning: 64 twice goes straight on.
    EXPECT_EQ(Points({64, 64}, 80, 60, 10), (std::vector<QPoint>{{10, 10}, {40, 10}, {70, 10}}));
}

TEST(WormPath, AnExtentBelowOneIsScaledAsOne)
{
    // Gene 32: one step of (sin 45°, cos 45°); both extents 0.707 count as 1.
    const std::vector<QPointF> path = WormPath(MakeGene({32}), 80, 80, 10);
    ASSERT_EQ(path.size(), 2u);
    EXPECT_NEAR(path[1].x(), 10 + 0.70710678 * 60, 1e-6);
    EXPECT_NEAR(path[1].y(), 10 + 0.70710678 * 60, 1e-6);
}

TEST(WormPath, AxesAreScaledSeparately)
{
    // Two steps down, one right: extents 1 and 2 both fill the box.
    const std::vector<QPointF> path = WormPath(MakeGene({0, 0, 64}), 100, 50, 5);
    ASSERT_EQ(path.size(), 4u);
    EXPECT_EQ(path[2], QPointF(5, 45));
    EXPECT_EQ(path[3], QPointF(95, 45));
    EXPECT_DOUBLE_EQ(path[1].y(), 25.0);
}

TEST(WormPath, RoundingTiesGoToEven)
{
    EXPECT_EQ(RoundWormPath({QPointF(0.5, 1.5), QPointF(2.5, -0.5), QPointF(3.5, 2.49)}),
              (std::vector<QPoint>{{0, 2}, {2, 0}, {4, 2}}));
    // Two steps down in a box 61 high: the middle point lands on 40.5 -> 40.
    EXPECT_EQ(Points({0, 0}, 80, 81, 10)[1], QPoint(10, 40));
    EXPECT_EQ(Points({0, 0}, 80, 83, 10)[1], QPoint(10, 42)); // 41.5 -> 42
}

// ---- pixels ----

QImage Paint(const TWorm& worm)
{
    QImage image(worm.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    worm.PaintTo(painter);
    return image;
}

int CountColor(const QImage& image, const QRect& area, QRgb color)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixel(x, y) == color;
    return count;
}

TEST(WormPaint, BorderColourFollowsTheState)
{
    TWorm worm;
    struct TCase {
        bool audible, frozen;
        QRgb color;
    };
    for (const TCase& c : {TCase{false, false, qRgb(128, 128, 128)}, TCase{false, true, qRgb(0, 0, 255)},
                           TCase{true, false, qRgb(255, 255, 0)}, TCase{true, true, qRgb(0, 255, 0)}}) {
        worm.SetAudible(c.audible);
        worm.SetFrozen(c.frozen);
        const QImage image = Paint(worm);
        EXPECT_EQ(image.pixel(1, 40), c.color) << c.audible << c.frozen;
        EXPECT_EQ(image.pixel(40, 1), c.color) << c.audible << c.frozen;
        EXPECT_EQ(image.pixel(79, 40), c.color) << c.audible << c.frozen;
    }
}

TEST(WormPaint, LinesAreDrawnInThePenColourOnTheBackground)
{
    TWorm worm;
    SetGenes(worm, std::vector<uint8_t>(120, 0));
    worm.SetPenColor(QColor(255, 255, 196));
    worm.SetBackColor(QColor(74, 74, 74));
    const QImage image = Paint(worm);
    const QRgb pen = qRgb(255, 255, 196);
    // From (10, 10) down to (10, 70); like the system's line drawing, the end pixel is left out.
    EXPECT_EQ(CountColor(image, QRect(10, 10, 1, 60), pen), 60);
    EXPECT_EQ(CountColor(image, QRect(11, 4, 66, 72), pen), 0);
    EXPECT_EQ(image.pixel(40, 40), qRgb(74, 74, 74));
    EXPECT_EQ(image.pixel(9, 40), qRgb(74, 74, 74));
}

TEST(WormPaint, DotsSkipTheFirstAndLastPoint)
{
    TWorm worm;
    worm.SetDrawLines(false);
    SetGenes(worm, {64, 64}); // points (10,10), (40,10), (70,10)
    const QImage image = Paint(worm);
    const QRgb pen = qRgb(0, 0, 0);
    EXPECT_GT(CountColor(image, QRect(37, 7, 7, 7), pen), 0);
    EXPECT_EQ(CountColor(image, QRect(4, 4, 72, 72), pen), CountColor(image, QRect(37, 7, 7, 7), pen));
    // The dot is filled with the background.
    EXPECT_EQ(image.pixel(40, 10), qRgb(255, 255, 255));
}

TEST(WormPaint, EmptyWormShowsOnlyBackgroundAndBorder)
{
    TWorm worm;
    worm.SetSize(0);
    const QImage image = Paint(worm);
    EXPECT_EQ(CountColor(image, QRect(4, 4, 72, 72), qRgb(255, 255, 255)), 72 * 72);
    EXPECT_EQ(image.pixel(2, 2), qRgb(128, 128, 128));
}

TEST(WormPaint, TransparentIsStoredButDoesNotChangeThePicture)
{
    TWorm worm;
    const QImage before = Paint(worm);
    worm.SetTransparent(true);
    EXPECT_TRUE(worm.Transparent());
    EXPECT_EQ(Paint(worm), before);
}

TEST(WormPaint, LeavesTheCallersPainterAsItWas)
{
    TWorm worm;
    QImage image(worm.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::red, 3));
    painter.setBrush(Qt::green);
    painter.setRenderHint(QPainter::Antialiasing, true);
    worm.PaintTo(painter);
    EXPECT_EQ(painter.pen(), QPen(Qt::red, 3));
    EXPECT_EQ(painter.brush(), QBrush(Qt::green));
    EXPECT_TRUE(painter.testRenderHint(QPainter::Antialiasing));
}

} // namespace
} // namespace zw
