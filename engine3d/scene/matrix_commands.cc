#include "engine3d/scene/matrix_commands.h"

#include <cmath>

#include "display/graphics.h"
#include "engine3d/commands/command_checks.h"
#include "engine3d/objects/model_loading.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/textures.h"
#include "engine3d/scene/camera_view.h"
#include "engine3d/scene/matrix_grid.h"
#include "engine3d/scene/matrix_terrain.h"

namespace zv {
namespace {

namespace err = matrix_error;

constexpr int64_t kMostTriangles = 10000;

// The matrix of a command: its object record and grid.
struct Matrix {
  int32_t index = 0;
  ObjectRecord* object = nullptr;
  MeshRecord* mesh = nullptr;

  MatrixGrid Grid() const { return MatrixGrid(*mesh, object->tiles_x, object->tiles_z); }
  explicit operator bool() const { return object != nullptr && mesh != nullptr; }
};

// The engine and matrix `number` with its grid, after the number checks
// (7010, 7013); the matrix is empty after raising, or when its grid is not
// whole.
struct FoundMatrix {
  Engine3D* e = nullptr;
  Matrix m;
};

FoundMatrix CheckedMatrixGrid(Vm& vm, int32_t number) {
  const auto [e, index] = CheckedMatrix(vm, number);
  MeshRecord* mesh = nullptr;
  if (index == 0 || !MatrixGridOf(*e, index, &mesh)) return FoundMatrix{e, Matrix{}};
  return FoundMatrix{e, Matrix{index, &e->pools.objects[index], mesh}};
}

RenderMarks& MarksOf(Engine3D& e, const Matrix& m) { return e.Marks(m.object->render_record); }

// The size of the image whose texture the matrix shows, for the insets.
void TextureImageSize(Engine3D& e, const Matrix& m, float* width, float* height) {
  *width = *height = 0.0f;
  Graphics* graphics = FindGraphics(e.Machine());
  const int32_t image = m.object->Limb(0) ? m.object->Limb(0)->image_index : 0;
  if (!graphics || image <= 0 || !graphics->Pools().images.InUse(image)) return;
  const ImageRecord& record = graphics->Pools().images[image];
  *width = static_cast<float>(record.width);
  *height = static_cast<float>(record.height);
}

// One over a size, or no inset for an image without a size.
float InsetOf(float amount, float size) { return size > 0.0f ? amount / size : 0.0f; }

// The texture rectangle of `tile`, drawn in by (amount u, amount v) texels.
MatrixGrid::TileUV TileRect(Engine3D& e, const Matrix& m, int32_t tile, float amount_u, float amount_v) {
  float width = 0.0f, height = 0.0f;
  TextureImageSize(e, m, &width, &height);
  return MatrixTileUV(tile, m.object->texture_tiles_x, m.object->texture_tiles_z, InsetOf(amount_u, width),
                      InsetOf(amount_v, height));
}

bool TileExists(const Matrix& m, int32_t tile) {
  return m.object->texture_tiles >= 1 && tile <= m.object->texture_tiles;
}

bool PointInGrid(const Matrix& m, int32_t x, int32_t z) {
  return MatrixGrid::PointInGrid(x, z, m.object->tiles_x, m.object->tiles_z);
}

bool CellInGrid(const Matrix& m, int32_t x, int32_t z) {
  return x >= 0 && x < m.object->tiles_x && z >= 0 && z < m.object->tiles_z;
}

// ---- Making and deleting ---------------------------------------------------------------

// Matrix `number` whose object record is `index` goes with its grid.
void DeleteMatrix(Engine3D& e, int32_t index, int32_t number) {
  ObjectRecord& o = e.pools.objects[index];
  if (LimbRecord* limb = o.Limb(0); limb && limb->grid_mesh > 0) {
    e.pools.FreeMesh(limb->grid_mesh);
    limb->grid_mesh = 0;
  }
  o.in_use = 0;
  e.FreeRenderRecord(o.render_record);
  ReleaseObjectRecord(e, index);
  e.matrix_ids.Set(number, 0);
}

void CmdMakeMatrix(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float width = vm.NextFloat();
  const float depth = vm.NextFloat();
  const int32_t tiles_x = vm.NextInt();
  const int32_t tiles_z = vm.NextInt();
  YieldForRefresh(vm);
  Engine3D* e = FindEngine(vm);
  if (!e) return;
  if (!IdMap::InRange(number)) return vm.RunError(err::kNumber);
  if (FindMatrix(*e, number) != 0) return vm.RunError(err::kExists);
  if (!(width > 0.0f) || !(depth > 0.0f)) return vm.RunError(err::kSize);
  if (tiles_x < 1 || tiles_z < 1) return vm.RunError(err::kTiles);
  if (int64_t{tiles_x} * tiles_z * 2 > kMostTriangles) return vm.RunError(err::kTooLarge);

  const int32_t index = AllocObjectRecord(*e);
  if (index == kNoRecord) return;
  const int32_t mesh = e->pools.AllocMesh(vm);
  if (mesh == kNoRecord) {
    ReleaseObjectRecord(*e, index);
    return;
  }
  e->matrix_ids.Set(number, index);
  BuildMatrixGrid(e->pools.meshes[mesh], width, depth, tiles_x, tiles_z);
  ObjectRecord& o = e->pools.objects[index];
  o.grid_width = width;
  o.grid_depth = depth;
  o.tiles_x = tiles_x;
  o.tiles_z = tiles_z;
  o.texture_tiles = 0;
  MakeObjectModelFromMesh(*e, index, mesh, 0);
  const int32_t record = SetUpObject(*e, index, false);
  ObjectRecord& made = e->pools.objects[index];
  made.Limb(0)->grid_mesh = mesh;
  made.limb_count = 1;
  if (record == kNoRecord) return DeleteMatrix(*e, index, number);
  RenderMarks& marks = e->Marks(record);
  marks.wireframe = 1;
  marks.culling = 0;
  marks.address_mode = 2;
  Vector3f centre;
  float radius = -1.0f;
  if (made.model) made.model->GetModelBoundingSphere(&centre, &radius);
  // Drawing culls by a sphere about the corner, which must reach the far
  // corner: a camera inside the matrix facing away from (0, 0) still sees it.
  ComputeObjectBounds(*e, index);
  made.collision_on = 0;
  // The camera looks along the matrix from its middle.
  CameraState& c = e->camera;
  c.position = Vector3f{width / 2, radius / 100 + centre.y, depth / 2};
  c.look_at = Vector3f{c.position.x, c.position.y, c.position.z + 100.0f};
  UpdateCameraLookAt(*e);
}

void CmdDeleteMatrix(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, index] = CheckedMatrix(vm, number);
  if (index != 0) DeleteMatrix(*e, index, number);
}

// ---- How it is drawn ------------------------------------------------------------------------

template <uint32_t On>
void CmdSetMatrixWireframe(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (m) MarksOf(*e, m).wireframe = On;
}

void CmdSetMatrixRenderFlags(Vm& vm) {
  const int32_t number = vm.NextInt();
  int32_t f[7];
  for (int32_t& flag : f) flag = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  RenderMarks& marks = MarksOf(*e, m);
  marks.wireframe = f[0] == 1 ? 0 : 1;
  marks.colour_key = f[1] == 1 ? 0 : 1;
  marks.culling = f[2] == 1 ? 1 : 0;
  marks.filtering = f[3] == 1 ? 1 : 0;
  marks.unlit = f[4] == 1 ? 0 : 1;
  marks.fog = f[5] != 0 ? 1 : 0;
  marks.ambient = f[6] != 0 ? 1 : 0;
  if (marks.colour_key == 1) KeyLimbTexturesOnBlack(*e, m.index);
}

void CmdEnableMatrixGhost(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m || e->Capabilities().blend_mode == 0) return;
  RenderMarks& marks = MarksOf(*e, m);
  marks.ghost = 1;
  marks.ghost_mode = 0;
}

