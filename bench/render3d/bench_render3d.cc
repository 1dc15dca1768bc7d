// Frames per second of the software 3D device and of Mesa's software
// rasteriser (through OSMesa) in the same run, on two scenes at 640x480x32:
// 10,000 lit, textured, bilinear-filtered, depth-tested triangles scattered
// over 1000 objects; and the textured sphere of textured_sphere.kqa (10,000
// triangles in one object), which run.sh also times as the BASIC program.
// run.sh sets LP_NUM_THREADS=0 so that Mesa's rasteriser works on the
// calling thread alone, as ours does.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/render3d/bench_scene.h"
#include "platform/render3d/matrix.h"
#include "platform/render3d/render3d.h"
#include "platform/surface/png_writer.h"

#if ZV_HAVE_OSMESA
#include <GL/gl.h>
#include <GL/osmesa.h>
#endif

namespace zv::bench3d {
namespace {

using namespace zv::platform;

// With ZV_BENCH_DUMP=folder each renderer writes its frame there as a PNG,
// to see that both draw the same scene.
void Dump(const Surface& frame, const char* name) {
  if (const char* folder = std::getenv("ZV_BENCH_DUMP")) WriteSurfacePng(frame, std::string(folder) + "/" + name);
}

// The scene's 256 x 256 texture as a device texture.
TexturePtr UploadTexture(Render3D& render, const std::vector<uint32_t>& texels) {
  TexturePtr texture = render.CreateTexture(TextureDesc{kTextureSize, kTextureSize, Argb8888(), 1});
  LockedRegion region;
  texture->Lock(0, nullptr, 0, &region);
  for (int y = 0; y < kTextureSize; ++y)
    std::memcpy(region.bits + y * region.pitch, &texels[y * kTextureSize], kTextureSize * 4);
  texture->Unlock(0);
  return texture;
}

void SetUpDevice(Device3D& d, Render3D& render, const Scene& s, TexturePtr* texture) {
  d.SetTransform(TransformState::kView, s.view);
  d.SetTransform(TransformState::kProjection, s.projection);
  d.SetRenderState(RenderState::kAmbient, 0x303030);
  d.SetRenderState(RenderState::kNormalizeNormals, 1);
  Material m;
  m.diffuse = ColourValue{0.8f, 0.8f, 0.8f, 1};
  m.ambient = ColourValue{1, 1, 1, 1};
  d.SetMaterial(m);
  Light sun;
  sun.type = LightType::kDirectional;
  sun.diffuse = ColourValue{1, 1, 1, 0};
  sun.direction = Vector3{0.3f, -0.6f, 0.7f};
  d.SetLight(0, sun);
  d.LightEnable(0, true);
  Light lamp;
  lamp.type = LightType::kPoint;
  lamp.diffuse = ColourValue{1, 0.6f, 0.3f, 0};
  lamp.position = Vector3{0, 0, 10};
  lamp.range = 60;
  lamp.attenuation0 = 1;
  lamp.attenuation2 = 1.0f / 400.0f;
  d.SetLight(1, lamp);
  d.LightEnable(1, true);
  *texture = UploadTexture(render, s.texels);
  d.SetTexture(0, *texture);
  d.PreLoad(**texture);
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kLinear);
}

void DrawFrame(Device3D& d, const VertexBuffer& vb, const Scene& s) {
  d.Clear({}, clear::kTarget | clear::kZBuffer, 0xFF102030u, 1.0f);
  d.BeginScene();
  for (const Matrix4& world : s.worlds) {
    d.SetTransform(TransformState::kWorld, world);
    d.DrawIndexedPrimitiveVB(PrimitiveType::kTriangleList, vb, 0, static_cast<uint32_t>(s.vertices.size()),
                             s.indices);
  }
  d.EndScene();
}

struct DeviceRig {
  Render3D render;
  SurfacePtr target;
  std::unique_ptr<Device3D> device;
  TexturePtr texture;
  VertexBufferPtr vb;
};

void MakeDeviceRig(const Scene& s, DeviceRig& rig) {
  Render3D& render = rig.render;
  SurfaceDesc desc{kWidth, kHeight, PixelFormat::Xrgb8888(), SurfaceRole::kBackBuffer};
  rig.target = Surface::Create(desc);
  SurfaceDesc z{kWidth, kHeight, PixelFormat::Depth16(), SurfaceRole::kZBuffer};
  rig.target->AttachZBuffer(Surface::Create(z));
  rig.device = render.CreateDevice(DeviceKind::kHal, rig.target);
  SetUpDevice(*rig.device, render, s, &rig.texture);
  VertexBufferPtr& vb = rig.vb;
  vb = render.CreateVertexBuffer(
      VertexBufferDesc{vb_caps::kSystemMemory, kVertexFormatXyzNormalTex1, static_cast<uint32_t>(s.vertices.size())});
  std::span<Vertex> out;
  vb->Lock(kLockWriteOnly, &out);
  std::copy(s.vertices.begin(), s.vertices.end(), out.begin());
  vb->Unlock();
  vb->Optimize();
}

// Pixels our device writes per frame; Mesa draws the same scene, so its
// fill rate is given on the same count.
double PixelsPerFrame(const Scene& s, double* triangles = nullptr) {
  DeviceRig rig;
  MakeDeviceRig(s, rig);
  DrawFrame(*rig.device, *rig.vb, s);
  if (triangles) *triangles = static_cast<double>(rig.device->GetStats().triangles_drawn);
  return static_cast<double>(rig.device->GetStats().pixels_written);
}

void BM_SoftwareDevice(benchmark::State& state) {
  Scene s = MakeScene();
  DeviceRig rig;
  MakeDeviceRig(s, rig);
  Device3D& device = *rig.device;
  double triangles = 0;
  const double pixels = PixelsPerFrame(s, &triangles);
  DrawFrame(device, *rig.vb, s);  // warm-up
  Dump(*rig.target, "device.png");
  for (auto _ : state) DrawFrame(device, *rig.vb, s);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * pixels / 1e6,
                                                benchmark::Counter::kIsRate);
  state.counters["pix/frame"] = pixels;
  state.counters["tri_drawn/frame"] = triangles;
}
BENCHMARK(BM_SoftwareDevice)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The textured sphere straight on the device, with the states the engine
// sets for it: what the engine and the program add shows beside the BASIC
// figure of run.sh.

