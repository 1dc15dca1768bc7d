// The display's 3D device set-up: the device choice, the capabilities, and
// the states, materials, viewport and transforms a new device starts with.
#include "display/device3d.h"

#include <gtest/gtest.h>

#include "tests/display/display_fixture.h"

namespace zv {
namespace {

namespace p = platform;

TEST(Device3DChoice, SoftwareModeTriesRgbThenMmxThenTheAcceptedDeviceAndNeverHardware) {
  std::vector<p::DeviceKind> tried;
  DeviceChoice c = ChooseDevice(true, true, p::DeviceKind::kHal, [&](p::DeviceKind k) {
    tried.push_back(k);
    return false;
  });
  EXPECT_EQ(tried, (std::vector<p::DeviceKind>{p::DeviceKind::kRgb, p::DeviceKind::kMmx, p::DeviceKind::kHal}));
  EXPECT_FALSE(c.made);
  EXPECT_EQ(c.status, "..2.00");  // HAL is not tried
}

TEST(Device3DChoice, HardwareWithoutTnLTriesHalRgbThenOtherButNotMmx) {
  std::vector<p::DeviceKind> tried;
  DeviceChoice c = ChooseDevice(false, false, p::DeviceKind::kHal, [&](p::DeviceKind k) {
    tried.push_back(k);
    return false;
  });
  EXPECT_EQ(tried, (std::vector<p::DeviceKind>{p::DeviceKind::kHal, p::DeviceKind::kRgb, p::DeviceKind::kHal}));
  EXPECT_EQ(c.status, "..200.");
  // T&L, HAL, RGB and the accepted device all failing log dot, dot, 0, 0, 0, dot.
  EXPECT_EQ(ChooseDevice(false, true, p::DeviceKind::kHal, [](p::DeviceKind) { return false; }).status, "..000.");
}

TEST(Device3DChoice, TheFirstDeviceMadeIsKeptWithItsNameAndKind) {
  DeviceChoice tnl = ChooseDevice(false, true, p::DeviceKind::kHal, [](p::DeviceKind) { return true; });
  EXPECT_EQ(tnl.name, "T&L");
  EXPECT_TRUE(tnl.hardware);
  EXPECT_EQ(tnl.status, "..1...");
  DeviceChoice rgb = ChooseDevice(true, true, p::DeviceKind::kHal,
                                  [](p::DeviceKind k) { return k == p::DeviceKind::kRgb; });
  EXPECT_EQ(rgb.name, "RGB");
  EXPECT_FALSE(rgb.hardware);
  DeviceChoice other = ChooseDevice(false, true, p::DeviceKind::kTnLHal,
                                    [](p::DeviceKind k) { return k == p::DeviceKind::kTnLHal; });
  EXPECT_EQ(other.name, "T&L");  // the T&L slot itself came first
}

TEST(Device3DChoice, TheLastBlendRowTheCapsAllowWins) {
  using p::BlendCap;
  namespace b = p::blend;
  uint32_t all = 0;
  for (uint32_t f : {b::kZero, b::kOne, b::kSrcColor, b::kInvSrcColor, b::kDestColor, b::kInvDestColor})
    all |= BlendCap(f);
  BlendChoice everything = ChooseBlendModes(all, all);
  EXPECT_EQ(everything.blend_mode, 1);  // ONE / INVSRCCOLOR
  EXPECT_EQ(everything.multiply_blend_mode, 7);
  BlendChoice multiply_only = ChooseBlendModes(BlendCap(b::kDestColor), BlendCap(b::kZero));
  EXPECT_EQ(multiply_only.blend_mode, 6);
  EXPECT_EQ(multiply_only.multiply_blend_mode, 6);
  BlendChoice none = ChooseBlendModes(BlendCap(b::kSrcAlpha), BlendCap(b::kInvSrcAlpha));
  EXPECT_EQ(none.blend_mode, 0);
  EXPECT_EQ(GhostBlendPair(8), (BlendPair{b::kInvDestColor, b::kInvSrcColor}));
  EXPECT_EQ(MultiplyBlendPair(4), BlendPair{});
}

TEST(Device3DChoice, KeepsTheFirst99TextureFormatsAndAcceptsOnlyHardwareAtTheDepth) {
  std::vector<p::PixelFormat> many(120, p::PixelFormat::Rgb565());
  many[98] = p::PixelFormat::Rgb555();
  std::vector<p::PixelFormat> kept = KeepTextureFormats(many);
  ASSERT_EQ(kept.size(), 99u);
  EXPECT_EQ(kept[98], p::PixelFormat::Rgb555());
  std::vector<p::DeviceDescription> devices = p::DeviceDescriptions();
  ASSERT_TRUE(AcceptedDevice(devices, 16).has_value());
  EXPECT_EQ(AcceptedDevice(devices, 16)->kind, p::DeviceKind::kHal);
  EXPECT_TRUE(AcceptedDevice(devices, 24).has_value());
  EXPECT_FALSE(AcceptedDevice(devices, 12).has_value());
}

TEST(Device3DChoice, ProjectionAsTheEngineBuildsItAndRefusesDegenerateRanges) {
  std::optional<p::Matrix4> m = BuildProjection(1.5707964f, 0.75f, 1.0f, 3000.0f);
  ASSERT_TRUE(m.has_value());
  EXPECT_NEAR(m->m[0][0], 0.75f, 1e-6f);
  EXPECT_NEAR(m->m[1][1], 1.0f, 1e-6f);
  EXPECT_FLOAT_EQ(m->m[2][3], 1.0f);
  EXPECT_FLOAT_EQ(m->m[3][2], -3000.0f / 2999.0f);
  EXPECT_FALSE(BuildProjection(1.0f, 1.0f, 5.0f, 5.005f).has_value());
  EXPECT_FALSE(BuildProjection(0.0f, 1.0f, 1.0f, 10.0f).has_value());
}

// A client that records what the set-up asked and answers with its own
// camera and ambient values.
class RecordingClient : public Device3DClient {
 public:
  void ReleaseDeviceTextures() override { ++releases; }
  double AmbientLevel() const override { return 0.25; }
  Projection CameraProjection() const override { return Projection{2.0f, 500.0f, 1.5707964f}; }
  platform::Matrix4 ViewMatrix() const override {
    platform::Matrix4 m = platform::Matrix4::Identity();
    m.m[3][2] = 7;
    return m;
  }
  int releases = 0;
};

class DisplayDevice3DTest : public test::DisplayTest {
 protected:
  DisplayDevice3DTest() {
    device3d.SetClient(&client);
    display.SetRenderDevice(&device3d);
  }
  ~DisplayDevice3DTest() override { display.SetRenderDevice(nullptr); }

