#include "engine3d/scene/rotation.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

TEST(DirectionToAngles, TurnsTheViewTowardsTheDirection) {
  const Vector3f ahead = DirectionToAngles(Vector3f{0, 0, 0}, Vector3f{0, 0, 5});
  EXPECT_EQ(ahead, (Vector3f{0, 0, 0}));
  const Vector3f right = DirectionToAngles(Vector3f{1, 1, 1}, Vector3f{4, 1, 1});
  EXPECT_FLOAT_EQ(right.y, 1.5707964f);
  EXPECT_FLOAT_EQ(right.x, 0.0f);
  // Upwards is a negative turn about x, kept within the turn.
  const Vector3f up = DirectionToAngles(Vector3f{0, 0, 0}, Vector3f{0, 1, 1});
  EXPECT_NEAR(up.x, 6.2831855f - 0.7853982f, 1e-5f);
  const Vector3f behind = DirectionToAngles(Vector3f{0, 0, 0}, Vector3f{-1, 0, -1});
  EXPECT_NEAR(behind.y, 3.9269908f, 1e-5f);
}

TEST(MatrixToEulerAngles, RecoversTheAnglesOfARotation) {
  // The conversion reads the matrix the published way round: the angles of
  // Rz(-z) x Ry(-y) x Rx(-x) in the engine's row-vector routines.
  Matrix4 x, y, z;
  MatrixRotationX(x, -0.3f);
  MatrixRotationY(y, 0.2f);
  MatrixRotationZ(z, -0.5f);
  const Vector3f degrees = MatrixToEulerAngles(z * y * x);
  EXPECT_NEAR(degrees.x, 0.3f * kRadiansToDegrees, 1e-3f);
  EXPECT_NEAR(degrees.y, -0.2f * kRadiansToDegrees, 1e-3f);
  EXPECT_NEAR(degrees.z, 0.5f * kRadiansToDegrees, 1e-3f);
}

TEST(EulerFromMatrix, GivesNoZAngleWhenLookingStraightUpOrDown) {
  Matrix4 m;
  MatrixRotationY(m, 1.5707964f);
  m.m[0][0] = m.m[1][0] = 0.0f;
  EXPECT_EQ(EulerFromMatrix(m).z, 0.0f);
}

TEST(RotateMatrixByAngles, TurnsOnTheRightAndSkipsZeroAngles) {
  Matrix4 m = Matrix4::Identity();
  RotateMatrixByAngles(m, 0, 90, 0);
  Matrix4 expected;
  MatrixRotationY(expected, 90 * kDegreesToRadians);
  EXPECT_EQ(m, expected);
  Matrix4 unchanged = expected;
  RotateMatrixByAngles(unchanged, 0, 0, 0);
  EXPECT_EQ(unchanged, expected);
  Matrix4 x;
  MatrixRotationX(x, 30 * kDegreesToRadians);
  RotateMatrixByAngles(m, 30, 0, 0);
  EXPECT_EQ(m, expected * x);
}

}  // namespace
}  // namespace zv