void MakeSphereRig(const SphereScene& s, DeviceRig& rig) {
  rig.target = Surface::Create(SurfaceDesc{kWidth, kHeight, PixelFormat::Xrgb8888(), SurfaceRole::kBackBuffer});
  rig.target->AttachZBuffer(Surface::Create(SurfaceDesc{kWidth, kHeight, PixelFormat::Depth16(), SurfaceRole::kZBuffer}));
  rig.device = rig.render.CreateDevice(DeviceKind::kHal, rig.target);
  Device3D& d = *rig.device;
  d.SetTransform(TransformState::kView, s.view);
  d.SetTransform(TransformState::kProjection, s.projection);
  d.SetRenderState(RenderState::kAmbient, 0xFFFFFF);
  Material m;
  m.diffuse = ColourValue{1 - s.ambient_level, 1 - s.ambient_level, 1 - s.ambient_level, 0};
  m.ambient = ColourValue{s.ambient_level, s.ambient_level, s.ambient_level, 0};
  d.SetMaterial(m);
  Light sun;
  sun.type = LightType::kDirectional;
  sun.diffuse = ColourValue{1, 1, 1, 0};
  sun.direction = s.light_direction;
  d.SetLight(0, sun);
  d.LightEnable(0, true);
  rig.texture = UploadTexture(rig.render, s.texels);
  d.SetTexture(0, rig.texture);
  d.PreLoad(*rig.texture);
  d.SetTextureStageState(0, TextureStageState::kMagFilter, mag_filter::kLinear);
  d.SetTextureStageState(0, TextureStageState::kMinFilter, min_filter::kLinear);
  rig.vb = rig.render.CreateVertexBuffer(
      VertexBufferDesc{vb_caps::kSystemMemory, kVertexFormatXyzNormalTex1, static_cast<uint32_t>(s.vertices.size())});
  std::span<Vertex> out;
  rig.vb->Lock(kLockWriteOnly, &out);
  std::copy(s.vertices.begin(), s.vertices.end(), out.begin());
  rig.vb->Unlock();
}

