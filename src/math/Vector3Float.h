#pragma once
// Three-component single-precision vector. Every operation is evaluated in
// single precision in the order written; the order fixes the last bits.
// The operations are inline: they run for every butterfly and every
// neighbour, every frame.
#include <cmath>

struct Vector3Float {
  float x;
  float y;
  float z;
};

inline Vector3Float Vector3FloatZero() { return {0.0f, 0.0f, 0.0f}; }
inline Vector3Float Vector3FloatX() { return {1.0f, 0.0f, 0.0f}; }
inline Vector3Float Vector3FloatY() { return {0.0f, 1.0f, 0.0f}; }
inline Vector3Float Vector3FloatZ() { return {0.0f, 0.0f, 1.0f}; }
inline Vector3Float Vector3FloatConstruct(float x, float y, float z) { return {x, y, z}; }

inline Vector3Float Vector3FloatAdd(Vector3Float a, Vector3Float b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3Float Vector3FloatSub(Vector3Float a, Vector3Float b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3Float Vector3FloatNeg(Vector3Float a) { return {-a.x, -a.y, -a.z}; }

inline float Vector3FloatDot(Vector3Float a, Vector3Float b) {
  const float xy = a.x * b.x + a.y * b.y;
  return xy + a.z * b.z;
}

inline Vector3Float Vector3FloatScalarMult(Vector3Float a, float s) { return {s * a.x, s * a.y, s * a.z}; }

inline float Vector3FloatLength2(Vector3Float a) {
  const float xy = a.x * a.x + a.y * a.y;
  return xy + a.z * a.z;
}

inline Vector3Float Vector3FloatNormalize(Vector3Float a) {
  const float length = std::sqrt(Vector3FloatLength2(a));
  if (length == 0.0f) return a;
  return {a.x / length, a.y / length, a.z / length};
}

inline Vector3Float Vector3FloatLimit(Vector3Float a, float max) {
  const float l2 = Vector3FloatLength2(a);
  const float max2 = max * max;
  if (l2 > max2) {
    const Vector3Float n = Vector3FloatNormalize(a);
    return {max * n.x, max * n.y, max * n.z};
  }
  return a;
}
