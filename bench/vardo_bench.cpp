// Cost of processReplacing through the loaded plug-in, and the memory of one instance.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

#include "hosted_vardo.h"
#include "chain.h"
#include "mydsp.h"
#include "programme.h"

using vardo::e2e::HostedVardo;

namespace {

constexpr int kBlock = 512;

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Processes a programme-like signal (speech-like noise with tones) in blocks
// of 512 at the given rate with the default controls.
void processReplacing(benchmark::State& state) {
  const int fs = static_cast<int>(state.range(0));
  const auto programme = vardo::programme::speechLike(fs * 4, fs);
  HostedVardo plugin(fs);
  if (!plugin.ok()) {
    state.SkipWithError("plug-in did not load");
    return;
  }
  std::vector<float> out0(kBlock);
  std::vector<float> out1(kBlock);
  // Run past the start-up delay so the whole chain carries signal.
  size_t at = 0;
  for (int i = 0; i < 20; ++i, at += kBlock) plugin.process(programme.data() + at, out0.data(), out1.data(), kBlock);

  const double cpuStart = threadCpuSeconds();
  for (auto _ : state) {
    if (at + kBlock > programme.size()) at = 0;
    plugin.process(programme.data() + at, out0.data(), out1.data(), kBlock);
    benchmark::DoNotOptimize(out0.data());
    benchmark::DoNotOptimize(out1.data());
    benchmark::ClobberMemory();
    at += kBlock;
  }
  const double cpu = threadCpuSeconds() - cpuStart;
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  // Processing thread's CPU time per sample, and how many times faster than
  // real time the chain runs at this rate.
  state.counters["ns_per_sample"] = cpu * 1e9 / samples;
  state.counters["x_realtime"] = (samples / fs) / cpu;
}
BENCHMARK(processReplacing)->Arg(44100)->Arg(48000)->Arg(96000)->Unit(benchmark::kMicrosecond);

// The output stage alone (bandwidth expansion of both channels, second
// noise-reduction lowpass and gain control), for its share of the whole.
void outputStage(benchmark::State& state) {
  const int fs = 44100;
  const vardo::SampleRate rate = vardo::SampleRate::fromRate(fs);
  ControlFields controls{};
  resetControlFields(controls);
  auto expanders = std::make_unique<vardo::BandwidthExpander<vardo::ShippingLane>>();
  auto output = std::make_unique<vardo::OutputAgc>();
  expanders->setRate(rate);
  expanders->clear();
  output->setRate(rate);
  output->clear();
  vardo::SecondCorner corner;
  corner.k = 1.0f / vardo::ftan(6000.0f * rate.piOverFs);
  corner.oneMinusK = 1.0f - corner.k;
  corner.kPlusOne = corner.k + 1.0f;
  const std::vector<vardo::SecondCorner> corners(vardo::kChunk, corner);
  const auto a = vardo::programme::speechLike(fs, fs, 3u);
  const auto b = vardo::programme::speechLike(fs, fs, 4u);
  std::vector<float> inA(kBlock), inB(kBlock), xA(kBlock), xB(kBlock), out0(kBlock), out1(kBlock);
  std::uint32_t n = 0;
  size_t at = 0;
  const double cpuStart = threadCpuSeconds();
  for (auto _ : state) {
    if (at + kBlock > a.size()) at = 0;
    expanders->prepareBlock(controls, rate);
    output->prepareBlock(controls, rate);
    for (int i = 0; i < kBlock; ++i) {
      inA[i] = 4.0f * a[at + i];
      inB[i] = 4.0f * b[at + i];
    }
    for (int done = 0; done < kBlock; done += vardo::kChunk) {
      expanders->processRun(vardo::kChunk, n, inA.data() + done, inB.data() + done,
                            xA.data() + done, xB.data() + done);
      output->processRun(vardo::kChunk, n, xA.data() + done, xB.data() + done, corners.data(),
                         out0.data() + done, out1.data() + done);
      n += vardo::kChunk;
    }
    benchmark::DoNotOptimize(out0.data());
    benchmark::DoNotOptimize(out1.data());
    at += kBlock;
  }
  const double cpu = threadCpuSeconds() - cpuStart;
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.counters["ns_per_sample"] = cpu * 1e9 / samples;
}
BENCHMARK(outputStage)->Unit(benchmark::kMicrosecond);

// The whole chain instantiated on each lane type, driven directly: the
// plain-float reference, the lane type the plug-in runs, and eight lanes.
template <class V>
void chainOnLanes(benchmark::State& state) {
  const int fs = 44100;
  const auto programme = vardo::programme::speechLike(fs * 4, fs);
  auto chain = std::make_unique<vardo::Chain<V>>();
  chain->setRate(vardo::SampleRate::fromRate(fs));
  chain->clear();
  ControlFields controls{};
  resetControlFields(controls);
  std::vector<float> out0(kBlock);
  std::vector<float> out1(kBlock);
  size_t at = 0;
  const double cpuStart = threadCpuSeconds();
  for (auto _ : state) {
    if (at + kBlock > programme.size()) at = 0;
    chain->processBlock(controls, kBlock, programme.data() + at, out0.data(), out1.data());
    benchmark::DoNotOptimize(out0.data());
    at += kBlock;
  }
  const double cpu = threadCpuSeconds() - cpuStart;
  state.counters["ns_per_sample"] = cpu * 1e9 / (static_cast<double>(state.iterations()) * kBlock);
}
BENCHMARK(chainOnLanes<float>)->Unit(benchmark::kMicrosecond);
BENCHMARK(chainOnLanes<vardo::ShippingLane>)->Unit(benchmark::kMicrosecond);
BENCHMARK(chainOnLanes<vardo::Float8>)->Unit(benchmark::kMicrosecond);

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * 4096;
}

// Size of one DSP object, and how much the process's resident set grows when a
// host creates, initialises and runs one more instance (library already loaded).
void instanceMemory(benchmark::State& state) {
  std::unique_ptr<HostedVardo> warm = std::make_unique<HostedVardo>(44100);
  std::vector<float> silence(kBlock, 0.0f);
  std::vector<float> out0(kBlock);
  std::vector<float> out1(kBlock);
  long growth = 0;
  for (auto _ : state) {
    const long before = residentBytes();
    HostedVardo plugin(44100);
    plugin.process(silence.data(), out0.data(), out1.data(), kBlock);
    growth = residentBytes() - before;
    benchmark::DoNotOptimize(growth);
  }
  state.counters["sizeof_mydsp_bytes"] = static_cast<double>(sizeof(mydsp));
  state.counters["rss_growth_bytes"] = static_cast<double>(growth);
}
BENCHMARK(instanceMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
