#pragma once
// Three-component single-precision vector. Every operation is evaluated in
// single precision in the order written; the order fixes the last bits.

struct Vector3Float {
  float x;
  float y;
  float z;
};

Vector3Float Vector3FloatZero();
Vector3Float Vector3FloatX();
Vector3Float Vector3FloatY();
Vector3Float Vector3FloatZ();
Vector3Float Vector3FloatConstruct(float x, float y, float z);
Vector3Float Vector3FloatAdd(Vector3Float a, Vector3Float b);
Vector3Float Vector3FloatSub(Vector3Float a, Vector3Float b);
Vector3Float Vector3FloatNeg(Vector3Float a);
float Vector3FloatDot(Vector3Float a, Vector3Float b);
Vector3Float Vector3FloatScalarMult(Vector3Float a, float s);
float Vector3FloatLength2(Vector3Float a);
Vector3Float Vector3FloatNormalize(Vector3Float a);
Vector3Float Vector3FloatLimit(Vector3Float a, float max);
