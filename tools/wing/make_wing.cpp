// Draws the butterfly wing texture, resources/wing1.png: one wing with its root
// along the image's left edge and its tip at the right edge, forewing above,
// hindwing below. Mostly white and light grey, so that the scheme colours tint
// it; veins, a darker border with pale spots and two eye spots in luminance;
// soft alpha edges.
//
//   moonwisp-wing OUT.png [SIDE]      (SIDE a power of two, default 256)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/image/png_image.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The wing's root in image units (u to the right, v downwards, both 0..1).
constexpr double kRootU = 0.0;
constexpr double kRootV = 0.55;

// Outline: distance from the root by direction (degrees, 0 = to the right,
// negative = upwards), interpolated smoothly between these points.
struct OutlinePoint {
  double degrees;
  double radius;
};
constexpr OutlinePoint kOutline[] = {
    {-90, 0.30}, {-75, 0.44}, {-60, 0.56}, {-48, 0.66}, {-36, 0.86}, {-26, 0.99}, {-16, 1.01},
    {-6, 0.93},  {4, 0.70},   {12, 0.58},  {20, 0.70},  {30, 0.80},  {42, 0.70},  {55, 0.58},
    {68, 0.48},  {80, 0.43},  {90, 0.40}};
constexpr int kOutlineCount = sizeof kOutline / sizeof kOutline[0];