  uint32_t State(p::RenderState s) {
    uint32_t v = 0;
    EXPECT_EQ(device3d.Device()->GetRenderState(s, &v), 0);
    return v;
  }
  uint32_t Stage(p::TextureStageState s) {
    uint32_t v = 0;
    EXPECT_EQ(device3d.Device()->GetTextureStageState(0, s, &v), 0);
    return v;
  }

  // The top left half of the screen at half depth, in a scene of its own.
  void DrawHalfDepthTriangle() {
    p::Device3D& d = *device3d.Device();
    d.SetTransform(p::TransformState::kProjection, p::Matrix4::Identity());
    d.SetTransform(p::TransformState::kView, p::Matrix4::Identity());
    d.SetRenderState(p::RenderState::kCullMode, p::cull_mode::kNone);
    p::VertexBufferPtr vb = device3d.Render().CreateVertexBuffer(
        p::VertexBufferDesc{p::vb_caps::kSystemMemory, p::kVertexFormatXyzNormalTex1, 3});
    std::span<p::Vertex> v;
    vb->Lock(p::kLockWriteOnly, &v);
    v[0] = p::Vertex{-1, 1, 0.5f, 0, 0, -1, 0, 0};
    v[1] = p::Vertex{1, 1, 0.5f, 0, 0, -1, 0, 0};
    v[2] = p::Vertex{-1, -1, 0.5f, 0, 0, -1, 0, 0};
    vb->Unlock();
    const uint16_t indices[] = {0, 1, 2};
    ASSERT_EQ(d.BeginScene(), 0);
    ASSERT_EQ(d.DrawIndexedPrimitiveVB(p::PrimitiveType::kTriangleList, *vb, 0, 3, indices), 0);
    d.EndScene();
  }