void DrawSphereFrame(DeviceRig& rig, const SphereScene& s, float degrees) {
  Device3D& d = *rig.device;
  d.Clear({}, clear::kZBuffer, 0, 1.0f);
  d.BeginScene();
  d.SetTransform(TransformState::kWorld, SphereWorld(degrees));
  d.DrawIndexedPrimitiveVB(PrimitiveType::kTriangleList, *rig.vb, 0, static_cast<uint32_t>(s.vertices.size()),
                           s.indices);
  d.EndScene();
}

void BM_DeviceTexturedSphere(benchmark::State& state) {
  const SphereScene s = MakeSphereScene();
  DeviceRig rig;
  MakeSphereRig(s, rig);
  DrawSphereFrame(rig, s, 20);
  const double pixels = static_cast<double>(rig.device->GetStats().pixels_written);
  Dump(*rig.target, "device_sphere.png");
  float degrees = 20;
  for (auto _ : state) DrawSphereFrame(rig, s, degrees = degrees >= 359 ? 0 : degrees + 1);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["pix/frame"] = pixels;
}
BENCHMARK(BM_DeviceTexturedSphere)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

#if ZV_HAVE_OSMESA
void DumpMesa(const std::vector<uint32_t>& buffer, const char* name) {
  if (!std::getenv("ZV_BENCH_DUMP")) return;
  SurfacePtr copy = Surface::Create(SurfaceDesc{kWidth, kHeight, PixelFormat::Xrgb8888()});
  for (int y = 0; y < kHeight; ++y)  // GL rows run bottom-up
    std::memcpy(copy->Row(y), &buffer[static_cast<size_t>(kHeight - 1 - y) * kWidth], kWidth * 4);
  Dump(*copy, name);
}

// The 256 x 256 texture, bilinear without mip levels, modulating the lit
// colour; and the vertex arrays of the device's vertex layout.
GLuint MesaTextureAndArrays(const std::vector<uint32_t>& texels, const std::vector<Vertex>& vertices) {
  GLuint texture;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSize, kTextureSize, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  const char* base = reinterpret_cast<const char*>(vertices.data());
  glVertexPointer(3, GL_FLOAT, sizeof(Vertex), base);
  glNormalPointer(GL_FLOAT, sizeof(Vertex), base + 12);
  glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), base + 24);
  return texture;
}

// An OSMesa context drawing into a 640x480 BGRA buffer with a 16-bit depth
// buffer, current while it lives: the projection loaded (row vectors read
// column-major: the same map), the model-view matrix selected, depth tested
// less-or-equal and lit, clockwise faces kept as the device keeps them.
struct MesaTarget {
  OSMesaContext context = OSMesaCreateContextExt(OSMESA_BGRA, 16, 0, 0, nullptr);
  std::vector<uint32_t> buffer = std::vector<uint32_t>(static_cast<size_t>(kWidth) * kHeight);

  explicit MesaTarget(const Matrix4& projection) {
    if (!context) return;
    OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, kWidth, kHeight);
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(&projection.m[0][0]);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glEnable(GL_LIGHTING);
  }
  ~MesaTarget() {
    if (context) OSMesaDestroyContext(context);
  }
  MesaTarget(const MesaTarget&) = delete;
  MesaTarget& operator=(const MesaTarget&) = delete;
};

