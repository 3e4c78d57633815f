// vardo: runs the Vardo VST 2.4 plug-in (or another one) over audio files
// from the command line, loading it as a DAW does.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define VARDO_ISATTY _isatty
#define VARDO_FILENO _fileno
#else
#include <unistd.h>
#define VARDO_ISATTY isatty
#define VARDO_FILENO fileno
#endif

#include "audio_file.h"
#include "parameters.h"
#include "plugin_host.h"
#include "render.h"
#include "report.h"

namespace fs = std::filesystem;
using namespace vardo::tools;

namespace {

struct Arguments {
  std::string pluginPath;
  std::vector<std::string> files;
  std::string outputDirectory;
  std::vector<std::string> assignments;
  int channel = 0;
  std::string bitDepth;
  bool noLatencyCompensation = false;
  int blockSize = 512;
  int jobs = 0;
};

void printError(const std::string& message) {
  std::fprintf(stderr, "vardo: error: %s\n", message.c_str());
}

std::vector<RenderJob> planJobs(const Arguments& args) {
  std::vector<RenderJob> jobs;
  std::error_code ec;
  if (args.outputDirectory.empty() && args.files.size() == 2 && fs::is_directory(args.files[1], ec)) {
    // "render IN DIR/" writes DIR/<name of IN>.
    Arguments intoDirectory = args;
    intoDirectory.outputDirectory = args.files[1];
    intoDirectory.files.pop_back();
    return planJobs(intoDirectory);
  }
  if (args.outputDirectory.empty()) {
    if (args.files.size() != 2)
      throw ToolError(ExitStatus::usage,
                      "render takes IN OUT, or several inputs with -o DIRECTORY");
    jobs.push_back({args.files[0], args.files[1]});
    return jobs;
  }
  const fs::path directory(args.outputDirectory);
  if (fs::exists(directory, ec) && !fs::is_directory(directory, ec))
    throw ToolError(ExitStatus::usage,
                    "output '" + args.outputDirectory + "' is not a directory");
  std::map<std::string, std::string> seen;
  for (const std::string& input : args.files) {
    const std::string output = (directory / fs::path(input).filename()).string();
    if (auto [it, fresh] = seen.emplace(output, input); !fresh)
      throw ToolError(ExitStatus::usage, "inputs '" + it->second + "' and '" + input +
                                             "' would both be written to '" + output + "'");
    jobs.push_back({input, output});
  }
  fs::create_directories(directory, ec);
  if (ec)
    throw ToolError(ExitStatus::write,
                    "cannot create '" + args.outputDirectory + "': " + ec.message());
  return jobs;
}

double plannedSeconds(const std::vector<RenderJob>& jobs) {
  double total = 0.0;
  for (const RenderJob& job : jobs) {
    SF_INFO info{};
    if (SNDFILE* file = sf_open(job.inputPath.c_str(), SFM_READ, &info)) {
      if (info.samplerate > 0) total += static_cast<double>(info.frames) / info.samplerate;
      sf_close(file);
    }
  }
  return total;
}

int runRender(const Arguments& args) {
  RenderSettings settings;
  settings.channel.channel = args.channel;
  settings.bitDepth = args.bitDepth.empty() ? BitDepth::asInput : parseBitDepth(args.bitDepth);
  settings.options.blockSize = args.blockSize;
  settings.options.compensateLatency = !args.noLatencyCompensation;

  const std::vector<RenderJob> jobs = planJobs(args);
  removeTemporariesOnInterrupt();
  const auto library = PluginLibrary::open(args.pluginPath);

  // Settings are checked once, on an instance of their own, before any file
  // is touched; each one is reported as the plug-in displays it.
  {
    PluginInstance probe(library);
    probe.configure(44100.0, args.blockSize);
    for (const std::string& assignment : args.assignments) {
      settings.parameters.push_back(resolveSetting(probe, assignment));
      const ParameterSetting& setting = settings.parameters.back();
      probe.setParameter(setting.index, setting.normalised);
      std::printf("%s = %s\n", setting.name.c_str(), displayWithLabel(probe, setting.index).c_str());
    }
    std::fflush(stdout);
  }

  const bool terminal = VARDO_ISATTY(VARDO_FILENO(stderr)) != 0;
  ProgressBar bar(terminal, plannedSeconds(jobs));
  std::atomic<std::size_t> nextJob{0};
  std::vector<int> statuses(jobs.size(), 0);

  auto worker = [&] {
    for (std::size_t i = nextJob.fetch_add(1); i < jobs.size(); i = nextJob.fetch_add(1)) {
      const RenderJob& job = jobs[i];
      std::int64_t reported = 0;
      int sampleRate = 0;
      {
        SF_INFO info{};
        if (SNDFILE* file = sf_open(job.inputPath.c_str(), SFM_READ, &info)) {
          sampleRate = info.samplerate;
          sf_close(file);
        }
      }
      auto progress = [&](std::int64_t frames) {
        if (sampleRate > 0) bar.addSeconds(static_cast<double>(frames - reported) / sampleRate);
        reported = frames;
      };
      try {
        const RenderResult result = renderFile(library, job, settings, progress);
        std::lock_guard lock(bar.outputLock());
        std::fprintf(stdout, "%s%s\n", bar.enabled() ? "\r\033[K" : "",
                     summaryLine(job, result).c_str());
        std::fflush(stdout);
      } catch (const ToolError& error) {
        statuses[i] = static_cast<int>(error.status());
        std::lock_guard lock(bar.outputLock());
        if (bar.enabled()) std::fprintf(stderr, "\r\033[K");
        printError(error.what());
      } catch (const std::exception& error) {
        statuses[i] = static_cast<int>(ExitStatus::failure);
        std::lock_guard lock(bar.outputLock());
        printError(job.inputPath + ": " + error.what());
      }
    }
  };

  const int threadCount = static_cast<int>(std::min<std::size_t>(
      jobs.size(), static_cast<std::size_t>(args.jobs > 0 ? args.jobs
                                                          : std::max(1u, std::thread::hardware_concurrency()))));
  std::mutex doneLock;
  std::condition_variable doneSignal;
  bool done = false;
  std::thread drawer;
  if (bar.enabled()) {
    drawer = std::thread([&] {
      std::unique_lock lock(doneLock);
      while (!doneSignal.wait_for(lock, std::chrono::milliseconds(200), [&] { return done; }))
        bar.draw();
    });
  }
  std::vector<std::thread> workers;
  for (int t = 1; t < threadCount; ++t) workers.emplace_back(worker);
  worker();
  for (auto& thread : workers) thread.join();
  if (drawer.joinable()) {
    {
      std::lock_guard lock(doneLock);
      done = true;
    }
    doneSignal.notify_all();
    drawer.join();
    bar.clear();
  }
  for (int status : statuses)
    if (status != 0) return status;  // the first failed file's kind of failure
  return 0;
}

int runParams(const Arguments& args) {
  PluginInstance plugin(PluginLibrary::open(args.pluginPath));
  plugin.configure(44100.0, args.blockSize);
  printParameters(stdout, plugin);
  return 0;
}

int runInfo(const Arguments& args) {
  PluginInstance plugin(PluginLibrary::open(args.pluginPath));
  plugin.configure(44100.0, args.blockSize);
  plugin.resume();  // hosts read the latency once the effect is on
  printInfo(stdout, plugin, args.pluginPath);
  plugin.suspend();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  args.pluginPath = defaultPluginPath();

  CLI::App app{"Renders audio files through the Vardo VST 2.4 plug-in, as a host would.",
               "vardo"};
  app.require_subcommand(1);
  app.add_option("--plugin", args.pluginPath, "VST 2.4 plug-in library to load")
      ->capture_default_str();

  CLI::App* render = app.add_subcommand("render", "Render IN to OUT, or several inputs into -o DIR");
  render->fallthrough();
  render->add_option("files", args.files, "IN OUT, or inputs with -o DIR")->required();
  render->add_option("-o,--output-dir", args.outputDirectory,
                     "Directory for the outputs of several inputs (same file names)");
  render->add_option("--set", args.assignments,
                     "Set a parameter: NAME=VALUE in its own units (8000, -6dB, 150%, on), "
                     "or NAME=0.5n normalised; NAME may be an index")
      ->allow_extra_args(false);
  render->add_option("--channel", args.channel,
                     "Input channel to render, counted from 1 (default: all mixed to mono)")
      ->check(CLI::PositiveNumber);
  render->add_option("--bit-depth", args.bitDepth,
                     "Output sample format: 16, 24 or 32f (default: the input's)");
  render->add_flag("--no-latency-compensation", args.noLatencyCompensation,
                   "Keep the plug-in's delay instead of aligning output with input");
  render->add_option("--block", args.blockSize, "Host block size in frames")
      ->check(CLI::Range(1, 1 << 20))
      ->capture_default_str();
  render->add_option("-j,--jobs", args.jobs, "Files rendered at once (default: one per core)")
      ->check(CLI::PositiveNumber);

  CLI::App* params = app.add_subcommand("params", "List the plug-in's parameters");
  params->fallthrough();
  CLI::App* info = app.add_subcommand("info", "Show what a host sees of the plug-in");
  info->fallthrough();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    printError(std::string(error.what()) + " (see vardo --help)");
    return static_cast<int>(ExitStatus::usage);
  }

  try {
    if (render->parsed()) return runRender(args);
    if (params->parsed()) return runParams(args);
    return runInfo(args);
  } catch (const ToolError& error) {
    printError(error.what());
    return static_cast<int>(error.status());
  } catch (const std::exception& error) {
    printError(error.what());
    return static_cast<int>(ExitStatus::failure);
  }
}