  RecordingClient client;
  DisplayDevice3D device3d{display};
};

TEST_F(DisplayDevice3DTest, HardwareStartMakesTheTnLDeviceWithItsDefaults) {
  Start();
  ASSERT_TRUE(device3d.Exists());
  EXPECT_EQ(device3d.DeviceName(), "T&L");
  EXPECT_TRUE(device3d.HardwareDevice());
  EXPECT_EQ(client.releases, 1);
  const Device3DCapabilities& caps = device3d.Capabilities();
  EXPECT_EQ(caps.blend_mode, 1);
  EXPECT_EQ(caps.multiply_blend_mode, 7);
  EXPECT_EQ(caps.filter_level, 1);
  EXPECT_TRUE(caps.fog_available && caps.vertex_fog && !caps.table_fog);
  EXPECT_FALSE(caps.w_buffer_available);
  EXPECT_TRUE(caps.mipmap_available && caps.wrap_available && caps.mirror_available && caps.clamp_available);
  EXPECT_TRUE(caps.colour_key_available);
  EXPECT_FALSE(caps.dxt_available);
  EXPECT_TRUE(device3d.HasBlendSupport() && device3d.HasTextureFiltering() && device3d.HasFog());
  EXPECT_EQ(device3d.TextureFormats().size(), 7u);
  EXPECT_EQ(device3d.ViewportWidth(), 640);
  EXPECT_EQ(device3d.ViewportHeight(), 480);

  EXPECT_EQ(State(p::RenderState::kZEnable), p::zbuffer::kTrue);
  EXPECT_EQ(State(p::RenderState::kZWriteEnable), 1u);
  // Blend mode 1's pair is kept for the engine but not sent.
  EXPECT_EQ(State(p::RenderState::kSrcBlend), p::blend::kOne);
  EXPECT_EQ(State(p::RenderState::kDestBlend), p::blend::kZero);
  EXPECT_EQ(device3d.Mirror().ghost, (BlendPair{p::blend::kOne, p::blend::kInvSrcColor}));
  EXPECT_EQ(device3d.Mirror().multiply, (BlendPair{p::blend::kZero, p::blend::kSrcColor}));
  EXPECT_EQ(State(p::RenderState::kDitherEnable), 1u);
  EXPECT_EQ(State(p::RenderState::kShadeMode), p::shade_mode::kGouraud);
  EXPECT_EQ(State(p::RenderState::kFillMode), p::fill_mode::kSolid);
  EXPECT_EQ(State(p::RenderState::kCullMode), p::cull_mode::kCcw);
  EXPECT_EQ(State(p::RenderState::kNormalizeNormals), 1u);
  EXPECT_EQ(State(p::RenderState::kColorVertex), 0u);
  EXPECT_EQ(State(p::RenderState::kAmbient), 0xFFFFFFu);
  EXPECT_EQ(Stage(p::TextureStageState::kMipFilter), p::mip_filter::kLinear);
  EXPECT_EQ(Stage(p::TextureStageState::kMinFilter), p::min_filter::kLinear);
  EXPECT_EQ(Stage(p::TextureStageState::kMagFilter), p::mag_filter::kLinear);
  EXPECT_EQ(Stage(p::TextureStageState::kAddress), p::texture_address::kWrap);
  EXPECT_EQ(device3d.Mirror().mip_mode, 2);
  EXPECT_FALSE(device3d.Mirror().in_scene);

  p::Material scene;
  device3d.Device()->GetMaterial(&scene);
  EXPECT_EQ(scene.diffuse, (p::ColourValue{0.75f, 0.75f, 0.75f, 0}));
  EXPECT_EQ(scene.ambient, (p::ColourValue{0.25f, 0.25f, 0.25f, 0}));
  EXPECT_EQ(device3d.Materials().ambient_only.ambient, (p::ColourValue{1, 1, 1, 0}));
  EXPECT_EQ(device3d.Materials().diffuse_only.diffuse, (p::ColourValue{1, 1, 1, 0}));

  p::Matrix4 m;
  device3d.Device()->GetTransform(p::TransformState::kWorld, &m);
  EXPECT_EQ(m, p::Matrix4::Identity());
  device3d.Device()->GetTransform(p::TransformState::kView, &m);
  EXPECT_EQ(m.m[3][2], 7.0f);
  device3d.Device()->GetTransform(p::TransformState::kProjection, &m);
  EXPECT_EQ(m, *BuildProjection(1.5707964f, 0.75f, 2.0f, 500.0f));
  p::Viewport v;
  device3d.Device()->GetViewport(&v);
  EXPECT_EQ(v, (p::Viewport{0, 0, 640, 480, 0.0f, 1.0f}));
}

TEST_F(DisplayDevice3DTest, SoftwareRendererGetsTheRgbDevicePointFilteringAndNoDither) {
  Start();
  display.Surfaces().software_renderer = 1;
  int32_t w = 640, h = 480, depth = 16;
  ASSERT_TRUE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640, 480, 16, 1));
  EXPECT_EQ(device3d.DeviceName(), "RGB");
  EXPECT_FALSE(device3d.HardwareDevice());
  EXPECT_EQ(device3d.Capabilities().filter_level, 0);
  EXPECT_FALSE(device3d.HasTextureFiltering());
  EXPECT_EQ(State(p::RenderState::kDitherEnable), 0u);
  EXPECT_EQ(Stage(p::TextureStageState::kMinFilter), p::min_filter::kPoint);
  EXPECT_EQ(Stage(p::TextureStageState::kMagFilter), p::mag_filter::kPoint);
  EXPECT_EQ(Stage(p::TextureStageState::kColorOp), p::texture_op::kModulate);
}

