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
  SNDFILE* file = openSoundFile(path, SFM_READ, &info);
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

namespace {

std::string existsMessage(const std::string& outputPath) {
  return "output '" + outputPath + "' exists; give -y (--overwrite) to replace it, or -o DIR to "
         "write the outputs elsewhere";
}

}  // namespace

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
  const bool exists = !streamOut && std::filesystem::exists(job.outputPath, ec) &&
                      !std::filesystem::is_directory(job.outputPath, ec);
  if (exists && settings.existing == ExistingOutput::keep) {
    result.outcome = RenderOutcome::skippedExisting;
    return result;
  }
  if (exists && settings.existing == ExistingOutput::refuse)
    throw ToolError(ExitStatus::exists, existsMessage(job.outputPath));

  AudioReader reader(job.inputPath, settings.channel);
  result.sampleRate = reader.sampleRate();
  result.inputChannels = reader.channels();
  result.channel = settings.channel;
  result.outputFormat =
      outputFormat(job.outputPath, reader.format(), settings.bitDepth, settings.outputType);

  PluginInstance plugin(library);
  if (plugin.numInputs() < 1 || plugin.numOutputs() < 1)
    throw ToolError(ExitStatus::plugin, "the plug-in has no audio inputs or no audio outputs");

  if (exists && !streamIn && (settings.existing == ExistingOutput::keepComplete ||
                              settings.existing == ExistingOutput::keepMatching)) {
    if (!outputIsComplete(job.outputPath, reader.sampleRate(), plugin.numOutputs(),
                          reader.frames())) {
      result.replacedBecause = "incomplete";
    } else if (settings.existing == ExistingOutput::keepComplete) {
      result.outcome = RenderOutcome::skippedComplete;
      return result;
    } else {
      const auto recorded = recordedProvenance(job.outputPath);
      auto key = recorded ? settingsKeyIn(*recorded) : std::nullopt;
      if (!key) {
        if (const auto logged = settings.loggedSettings.find(job.outputPath);
            logged != settings.loggedSettings.end())
          key = logged->second;
      }
      if (key && *key == settings.provenance.settingsKey()) {
        result.outcome = RenderOutcome::skippedComplete;
        return result;
      }
      result.replacedBecause = key ? "made with other settings" : "no record of its settings";
    }
  }

  plugin.configure(reader.sampleRate(), settings.options.blockSize);
  for (const ParameterSetting& setting : settings.parameters)
    plugin.setParameter(setting.index, setting.normalised);
  result.warnings = cornerWarnings(plugin, reader.sampleRate());
  plugin.resume();

  OutputMetadata metadata;
  metadata.carried = reader.metadata();
  metadata.software = settings.provenance.tool + " with " + settings.provenance.plugin;
  metadata.provenance = settings.provenance.line(job.inputPath);
  result.recordedIn = carrierFor(result.outputFormat);
  WriteOptions writeOptions;
  writeOptions.dither = settings.dither;
  writeOptions.metadata = &metadata;
  // Only an output that was there when the render began, and was to be
  // replaced, may be replaced at its end.
  writeOptions.noClobber = settings.existing != ExistingOutput::replace &&
                           (!exists || settings.existing == ExistingOutput::keep ||
                            settings.existing == ExistingOutput::refuse);
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
  if (reader.promisedFrames() > reader.framesRead() || !reader.readError().empty()) {
    result.damaged = true;
    result.promisedFrames = std::max<std::int64_t>(reader.promisedFrames(), reader.framesRead());
    result.readFrames = reader.framesRead();
    result.warnings.push_back(
        "damaged input: " +
        (reader.readError().empty() ? "its header promises " + std::to_string(reader.promisedFrames()) +
                                          " frames, the file holds " +
                                          std::to_string(reader.framesRead())
                                    : "reading failed after " + std::to_string(reader.framesRead()) +
                                          " frames (" + reader.readError() + ")") +
        "; the readable part is rendered");
  }
  if (!writer.commit()) {
    if (settings.existing != ExistingOutput::keep)
      throw ToolError(ExitStatus::exists, existsMessage(job.outputPath) +
                                              " (it appeared while this render ran)");
    result.outcome = RenderOutcome::skippedExisting;
  }
  result.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

}  // namespace vardo::tools
