#pragma once

// Trigonometry on angles in degrees, as the language gives them. The angle
// is brought within 45 degrees of a multiple of 90 before it becomes
// radians, so what is exact in degrees comes out exact: sin(30) is 0.5,
// sin(180) and cos(90) are 0, tan(45) is 1, at any number of whole turns.
namespace zv {

double SinDegrees(double degrees);
double CosDegrees(double degrees);
// tan(90) is large and finite, as the standard function's at pi / 2.
double TanDegrees(double degrees);

// Conversions with pi / 180.
double RadiansOf(double degrees);
double DegreesOf(double radians);

}  // namespace zv