TEST_F(DisplayDevice3DTest, WithoutTnLTheHalDeviceIsMadeAndTheCardIsReportedAsHardware) {
  Start();
  display.Device().use_tnl = false;
  int32_t w = 800, h = 600, depth = 32;
  ASSERT_TRUE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640, 480, 16, 0));
  EXPECT_EQ(device3d.DeviceName(), "HAL");
  EXPECT_EQ(device3d.ViewportWidth(), 800);
  EXPECT_EQ(display.Surfaces().back_buffer->Format().bits, 32);
}

TEST_F(DisplayDevice3DTest, A24BitBackBufferGetsAHardwareDevice) {
  Start();
  int32_t w = 640, h = 480, depth = 24;
  EXPECT_TRUE(display.ChangeDisplayMode(w, h, depth, display.Surfaces().software_renderer, 640, 480, 16, 0));
  EXPECT_EQ(vm.errors.code, 0);
  EXPECT_TRUE(device3d.Exists());
  EXPECT_EQ(device3d.DeviceName(), "T&L");
  EXPECT_EQ(display.Surfaces().back_buffer->Format().bits, 24);
}

TEST_F(DisplayDevice3DTest, ProbeFindsAHardwareDeviceAt16Bits) {
  ProbeResult probe = display.ProbeDisplay();
  EXPECT_EQ(probe.depth, 16);
  EXPECT_TRUE(probe.alpha_blending);
  EXPECT_TRUE(probe.texture_filtering);
  EXPECT_TRUE(probe.fogging);
}

TEST_F(DisplayDevice3DTest, ZBufferClearsEachTurnOnlyWhileDrawingIsEnabled) {
  Start();
  p::Surface& z = *display.Surfaces().zbuffer;
  z.SetPixelAt(10, 10, 123);  // nearer than the triangle
  runtime.window.drawing_enabled = false;
  device3d.ClearZBuffer();
  runtime.window.drawing_enabled = true;
  DrawHalfDepthTriangle();
  EXPECT_EQ(Back().PixelAt(10, 10), 0u);
  // The clear is made before the next draw tests against the depths.
  device3d.ClearZBuffer();
  DrawHalfDepthTriangle();
  EXPECT_EQ(Back().PixelAt(10, 10), p::PackRgb(Back().Format(), 64, 64, 64));
  EXPECT_EQ(z.PixelAt(630, 470), 0xFFFFu);
  display.ReleaseDisplayObjects(false);
  EXPECT_FALSE(device3d.Exists());
  EXPECT_EQ(device3d.DeviceName(), "");
  device3d.ClearZBuffer();  // no device: nothing happens
}

TEST_F(DisplayDevice3DTest, The3DDeviceDrawsIntoTheBackBufferThat2DDrawingUses) {
  Start();
  device3d.ClearZBuffer();  // as the pump does each turn
  DrawHalfDepthTriangle();
  // Lit by the scene material's ambient quarter under a white ambient colour.
  EXPECT_EQ(Back().PixelAt(10, 10), p::PackRgb(Back().Format(), 64, 64, 64));
  EXPECT_EQ(Back().PixelAt(630, 470), 0u);
}

}  // namespace
}  // namespace zv
