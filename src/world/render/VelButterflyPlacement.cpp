#include "world/render/VelButterflyPlacement.h"

#include <cmath>

VelButterflyPlace velButterflyPlace(const VelButterfly& b, VelAspectFactors f) {
  return {static_cast<float>((2.0 * static_cast<double>(b.position.x) - 1.0) * f.ax),
          static_cast<float>((2.0 * static_cast<double>(b.position.y) - 1.0) * f.ay),
          static_cast<float>(3.0 * static_cast<double>(b.position.z) + 2.0)};
}

float flap_func(float flap_angle) {
  return static_cast<float>((std::sin(static_cast<double>(flap_angle) * 0.104719752) + 1.0) * 0.5);
}

// 360 minus the angle for headings to the left.
float velHeadingDegrees(Vector3Float facing) {
  const Vector3Float h = Vector3FloatConstruct(facing.x, 0.0f, facing.z);
  float cosine = Vector3FloatDot(h, Vector3FloatNeg(Vector3FloatZ()));
  // A unit vector's component can round just past 1; acos would give NaN.
  if (cosine > 1.0f) cosine = 1.0f;
  if (cosine < -1.0f) cosine = -1.0f;
  const float c = static_cast<float>(std::acos(static_cast<double>(cosine)));
  if (facing.x > 0) return static_cast<float>(c / 0.017453292);
  return static_cast<float>(360.0 + c / (-0.017453292));
}

float velWingAngle(float flap) { return std::fmod(static_cast<float>(static_cast<double>(flap) * 130.0 - 60.0), 360.0f); }

float velWingShift(float flap) {
  double g;
  if (flap < 0) {
    g = 0.0;
  } else if (flap > 1) {
    g = 1.0;
  } else {
    const double u = 2.0 * static_cast<double>(flap) - 1.0;
    g = u / (u * u + 1.0) + 0.5;
  }
  return static_cast<float>(-0.3 * g);
}
