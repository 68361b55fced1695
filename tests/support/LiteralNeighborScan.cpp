#include "LiteralNeighborScan.h"

namespace {

enum class Rule { Cohesion, Alignment, Separation };

Vector3Float scan(const VelWorld* world, int32_t index, int32_t* count, Rule rule) {
  const VelFlockBinCollection& fb = world->flock_bins;
  const VelButterfly* bs = world->butterfly_collection.butterflies;
  const int32_t R = rule == Rule::Separation ? 1 : 3;
  const int32_t b = fb.elements[index].curr_bin;
  const int32_t cx = b / 100, cy = (b / 10) % 10, cz = b % 10;
  const int32_t x0 = cx - R > 0 ? cx - R : 0, x1 = cx + R < 9 ? cx + R : 9;
  const int32_t y0 = cy - R > 0 ? cy - R : 0, y1 = cy + R < 9 ? cy + R : 9;
  const int32_t z0 = cz - R > 0 ? cz - R : 0, z1 = cz + R < 9 ? cz + R : 9;
  const Vector3Float own = bs[index].position;
  Vector3Float sum = Vector3FloatZero();
  int32_t n = 0;
  for (int32_t k = 0; k < fb.max_bins; ++k) {
    const int32_t kx = k / 100, ky = (k / 10) % 10, kz = k % 10;
    if (kx < x0 || kx > x1 || ky < y0 || ky > y1 || kz < z0 || kz > z1) continue;
    for (const VelFlockBinLinkedListElement* e = fb.bins[k]; e; e = e->next) {
      if (e->node == index) continue;
      const VelButterfly& other = bs[e->node];
      const float l2 = Vector3FloatLength2(Vector3FloatSub(own, other.position));
      switch (rule) {
        case Rule::Cohesion:
          if (l2 < 0.0625f) {
            sum = Vector3FloatAdd(sum, other.position);
            ++n;
          }
          break;
        case Rule::Alignment:
          if (l2 < 0.0625f) {
            sum = Vector3FloatAdd(sum, other.flock_direction);
            ++n;
          }
          break;
        case Rule::Separation:
          if (double(l2) < 0.01) {
            sum = Vector3FloatAdd(sum, Vector3FloatSub(other.position, own));
            ++n;
          }
          break;
      }
    }
  }
  *count = n;
  if (rule == Rule::Separation) return Vector3FloatNeg(Vector3FloatNormalize(sum));
  if (n > 0) sum = Vector3FloatConstruct(sum.x / float(n), sum.y / float(n), sum.z / float(n));
  return sum;
}

}  // namespace

Vector3Float literalAveragePositions(const VelWorld* w, int32_t i, int32_t* c) { return scan(w, i, c, Rule::Cohesion); }
Vector3Float literalAverageDirection(const VelWorld* w, int32_t i, int32_t* c) { return scan(w, i, c, Rule::Alignment); }
Vector3Float literalAvoidance(const VelWorld* w, int32_t i, int32_t* c) { return scan(w, i, c, Rule::Separation); }

VelNeighborSums literalNeighborRules(const VelWorld* world, int32_t index) {
  VelNeighborSums s{};
  s.cohesion = literalAveragePositions(world, index, &s.cohesion_count);
  if (s.cohesion_count > 0) {
    s.alignment = literalAverageDirection(world, index, &s.alignment_count);
    s.separation = literalAvoidance(world, index, &s.separation_count);
  }
  return s;
}
