#include "world/render/VelGlowCoverage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "world/VelAllocator.h"
#include "world/render/VelButterflyPlacement.h"
#include "world/render/VelGlowBufferSize.h"
#include "world/render/VelGlowKernel.h"
#include "world/render/VelWingGeometry.h"

namespace {

// The camera of renderVelWorld: 35 degrees high, near plane at 0.4.
constexpr double kNear = 0.4;
const double kFocal = 1.0 / std::tan(35.0 / 2.0 * M_PI / 180.0);
constexpr double kRadians = M_PI / 180.0;

struct Point {
  double x, y, z;
};

// glRotatef's turns, counter-clockwise about the axis looking down it.
struct Turn {
  double cosine, sine;
};
Turn turnBy(double degrees) { return {std::cos(degrees * kRadians), std::sin(degrees * kRadians)}; }
Point turnAboutY(Point p, Turn t) { return {p.x * t.cosine + p.z * t.sine, p.y, -p.x * t.sine + p.z * t.cosine}; }
Point turnAboutX(Point p, Turn t) { return {p.x, p.y * t.cosine - p.z * t.sine, p.y * t.sine + p.z * t.cosine}; }
const Turn kTilt = turnBy(40.0);

// The screen rectangle, in texture units (0..1 across the view), of a set of
// corners in the camera's frame.
struct Bounds {
  double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
  bool behind = false;  // a corner at or past the near plane, or not a number

  void add(Point p, double xScale) {
    if (!(-p.z > kNear) || !std::isfinite(p.x) || !std::isfinite(p.y)) {
      behind = true;
      return;
    }
    const double u = (xScale * p.x / -p.z + 1) / 2;
    const double v = (kFocal * p.y / -p.z + 1) / 2;
    u0 = std::fmin(u0, u);
    u1 = std::fmax(u1, u);
    v0 = std::fmin(v0, v);
    v1 = std::fmax(v1, v);
  }
};

// The two wings' corners as renderVelWorld places them: translated to the
// butterfly's place, scaled, turned to its heading, the hinge shifted and
// tilted by 40 degrees, each wing turned about the hinge.
void addWings(Bounds* bounds, const VelButterfly& b, VelButterflyPlace at, double size, double xScale) {
  const float flap = flap_func(b.flap_angle);
  const Turn heading = turnBy(velHeadingDegrees(b.facing));
  const double wing = velWingAngle(flap);
  const Turn beat[2] = {turnBy(wing), turnBy(-wing)};
  const double shift = velWingShift(flap);
  for (int side = 0; side < 2; ++side) {
    for (const QuadVertex& q : kWingStrips[side]) {
      Point p = turnAboutX(turnAboutY({q.x, q.y, q.z}, beat[side]), kTilt);
      p.z += shift;
      p = turnAboutY(p, heading);
      bounds->add({at.sx + size * p.x, at.sy + size * p.y, -at.d + size * p.z}, xScale);
    }
  }
}

void addSprite(Bounds* bounds, VelButterflyPlace at, double size, VelAspectFactors f, double xScale) {
  for (int corner = 0; corner < 4; ++corner) {
    const double dx = (corner & 1 ? size : -size) * f.ay;
    const double dy = (corner & 2 ? size : -size) * f.ax;
    bounds->add({at.sx + dx, at.sy + dy, -static_cast<double>(at.d)}, xScale);
  }
}

// The tiles [first, last] holding the pixels of texture units [from, to]
// along a side of `pixels`; empty (last < first) when none.
struct TileRange {
  int32_t first, last;
};
TileRange tilesOf(double from, double to, int32_t pixels, int32_t tile) {
  const double a = std::floor(from * pixels);
  const double b = std::ceil(to * pixels);
  if (b <= 0 || a >= pixels) return {0, -1};
  const int32_t first = a < 0 ? 0 : static_cast<int32_t>(a);
  const int32_t end = b > pixels ? pixels : static_cast<int32_t>(b);
  return {first / tile, (end - 1) / tile};
}

size_t tileCount(const VelGlowCoverage* c) { return static_cast<size_t>(c->cols) * c->rows; }

void markAll(VelGlowCoverage* c) {
  std::memset(c->lit, 1, tileCount(c));
  gatherVelGlowRects(c);
}

}  // namespace

void gatherVelGlowRects(VelGlowCoverage* c) {
  std::memcpy(c->scratch, c->lit, tileCount(c));
  c->rect_count = 0;
  for (int32_t row = 0; row < c->rows; ++row) {
    const uint8_t* marks = c->scratch + static_cast<size_t>(row) * c->cols;
    for (int32_t col = 0; col < c->cols;) {
      if (!marks[col]) {
        ++col;
        continue;
      }
      const int32_t first = col;
      while (col < c->cols && marks[col]) ++col;
      const size_t run = static_cast<size_t>(col - first);
      int32_t top = row + 1;
      while (top < c->rows && !std::memchr(c->scratch + static_cast<size_t>(top) * c->cols + first, 0, run)) ++top;
      for (int32_t r = row; r < top; ++r) std::memset(c->scratch + static_cast<size_t>(r) * c->cols + first, 0, run);
      c->rects[c->rect_count++] = {first, row, col - first, top - row};
    }
  }
}

