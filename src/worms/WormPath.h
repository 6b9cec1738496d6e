#pragma once

#include "worms/Gene.h"

#include <QPoint>
#include <QPointF>

#include <vector>

namespace zw {

// The picture of a genome, without any painting: each gene is one step of
// length 1 in an absolute direction (gene 0 along +y, 64 along +x, 128 along
// -y, 192 along -x), starting at the origin. The path is then stretched, each
// axis on its own, into the box (c, c)..(width - c, height - c); an axis whose
// extent is below 1 is scaled as if it were 1.
// Returns Size + 1 points.
std::vector<QPointF> WormPath(const TGene& gene, int width, int height, int clearance);

// The path in device pixels: each coordinate rounded to the nearest integer,
// ties to even.
std::vector<QPoint> RoundWormPath(const std::vector<QPointF>& path);

} // namespace zw
