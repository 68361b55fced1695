#pragma once
// Where renderVelWorld draws one butterfly, in the numbers it passes to
// OpenGL, so that whoever needs to know where a butterfly lands on screen
// (the glow's coverage) computes it the same way.
#include "math/Vector3Float.h"
#include "world/VelButterflySystem.h"
#include "world/render/VelGlowKernel.h"

// The butterfly's translation (sx, sy, -d): x and y spread over [-ax, ax] and
// [-ay, ay], z = 0..1 at depths 2..5.
struct VelButterflyPlace {
  float sx, sy, d;
};
VelButterflyPlace velButterflyPlace(const VelButterfly& b, VelAspectFactors f);
// Heading about the vertical axis in degrees.
float velHeadingDegrees(Vector3Float facing);
// Wing-beat value in [0, 1] for a phase in degrees; six beats per 360.
float flap_func(float flap_angle);
// For a wing-beat value (flap_func): the angle in degrees by which the left
// wing turns about its hinge (the right one by its negative), and the shift
// of the hinge along z.
float velWingAngle(float flap);
float velWingShift(float flap);