bool initVelGlowCoverage(VelGlowCoverage* coverage, int32_t width, int32_t height) {
  *coverage = VelGlowCoverage{};
  if (width < 1 || height < 1) return false;
  const int32_t cols = (width + kVelGlowTile - 1) / kVelGlowTile;
  const int32_t rows = (height + kVelGlowTile - 1) / kVelGlowTile;
  const size_t tiles = static_cast<size_t>(cols) * rows;
  auto* marks = static_cast<uint8_t*>(velAllocate(2 * tiles));
  auto* rects = static_cast<VelGlowRect*>(velAllocate(tiles * sizeof(VelGlowRect)));
  if (!marks || !rects) {
    velRelease(marks);
    velRelease(rects);
    return false;
  }
  *coverage = VelGlowCoverage{width, height, cols, rows, marks, marks + tiles, rects, 0};
  markAll(coverage);
  return true;
}

void freeVelGlowCoverage(VelGlowCoverage* coverage) {
  velRelease(coverage->lit);
  velRelease(coverage->rects);
  *coverage = VelGlowCoverage{};
}

void findVelGlowCoverage(VelGlowCoverage* c, const VelWorld* world, bool winged) {
  const int32_t w = world->screen_width;
  const int32_t h = world->screen_height;
  const int32_t d2 = screen_buffer_dimensions2(w, h);
  if (d2 < 1 || w != c->screen_width || h != c->screen_height) {
    markAll(c);
    return;
  }
  std::memset(c->lit, 0, tileCount(c));
  const VelAspectFactors f = velAspectFactors(w, h);
  const double xScale = kFocal / static_cast<double>(static_cast<float>(w) / static_cast<float>(h));
  // How far the glow reaches past the butterflies' corners, in texture units:
  // the blur's four steps (ay sideways, ax up and down), and in half-buffer
  // texels: half a texel each for the first render's pixels and the shrink's
  // footprint, one for the footprint of the blur copies along their
  // direction, one for the composite's, and one for rounding.
  const double reachU = 4 * 0.0015 * f.ay + 4.0 / d2;
  const double reachV = 4 * 0.0015 * f.ax + 4.0 / d2;
  const double size = world->butterfly_size;
  const VelButterflyCollection& flock = world->butterfly_collection;
  for (int32_t i = 0; i < flock.num_butterflies; ++i) {
    const VelButterfly& b = flock.butterflies[i];
    // Faded out, a butterfly is drawn with alpha 0: it adds nothing.
    if (!b.active || b.fade == 0.0f) continue;
    Bounds bounds;
    const VelButterflyPlace at = velButterflyPlace(b, f);
    if (winged) {
      addWings(&bounds, b, at, size, xScale);
    } else {
      addSprite(&bounds, at, size, f, xScale);
    }
    if (bounds.behind) {
      markAll(c);
      return;
    }
    const TileRange cols = tilesOf(bounds.u0 - reachU, bounds.u1 + reachU, w, kVelGlowTile);
    const TileRange rows = tilesOf(bounds.v0 - reachV, bounds.v1 + reachV, h, kVelGlowTile);
    if (cols.last < cols.first) continue;
    for (int32_t row = rows.first; row <= rows.last; ++row)
      std::memset(c->lit + static_cast<size_t>(row) * c->cols + cols.first, 1,
                  static_cast<size_t>(cols.last - cols.first + 1));
  }
  gatherVelGlowRects(c);
}

namespace {

// [from, to) view pixels, as texture units of a target of `side` pixels.
void areaAlong(int32_t from, int32_t to, int32_t view, int32_t side, float* s0, float* s1) {
  const int64_t a = static_cast<int64_t>(from) * side / view;
  const int64_t b = (static_cast<int64_t>(to) * side + view - 1) / view;
  *s0 = static_cast<float>(static_cast<double>(a) / side);
  *s1 = static_cast<float>(static_cast<double>(b) / side);
}

}  // namespace

VelGlowArea velGlowArea(const VelGlowCoverage* c, VelGlowRect rect, int32_t width, int32_t height) {
  const int32_t x0 = rect.col * kVelGlowTile;
  const int32_t x1 = std::min((rect.col + rect.cols) * kVelGlowTile, c->screen_width);
  const int32_t y0 = rect.row * kVelGlowTile;
  const int32_t y1 = std::min((rect.row + rect.rows) * kVelGlowTile, c->screen_height);
  VelGlowArea area{};
  areaAlong(x0, x1, c->screen_width, width, &area.s0, &area.s1);
  areaAlong(y0, y1, c->screen_height, height, &area.t0, &area.t1);
  return area;
}