void CmdDisableMatrixGhost(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  RenderMarks& marks = MarksOf(*e, m);
  marks.ghost = 0;
  marks.ghost_mode = 0;
}

void CmdSetMatrixTextureMode(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t mode = vm.NextInt();
  const int32_t mipmap = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  const Device3DCapabilities& caps = e->Capabilities();
  RenderMarks& marks = MarksOf(*e, m);
  if (mode == 0 && caps.wrap_available) marks.address_mode = 1;
  if (mode == 1 && caps.mirror_available) marks.address_mode = 2;
  if (mode == 2 && caps.clamp_available) marks.address_mode = 3;
  if (mipmap == 1 && marks.colour_key == 0 && caps.mipmap_available) BuildLimbTextureMipmaps(*e, m.index);
}

void CmdPositionMatrix(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float x = vm.NextFloat();
  const float y = vm.NextFloat();
  const float z = vm.NextFloat();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  e->Sprites()[m.object->render_record].position = {x, y, z};
  if (m.object->model)
    m.object->model->SetObjectTransformDegrees(0, Vector3f{x, y, z}, m.object->angles, Vector3f{1, 1, 1},
                                               m.object->rotation_order);
}

// ---- Shape ------------------------------------------------------------------------------------

void CmdSetMatrixHeight(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t z = vm.NextInt();
  const float height = vm.NextFloat();
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  if (!PointInGrid(m, x, z)) return vm.RunError(err::kPoint);
  m.Grid().SetPointHeight(x, z, height);
}