void BM_MesaOSMesa(benchmark::State& state) {
  Scene s = MakeScene();
  const double pixels = PixelsPerFrame(s);
  MesaTarget target(s.projection);
  if (!target.context) {
    state.SkipWithError("no OSMesa context");
    return;
  }
  glLoadMatrixf(&s.view.m[0][0]);
  glEnable(GL_NORMALIZE);
  const GLfloat global[] = {0.188f, 0.188f, 0.188f, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
  const GLfloat diffuse[] = {0.8f, 0.8f, 0.8f, 1}, ambient[] = {1, 1, 1, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  const GLfloat sun_dir[] = {-0.3f, 0.6f, -0.7f, 0}, white[] = {1, 1, 1, 1}, black[] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, sun_dir);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightfv(GL_LIGHT0, GL_AMBIENT, black);
  glLightfv(GL_LIGHT0, GL_SPECULAR, black);
  glEnable(GL_LIGHT0);
  const GLfloat lamp_pos[] = {0, 0, 10, 1}, lamp_colour[] = {1, 0.6f, 0.3f, 1};
  glLightfv(GL_LIGHT1, GL_POSITION, lamp_pos);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, lamp_colour);
  glLightfv(GL_LIGHT1, GL_SPECULAR, black);
  glLightf(GL_LIGHT1, GL_QUADRATIC_ATTENUATION, 1.0f / 400.0f);
  glEnable(GL_LIGHT1);
  const GLuint texture = MesaTextureAndArrays(s.texels, s.vertices);
  glClearColor(0x10 / 255.0f, 0x20 / 255.0f, 0x30 / 255.0f, 1);

  auto frame = [&] {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (const Matrix4& world : s.worlds) {
      glLoadMatrixf(&world.m[0][0]);  // the view is the identity
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(s.indices.size()), GL_UNSIGNED_SHORT, s.indices.data());
    }
    glFinish();
  };
  frame();
  DumpMesa(target.buffer, "mesa.png");
  state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  for (auto _ : state) frame();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * pixels / 1e6,
                                                benchmark::Counter::kIsRate);
  glDeleteTextures(1, &texture);
}
BENCHMARK(BM_MesaOSMesa)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The textured sphere through OpenGL with the engine's states: the default
// light, half ambient and half diffuse material, the texture modulated,
// bilinear without mip levels, back faces culled, depth tested; each frame
// clears and turns the sphere one degree, as the program does.
void BM_MesaTexturedSphere(benchmark::State& state) {
  const SphereScene s = MakeSphereScene();
  MesaTarget target(s.projection);
  if (!target.context) {
    state.SkipWithError("no OSMesa context");
    return;
  }
  const GLfloat white[] = {1, 1, 1, 1}, black[] = {0, 0, 0, 1};
  const float a = s.ambient_level, d = 1 - s.ambient_level;
  const GLfloat ambient[] = {a, a, a, 1}, diffuse[] = {d, d, d, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
  const GLfloat towards_light[] = {-s.light_direction.x, -s.light_direction.y, -s.light_direction.z, 0};
  glLightfv(GL_LIGHT0, GL_POSITION, towards_light);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightfv(GL_LIGHT0, GL_AMBIENT, black);
  glLightfv(GL_LIGHT0, GL_SPECULAR, black);
  glEnable(GL_LIGHT0);
  const GLuint texture = MesaTextureAndArrays(s.texels, s.vertices);
  glClearColor(0, 0, 0, 1);

  auto frame = [&](float degrees) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const Matrix4 model_view = Multiply(SphereWorld(degrees), s.view);
    glLoadMatrixf(&model_view.m[0][0]);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(s.indices.size()), GL_UNSIGNED_SHORT, s.indices.data());
    glFinish();
  };
  frame(20);
  DumpMesa(target.buffer, "mesa_sphere.png");
  state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  float degrees = 20;
  for (auto _ : state) frame(degrees = degrees >= 359 ? 0 : degrees + 1);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  glDeleteTextures(1, &texture);
}
BENCHMARK(BM_MesaTexturedSphere)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
#endif

}  // namespace
}  // namespace zv::bench3d

BENCHMARK_MAIN();
