#pragma once

#include <cstdint>

#include "engine3d/objects/matrix_math.h"
#include "engine3d/objects/object_record.h"

namespace zv {

class Engine3D;
class Vm;

// Runtime errors of the matrix commands and queries.
namespace matrix_error {
constexpr int32_t kExists = 7009;    // making a matrix whose number is in use
constexpr int32_t kNumber = 7010;    // outside 1..65535
constexpr int32_t kSize = 7011;      // width or depth not above 0
constexpr int32_t kTiles = 7012;     // fewer than one tile across or down
constexpr int32_t kMissing = 7013;   // no matrix of that number
constexpr int32_t kHeight = 7014;    // a randomize maximum not above 0
constexpr int32_t kTooLarge = 7015;  // more than 10000 triangles
constexpr int32_t kTile = 7016;      // no texture tile of that number
constexpr int32_t kPoint = 7017;     // a grid point or cell outside the grid
}  // namespace matrix_error

// A matrix's grid as its mesh record lays it out: per cell (x-major: cell
// (x, z) is number x * tiles_z + z) four corners A (x0, z0), B (x1, z0),
// C (x1, z1), D (x0, z1), each with a position, a normal and u, v. Grid
// point (x, z), 0 <= x <= tiles_x and 0 <= z <= tiles_z, is the corner the
// cells around it share; writing a point writes every one of those
// corners, so they stay equal.
class MatrixGrid {
 public:
  MatrixGrid(MeshRecord& mesh, int32_t tiles_x, int32_t tiles_z) : mesh_(mesh), tiles_x_(tiles_x), tiles_z_(tiles_z) {}

  int32_t TilesX() const { return tiles_x_; }
  int32_t TilesZ() const { return tiles_z_; }
  // False when the record does not hold the grid's four corners per cell.
  bool Whole() const;
  static bool PointInGrid(int32_t x, int32_t z, int32_t tiles_x, int32_t tiles_z) {
    return x >= 0 && x <= tiles_x && z >= 0 && z <= tiles_z;
  }

  float PointHeight(int32_t x, int32_t z) const;
  Vector3f PointNormal(int32_t x, int32_t z) const;
  void SetPointHeight(int32_t x, int32_t z, float height);
  void SetPointNormal(int32_t x, int32_t z, const Vector3f& normal);
  void SetAllHeights(float height);

  // The texture rectangle of a cell: A takes (ua, vb), B (ub, vb), C (ub,
  // va), D (ua, va).
  struct TileUV {
    float ua = 0, va = 0, ub = 0, vb = 0;
  };
  void SetCellUV(int32_t x, int32_t z, const TileUV& uv);
  void SetAllCellUV(const TileUV& uv);

  // Each shift turns the grid's contents by one line (the points of lines 0
  // to tiles - 1 and the cells' texture rectangles), toward minus or plus x
  // or z; the far line of points (x = tiles_x or z = tiles_z) stays.
  void ShiftMinusX();
  void ShiftPlusX();
  void ShiftMinusZ();
  void ShiftPlusZ();

 private:
  // The first float of corner `corner` (0 A, 1 B, 2 C, 3 D) of cell (x, z).
  size_t Corner(int32_t x, int32_t z, int corner) const {
    return static_cast<size_t>((x * tiles_z_ + z) * 4 + corner);
  }
  // The point's height and normal, or its cell's texture rectangle.
  struct PointValue {
    float height;
    Vector3f normal;
  };
  PointValue Point(int32_t x, int32_t z) const;
  void SetPoint(int32_t x, int32_t z, const PointValue& value);
  TileUV CellUV(int32_t x, int32_t z) const;
  template <class Read, class Write>
  void Rotate(int32_t count, bool toward_minus, Read read, Write write);

  MeshRecord& mesh_;
  int32_t tiles_x_, tiles_z_;
};

// The texture rectangle of tile `tile` (from 1; 0 or less is tile 1) of a
// texture cut into across x down tiles, drawn in by the insets.
MatrixGrid::TileUV MatrixTileUV(int32_t tile, int32_t across, int32_t down, float inset_u, float inset_v);

// ---- Matrices of the engine --------------------------------------------------------------

// The object record holding matrix `number`, or 0.
int32_t FindMatrix(Engine3D& e, int32_t number);
// The same for a command or query: runtime error 7010 for a number outside
// 1..65535, 7013 for one without a matrix; 0 after raising.
int32_t ExistingMatrix(Vm& vm, Engine3D& e, int32_t number);
// The grid of a matrix's object record (its limb 0 mesh); false when it has
// none.
bool MatrixGridOf(Engine3D& e, int32_t object, MeshRecord** mesh);

// The height of grid point (x, z), which the caller has checked.
float GetMatrixPointHeight(Engine3D& e, int32_t object, int32_t x, int32_t z);
// Every grid point a height from the one random generator, drawn point by
// point (x outer, z inner, both ends included): (r mod trunc(maximum x
// 100)) / 100.
void RandomizeMatrix(Engine3D& e, int32_t object, float maximum);
// The drawn grid takes the mesh record's present arrays.
void UpdateMatrix(Engine3D& e, int32_t object);

// Deletes every matrix (at the release of everything).
void ReleaseAllMatrices(Engine3D& e);

}  // namespace zv