void CmdSetMatrixNormal(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t z = vm.NextInt();
  const float nx = vm.NextFloat();
  const float ny = vm.NextFloat();
  const float nz = vm.NextFloat();
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  if (!PointInGrid(m, x, z)) return vm.RunError(err::kPoint);
  m.Grid().SetPointNormal(x, z, Vector3f{nx, ny, nz});
}

void CmdRandomizeMatrix(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float maximum = vm.NextFloat();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  if (!(maximum > 0.0f)) return vm.RunError(err::kHeight);
  RandomizeMatrix(*e, m.index, maximum);
  UpdateMatrix(*e, m.index);
}

void CmdUpdateMatrix(Vm& vm) {
  const int32_t number = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (m) UpdateMatrix(*e, m.index);
}

// The shifts, updating at once or (the deferred forms) when the flag is 1.
template <void (MatrixGrid::*Shift)(), bool Deferred>
void CmdShiftMatrix(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t flag = Deferred ? vm.NextInt() : 1;
  if (!Deferred) YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  MatrixGrid grid = m.Grid();
  (grid.*Shift)();
  if (flag == 1) UpdateMatrix(*e, m.index);
}

// ---- Texture ---------------------------------------------------------------------------------

void CmdPrepareMatrixTexture(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t image = vm.NextInt();
  const int32_t across = vm.NextInt();
  const int32_t down = vm.NextInt();
  YieldForRefresh(vm);
  auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  const int32_t image_record = ExistingImage(vm, image);
  if (image_record == 0) return;
  if (across < 1 || down < 1) return;
  // A tile is at least one pixel of the image, which also keeps the tile
  // count within 32 bits.
  const ImageRecord& picture = FindGraphics(vm)->Pools().images[image_record];
  if (across > picture.width || down > picture.height) return vm.RunError(err::kTile);
  GiveLimbTexture(*e, m.index, 0, GetImageTexture(*e, image_record, true));
  m.object = &e->pools.objects[m.index];
  LimbRecord* limb = m.object->Limb(0);
  limb->image_index = image_record;
  limb->image_number = image;
  MarksOf(*e, m).wireframe = 0;
  m.object->texture_tiles_x = across;
  m.object->texture_tiles_z = down;
  m.object->texture_tiles = across * down;
  float width = 0.0f, height = 0.0f;
  TextureImageSize(*e, m, &width, &height);
  m.Grid().SetAllCellUV(MatrixTileUV(1, across, down, InsetOf(1.0f, width * static_cast<float>(across)),
                                     InsetOf(1.0f, height * static_cast<float>(down))));
  UpdateMatrix(*e, m.index);
}

