#include "world/render/VelWingGeometry.h"

// Left wing: the image's left edge (s near 0) on the body axis x = 0, its
// right edge at the tip x = -1; the image's first row at y = 1. Right wing:
// its mirror image about x = 0.
const QuadVertex kWingStrips[2][4] = {
    {{0.99f, 0.99f, -1, 0, 0}, {0.99f, 0.01f, -1, 1, 0}, {0.01f, 0.99f, 0, 0, 0}, {0.01f, 0.01f, 0, 1, 0}},
    {{0.01f, 0.99f, 0, 0, 0}, {0.01f, 0.01f, 0, 1, 0}, {0.99f, 0.99f, 1, 0, 0}, {0.99f, 0.01f, 1, 1, 0}},
};
