#include "render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <vector>

#include "plugin_host.h"
#include "warm_up.h"

namespace vardo::tools {

void SignalStats::add(const float* samples, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const double x = samples[i];
    fPeak = std::max(fPeak, std::fabs(x));
    fSumOfSquares += x * x;
  }
  fCount += count;
}

double SignalStats::rms() const {
  return fCount > 0 ? std::sqrt(fSumOfSquares / static_cast<double>(fCount)) : 0.0;
}

StreamResult renderStream(const PluginInstance& plugin, const RenderOptions& options,
                          const std::function<int(float*, int)>& read,
                          const std::function<void(const float*, int)>& write,
                          const ProgressCallback& progress, const std::vector<float>& warmUp) {
  const int block = std::max(1, options.blockSize);
  const int inputCount = plugin.numInputs();
  const int outputCount = plugin.numOutputs();
  const auto blockSize = static_cast<std::size_t>(block);

  // Every input pin gets the mono programme, as a host feeding a mono track
  // into a stereo bus would; the first buffer is the one that is read into.
  std::vector<std::vector<float>> inputBuffers(static_cast<std::size_t>(std::max(inputCount, 1)),
                                               std::vector<float>(blockSize, 0.0f));
  std::vector<std::vector<float>> outputBuffers(static_cast<std::size_t>(outputCount),
                                                std::vector<float>(blockSize, 0.0f));
  std::vector<float*> inputs;
  std::vector<float*> outputs;
  for (auto& buffer : inputBuffers) inputs.push_back(buffer.data());
  for (auto& buffer : outputBuffers) outputs.push_back(buffer.data());
  std::vector<float> interleaved(blockSize * static_cast<std::size_t>(outputCount));

  StreamResult result;
  for (std::size_t done = 0; done < warmUp.size();) {
    const int frames = static_cast<int>(std::min(blockSize, warmUp.size() - done));
    for (auto& buffer : inputBuffers)
      std::copy_n(warmUp.begin() + static_cast<std::ptrdiff_t>(done), frames, buffer.begin());
    plugin.processReplacing(inputs.data(), outputs.data(), frames);
    done += static_cast<std::size_t>(frames);
  }
  result.warmUpFrames = static_cast<std::int64_t>(warmUp.size());

  const std::int64_t latency = options.compensateLatency ? std::max(0, plugin.initialDelay()) : 0;
  result.latency = static_cast<int>(latency);
  std::int64_t toDrop = latency;
  std::int64_t processed = 0;
  bool inputEnded = false;

  for (;;) {
    int got = 0;
    if (!inputEnded) {
      got = read(inputs[0], block);
      if (got < block) inputEnded = true;
      result.input.add(inputs[0], static_cast<std::size_t>(got));
      result.inputFrames += got;
    }
    int frames = got;
    if (inputEnded) {
      // After the input: zeros until the delayed tail has come out.
      const std::int64_t remaining = result.inputFrames + latency - processed;
      frames = static_cast<int>(std::min<std::int64_t>(block, remaining));
      if (frames <= 0) break;
      std::fill(inputs[0] + got, inputs[0] + frames, 0.0f);
    }
    for (std::size_t pin = 1; pin < inputBuffers.size(); ++pin)
      std::copy(inputs[0], inputs[0] + frames, inputs[pin]);

    plugin.processReplacing(inputs.data(), outputs.data(), frames);
    processed += frames;

    const int skip = static_cast<int>(std::min<std::int64_t>(toDrop, frames));
    toDrop -= skip;
    const int keep = frames - skip;
    for (int i = 0; i < keep; ++i)
      for (int c = 0; c < outputCount; ++c)
        interleaved[static_cast<std::size_t>(i * outputCount + c)] =
            outputs[static_cast<std::size_t>(c)][skip + i];
    const std::size_t keptSamples = static_cast<std::size_t>(keep * outputCount);
    result.output.add(interleaved.data(), keptSamples);
    write(interleaved.data(), keep);
    result.outputFrames += keep;
    if (progress) progress(std::min(processed, result.inputFrames));
    if (inputEnded && processed >= result.inputFrames + latency) break;
  }
  return result;
}