void CmdFillMatrix(Vm& vm) {
  const int32_t number = vm.NextInt();
  const float height = vm.NextFloat();
  const int32_t tile = vm.NextInt();
  YieldForRefresh(vm);
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  if (!TileExists(m, tile)) return vm.RunError(err::kTile);
  MatrixGrid grid = m.Grid();
  grid.SetAllHeights(height);
  grid.SetAllCellUV(TileRect(*e, m, tile, 1.0f, 1.0f));
  UpdateMatrix(*e, m.index);
}

// 7132 insets a tile by one texel, 7138 by the amounts it is given.
template <bool Inset>
void CmdSetMatrixTile(Vm& vm) {
  const int32_t number = vm.NextInt();
  const int32_t x = vm.NextInt();
  const int32_t z = vm.NextInt();
  const int32_t tile = vm.NextInt();
  const float inset_u = Inset ? vm.NextFloat() : 1.0f;
  const float inset_v = Inset ? vm.NextFloat() : 1.0f;
  const auto [e, m] = CheckedMatrixGrid(vm, number);
  if (!m) return;
  if (!CellInGrid(m, x, z)) return vm.RunError(err::kPoint);
  if (!TileExists(m, tile)) return vm.RunError(err::kTile);
  m.Grid().SetCellUV(x, z, TileRect(*e, m, tile, inset_u, inset_v));
}

}  // namespace

void RegisterMatrixHandlers(HandlerTable& table) {
  table.Set(7101, CmdMakeMatrix);
  table.Set(7102, CmdDeleteMatrix);
  table.Set(7103, CmdSetMatrixWireframe<1>);  // enable matrix wireframe
  table.Set(7104, CmdSetMatrixWireframe<0>);  // disable matrix wireframe
  table.Set(7105, CmdFillMatrix);
  table.Set(7106, CmdRandomizeMatrix);
  table.Set(7107, CmdSetMatrixHeight);
  table.Set(7108, CmdPositionMatrix);
  table.Set(7111, CmdShiftMatrix<&MatrixGrid::ShiftMinusZ, false>);  // shift matrix minus z
  table.Set(7112, CmdShiftMatrix<&MatrixGrid::ShiftPlusZ, false>);  // shift matrix plus z
  table.Set(7113, CmdShiftMatrix<&MatrixGrid::ShiftMinusX, false>);  // shift matrix minus x
  table.Set(7114, CmdShiftMatrix<&MatrixGrid::ShiftPlusX, false>);  // shift matrix plus x
  table.Set(7115, CmdShiftMatrix<&MatrixGrid::ShiftMinusZ, true>);  // shift matrix minus z
  table.Set(7116, CmdShiftMatrix<&MatrixGrid::ShiftPlusZ, true>);  // shift matrix plus z
  table.Set(7117, CmdShiftMatrix<&MatrixGrid::ShiftMinusX, true>);  // shift matrix minus x
  table.Set(7118, CmdShiftMatrix<&MatrixGrid::ShiftPlusX, true>);  // shift matrix plus x
  table.Set(7121, CmdUpdateMatrix);
  table.Set(7131, CmdPrepareMatrixTexture);
  table.Set(7132, CmdSetMatrixTile<false>);
  table.Set(7133, CmdSetMatrixNormal);
  table.Set(7134, CmdSetMatrixRenderFlags);
  table.Set(7135, CmdEnableMatrixGhost);
  table.Set(7136, CmdDisableMatrixGhost);
  table.Set(7137, CmdSetMatrixTextureMode);
  table.Set(7138, CmdSetMatrixTile<true>);
}

}  // namespace zv
