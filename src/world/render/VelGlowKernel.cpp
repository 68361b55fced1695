#include "world/render/VelGlowKernel.h"

#include <cmath>
#include <algorithm>

VelAspectFactors velAspectFactors(int32_t screen_width, int32_t screen_height) {
  const float w = static_cast<float>(screen_width);
  const float h = static_cast<float>(screen_height);
  if (screen_width > screen_height) return {1.0f, h / w};
  return {w / h, 1.0f};
}

float velGlowTapOffset(int i, float aspect) { return static_cast<float>(i * 0.0015 * aspect); }

float velGlowTapWeight(VelGlowPass pass, int i) {
  if (i == 0 && pass == VelGlowPass::kVertical) return 1.0f;  // the sideways result, kept
  return 0.2f;
}

float velGlowPassAspect(VelGlowPass pass, VelAspectFactors factors) {
  return pass == VelGlowPass::kSideways ? factors.ay : factors.ax;
}

VelGlowKernel makeVelGlowKernel(VelGlowPass pass, int32_t side, VelAspectFactors factors) {
  constexpr int kMax = kVelGlowKernelMaxRadius;
  VelGlowKernel kernel{};
  double weights[2 * kMax + 1] = {};
  int radius = 0;
  const float aspect = velGlowPassAspect(pass, factors);
  for (int i = -4; i <= 4; ++i) {
    // A copy shifted by o texels reads texels floor(o) and floor(o) + 1.
    const double o = static_cast<double>(velGlowTapOffset(i, aspect)) * side;
    const double below = std::floor(o);
    for (double j = below; j <= below + 1; ++j) {
      const double share = 1.0 - std::fabs(j - o);
      if (share <= 0.0) continue;
      if (std::fabs(j) > kMax) return kernel;
      weights[static_cast<int>(j) + kMax] += velGlowTapWeight(pass, i) * share;
      radius = std::max(radius, static_cast<int>(std::fabs(j)));
    }
  }
  kernel.radius = radius;
  for (int m = -radius; m <= radius; ++m) kernel.weights[m + radius] = weights[m + kMax];
  return kernel;
}
