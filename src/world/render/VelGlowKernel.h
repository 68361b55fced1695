#pragma once
// Geometry of the glow's blur: the aspect factors, the shifts of the blur's
// copies, and the convolution those copies add up to.
//
// The fixed-function blur adds copies of the half glow buffer shifted by
// whole tap steps, each sampled bilinearly. Shifted by o texels, a copy gives
// texel i + j the weight max(0, 1 - |j - o|); summing the copies' weights per
// j gives a small fixed kernel, so one pass that reads the texels around each
// pixel with those weights draws the same picture. Away from the buffer's
// edges, that is: a copy shifted past an edge is clamped there, so the
// kernel holds only `radius` texels or more from each edge.
#include <cstdint>

// The larger side of the view gets factor 1.
struct VelAspectFactors {
  float ax;
  float ay;
};
VelAspectFactors velAspectFactors(int32_t screen_width, int32_t screen_height);

// Shift of the i-th copy of a blur pass, in texture widths (or heights):
// i steps of 0.0015 x the aspect factor, in double precision, as a float.
float velGlowTapOffset(int i, float aspect);

// The two blur passes. Sideways: nine copies shifted by -4..4 steps of
// 0.0015 x ay, each at weight 0.2. Vertical: the sideways result at weight 1
// plus eight copies shifted by +-1..+-4 steps of 0.0015 x ax at weight 0.2.
enum class VelGlowPass { kSideways, kVertical };
float velGlowTapWeight(VelGlowPass pass, int i);
float velGlowPassAspect(VelGlowPass pass, VelAspectFactors factors);

// Up to this many texels either side are read by one kernel pass; a wider
// kernel (half glow buffers of 2048 texels and more) is not made, and the
// pass reads the nine copies' samples instead.
constexpr int kVelGlowKernelMaxRadius = 8;

// A pass's weight per texel: texel i + m counts weights[m + radius] towards
// pixel i, for m = -radius..radius.
struct VelGlowKernel {
  int32_t radius;  // texels either side with a weight; 0: too wide to use
  double weights[2 * kVelGlowKernelMaxRadius + 1];
};

// The kernel of one pass over a half glow buffer of `side` texels.
VelGlowKernel makeVelGlowKernel(VelGlowPass pass, int32_t side, VelAspectFactors factors);
