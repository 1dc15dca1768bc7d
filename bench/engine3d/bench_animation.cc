// Frames per second of a crowd of 200 instances of one animated model (40
// limbs, each a box, 21 keyed frames) playing at 640x480 headless on one
// core, measured by a compiled BASIC program with its own timer (goal: at
// least 100). Beside it the same crowd from the model without its
// animation (what drawing alone costs), and the crowd animating hidden
// (what the animation step alone costs). The backdrop is off in all three.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

#include "bench/engine3d/program_run.h"

namespace zv {
namespace {

constexpr int kInstances = 200;
constexpr int kFrames = 60;
constexpr int kLimbs = 40;
constexpr int kKeys = 21;  // frames 0 to 20
constexpr int kChains = 3;
constexpr double kPi = 3.14159265358979;

// A box of side 1.6 around the frame's origin.
std::string Box(int limb) {
  return " Mesh box" + std::to_string(limb) +
         " {\n  8;\n  -0.8;-0.8;-0.8;, 0.8;-0.8;-0.8;, 0.8;0.8;-0.8;, -0.8;0.8;-0.8;,"
         " -0.8;-0.8;0.8;, 0.8;-0.8;0.8;, 0.8;0.8;0.8;, -0.8;0.8;0.8;;\n"
         "  12;\n  3;0,2,1;, 3;0,3,2;, 3;4,5,6;, 3;4,6,7;, 3;0,1,5;, 3;0,5,4;,"
         " 3;3,7,6;, 3;3,6,2;, 3;0,4,7;, 3;0,7,3;, 3;1,2,6;, 3;1,6,5;;\n }\n";
}

// Where limb n sits in its parent: the body at the origin, then three
// chains of 13 boxes rising from it side by side.
void Offset(int limb, double* x, double* y) {
  const int in_chain = (limb - 1) % 13;
  *x = in_chain == 0 ? ((limb - 1) / 13 - 1) * 3.0 : 0.0;
  *y = in_chain == 0 ? 2.0 : 1.8;
}

// Frame j0 (the body) holds the chains j1-j13, j14-j26 and j27-j39, each
// frame the next one of its chain.
std::string Frames(int limb) {
  double x = 0, y = 0;
  if (limb > 0) Offset(limb, &x, &y);
  std::ostringstream out;
  out << "Frame j" << limb << " {\n FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, " << x << "," << y
      << ",0,1;; }\n"
      << Box(limb);
  if (limb == 0) {
    for (int chain = 0; chain < kChains; ++chain) out << Frames(1 + chain * 13);
  } else if ((limb - 1) % 13 < 12) {
    out << Frames(limb + 1);
  }
  out << "}\n";
  return out.str();
}

// Every limb sways about z through 21 keys and keeps its offset.
std::string Animation() {
  std::ostringstream out;
  out << "AnimationSet sway {\n";
  for (int limb = 0; limb < kLimbs; ++limb) {
    double x = 0, y = 0;
    if (limb > 0) Offset(limb, &x, &y);
    out << " Animation { {j" << limb << "}\n  AnimationKey { 0; " << kKeys << ";";
    for (int k = 0; k < kKeys; ++k) {
      const double half = 0.5 * 0.15 * std::sin(2 * kPi * (k + limb) / (kKeys - 1));
      out << (k ? "," : "") << " " << k << ";4;" << std::cos(half) << ",0,0," << std::sin(half) << ";;";
    }
    out << "; }\n  AnimationKey { 2; 1; 0;3;" << x << "," << y << ",0;;; }\n }\n";
  }
  out << "}\n";
  return out.str();
}

std::string Model(bool animated) {
  return "xof 0302txt 0032\n" + Frames(0) + (animated ? Animation() : std::string());
}

// What a crowd does: drawn still, animated, or animated but hidden.
enum Crowd { kStill = 0, kAnimated = 1, kHidden = 2 };

std::string Program(Crowd crowd) {
  const bool animated = crowd != kStill;
  // The backdrop is left out: it costs every scene the same.
  return "sync on\nsync rate 0\nhide mouse\ndisable auto camera\nbackdrop off\n"
         "load object \"crowd.x\", 1\n"
         "for i = 2 to " + std::to_string(kInstances) + " : instance object 1, i : next i\n"
         "for i = 1 to " + std::to_string(kInstances) + "\n"
         "  k = i - 1\n"
         "  position object i, (k - k / 20 * 20) * 10 - 95, k / 20 * 28 - 140, 0\n" +
         (animated ? "  set object speed i, 25 : loop object i : set object frame i, k - k / 21 * 21\n" : "") +
         (crowd == kHidden ? "  hide object i\n" : "") +
         "next i\n"
         "position camera 0, 0, -260\n"
         "for f = 1 to 3 : sync : next f\n"
         "t = timer()\n"
         "for f = 1 to " + std::to_string(kFrames) + " : sync : next f\n"
         "print timer() - t\n"
         "end\n";
}

void BM_Crowd(benchmark::State& state) {
  const auto crowd = static_cast<Crowd>(state.range(0));
  std::string screenshot;
  if (const char* dump = std::getenv("ZV_BENCH_DUMP"))
    screenshot = std::string(dump) + "/crowd_" + std::to_string(crowd) + ".png";
  for (auto _ : state)
    if (!bench::RecordFrameTime(
            state, bench::RunProgram(Program(crowd), {{"crowd.x", Model(crowd != kStill)}}, screenshot), kFrames))
      return;
}
BENCHMARK(BM_Crowd)
    ->ArgName("still0_animated1_hidden2")
    ->Arg(kAnimated)
    ->Arg(kStill)
    ->Arg(kHidden)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
