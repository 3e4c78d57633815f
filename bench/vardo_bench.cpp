// Cost of processReplacing through the loaded plug-in, against the plain
// per-sample chain run on the same programme in the same process, and the
// memory of one instance.
//
//   vardo_bench                       all rates, five repetitions, medians
//   vardo_bench --benchmark_filter=chain/48000
//
// Figures are the processing thread's CPU time, so that other processes on
// the machine disturb them less than wall-clock time would.
#include <benchmark/benchmark.h>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include <cstdint>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "hosted_vardo.h"
#include "chain/lane_sets.h"
#include "mydsp.h"
#include "programme.h"
#include "reference_chain.h"

using vardo::e2e::HostedVardo;
using vardo::e2e::residentBytes;

namespace {

constexpr int kBlock = 512;

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Processes a programme-like signal (speech-like noise with tones) in blocks
// of 512 at the given rate with the default controls, through `subject` and
// through the reference chain in turn, block by block, so that both see the
// same machine load. Reports the subject's ns per sample and its multiple of
// real time, the reference's ns per sample and how many times faster the
// subject is.
template <class Subject>
void againstReference(benchmark::State& state, int fs, Subject subject) {
  const auto programme = vardo::programme::speechLike(fs * 4, fs);
  auto reference = std::make_unique<vardo::test::ReferenceChain>();
  reference->initialize(fs);
  std::vector<float> out0(kBlock);
  std::vector<float> out1(kBlock);
  // Run past the start-up delay so the whole chain carries signal.
  std::size_t at = 0;
  for (int i = 0; i < 20; ++i, at += kBlock) {
    subject(programme.data() + at, out0.data(), out1.data());
    reference->process(kBlock, programme.data() + at, out0.data(), out1.data());
  }

  double subjectCpu = 0.0;
  double referenceCpu = 0.0;
  for (auto _ : state) {
    if (at + kBlock > programme.size()) at = 0;
    const double t0 = threadCpuSeconds();
    subject(programme.data() + at, out0.data(), out1.data());
    benchmark::DoNotOptimize(out0.data());
    benchmark::DoNotOptimize(out1.data());
    benchmark::ClobberMemory();
    const double t1 = threadCpuSeconds();
    reference->process(kBlock, programme.data() + at, out0.data(), out1.data());
    benchmark::DoNotOptimize(out0.data());
    benchmark::ClobberMemory();
    const double t2 = threadCpuSeconds();
    subjectCpu += t1 - t0;
    referenceCpu += t2 - t1;
    at += kBlock;
  }
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.counters["ns_per_sample"] = subjectCpu * 1e9 / samples;
  state.counters["x_realtime"] = (samples / fs) / subjectCpu;
  state.counters["ref_ns_per_sample"] = referenceCpu * 1e9 / samples;
  state.counters["x_reference"] = referenceCpu / subjectCpu;
}

// The loaded plug-in, through processReplacing.
void chain(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0));
  HostedVardo plugin(fs);
  if (!plugin.ok()) {
    state.SkipWithError("plug-in did not load");
    return;
  }
  againstReference(state, fs, [&](const float* in, float* out0, float* out1) {
    plugin.process(in, out0, out1, kBlock);
  });
  // The plug-in picks its lanes with the same selector on the same CPU.
  state.SetLabel(std::string("lanes=") + vardo::laneSetName(vardo::chosenLaneSet()));
}
BENCHMARK(chain)
    ->Arg(44100)
    ->Arg(48000)
    ->Arg(96000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// The DSP on each lane set it can pick (processors without AVX run the
// first), driven directly at 48 kHz.
void lanes(benchmark::State& state) {
  const auto set = static_cast<vardo::LaneSet>(state.range(0));
  if (!vardo::laneSetAvailable(set)) {
    state.SkipWithError("this processor cannot run the lane set");
    return;
  }
  const int fs = 48000;
#if defined(__SSE__)
  // Flush-to-zero and denormals-are-zero, as processReplacing sets them.
  const unsigned csr = _mm_getcsr();
  _mm_setcsr(csr | 0x8040u);
#endif
  vardo::chooseLaneSetForTesting(set);
  auto dsp = std::make_unique<mydsp>();
  vardo::chooseLaneSetForTesting(std::nullopt);
  dsp->initialize(fs);
  againstReference(state, fs, [&](const float* in, float* out0, float* out1) {
    float* inputs[2] = {const_cast<float*>(in), const_cast<float*>(in)};
    float* outputs[2] = {out0, out1};
    dsp->computeBlock(kBlock, inputs, outputs);
  });
#if defined(__SSE__)
  _mm_setcsr(csr);
#endif
  state.SetLabel(std::string("lanes=") + vardo::laneSetName(set));
}
BENCHMARK(lanes)
    ->Apply([](benchmark::internal::Benchmark* lanes) {
      for (const vardo::LaneSetRow& row : vardo::laneSets()) lanes->Arg(static_cast<int>(row.set));
    })
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// How much the process's resident set grows when a host creates and
// initialises one more instance (library already loaded), and again when it
// runs the instance's first block, and the size of the instance's DSP object.
void instanceMemory(benchmark::State& state) {
  std::unique_ptr<HostedVardo> warm = std::make_unique<HostedVardo>(44100);
  std::vector<float> silence(kBlock, 0.0f);
  std::vector<float> out0(kBlock);
  std::vector<float> out1(kBlock);
  long created = 0;
  long growth = 0;
  for (auto _ : state) {
    const long before = residentBytes();
    HostedVardo plugin(44100);
    created = residentBytes() - before;
    plugin.process(silence.data(), out0.data(), out1.data(), kBlock);
    growth = residentBytes() - before;
    benchmark::DoNotOptimize(growth);
  }
  state.counters["sizeof_mydsp_bytes"] = static_cast<double>(sizeof(mydsp));
  state.counters["rss_created_bytes"] = static_cast<double>(created);
  state.counters["rss_growth_bytes"] = static_cast<double>(growth);
}
BENCHMARK(instanceMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
