#pragma once
// The wings' vertices: the renderer draws them, and the view's GL resources
// compile the same vertices into the wing display lists.
#include <GL/gl.h>

// One vertex of a textured quad: texture coordinate, then position.
struct QuadVertex {
  GLfloat s, t, x, y, z;
};
// The two wings as four-vertex triangle strips in the plane z = 0, hinged on
// the y axis: left wing (x in [-1, 0]) then right wing (x in [0, 1]). Lists 1
// and 2 hold exactly these vertices; the renderer also draws them straight
// from this array.
extern const QuadVertex kWingStrips[2][4];
