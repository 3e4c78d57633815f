// The diagnostic lines that MIDI control changes write from the audio thread,
// with standard error a pipe that nobody reads: no call waits, the lines are
// dropped and counted, and they are written again once the pipe is drained.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "midi_events.h"
#include "vardo.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

VstIntPtr versionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

void setNonBlocking(int fd, bool on) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

// Standard error turned into a blocking pipe while the object lives.
class StderrPipe {
 public:
  StderrPipe() {
    if (pipe(fEnds) != 0) return;
    fSaved = dup(STDERR_FILENO);
    dup2(fEnds[1], STDERR_FILENO);
    setNonBlocking(fEnds[0], true);  // the test's own reading end
  }
  ~StderrPipe() {
    dup2(fSaved, STDERR_FILENO);
    close(fSaved);
    closeReader();
    close(fEnds[1]);
  }
  bool ok() const { return fSaved >= 0; }

  // Fills the pipe to the last byte. Standard error is blocking again afterwards.
  void fill() {
    setNonBlocking(fEnds[1], true);
    const std::vector<char> chunk(4096, '#');
    while (write(fEnds[1], chunk.data(), chunk.size()) > 0) {
    }
    while (write(fEnds[1], chunk.data(), 1) > 0) {
    }
    setNonBlocking(fEnds[1], false);
  }
  std::string drain() {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fEnds[0], buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(n));
    return text;
  }
  void closeReader() {
    if (fEnds[0] >= 0) close(fEnds[0]);
    fEnds[0] = -1;
  }

 private:
  int fEnds[2] = {-1, -1};
  int fSaved = -1;
};

// How often the calling thread has given up its core to wait (voluntary
// context switches); a write into a full pipe is one.
long threadWaits() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

constexpr char kControlChange[] = "=== Vardo vsti: CONTROL CHANGE (status 0xB0)!\n";
constexpr char kAllNotesOff[] = "=== Vardo vsti: ALL NOTES OFF!\n";

TEST(AudioThreadLog, AFullPipeNeverHoldsTheAudioThread) {
  AEffect* effect = VSTPluginMain(&versionHost);
  ASSERT_NE(effect, nullptr);
  auto* vardo = static_cast<Vardo*>(static_cast<AudioEffect*>(effect->object));
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

  std::vector<float> in(512, 0.0f), out0(512), out1(512);
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {out0.data(), out1.data()};
  std::vector<Midi> controls(64);
  for (std::size_t i = 0; i < controls.size(); ++i)
    controls[i] = {static_cast<int>(i), 0xB0, static_cast<int>(i % 120), 64};
  EventList block(controls);

  {
    // A call that blocks never returns: the alarm ends the test instead.
    alarm(300);
    StderrPipe stderrPipe;
    ASSERT_TRUE(stderrPipe.ok());
    stderrPipe.fill();

    // A write into the full pipe would wait for good; every call must
    // instead return at once, without waiting. A call that took longer than
    // 1 ms is timed again: a machine busy with other work can stretch any
    // one call, but not every repetition of it.
    constexpr int kBlocks = 10000;
    constexpr int kTimings = 5;
    std::uint64_t calls = 0;
    auto timedCall = [&] {
      const auto start = std::chrono::steady_clock::now();
      effect->dispatcher(effect, effProcessEvents, 0, 0, block.record(), 0.0f);
      ++calls;
      return std::chrono::steady_clock::now() - start;
    };
    const long waitsBefore = threadWaits();
    std::chrono::steady_clock::duration slowest{};
    for (int b = 0; b < kBlocks; ++b) {
      auto took = timedCall();
      for (int again = 1; again < kTimings && took > std::chrono::milliseconds(1); ++again)
        took = std::min(took, timedCall());
      slowest = std::max(slowest, took);
      effect->processReplacing(effect, inputs, outputs, 512);
    }
    // A write into the full pipe would wait on every call, ten thousand
    // times; a machine under load may still make the thread wait once or
    // twice on its own account (a page fault under memory pressure).
    EXPECT_LT(threadWaits() - waitsBefore, 10);
    EXPECT_LE(slowest, std::chrono::milliseconds(1));
    EXPECT_EQ(vardo->droppedLogLines(), 64u * calls);

    // Drained, the pipe takes the lines again, complete and in order.
    stderrPipe.drain();
    EventList again({{0, 0xB0, 7, 100}, {1, 0xB1, 123, 0}});
    effect->dispatcher(effect, effProcessEvents, 0, 0, again.record(), 0.0f);
    EXPECT_EQ(stderrPipe.drain(), std::string(kControlChange) + kControlChange + kAllNotesOff);
    EXPECT_EQ(vardo->droppedLogLines(), 64u * calls);

    // With the reading end gone a write would raise SIGPIPE: nothing is written.
    stderrPipe.closeReader();
    EventList last({{0, 0xB0, 7, 1}});
    effect->dispatcher(effect, effProcessEvents, 0, 0, last.record(), 0.0f);
    EXPECT_EQ(vardo->droppedLogLines(), 64u * calls + 1);
    alarm(0);
  }
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
