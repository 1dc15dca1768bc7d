// Parse speed of the X file reader on a large generated model, in the text
// and the binary form (bytes per second as Google Benchmark reports them).
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/xfile/animation_view.h"
#include "platform/xfile/builders.h"
#include "platform/xfile/reader.h"
#include "platform/xfile/writer.h"

namespace {

using namespace zv::platform;

// A grid mesh of side x side vertices with normals, texture coordinates and a
// two-material list, and an animation of a few hundred keys.
XDocument LargeModel(int side) {
  XDocument doc;
  auto frame = MakeXObject(XTemplateKind::kFrame, "grid_frame");
  std::vector<XVector3> vertices;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      vertices.push_back({x * 0.125f, std::sin(x * 0.01f) * std::cos(y * 0.01f), y * 0.125f});
  XFaceList faces;
  for (int y = 0; y + 1 < side; ++y)
    for (int x = 0; x + 1 < side; ++x) {
      uint32_t a = y * side + x, b = a + 1, c = a + side, d = c + 1;
      faces.packed.insert(faces.packed.end(), {3, a, b, c, 3, b, d, c});
      faces.count += 2;
    }
  auto& mesh = frame->AddChild(MakeXMesh("grid", vertices, faces));

  auto normals = MakeXObject(XTemplateKind::kMeshNormals);
  normals->AddNumber(static_cast<double>(vertices.size()));
  for (size_t i = 0; i < vertices.size(); ++i)
    for (double v : {0.0, 1.0, 0.0}) normals->AddNumber(v);
  normals->AddNumber(faces.count);
  for (uint32_t v : faces.packed) normals->AddNumber(v);
  mesh.AddChild(std::move(normals));

  auto coords = MakeXObject(XTemplateKind::kMeshTextureCoords);
  coords->AddNumber(static_cast<double>(vertices.size()));
  for (const XVector3& v : vertices) {
    coords->AddNumber(v.x / side);
    coords->AddNumber(v.z / side);
  }
  mesh.AddChild(std::move(coords));

  auto list = MakeXObject(XTemplateKind::kMeshMaterialList);
  list->AddNumber(2);
  list->AddNumber(faces.count);
  for (uint32_t f = 0; f < faces.count; ++f) list->AddNumber(f % 2);
  for (int m = 0; m < 2; ++m) {
    auto material = MakeXObject(XTemplateKind::kMaterial, "m" + std::to_string(m));
    for (double v : {0.5, 0.5, 0.5, 1.0, 8.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0}) material->AddNumber(v);
    list->AddChild(std::move(material));
  }
  mesh.AddChild(std::move(list));
  doc.AddObject(std::move(frame));

  auto set = MakeXObject(XTemplateKind::kAnimationSet, "wave");
  auto animation = MakeXObject(XTemplateKind::kAnimation);
  animation->AddReference(MakeXReference("grid_frame"));
  std::vector<uint32_t> times;
  std::vector<float> values;
  for (uint32_t t = 0; t < 500; ++t) {
    times.push_back(t);
    values.insert(values.end(), {1.0f, 0.0f, std::sin(t * 0.1f), 0.0f});
  }
  animation->AddChild(MakeXAnimationKey(kXRotationKey, times, values, 4));
  set->AddChild(std::move(animation));
  doc.AddObject(std::move(set));
  return doc;
}

const std::string& ModelBytes(XEncoding encoding) {
  static const XDocument model = LargeModel(800);
  static std::string text, binary;
  std::string& bytes = encoding == XEncoding::kText ? text : binary;
  if (bytes.empty()) {
    XWriteOptions options;
    options.encoding = encoding;
    bytes = *WriteXData(model, options);
  }
  return bytes;
}

void ParseForm(benchmark::State& state, XEncoding encoding) {
  const std::string& bytes = ModelBytes(encoding);
  std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  for (auto _ : state) {
    auto doc = ParseXFile(data);
    if (!doc.ok()) state.SkipWithError(doc.error().Describe().c_str());
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
  state.counters["file_MB"] = bytes.size() / 1e6;
}

void BM_ParseBinary(benchmark::State& state) { ParseForm(state, XEncoding::kBinary); }
void BM_ParseText(benchmark::State& state) { ParseForm(state, XEncoding::kText); }

BENCHMARK(BM_ParseBinary)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseText)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
