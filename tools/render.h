// Running a mono programme through one plug-in instance in host-sized
// blocks, with the plug-in's reported latency taken out.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio_file.h"
#include "parameters.h"
#include "provenance.h"

namespace vardo::tools {

class PluginLibrary;
class PluginInstance;

// Peak and RMS of everything added, over all channels.
class SignalStats {
 public:
  void add(const float* samples, std::size_t count);
  double peak() const { return fPeak; }
  double rms() const;

 private:
  double fPeak = 0.0;
  double fSumOfSquares = 0.0;
  std::uint64_t fCount = 0;
};

struct RenderOptions {
  int blockSize = 512;
  bool compensateLatency = true;
};

// Called after each block with the number of input frames consumed so far.
using ProgressCallback = std::function<void(std::int64_t framesDone)>;

struct StreamResult {
  std::int64_t inputFrames = 0;
  std::int64_t outputFrames = 0;
  int latency = 0;  // samples taken out of the head (0 without compensation)
  std::int64_t warmUpFrames = 0;  // run before the programme, their output discarded
  SignalStats input;
  SignalStats output;
};

// Pulls the mono programme from read() and pushes interleaved output frames
// (plugin.numOutputs() channels) to write(). The plug-in must be resumed.
// With compensation the first initialDelay output frames are dropped and as
// many zeros are flushed after the input, so the output keeps the input's
// length and alignment. Blocks are blockSize frames over the input followed
// by the flushed zeros; only the last one may be shorter. A warm-up, when
// given, runs through the plug-in first in blocks of its own and none of its
// output is kept; the programme's latency is then taken out as without one.
StreamResult renderStream(const PluginInstance& plugin, const RenderOptions& options,
                          const std::function<int(float*, int)>& read,
                          const std::function<void(const float*, int)>& write,
                          const ProgressCallback& progress,
                          const std::vector<float>& warmUp = {});

struct RenderJob {
  std::string inputPath;
  std::string outputPath;
};

// What to do with an output that is already there.
enum class ExistingOutput {
  refuse,        // fail that file with ExitStatus::exists (the default)
  replace,       // render and replace it (--overwrite)
  keep,          // leave it untouched, whatever it holds (--no-clobber)
  keepMatching,  // leave it when complete and made with the same settings (--skip-existing)
  keepComplete,  // leave it when it is a complete render of the input (--skip-existing=any)
};

struct RenderSettings {
  std::vector<ParameterSetting> parameters;
  ChannelChoice channel;
  BitDepth bitDepth = BitDepth::asInput;
  std::string outputType;  // container by name; empty: from the output's extension
  bool dither = true;
  ExistingOutput existing = ExistingOutput::refuse;
  RenderOptions options;
  // What every output records of how it was made; sampleChangingOptions()
  // fills its options from the fields above.
  Provenance provenance;
  // Settings keys of earlier renders by output path, from the run's log:
  // the only record of outputs in containers that hold no text.
  std::map<std::string, std::string> loggedSettings;
  // A warm start of this many seconds (0: the plug-in starts cold, as in a
  // host) and hum notches at this fundamental (0: none).
  double warmUpSeconds = 0.0;
  double humHz = 0.0;
};

enum class RenderOutcome { rendered, skippedExisting, skippedComplete };

struct RenderResult {
  RenderOutcome outcome = RenderOutcome::rendered;
  StreamResult stream;
  int sampleRate = 0;
  int inputChannels = 0;
  ChannelChoice channel;
  int outputFormat = 0;
  bool dithered = false;
  double wallSeconds = 0.0;
  std::vector<std::string> warnings;  // one line each, without a prefix
  // A damaged input: the frames its header promised and those that could be
  // read (the output holds what was read).
  bool damaged = false;
  std::int64_t promisedFrames = 0;
  std::int64_t readFrames = 0;
  // Why an existing output was rendered again ("made with other settings",
  // "incomplete", ...); empty when there was none or it was replaced on
  // request.
  std::string replacedBecause;
  ProvenanceCarrier recordedIn = ProvenanceCarrier::logOnly;
  double warmUpSeconds = 0.0;  // as run: 0 for a cold start
  double humHz = 0.0;          // notched fundamental, 0 for none
  std::string autoSummary;     // what --auto chose, in a few words ("tape, lowpass 4000 Hz")
  std::string autoSettings;    // the same as a JSON object, with what was measured
  double durationSeconds() const {
    return sampleRate > 0 ? static_cast<double>(stream.inputFrames) / sampleRate : 0.0;
  }
};

// Called with the seconds of input rendered so far.
using SecondsCallback = std::function<void(double secondsDone)>;

// Renders one file with a fresh instance of the plug-in: reads the input,
// runs the plug-in at the file's sample rate with the settings applied and
// writes the output through a temporary file. Throws ToolError.
RenderResult renderFile(const std::shared_ptr<PluginLibrary>& library, const RenderJob& job,
                        const RenderSettings& settings, const SecondsCallback& progress);

// True when path holds a finished render: it opens as audio with the given
// sample rate, channel count and length, and its last frame can be read
// (a file cut short by a full disk or an interrupted copy fails one of these).
bool outputIsComplete(const std::string& path, int sampleRate, int channels,
                      std::int64_t frames);

}  // namespace vardo::tools
