// A host that automates parameters from one thread while its audio thread
// processes blocks: every write is a single race-free store (the thread
// sanitizer build checks that), and the audio never turns non-finite.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "measurement_host.h"

using vardo::measure::MeasurementHost;

TEST(ThreadParameters, AutomationOnOneThreadWhileAnotherProcessesAudio) {
  MeasurementHost host;
  ASSERT_NE(host.open(), nullptr) << host.error();
  host.startup(44100.0f, 64);

  std::atomic<bool> audioDone{false};
  std::atomic<long> writes{0};
  std::thread automation([&] {
    long n = 0;
    char text[64];
    while (!audioDone.load(std::memory_order_acquire)) {
      const int index = static_cast<int>(n % 13);
      const float value = static_cast<float>((n * 37) % 101) / 100.0f;
      host.effect()->setParameter(host.effect(), index, value);
      host.effect()->getParameter(host.effect(), index);
      host.effect()->dispatcher(host.effect(), effGetParamDisplay, index, 0, text, 0.0f);
      ++n;
      writes.store(n, std::memory_order_relaxed);
    }
  });

  std::vector<float> in0(64), in1(64, 0.0f), out0(64), out1(64);
  float* inputs[2] = {in0.data(), in1.data()};
  float* outputs[2] = {out0.data(), out1.data()};
  bool finite = true;
  // Keep the audio running until the automation thread has really overlapped
  // with it, however the scheduler starts the two threads.
  for (int block = 0; block < 60 || writes.load(std::memory_order_relaxed) < 200; ++block) {
    for (int i = 0; i < 64; ++i)
      in0[static_cast<std::size_t>(i)] = 0.25f * std::sin(0.07f * static_cast<float>((block % 1000) * 64 + i));
    host.effect()->processReplacing(host.effect(), inputs, outputs, 64);
    for (int i = 0; i < 64; ++i)
      finite = finite && std::isfinite(out0[static_cast<std::size_t>(i)]) &&
               std::isfinite(out1[static_cast<std::size_t>(i)]);
  }
  audioDone.store(true, std::memory_order_release);
  automation.join();

  EXPECT_TRUE(finite);
  EXPECT_GE(writes.load(), 200);
  // The last values written are the ones the effect holds.
  host.setParameter(0, 0.5f);
  EXPECT_EQ(host.parameterDisplay(0), "8000");
}