bool outputIsComplete(const std::string& path, int sampleRate, int channels,
                      std::int64_t frames) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return false;
  bool complete = info.samplerate == sampleRate && info.channels == channels &&
                  info.frames == frames;
  if (complete && frames > 0) {
    std::vector<float> last(static_cast<std::size_t>(channels));
    complete = sf_seek(file, frames - 1, SEEK_SET) == frames - 1 &&
               sf_readf_float(file, last.data(), 1) == 1;
  }
  sf_close(file);
  return complete;
}

RenderResult renderFile(const std::shared_ptr<PluginLibrary>& library, const RenderJob& job,
                        const RenderSettings& settings, const SecondsCallback& progress) {
  const auto started = std::chrono::steady_clock::now();
  const bool streamIn = isStandardStream(job.inputPath);
  const bool streamOut = isStandardStream(job.outputPath);
  std::error_code ec;
  if (!streamIn && !streamOut && std::filesystem::equivalent(job.inputPath, job.outputPath, ec))
    throw ToolError(ExitStatus::usage,
                    "output '" + job.outputPath + "' is the input file; name another output");

  RenderResult result;
  if (!streamOut && settings.existing == ExistingOutput::keep &&
      std::filesystem::exists(job.outputPath, ec)) {
    result.outcome = RenderOutcome::skippedExisting;
    return result;
  }

  AudioReader reader(job.inputPath, settings.channel);
  result.sampleRate = reader.sampleRate();
  result.inputChannels = reader.channels();
  result.channel = settings.channel;
  result.outputFormat =
      outputFormat(job.outputPath, reader.format(), settings.bitDepth, settings.outputType);

  PluginInstance plugin(library);
  if (plugin.numInputs() < 1 || plugin.numOutputs() < 1)
    throw ToolError(ExitStatus::plugin, "the plug-in has no audio inputs or no audio outputs");

  if (!streamOut && !streamIn && settings.existing == ExistingOutput::keepComplete &&
      outputIsComplete(job.outputPath, reader.sampleRate(), plugin.numOutputs(),
                       reader.frames())) {
    result.outcome = RenderOutcome::skippedComplete;
    return result;
  }

  plugin.configure(reader.sampleRate(), settings.options.blockSize);
  for (const ParameterSetting& setting : settings.parameters)
    plugin.setParameter(setting.index, setting.normalised);
  result.warnings = cornerWarnings(plugin, reader.sampleRate());
  plugin.resume();

  WriteOptions writeOptions;
  writeOptions.dither = settings.dither;
  writeOptions.noClobber = settings.existing == ExistingOutput::keep;
  AudioWriter writer(job.outputPath, result.outputFormat, plugin.numOutputs(),
                     reader.sampleRate(), writeOptions);
  result.dithered = writer.dithers();
  const double rate = reader.sampleRate();
  const auto warmUpFrames = static_cast<std::int64_t>(std::llround(settings.warmUpSeconds * rate));
  ProgrammeSource source([&](float* mono, int frames) { return reader.read(mono, frames); },
                         warmUpFrames,
                         settings.humHz > 0.0 ? std::make_unique<HumFilter>(settings.humHz, rate)
                                              : nullptr,
                         rate);
  result.humHz = settings.humHz;
  result.stream = renderStream(
      plugin, settings.options, [&](float* mono, int frames) { return source.read(mono, frames); },
      [&](const float* frames, int count) { writer.write(frames, count); },
      [&](std::int64_t frames) {
        if (progress) progress(static_cast<double>(frames) / rate);
      },
      source.warmUp());
  result.warmUpSeconds = static_cast<double>(result.stream.warmUpFrames) / rate;
  plugin.suspend();
  if (!writer.commit()) result.outcome = RenderOutcome::skippedExisting;
  result.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

}  // namespace vardo::tools
