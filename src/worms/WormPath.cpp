#include "worms/WormPath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace zw {

namespace {

// One unit step per gene value: (sin a, cos a) with a = value * 2 pi / 256.
struct TStepTable {
    std::array<double, 256> dx{};
    std::array<double, 256> dy{};
    TStepTable()
    {
        for (int value = 0; value < 256; ++value) {
            const double angle = value * 2.0 * std::numbers::pi / 256.0;
            dx[value] = std::sin(angle);
            dy[value] = std::cos(angle);
        }
    }
};

const TStepTable& Steps()
{
    static const TStepTable table;
    return table;
}

int RoundHalfEven(double value)
{
    // The default floating-point rounding mode rounds ties to even.
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

std::vector<QPointF> WormPath(const TGene& gene, int width, int height, int clearance)
{
    const TStepTable& steps = Steps();
    const int32_t count = gene.Size();
    const uint8_t* genes = gene.Data();

    std::vector<QPointF> path(static_cast<size_t>(count) + 1);
    double x = 0, y = 0;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    path[0] = QPointF(0, 0);
    for (int32_t i = 0; i < count; ++i) {
        x += steps.dx[genes[i]];
        y += steps.dy[genes[i]];
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
        path[static_cast<size_t>(i) + 1] = QPointF(x, y);
    }

    const double w = std::max(maxX - minX, 1.0);
    const double h = std::max(maxY - minY, 1.0);
    const double spanX = width - 2.0 * clearance;
    const double spanY = height - 2.0 * clearance;
    for (QPointF& point : path)
        point = QPointF(clearance + (point.x() - minX) / w * spanX,
                        clearance + (point.y() - minY) / h * spanY);
    return path;
}

std::vector<QPoint> RoundWormPath(const std::vector<QPointF>& path)
{
    std::vector<QPoint> points;
    points.reserve(path.size());
    for (const QPointF& point : path)
        points.emplace_back(RoundHalfEven(point.x()), RoundHalfEven(point.y()));
    return points;
}

} // namespace zw
