// Single-precision 3D maths, a ground-floor library the engine, the models, collision and
// sound share: Matrix4 (row vectors, translation in row 4), Vector3, the matrix routines,
// angle helpers and the oriented-box overlap test.
#pragma once
#include <cstdint>

// 4x4 float matrix in row-vector order: a point p becomes p x M; m[3][0..2] is the
// translation (m41, m42, m43). The constructor leaves the values as the storage held them.
struct Matrix4 {
  float m[4][4];
  Matrix4() {}
};

struct Vector3 {
  float x, y, z;
};

// Result codes of the routines that can refuse their input; on failure the output is untouched.
using MathCode = uint32_t;
constexpr MathCode kMathOk = 0;
constexpr MathCode kMathInvalidArgument = 0x80070057u;

// Degree/radian factors used everywhere at the program interface (exact float constants).
constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kRadiansToDegrees = 57.29578f;

// Vector helpers; the engine and the models use them for positions and bounds.
Vector3 Vector3Set(float x, float y, float z);
void Vector3Add(Vector3& v, const Vector3& other);
void Vector3Sub(Vector3& v, const Vector3& other);
double Vector3Dot(const Vector3& a, const Vector3& b);
Vector3 Vector3Cross(const Vector3& a, const Vector3& b);
float Vector3Length(const Vector3& v);
float FloatAbs(float value);

// Matrix builders and products; callers: objects, camera, lights, render and the models.
void MatrixIdentity(Matrix4& out);
// Address of element (row, column), both from 0.
float* MatrixElement(Matrix4& matrix, int row, int column);
void MatrixTranslation(Matrix4& out, float x, float y, float z);
void MatrixTranslationV(Matrix4& out, const Vector3& v);
void MatrixScaling(Matrix4& out, float x, float y, float z);
// out = a x b; exact products summed in double, rounded once; out may be a or b.
void MatrixMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b);
// The same product taking copies of both inputs first; returns out.
Matrix4& MatrixMultiplyCopy(Matrix4& out, Matrix4 a, Matrix4 b);
// Inverse of an affine matrix (last column 0, 0, 0, 1 within 0.001).
MathCode MatrixInverse(Matrix4& out, const Matrix4& m);
// Projective point transform; fails when |w| < 1e-5. out may be v.
MathCode TransformPoint(Vector3& out, const Vector3& v, const Matrix4& m);
// View matrix looking from eye at target; fails when they coincide or no up can be made.
MathCode MatrixLookAt(Matrix4& out, const Vector3& eye, const Vector3& target, const Vector3& up);
// Perspective projection; aspect multiplies the x scale.
MathCode MatrixProjection(Matrix4& out, float fov, float aspect, float nearPlane, float farPlane);
void MatrixRotationX(Matrix4& out, float angle);
void MatrixRotationY(Matrix4& out, float angle);
void MatrixRotationZ(Matrix4& out, float angle);
// out = RotationX(ax) x RotationY(ay) x RotationZ(az): the x turn is applied to a point first.
void RotationFromAngles(Matrix4& out, float ax, float ay, float az);

// An object's or frame's placement: scale x rotation (degrees; order 1 turns x first, 0 z
// first) x translation. Objects keep the result until they move.
void MatrixFromPlacement(Matrix4& out, float x, float y, float z, float ax, float ay, float az, float sx, float sy,
                         float sz, int32_t order);

// Angles (radians, each in [0, 2 pi)) that turn the +z axis towards (toX, toY, toZ); az is 0.
void AnglesToPoint(float fromX, float fromY, float fromZ, float toX, float toY, float toZ,
                   float& ax, float& ay, float& az);
// Euler angles in degrees of the upper 3x3 (static frame, X-Y-Z order).
void MatrixToAnglesDegrees(const Matrix4& m, float& ax, float& ay, float& az);
// Brings an angle in degrees into [0, 360) in at most 100 steps of 360; 0.0 when that is not enough.
float WrapAngleBounded(float angle);

// A box for the overlap test: centre in world space, half-extent along each local axis, and
// the orientation whose transformed unit vectors give the box's axes.
struct OrientedBox {
  Vector3 centre;
  Vector3 halfExtent;
  Matrix4 orientation;
};
// Separating-axis test on the 15 axes of two oriented boxes; true when they overlap.
bool OrientedBoxesOverlap(OrientedBox a, OrientedBox b);

// Double-precision 4x4 matrices and 4-vectors with angles in degrees, kept for tools; the
// engine itself works in floats.
struct Vec4d {
  double x, y, z, w;
};
struct Matrix4d {
  double m[4][4];
};
double DegreesToRadiansD(double degrees);
void Matrix4dIdentity(Matrix4d& out);
void Matrix4dMultiply(Matrix4d& out, const Matrix4d& a, const Matrix4d& b);
Vec4d Vec4dTransform(const Vec4d& v, const Matrix4d& m);
void Matrix4dRotateX(Matrix4d& m, double degrees);
void Matrix4dRotateY(Matrix4d& m, double degrees);
void Matrix4dRotateZ(Matrix4d& m, double degrees);
void Matrix4dTranslate(Matrix4d& m, double x, double y, double z);
Vec4d Vec4dNormalize(const Vec4d& v);
Vec4d Vec4dNegate(const Vec4d& v);
Vec4d Vec4dCross(const Vec4d& a, const Vec4d& b);
void Matrix4dLookAt(Matrix4d& out, const Vec4d& eye, const Vec4d& target, const Vec4d& up);
double Matrix4dGet(const Matrix4d& m, int row, int column);
void Matrix4dSet(Matrix4d& m, int row, int column, double value);
