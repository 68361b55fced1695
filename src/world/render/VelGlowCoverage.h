#pragma once
// Where the glow can be lit this frame. The glow is the blurred first render
// of the butterflies, so outside a butterfly's reach (the screen rectangle
// around its wings' corners, widened by the shrink's, the blur's and the
// composite's reach) it is exactly black, and so are the shrunk and the
// blurred squares at the same place in texture units. The view is cut into
// square tiles; a tile is marked when any butterfly can light one of its
// pixels. The marks are conservative: an unmarked tile is black in the glow;
// a marked one may still be black.
//
// The marked tiles are then gathered into a few rectangles, which the fast
// glow's shrink, blur and composite draw instead of their whole squares:
// the same pixels where the flock leaves much of the view dark, in a
// fraction of the time.
#include <cstdint>

#include "world/VelButterflySystem.h"

// Small tiles hug the glow closely; the rectangles they gather into are drawn
// as quads of one draw per pass, so their number costs little.
constexpr int32_t kVelGlowTile = 16;

// Tiles across and up, from the view's lower-left corner.
struct VelGlowRect {
  int32_t col, row, cols, rows;
};

struct VelGlowCoverage {
  int32_t screen_width, screen_height;  // the view the tiles cut
  int32_t cols, rows;                   // tiles of kVelGlowTile pixels across and up the view
  uint8_t* lit;  // cols x rows marks, row 0 at the view's bottom (OpenGL's window coordinates)
  uint8_t* scratch;  // cols x rows, for gathering the rectangles
  VelGlowRect* rects;  // the marked tiles, each in exactly one rectangle
  int32_t rect_count;
};

// Allocates the marks and rectangles for a width x height view, every tile
// marked; false (nothing held) when an allocation fails or a side is below 1.
bool initVelGlowCoverage(VelGlowCoverage* coverage, int32_t width, int32_t height);
void freeVelGlowCoverage(VelGlowCoverage* coverage);
// Marks the tiles that `world`'s active butterflies that have not faded out,
// drawn with wings or as sprites, can light, and gathers them into rectangles. A butterfly reaching
// the camera's near plane, a corner that is not a number, or a world of
// another size than the marks' marks every tile.
void findVelGlowCoverage(VelGlowCoverage* coverage, const VelWorld* world, bool winged);

// Gathers the marked tiles into rectangles: each a run of marked tiles along
// a row, grown up the rows while the same run is marked there. Every marked
// tile ends in exactly one rectangle.
void gatherVelGlowRects(VelGlowCoverage* coverage);

// A rectangle in texture units (0..1 across the view) of a target `width` x
// `height` pixels: the rectangle's pixels on the view, taken outward to the
// target's pixels. The coverage's reach holds the glow's every step, so the
// shrunk and blurred squares are black beyond these pixels too.
struct VelGlowArea {
  float s0, s1, t0, t1;
};
VelGlowArea velGlowArea(const VelGlowCoverage* coverage, VelGlowRect rect, int32_t width, int32_t height);
