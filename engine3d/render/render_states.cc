#include "engine3d/render/render_states.h"

#include <algorithm>

#include "engine3d/engine.h"
#include "engine3d/objects/object_model.h"
#include "engine3d/objects/object_setup.h"
#include "engine3d/render/scene_render.h"
#include "engine3d/scene/animation.h"
#include "engine3d/scene/rotation.h"
#include "runtime/vm/numeric/float_to_int.h"

namespace zv {
namespace {

namespace p = platform;
using p::RenderState;

void Send(p::Device3D& d, RenderState state, uint32_t value) { d.SetRenderState(state, value); }

void SendBlendPair(p::Device3D& d, const BlendPair& pair) {
  Send(d, RenderState::kSrcBlend, pair.source);
  Send(d, RenderState::kDestBlend, pair.destination);
}

void SendDepthTest(p::Device3D& d, RenderStateCache& c, uint32_t on) {
  if (c.depth_test == on) return;
  Send(d, RenderState::kZEnable, on ? p::zbuffer::kTrue : p::zbuffer::kFalse);
  c.depth_test = on;
}

void SendDepthWrite(p::Device3D& d, RenderStateCache& c, uint32_t on) {
  if (c.depth_write == on) return;
  Send(d, RenderState::kZWriteEnable, on);
  c.depth_write = on;
}

void SendWireframe(p::Device3D& d, RenderStateCache& c, uint32_t on) {
  if (c.wireframe == on) return;
  Send(d, RenderState::kFillMode, on ? p::fill_mode::kWireframe : p::fill_mode::kSolid);
  c.wireframe = on;
}

void SendCulling(p::Device3D& d, RenderStateCache& c, uint32_t on) {
  if (c.culling == on) return;
  Send(d, RenderState::kCullMode, on ? p::cull_mode::kCcw : p::cull_mode::kNone);
  c.culling = on;
}

void SendAddress(p::Device3D& d, RenderStateCache& c, uint32_t mode) {
  if (c.texture_address == mode) return;
  c.texture_address = mode;
  d.SetTextureStageState(0, p::TextureStageState::kAddress, mode);
}

void SelectMaterial(Engine3D& e, uint32_t selection) {
  if (e.cache.material == selection) return;
  e.cache.material = selection;
  ApplyMaterialSelection(e);
}

ObjectModel* ModelOf(Engine3D& e, int32_t object) {
  ObjectRecord* o = e.pools.Object(object);
  return o ? o->model.get() : nullptr;
}

// Readies the device and the model for drawing or measuring the object:
// the world transform of its glue chain when it hangs from `glued_to`,
// returning the transform that was there for afterwards, and (instances
// share one model) its own placement on the root frame and its own pose on
// the others.
Matrix4 PlaceObjectModel(Engine3D& e, p::Device3D& d, int32_t object, int32_t glued_to) {
  Matrix4 base = Matrix4::Identity();
  if (glued_to > 0) {
    d.GetTransform(p::TransformState::kWorld, &base);
    ApplyGlueTransform(e, object, glued_to, base);
  }
  ReadyModelFor(e, object);
  return base;
}

}  // namespace

void SetStageTexture(Engine3D& e, int32_t texture) {
  p::Device3D* d = e.Device();
  if (!d) return;
  const TextureRecord* t = texture > 0 ? e.pools.Texture(texture) : nullptr;
  d->SetTexture(0, t ? t->surface : nullptr);
}

void SetTextureFilterPoint(Engine3D& e) {
  p::Device3D* d = e.Device();
  if (!d) return;
  d->SetTextureStageState(0, p::TextureStageState::kColorArg1, p::texture_arg::kTexture);
  d->SetTextureStageState(0, p::TextureStageState::kColorOp, p::texture_op::kModulate);
  d->SetTextureStageState(0, p::TextureStageState::kMinFilter, p::min_filter::kPoint);
  d->SetTextureStageState(0, p::TextureStageState::kMagFilter, p::mag_filter::kPoint);
}

void SetTextureFilterBest(Engine3D& e) {
  p::Device3D* d = e.Device();
  if (!d) return;
  switch (e.Capabilities().filter_level) {
    case 1:
      d->SetTextureStageState(0, p::TextureStageState::kMinFilter, p::min_filter::kLinear);
      d->SetTextureStageState(0, p::TextureStageState::kMagFilter, p::mag_filter::kLinear);
      break;
    case 2:
      d->SetTextureStageState(0, p::TextureStageState::kMinFilter, p::min_filter::kAnisotropic);
      d->SetTextureStageState(0, p::TextureStageState::kMagFilter, p::mag_filter::kAnisotropic);
      break;
    default:
      if (e.Capabilities().filter_level <= 0) SetTextureFilterPoint(e);
      break;
  }
}

void ApplyMaterialSelection(Engine3D& e) {
  p::Device3D* d = e.Device();
  if (!d) return;
  const DeviceMaterials materials = MakeDeviceMaterials(e.settings.ambient_level);
  switch (e.cache.material) {
    case kAmbientOnlyMaterial: d->SetMaterial(materials.ambient_only); break;
    case kDiffuseOnlyMaterial: d->SetMaterial(materials.diffuse_only); break;
    default: d->SetMaterial(materials.scene); break;
  }
}

void ResetRenderStateCache(Engine3D& e) { e.cache = RenderStateCache{}; }

void ResetRenderStates(Engine3D& e) {
  p::Device3D* d = e.Device();
  if (!d) return;
  RenderStateCache& c = e.cache;
  if (c.depth_test == 0) SendDepthTest(*d, c, 1);
  if (c.depth_write == 0) SendDepthWrite(*d, c, 1);
  if (c.blend_state != 0 || c.ghost_mode1 != 0) {
    Send(*d, RenderState::kAlphaBlendEnable, 0);
    Send(*d, RenderState::kColorKeyEnable, 0);
    c.blend_state = 0;
    SendBlendPair(*d, GhostBlendPair(e.Capabilities().blend_mode));
    c.ghost_mode1 = 0;
  }
  SendWireframe(*d, c, e.settings.wireframe_all == 1 ? 1 : 0);
  if (c.culling == 0) SendCulling(*d, c, 1);
  if (c.filtering == 0) {
    SetTextureFilterBest(e);
    c.filtering = 1;
  }
  SelectMaterial(e, kSceneMaterial);
  if (e.settings.fog_on == 1 && c.fog == 0) {
    Send(*d, RenderState::kFogEnable, 1);
    c.fog = 1;
  }
  if (e.settings.normalize_normals == 1 && c.normalise == 0) {
    Send(*d, RenderState::kNormalizeNormals, 1);
    c.normalise = 1;
  }
  SendAddress(*d, c, e.settings.texture_address_mode);
}

void ApplyRenderRecordStates(Engine3D& e, int32_t record) {
  p::Device3D* d = e.Device();
  if (!d) return;
  const RenderMarks& r = e.Marks(record);
  RenderStateCache& c = e.cache;
  const Device3DCapabilities& caps = e.Capabilities();

  if (record == e.backdrop.render_record || r.before_camera == 1) {
    SendDepthTest(*d, c, 0);
    SendDepthWrite(*d, c, 0);
  } else {
    SendDepthTest(*d, c, r.depth_test == 1 ? 1 : 0);
    SendDepthWrite(*d, c, r.depth_write == 1 && r.ghost == 0 ? 1 : 0);
  }

  uint32_t blend = 0;
  if (caps.blend_mode != 0 && r.ghost == 1) blend += 1;
  if (caps.colour_key_available && r.colour_key == 1) blend += 2;
  const uint32_t mode1 = r.ghost_mode == 1 ? 1 : 0;
  if (blend != c.blend_state || mode1 != c.ghost_mode1) {
    Send(*d, RenderState::kAlphaBlendEnable, blend == 1 || blend == 3);
    Send(*d, RenderState::kColorKeyEnable, blend == 2 || blend == 3);
    if (blend == 1 || blend == 3) {
      SendBlendPair(*d, mode1 ? MultiplyBlendPair(caps.multiply_blend_mode) : GhostBlendPair(caps.blend_mode));
    } else {
      Send(*d, RenderState::kSrcBlend, caps.back_buffer_premultiplied ? p::blend::kOne : p::blend::kSrcAlpha);
      Send(*d, RenderState::kDestBlend, p::blend::kInvSrcAlpha);
    }
    c.blend_state = blend;
    c.ghost_mode1 = mode1;
  }

  SendWireframe(*d, c, r.wireframe == 1 ? 1 : 0);
  SendCulling(*d, c, r.culling == 1 ? 1 : 0);
  const uint32_t filtering = r.filtering == 1 ? 1 : 0;
  if (c.filtering != filtering) {
    if (filtering)
      SetTextureFilterBest(e);
    else
      SetTextureFilterPoint(e);
    c.filtering = filtering;
  }
  SelectMaterial(e, r.unlit == 1 ? kAmbientOnlyMaterial : r.ambient == 1 ? kSceneMaterial : kDiffuseOnlyMaterial);
  if (e.settings.fog_on == 1) {
    const uint32_t fog = r.fog == 1 ? 1 : 0;
    if (c.fog != fog) {
      Send(*d, RenderState::kFogEnable, fog);
      c.fog = fog;
    }
  }
  const uint32_t normalise = e.settings.normalize_normals == 1 ? 1 : 0;
  if (c.normalise != normalise) {
    Send(*d, RenderState::kNormalizeNormals, normalise);
    c.normalise = normalise;
  }
  SendAddress(*d, c, r.address_mode);
}

void DrawObjectModel(Engine3D& e, int32_t object, int32_t texture) {
  ObjectRecord* o = e.pools.Object(object);
  p::Device3D* d = e.Device();
  if (!o || !o->model || !d) return;
  const int32_t glued_to = o->glued_to;
  const Matrix4 base = PlaceObjectModel(e, *d, object, glued_to);
  std::shared_ptr<ObjectModel> model = e.pools.objects[object].model;  // kept alive while drawing
  model->RenderModel(*d, texture);
  if (glued_to > 0) d->SetTransform(p::TransformState::kWorld, base);
}

void ApplyGlueTransform(Engine3D& e, int32_t object, int32_t glued_to, const Matrix4& base) {
  p::Device3D* d = e.Device();
  ObjectRecord* o = e.pools.Object(object);
  if (!d || !o) return;
  // Each object of the chain with the limb that the one below it hangs
  // from: object o from its own glue limb, the object it is glued to from
  // that object's glue limb, and so on up.
  struct Link {
    int32_t object, limb;
  };
  constexpr size_t kMostChain = 10;
  std::vector<Link> chain{{glued_to, o->glued_limb}};
  while (chain.size() < kMostChain) {
    const ObjectRecord* last = e.pools.Object(chain.back().object);
    if (!last || last->glued_to == 0) break;
    chain.push_back(Link{last->glued_to, last->glued_limb});
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    UpdateLimbWorldData(e, it->object, false);
    d->SetTransform(p::TransformState::kWorld, base * GetLimbFrameWorldMatrix(e, it->object, it->limb));
  }
}

void UpdateLimbWorldData(Engine3D& e, int32_t object, bool use_glue) {
  ObjectRecord* o = e.pools.Object(object);
  p::Device3D* d = e.Device();
  // Worked out afresh outside a render: the object, or what it hangs from,
  // may have moved since the last look, drawn or not. A model shared with
  // instances holds the world matrices of whichever was placed last.
  if (!o || !d) return;
  if (e.rendering_frame != 0 && o->limb_data_frame == e.rendering_frame && o->model.use_count() <= 1) return;
  o->limb_data_frame = e.rendering_frame;
  const int32_t glued_to = use_glue ? o->glued_to : 0;
  const Matrix4 base = PlaceObjectModel(e, *d, object, glued_to);
  if (std::shared_ptr<ObjectModel> model = e.pools.objects[object].model) model->RenderModelSecondPass(*d);
  if (glued_to > 0) d->SetTransform(p::TransformState::kWorld, base);
  o = e.pools.Object(object);
  if (!o) return;
  for (int32_t i = 0; i < o->LimbCapacity(); ++i) {
    LimbRecord& limb = *o->Limb(i);
    if (limb.in_use != 1) break;
    Matrix4 m = GetLimbFrameWorldMatrix(e, object, i);
    limb.world_position = Vector3f{m.m[3][0], m.m[3][1], m.m[3][2]};
    m.m[3][0] = m.m[3][1] = m.m[3][2] = 0.0f;
    Vector3f direction;
    TransformPointProject(direction, Vector3f{0, 0, 1}, m);
    limb.world_angles = DirectionToAngles(Vector3f{}, direction);
  }
}

Matrix4 GlueWorldMatrix(Engine3D& e, int32_t object) {
  const ObjectRecord* o = e.pools.Object(object);
  if (!o || o->glued_to == 0) return Matrix4::Identity();
  const int32_t target = o->glued_to, limb = o->glued_limb;
  UpdateLimbWorldData(e, target, true);
  return GetLimbFrameWorldMatrix(e, target, limb);
}

Matrix4 ObjectBaseMatrix(Engine3D& e, int32_t object) {
  const ObjectRecord* o = e.pools.Object(object);
  if (!o) return Matrix4::Identity();
  Matrix4 base = GlueWorldMatrix(e, object);
  // The camera-locked pass draws with no view: the camera's space is the
  // world turned back by the view.
  if (LockedToCamera(e, object)) {
    Matrix4 camera = Matrix4::Identity();
    MatrixInvertAffine(camera, e.camera.view);
    base = base * camera;
  }
  return base;
}

Vector3f CameraSpaceOrigin(Engine3D& e, int32_t object) {
  const ObjectRecord* o = e.pools.Object(object);
  if (!o) return Vector3f{};
  const auto& p = e.Sprites()[o->render_record].position;
  Vector3f origin{p[0], p[1], p[2]};
  if (o->glued_to != 0) TransformPointProject(origin, origin, GlueWorldMatrix(e, object));
  return origin;
}

Matrix4 GetLimbFrameWorldMatrix(Engine3D& e, int32_t object, int32_t limb) {
  Matrix4 m = Matrix4::Identity();
  if (ObjectModel* model = ModelOf(e, object)) model->GetLimbSecondMatrix(limb, &m);
  return m;
}

}  // namespace zv