double smoothstep(double edge0, double edge1, double x) {
  const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Catmull-Rom through the outline points.
double outlineRadius(double degrees) {
  degrees = std::clamp(degrees, kOutline[0].degrees, kOutline[kOutlineCount - 1].degrees);
  int i = 0;
  while (i < kOutlineCount - 2 && degrees > kOutline[i + 1].degrees) ++i;
  const double t = (degrees - kOutline[i].degrees) / (kOutline[i + 1].degrees - kOutline[i].degrees);
  const double p0 = kOutline[std::max(i - 1, 0)].radius;
  const double p1 = kOutline[i].radius;
  const double p2 = kOutline[i + 1].radius;
  const double p3 = kOutline[std::min(i + 2, kOutlineCount - 1)].radius;
  return 0.5 * (2 * p1 + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t +
                (-p0 + 3 * p1 - 3 * p2 + p3) * t * t * t);
}

// Veins fan out from the root; their directions in degrees.
constexpr double kVeins[] = {-66, -52, -40, -29, -19, -9, 16, 27, 39, 52, 66};

// How much of a pixel at (u, v) is covered by a thin line (1 on it, 0 away).
double lineMask(double distance, double halfWidth) { return 1.0 - smoothstep(halfWidth * 0.5, halfWidth, distance); }

double ring(double u, double v, double cu, double cv, double radius, double halfWidth) {
  return lineMask(std::fabs(std::hypot(u - cu, v - cv) - radius), halfWidth);
}

double disc(double u, double v, double cu, double cv, double radius) {
  return 1.0 - smoothstep(radius * 0.6, radius, std::hypot(u - cu, v - cv));
}

struct Texel {
  double luminance;
  double alpha;
};

Texel wingTexel(double u, double v, double pixel) {
  const double du = u - kRootU;
  const double dv = v - kRootV;
  const double r = std::hypot(du, dv);
  const double degrees = std::atan2(dv, du) * 180.0 / kPi;
  const double edge = outlineRadius(degrees);
  const double inside = edge - r;  // distance to the outline along the ray

  // Soft edge a few pixels wide; the root fades in so the wing meets the body softly.
  double alpha = smoothstep(-1.5 * pixel, 2.5 * pixel, inside);
  alpha *= 0.55 + 0.45 * smoothstep(0.0, 0.10, u);

  // Pale in the middle, slightly darker towards the root.
  double lum = 0.72 + 0.28 * smoothstep(0.05, 0.45, r);

  // Dark border band with a row of pale spots.
  const double band = 1.0 - smoothstep(0.07, 0.11, inside);
  lum = lum * (1 - band) + 0.34 * band;
  const double spotAngle = std::fmod(degrees + 90.0 + 1000.0 * 9.0, 9.0) - 4.5;  // every 9 degrees
  const double spotDistance = std::hypot(spotAngle * kPi / 180.0 * r, inside - 0.05);
  lum = std::max(lum, 0.95 * band * (1.0 - smoothstep(0.012, 0.02, spotDistance)));

  // Veins: thin darker lines that fan out from the root, bending slightly
  // towards the tip and fading before the border; a short cross vein closes
  // the cell near the root.
  double veins = 0;
  for (double vein : kVeins) {
    const double bent = vein + (vein < 0 ? 6.0 : -6.0) * r;
    const double off = (degrees - bent) * kPi / 180.0;
    const double distance = std::fabs(std::sin(off)) * r;
    if (std::cos(off) > 0) veins = std::max(veins, lineMask(distance, 0.004 + 0.003 * r));
  }
  const double cell = ring(u, v, kRootU + 0.02, kRootV - 0.02, 0.36, 0.005);
  veins = std::max(veins, cell * (1.0 - smoothstep(-40.0, -30.0, -degrees)) * smoothstep(-60.0, -50.0, degrees));
  veins *= smoothstep(0.03, 0.12, r) * (1.0 - band);
  lum *= 1.0 - 0.50 * veins;

  // A soft grey band across the wing's outer half, between the cell and the border.
  const double outer = smoothstep(0.55, 0.75, r / edge) * (1.0 - smoothstep(0.80, 0.92, r / edge));
  lum *= 1.0 - 0.18 * outer;

  // Eye spots: a dark ring with a bright centre, on the forewing and the hindwing.
  const double eyes = std::max(ring(u, v, 0.70, 0.27, 0.055, 0.016), ring(u, v, 0.47, 0.83, 0.045, 0.014));
  lum = lum * (1 - eyes) + 0.35 * eyes;
  const double pupils = std::max(disc(u, v, 0.70, 0.27, 0.03), disc(u, v, 0.47, 0.83, 0.024));
  lum = lum * (1 - pupils) + 1.0 * pupils;

  return {std::clamp(lum, 0.0, 1.0), std::clamp(alpha, 0.0, 1.0)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s OUT.png [SIDE]\n", argv[0]);
    return 2;
  }
  const int side = argc == 3 ? std::atoi(argv[2]) : 256;
  if (side < 16 || side > 4096 || (side & (side - 1)) != 0) {
    std::fprintf(stderr, "%s: SIDE must be a power of two from 16 to 4096\n", argv[0]);
    return 2;
  }
  moonwisp::RasterImage image;
  image.width = side;
  image.height = side;
  image.hasAlpha = true;
  image.pixels.resize(static_cast<size_t>(side) * side * 4);
  constexpr int kSamples = 4;  // per axis, for smooth lines
  const double pixel = 1.0 / side;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      double lum = 0, alpha = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Texel t = wingTexel((x + (sx + 0.5) / kSamples) * pixel, (y + (sy + 0.5) / kSamples) * pixel, pixel);
          lum += t.luminance * t.alpha;
          alpha += t.alpha;
        }
      }
      // Colour weighted by coverage; fully transparent texels take the border
      // grey so that filtering at the edge draws no dark fringe.
      const double grey = alpha > 0 ? lum / alpha : 0.34;
      alpha /= kSamples * kSamples;
      uint8_t* p = &image.pixels[(static_cast<size_t>(y) * side + x) * 4];
      p[0] = p[1] = p[2] = static_cast<uint8_t>(std::lround(grey * 255.0));
      p[3] = static_cast<uint8_t>(std::lround(alpha * 255.0));
    }
  }
  std::string error;
  if (!moonwisp::writePngImage(argv[1], image, &error)) {
    std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
    return 1;
  }
  return 0;
}
