#include "engine3d/objects/matrix_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zv {
namespace {

Matrix4 Sample() {
  Matrix4 m;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m.m[i][j] = static_cast<float>(i * 4 + j + 1) * (j % 2 ? -0.5f : 1.0f);
  return m;
}

TEST(MatrixMultiply, GivesTheSameProductWhenTheOutputIsAnOperand) {
  const Matrix4 a = Sample();
  Matrix4 b;
  MatrixRotationY(b, 0.7f);
  const Matrix4 expected = a * b;
  Matrix4 left = a, right = b;
  MatrixMultiply(left, left, b);
  MatrixMultiply(right, a, right);
  EXPECT_EQ(left, expected);
  EXPECT_EQ(right, expected);
}

TEST(MatrixInvertAffine, InvertsAndRefusesMatricesThatAreNotAffine) {
  Matrix4 r, t, inverse;
  MatrixRotationX(r, 0.4f);
  MatrixTranslation(t, 3, -2, 5);
  const Matrix4 m = r * t;
  ASSERT_EQ(MatrixInvertAffine(inverse, m), 0);
  const Matrix4 product = m * inverse;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j ? 1.0f : 0.0f, 1e-5f);

  Matrix4 skewed = Matrix4::Identity();
  skewed.m[2][3] = 0.0011f;
  inverse = Sample();
  EXPECT_EQ(MatrixInvertAffine(inverse, skewed), kInvalidArgument);
  EXPECT_EQ(inverse, Sample());  // left as it was
  Matrix4 nearly = Matrix4::Identity();
  nearly.m[3][3] = 1.0009f;
  EXPECT_EQ(MatrixInvertAffine(inverse, nearly), 0);
}

TEST(TransformPointProject, DividesByWAndRefusesAVanishingW) {
  Matrix4 m = Matrix4::Identity();
  m.m[3][3] = 2.0f;
  Vector3f out;
  ASSERT_EQ(TransformPointProject(out, Vector3f{2, 4, 6}, m), 0);
  EXPECT_EQ(out, (Vector3f{1, 2, 3}));
  m.m[3][3] = 1e-6f;
  out = Vector3f{7, 7, 7};
  EXPECT_EQ(TransformPointProject(out, Vector3f{0, 0, 0}, m), kInvalidArgument);
  EXPECT_EQ(out, (Vector3f{7, 7, 7}));
}

TEST(BuildLookAtMatrix, LooksAlongTheViewAndFallsBackForAnUpAlongIt) {
  Matrix4 view;
  ASSERT_EQ(BuildLookAtMatrix(view, Vector3f{0, 0, -10}, Vector3f{0, 0, 0}, Vector3f{0, 1, 0}), 0);
  Vector3f p;
  TransformPointProject(p, Vector3f{0, 0, 0}, view);
  EXPECT_NEAR(p.z, 10.0f, 1e-5f);
  // Looking straight up: the up vector (0, 1, 0) runs along the view, so
  // (0, 0, 1) serves instead.
  ASSERT_EQ(BuildLookAtMatrix(view, Vector3f{0, 0, 0}, Vector3f{0, 5, 0}, Vector3f{0, 1, 0}), 0);
  TransformPointProject(p, Vector3f{0, 5, 0}, view);
  EXPECT_NEAR(p.z, 5.0f, 1e-5f);
  Matrix4 untouched = Sample();
  EXPECT_EQ(BuildLookAtMatrix(untouched, Vector3f{1, 2, 3}, Vector3f{1, 2, 3}, Vector3f{0, 1, 0}), kInvalidArgument);
  EXPECT_EQ(untouched, Sample());
}

TEST(BuildProjectionMatrix, RefusesEqualRangesAndAZeroFieldOfView) {
  Matrix4 m;
  EXPECT_EQ(BuildProjectionMatrix(m, 1.0f, 0.75f, 5.0f, 5.0f), kInvalidArgument);
  EXPECT_EQ(BuildProjectionMatrix(m, 0.0f, 0.75f, 1.0f, 100.0f), kInvalidArgument);
  ASSERT_EQ(BuildProjectionMatrix(m, 1.0814433f, 0.75f, 1.0f, 3000.0f), 0);
  EXPECT_NEAR(m.m[1][1], 1.6655f, 1e-3f);
  EXPECT_NEAR(m.m[0][0], 0.75f * m.m[1][1], 1e-6f);
  EXPECT_EQ(m.m[2][3], 1.0f);
  EXPECT_NEAR(m.m[3][2], -3000.0f / 2999.0f, 1e-5f);
}

TEST(WrapAngle, BringsEveryFiniteAngleIntoTheTurn) {
  EXPECT_EQ(WrapAngle(-30.0f), 330.0f);
  EXPECT_EQ(WrapAngle(360.0f), 0.0f);
  EXPECT_EQ(WrapAngle(720.0f), 0.0f);
  EXPECT_EQ(WrapAngle(36500.0f), 140.0f);
  EXPECT_EQ(WrapAngle(359.5f), 359.5f);
  EXPECT_EQ(WrapAngle(std::numeric_limits<float>::quiet_NaN()), 0.0f);
  EXPECT_EQ(WrapAngle(std::numeric_limits<float>::infinity()), 0.0f);
  // A whole negative turn, or -0 itself, is 0 and never prints as "-0".
  for (const float turn : {-0.0f, -360.0f, -720.0f, 720.0f})
    EXPECT_FALSE(std::signbit(WrapAngle(turn))) << turn;
  const float tiny = WrapAngle(-1e-8f);
  EXPECT_GE(tiny, 0.0f);
  EXPECT_LT(tiny, 360.0f);
}

}  // namespace
}  // namespace zv
