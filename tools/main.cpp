// vardo: runs the Vardo VST 2.4 plug-in (or another one) over audio files
// from the command line, loading it as a DAW does.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
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

#include "analyse.h"
#include "audio_file.h"
#include "batch.h"
#include "parameters.h"
#include "plugin_host.h"
#include "presets.h"
#include "render.h"
#include "report.h"
#include "temp_files.h"
#include "warm_up.h"

using namespace vardo::tools;

namespace {

struct Arguments {
  std::string pluginPath;
  bool quiet = false;
  int verbose = 0;
  bool json = false;
  std::vector<std::string> files;
  std::string outputDirectory;
  std::string manifest;
  std::string logPath;
  std::vector<std::string> presets;
  std::vector<std::string> assignments;
  int channel = 0;
  std::string bitDepth;
  std::string format;
  bool noDither = false;
  bool overwrite = false;
  bool noClobber = false;
  std::string skipExisting;  // "", "same" or "any"
  bool noLatencyCompensation = false;
  bool noWarmUp = false;
  std::string dehum;  // 50, 60, auto or off; empty: off, or as --auto finds
  bool autoSettings = false;
  int blockSize = 512;
  int jobs = 0;  // 0: one per core
};

void printError(const std::string& message) {
  std::fprintf(stderr, "vardo: error: %s\n", message.c_str());
}

void printWarning(const std::string& message) {
  std::fprintf(stderr, "vardo: warning: %s\n", message.c_str());
}

double plannedSeconds(const std::vector<RenderJob>& jobs) {
  double total = 0.0;
  for (const RenderJob& job : jobs) {
    if (isStandardStream(job.inputPath)) continue;
    SF_INFO info{};
    if (SNDFILE* file = openSoundFile(job.inputPath, SFM_READ, &info)) {
      if (info.samplerate > 0) total += static_cast<double>(info.frames) / info.samplerate;
      sf_close(file);
    }
  }
  return total;
}

std::vector<RenderJob> planRender(const Arguments& args) {
  if (args.manifest.empty()) {
    // Two files are IN and OUT: a shell pattern that matched two originals
    // must not make the second one an output.
    std::error_code ec;
    if (args.outputDirectory.empty() && args.files.size() == 2 && !args.overwrite &&
        !args.noClobber && !isStandardStream(args.files[1]) &&
        std::filesystem::exists(args.files[1], ec) &&
        !std::filesystem::is_directory(args.files[1], ec) &&
        !std::filesystem::equivalent(args.files[0], args.files[1], ec))
      throw ToolError(ExitStatus::exists,
                      "output '" + args.files[1] + "' exists; vardo render IN OUT would replace "
                      "it: give -y (--overwrite) to replace it, or -o DIR to render both files "
                      "into DIR");
    return planJobs(args.files, args.outputDirectory);
  }
  if (!args.files.empty())
    throw ToolError(ExitStatus::usage, "--manifest takes the inputs from its list: give no files");
  if (isStandardStream(args.manifest)) return readManifest(std::cin, "standard input", args.outputDirectory);
  std::ifstream list(args.manifest);
  if (!list) throw ToolError(ExitStatus::inputFile, "cannot read manifest '" + args.manifest + "'");
  return readManifest(list, args.manifest, args.outputDirectory);
}

// Which preset an argument of --preset names, for -v.
std::string presetSource(const std::string& preset) {
  if (isPresetPath(preset)) return "the file '" + preset + "'";
  std::error_code ec;
  if (std::filesystem::exists(preset, ec))
    return "the built-in preset (the file of that name here is not read; give ./" + preset +
           " for it)";
  return "the built-in preset";
}

// The lines in order; a later setting of a parameter replaces an earlier
// one. Warnings are handed to warn with their origin.
std::vector<ParameterSetting> resolveLines(const PluginInstance& probe,
                                           const std::vector<PresetLine>& lines,
                                           const std::function<void(const std::string&)>& warn) {
  std::vector<ParameterSetting> settings;
  for (const PresetLine& line : lines) {
    ParameterSetting setting;
    try {
      setting = resolveSetting(probe, line.assignment);
    } catch (const ToolError& error) {
      if (line.origin.empty()) throw;
      throw ToolError(error.status(), line.origin + ": " + error.what());
    }
    if (!setting.warning.empty())
      warn((line.origin.empty() ? "" : line.origin + ": ") + setting.warning);
    std::erase_if(settings, [&](const ParameterSetting& s) { return s.index == setting.index; });
    settings.push_back(setting);
  }
  std::sort(settings.begin(), settings.end(),
            [](const ParameterSetting& a, const ParameterSetting& b) { return a.index < b.index; });
  return settings;
}

// Presets first, in the order given, then --set.
std::vector<ParameterSetting> resolveSettings(const PluginInstance& probe, const Arguments& args) {
  std::vector<PresetLine> lines;
  for (const std::string& preset : args.presets) {
    const auto loaded = loadPreset(preset);
    if (args.verbose > 0 && !args.quiet && !args.json)
      std::fprintf(stderr, "vardo: preset '%s': %s\n", preset.c_str(), presetSource(preset).c_str());
    lines.insert(lines.end(), loaded.begin(), loaded.end());
  }
  for (const std::string& assignment : args.assignments) lines.push_back({assignment, ""});
  return resolveLines(probe, lines, printWarning);
}

// --auto and --dehum auto measure each file first; the settings it gets are
// the proposal's, with --set on top, and the hum it finds is notched unless
// --dehum says otherwise.
RenderSettings settingsForFile(const std::shared_ptr<PluginLibrary>& library,
                               const RenderSettings& common, const Arguments& args,
                               const RenderJob& job, RenderResult& notes) {
  RenderSettings settings = common;
  if (!args.autoSettings && args.dehum != "auto") return settings;
  if (isStandardStream(job.inputPath))
    throw ToolError(ExitStatus::usage, "--auto and --dehum auto measure the whole file before "
                                       "rendering it: give a file, not standard input");
  const Analysis analysis = analyseFile(job.inputPath, common.channel);
  const Proposal proposal = propose(analysis);
  if (args.dehum == "auto" || (args.autoSettings && args.dehum.empty())) {
    settings.humHz = proposal.humHz;
    settings.provenance.options = sampleChangingOptions(settings);
  }
  if (args.autoSettings) {
    std::vector<PresetLine> lines = proposal.lines;
    for (const std::string& assignment : args.assignments) lines.push_back({assignment, ""});
    PluginInstance probe(library);
    probe.configure(analysis.sampleRate > 0 ? analysis.sampleRate : 44100.0, args.blockSize);
    settings.parameters =
        resolveLines(probe, lines, [&](const std::string& w) { notes.warnings.push_back(w); });
    for (const ParameterSetting& setting : settings.parameters)
      probe.setParameter(setting.index, setting.normalised);
    settings.provenance = describeRun(common.provenance.tool, probe,
                                      {"auto (" + proposal.summary() + ")"}, settings);
    notes.autoSummary = proposal.summary();
    notes.autoSettings = analysisJson(job.inputPath, analysis, proposal);
  }
  return settings;
}

int runRender(const Arguments& args) {
  RenderSettings settings;
  settings.channel.channel = args.channel;
  settings.bitDepth = args.bitDepth.empty() ? BitDepth::asInput : parseBitDepth(args.bitDepth);
  settings.outputType = args.format;
  settings.dither = !args.noDither;
  settings.existing = args.noClobber                ? ExistingOutput::keep
                      : args.skipExisting == "any"  ? ExistingOutput::keepComplete
                      : !args.skipExisting.empty()  ? ExistingOutput::keepMatching
                      : args.overwrite              ? ExistingOutput::replace
                                                    : ExistingOutput::refuse;
  settings.options.blockSize = args.blockSize;
  settings.options.compensateLatency = !args.noLatencyCompensation;
  settings.warmUpSeconds = args.noWarmUp ? 0.0 : kWarmUpSeconds;
  if (args.dehum == "50" || args.dehum == "60") settings.humHz = std::stod(args.dehum);
  if (args.autoSettings && !args.presets.empty())
    throw ToolError(ExitStatus::usage,
                    "--auto chooses the preset for each file: give --auto or --preset, not both");

  const std::vector<RenderJob> jobs = planRender(args);
  // Standard output carries the audio when an output is "-": text goes to
  // standard error then.
  const bool audioOnStdout = std::any_of(jobs.begin(), jobs.end(), [](const RenderJob& job) {
    return isStandardStream(job.outputPath);
  });
  if (audioOnStdout && VARDO_ISATTY(VARDO_FILENO(stdout)) != 0)
    throw ToolError(ExitStatus::usage,
                    "standard output is a terminal: send the audio to a file or a pipe "
                    "(vardo render IN - --format wav > OUT.wav)");
  std::FILE* text = audioOnStdout ? stderr : stdout;
  const auto started = std::chrono::steady_clock::now();
  removeTemporariesOnInterrupt();
  const auto library = PluginLibrary::open(args.pluginPath);
  if (args.verbose > 0 && !args.quiet && !args.json)
    std::fprintf(text, "plug-in %s\n", args.pluginPath.c_str());

  // Settings are checked once, on an instance of their own, before any file
  // is touched; each one is reported as the plug-in displays it.
  {
    PluginInstance probe(library);
    probe.configure(44100.0, args.blockSize);
    settings.parameters = resolveSettings(probe, args);
    for (const ParameterSetting& setting : settings.parameters) {
      probe.setParameter(setting.index, setting.normalised);
      if (const std::string warning = displayWarning(probe, setting.index); !warning.empty())
        printWarning(warning);
      if (!args.quiet && !args.json)
        std::fprintf(text, "%s = %s\n", setting.name.c_str(),
                     displayWithLabel(probe, setting.index).c_str());
    }
    if (!args.quiet && args.json && !settings.parameters.empty())
      std::fprintf(text, "%s\n", settingsJson(probe, settings.parameters).c_str());
    std::fflush(text);

    settings.provenance =
        describeRun(std::string("vardo ") + VARDO_VERSION, probe, args.presets, settings);
  }

  std::unique_ptr<JsonLinesLog> ownLog;
  std::string logPath = args.logPath;
  if (logPath.empty() && !args.manifest.empty())
    logPath = (std::filesystem::path(args.outputDirectory) / "vardo-log.jsonl").string();
  if (!logPath.empty()) {
    // W64 and AU outputs hold no text: their settings are those the log
    // recorded when they were made.
    if (settings.existing == ExistingOutput::keepMatching) {
      std::ifstream earlier(logPath);
      if (earlier) settings.loggedSettings = loggedSettings(earlier);
    }
    ownLog = std::make_unique<JsonLinesLog>(logPath);
  }

  // A manifest run after a crash or kill -9: the temporary files that runs
  // of this host left beside the outputs are removed, and named.
  if (!args.manifest.empty()) {
    std::vector<std::string> directories;
    for (const RenderJob& job : jobs)
      directories.push_back(std::filesystem::path(job.outputPath).parent_path().string());
    for (const std::string& stale : removeStaleTemporaries(directories)) {
      if (ownLog) ownLog->append(cleanupJson(stale));
      if (!args.quiet)
        std::fprintf(stderr, "vardo: removed '%s', left by an earlier run that ended unfinished\n",
                     stale.c_str());
    }
  }

  const bool terminal = VARDO_ISATTY(VARDO_FILENO(stderr)) != 0 && !args.quiet;
  ProgressBar bar(terminal, terminal ? plannedSeconds(jobs) : 0.0);
  std::atomic<std::size_t> nextJob{0};
  std::vector<int> statuses(jobs.size(), 0);
  BatchTotals totals;

  // A line of text under the output lock: the bar (on standard error) is
  // wiped first, so that no control codes go into the text itself.
  auto emit = [&](std::FILE* stream, const std::string& line) {
    bar.clear();
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
  };

  auto worker = [&] {
    for (std::size_t i = nextJob.fetch_add(1); i < jobs.size(); i = nextJob.fetch_add(1)) {
      const RenderJob& job = jobs[i];
      double reported = 0.0;
      auto progress = [&](double seconds) {
        bar.addSeconds(seconds - reported);
        reported = seconds;
      };
      try {
        RenderResult notes;
        const RenderSettings fileSettings = settingsForFile(library, settings, args, job, notes);
        RenderResult result = renderFile(library, job, fileSettings, progress);
        result.autoSummary = notes.autoSummary;
        result.autoSettings = notes.autoSettings;
        result.warnings.insert(result.warnings.begin(), notes.warnings.begin(), notes.warnings.end());
        const std::string json = resultJson(job, result, fileSettings.provenance);
        if (result.damaged) statuses[i] = static_cast<int>(ExitStatus::damaged);
        if (ownLog) ownLog->append(json);
        std::lock_guard lock(bar.outputLock());
        if (result.outcome == RenderOutcome::rendered) {
          ++totals.rendered;
          totals.audioSeconds += result.durationSeconds();
        } else {
          ++totals.skipped;
        }
        for (const std::string& warning : result.warnings)
          emit(stderr, "vardo: warning: " + describeInput(job.inputPath) + ": " + warning);
        if (!args.quiet) {
          emit(text, args.json ? json : summaryLine(job, result));
          if (args.verbose > 0 && !args.json && result.outcome == RenderOutcome::rendered)
            emit(text, detailLine(result, settings));
        }
      } catch (const std::exception& error) {
        const auto* toolError = dynamic_cast<const ToolError*>(&error);
        statuses[i] = static_cast<int>(toolError != nullptr ? toolError->status()
                                                            : ExitStatus::failure);
        const std::string message =
            toolError != nullptr ? error.what() : job.inputPath + ": " + error.what();
        const std::string json = failureJson(job, statuses[i], message, settings.provenance);
        if (ownLog) ownLog->append(json);
        std::lock_guard lock(bar.outputLock());
        ++totals.failed;
        emit(stderr, "vardo: error: " + message);
        if (args.json && !args.quiet) emit(text, json);
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
  totals.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (jobs.size() > 1 && !args.quiet) {
    std::fprintf(text, "%s\n", (args.json ? totalJson(totals) : totalLine(totals)).c_str());
    std::fflush(text);
  }
  for (int status : statuses)
    if (status != 0) return status;  // the first failed file's kind of failure
  return 0;
}

int runParams(const Arguments& args) {
  PluginInstance plugin(PluginLibrary::open(args.pluginPath));
  plugin.configure(44100.0, args.blockSize);
  if (args.json)
    std::printf("%s\n", parametersJson(plugin).c_str());
  else
    printParameters(stdout, plugin);
  return 0;
}

int runInfo(const Arguments& args) {
  PluginInstance plugin(PluginLibrary::open(args.pluginPath));
  plugin.configure(44100.0, args.blockSize);
  plugin.resume();  // hosts read the latency once the effect is on
  if (args.json)
    std::printf("%s\n", infoJson(plugin, args.pluginPath).c_str());
  else
    printInfo(stdout, plugin, args.pluginPath);
  plugin.suspend();
  return 0;
}

int runAnalyse(const Arguments& args) {
  int status = 0;
  for (const std::string& path : args.files) {
    try {
      const Analysis analysis = analyseFile(path, ChannelChoice{args.channel});
      const Proposal proposal = propose(analysis);
      std::printf("%s\n", (args.json ? analysisJson(path, analysis, proposal)
                                     : analysisText(path, analysis, proposal))
                              .c_str());
      std::fflush(stdout);
    } catch (const ToolError& error) {
      printError(error.what());
      if (status == 0) status = static_cast<int>(error.status());
    }
  }
  return status;
}

int runPresets(const Arguments& args) {
  if (args.json)
    std::printf("%s\n", presetsJson().c_str());
  else
    printPresets(stdout);
  return 0;
}

// An error that ends the run: a line on standard error and, with --json, the
// same as a JSON object on standard output.
int fail(const Arguments& args, int status, const std::string& message) {
  printError(message);
  if (args.json) {
    // Standard output may be meant for audio ("render IN -"): then stderr.
    const bool audioOut = std::find(args.files.begin(), args.files.end(), "-") != args.files.end();
    std::FILE* stream = audioOut ? stderr : stdout;
    std::fprintf(stream, "%s\n", errorJson(status, message).c_str());
    std::fflush(stream);
  }
  return status;
}

// The subcommand named on the command line, for pointing at its help.
std::string subcommandIn(int argc, char** argv, const CLI::App& app) {
  for (int i = 1; i < argc; ++i)
    for (const CLI::App* sub : app.get_subcommands({}))
      if (sub->get_name() == argv[i]) return sub->get_name();
  return {};
}

const char* const kRenderFooter = R"(
The options of vardo itself (--plugin, -q, -v, --json) may also follow the
subcommand.

Parameters: NAME is the full name, any unique beginning of it (any case) or
its index; VALUE is in the parameter's own units (8000, 8 kHz, -6 dB, 150%, on)
or a normalised host value with n (0.25n). Values between two steps are
rounded to the nearer step, with a warning. Presets are applied first, in the
order given, then every --set; a later value of a parameter replaces an
earlier one.

A preset file holds NAME=VALUE lines; blank lines and # comments are
skipped. A --preset argument with a / or an extension is a file, anything
else a built-in preset ('vardo presets' lists them; -v says which was used).
--auto measures each file as 'vardo analyse' does and applies the settings
it proposes.

The plug-in is first run over the file's opening, and that output dropped,
so that the first seconds come out like the rest (a warm start);
--no-warm-up starts it cold and gives exactly the samples a host gives.

An existing output is never replaced unless -y (--overwrite) is given: that
file fails with exit status 8 and the others go on. -n leaves existing
outputs alone; --skip-existing leaves those that are complete and were made
with the same values and options, and renders the others again
(--skip-existing=any leaves every complete one).

Every output records how it was made (program, plug-in, preset, all values,
the options that change samples, the input's name): WAV in its bext coding
history, FLAC, Ogg, AIFF and CAF in their comment, W64 and AU only in the
log. The input's own text fields, bext description and dates, cue points and
cart chunk are carried over.

An input whose header promises more audio than the file holds is rendered as
far as it goes, with a warning, status "truncated" and exit status 9.

Outputs are written under a temporary name (.vardo-HOST-PID-N.tmp beside
them) and renamed when complete; '-' as
the output writes the finished file to standard output (give --format), '-'
as the input reads standard input. 16-bit outputs get TPDF dither unless
--no-dither is given.

A manifest holds one input per line (# comments allowed), or INPUT<TAB>OUTPUT
with OUTPUT relative to -o DIR. Each file's result is appended to a JSON-lines
log (--log, by default DIR/vardo-log.jsonl).

Examples:
  vardo render --preset tape tape.wav restored.wav
  vardo render -y --preset tape tape.wav restored.wav   # replace restored.wav
  vardo render --auto --dehum auto tape.wav restored.wav
  vardo render --set lowpass=6000 --set noisegate=40 in.flac out.flac
  sox old.mp3 -t wav - | vardo render - - --format flac > restored.flac
  vardo render --manifest archive.txt -o restored/ --skip-existing -j 4)";

const char* const kAnalyseFooter = R"(
The pauses are the quietest tenth of 46 ms frames, the programme the louder
half. The band edge is the highest frequency at which the programme (the 90th
percentile of its frames' spectra) stands 6 dB above the pauses (their median
spectrum) and within 45 dB of its own strongest band; the noise floor is the
level of the pauses. The noise's bandwidth (the frequency below which 99 % of
its power lies) and tilt tell the medium: below about 4.3 kHz a phone call,
6.3 kHz AM, 12.4 kHz a disc; above, pink noise is a field recording and white
hiss tape. Hum is 50 or 60 Hz when its harmonics up to 1 kHz stand 10 dB
above their neighbours. Clipping counts flat runs of three or more equal
samples above -12 dBFS. Of a file longer than five minutes, the spectra come
from its middle five.

The proposal: that medium's preset, moved only where moving it measured
better on the training recordings (a field recording's lowpass corner follows
its band edge), and --dehum at the hum found. A file with no band edge above
1 kHz (no pauses) gets the defaults.

Examples:
  vardo analyse tape.wav
  vardo --json analyse *.flac
  vardo render --auto tape.wav restored.wav)";

const char* const kMainFooter = R"(
Exit status: 0 success; 2 malformed command line; 3 missing or unreadable
input; 4 unsupported format; 5 unknown parameter or value out of range;
6 library that is not a VST 2.4 plug-in; 7 failed write; 8 output exists
(give -y); 9 damaged input, its readable part rendered; 1 any other failure.
With several inputs, the status is that of the first failed file.)";

// A whole number from minimum to maximum; otherwise the reason, which the
// error message shows with the value given.
CLI::Validator wholeNumber(int minimum, int maximum, const std::string& reason) {
  return CLI::Validator(
      [=](std::string& value) -> std::string {
        long number = 0;
        if (!CLI::detail::lexical_cast(value, number) || number < minimum || number > maximum)
          return reason + " (got '" + value + "')";
        return {};
      },
      "");
}

// Help with every subcommand expanded (--help-all, which the manual page is
// made from) carries each subcommand's footer too.
class FullHelpFormatter : public CLI::Formatter {
 public:
  std::string make_expanded(const CLI::App* sub) const override {
    // "vardo render:" on a line of its own, which help2man makes a section.
    std::string text = CLI::Formatter::make_expanded(sub);
    text = "\nvardo " + text.substr(0, text.find('\n')) + ":\n" + text.substr(text.find('\n'));
    const std::string footer = sub->get_footer();
    if (footer.empty()) return text;
    std::string indented;
    for (char c : footer) {
      indented += c;
      if (c == '\n') indented += "  ";
    }
    return text + indented + "\n";
  }
};

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  args.pluginPath = defaultPluginPath();

  CLI::App app{"Restores band-limited, noisy mono recordings with the Vardo VST 2.4 plug-in:\n"
               "renders audio files through it as a host would.",
               "vardo"};
  app.formatter(std::make_shared<FullHelpFormatter>());
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("vardo ") + VARDO_VERSION,
                       "Print the version and exit");
  app.set_help_all_flag("--help-all", "Print the help of every subcommand and exit");
  app.footer(std::string(kMainFooter) + "\n\nThe manual, " + manualPath() +
             ", explains what each control does and which settings suit which material.");
  app.add_option("--plugin", args.pluginPath,
                 "VST 2.4 plug-in library to load (default: the vardo plug-in installed "
                 "with this program, ../lib/vst/vardo.so, or else the one built beside it; "
                 "a bare file name is taken from the working directory)")
      ->type_name("PATH");
  app.add_flag("-q,--quiet", args.quiet,
               "Print nothing but warnings and errors (no settings, summaries or progress)");
  app.add_flag("-v,--verbose", args.verbose,
               "Print more: the plug-in loaded and, per file, format, dither, sample rate, "
               "latency and block size");
  app.add_flag("--json", args.json,
               "Machine-readable output: JSON for info, params and presets; one JSON object "
               "per line for render");

  CLI::App* render = app.add_subcommand(
      "render", "Render IN to OUT, several inputs into -o DIR, or a manifest of inputs");
  render->fallthrough();
  render->footer(kRenderFooter);
  render->add_option("files", args.files,
                     "IN OUT; IN DIR; or several inputs with -o DIR. '-' is standard input or "
                     "output")
      ->type_name("FILE");
  render->add_option("-o,--output-dir", args.outputDirectory,
                     "Directory for the outputs of several inputs or of a manifest (same file "
                     "names)")
      ->type_name("DIR");
  render->add_option("--manifest", args.manifest,
                     "Render the inputs listed in LIST, one per line ('-': standard input), "
                     "into -o DIR")
      ->type_name("LIST");
  render->add_option("--log", args.logPath,
                     "Append one JSON line per file (its result or error) to FILE")
      ->type_name("FILE");
  render->add_option("--preset", args.presets,
                     "Apply a built-in preset (tape, am, phone, vinyl, field) or a file of "
                     "NAME=VALUE lines; --set overrides it")
      ->type_name("NAME|FILE")
      ->allow_extra_args(false);
  render->add_option("--set", args.assignments,
                     "Set a parameter: NAME=VALUE in its own units (8000, -6dB, 150%, on), "
                     "or NAME=0.5n normalised; NAME may be an index or a unique beginning")
      ->type_name("NAME=VALUE")
      ->allow_extra_args(false);
  render->add_option("--channel", args.channel,
                     "Input channel to render, counted from 1 (default: all mixed to mono)")
      ->type_name("N")
      ->check(wholeNumber(1, 1 << 16, "channels are counted from 1"));
  render->add_option("--bit-depth", args.bitDepth,
                     "Output sample format: 16, 24 or 32f (default: the input's)")
      ->type_name("16|24|32f");
  render->add_option("--format", args.format,
                     "Output container: wav, flac, aiff, caf, w64, au or ogg (default: from the "
                     "output's extension; needed for standard output)")
      ->type_name("TYPE");
  render->add_flag("--no-dither", args.noDither,
                   "Round 16-bit output without the default TPDF dither");
  render->add_flag("-y,--overwrite", args.overwrite,
                   "Replace outputs that exist (without it, an existing output fails its file "
                   "with exit status 8)");
  render->add_flag("-n,--no-clobber", args.noClobber,
                   "Never replace an existing output; leave it untouched and go on");
  render->add_flag("--skip-existing{same}", args.skipExisting,
                   "Skip an input whose output exists, is complete and was made with the same "
                   "values and options (to resume a batch); render the others again. "
                   "--skip-existing=any skips every complete output")
      ->check(CLI::IsMember({"same", "any"}))
      ->option_text("[=any]");
  render->add_flag("--no-latency-compensation", args.noLatencyCompensation,
                   "Keep the plug-in's delay instead of aligning output with input");
  render->add_flag("--no-warm-up", args.noWarmUp,
                   "Start the plug-in cold, exactly as a host does (by default it first runs "
                   "over the file's opening, so the first seconds sound like the rest)");
  render->add_option("--dehum", args.dehum,
                     "Notch mains hum and its harmonics up to 1 kHz before the plug-in: 50 or "
                     "60 Hz, auto to detect it per file, off (default; --auto notches the hum "
                     "it finds)")
      ->type_name("50|60|auto|off")
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            if (value == "50" || value == "60" || value == "auto" || value == "off") return {};
            return "mains hum is at 50 or 60 Hz: give 50, 60, auto or off (got '" + value + "')";
          },
          ""));
  render->add_flag("--auto", args.autoSettings,
                   "Measure each file and apply the settings 'vardo analyse' proposes for it, "
                   "in place of --preset; --set still overrides them");
  render->add_option("--block", args.blockSize, "Host block size in frames, 1 to 1048576 (default: 512)")
      ->type_name("N")
      ->check(wholeNumber(1, 1 << 20, "a block holds 1 to 1048576 frames"));
  render->add_option("-j,--jobs", args.jobs, "Files rendered at once (default: one per core)")
      ->type_name("N")
      ->check(wholeNumber(1, 1 << 16,
                          "the number of files rendered at once is 1 or more; leave -j "
                          "out for one per core"));

  CLI::App* params = app.add_subcommand(
      "params", "List the plug-in's parameters: range, step, default, unit and display");
  params->fallthrough();
  CLI::App* info = app.add_subcommand(
      "info", "Show what a host sees: name, vendor, ID, pins, latency, capabilities");
  info->fallthrough();
  CLI::App* presets =
      app.add_subcommand("presets", "List the built-in presets and their values");
  presets->fallthrough();
  CLI::App* analyse = app.add_subcommand(
      "analyse", "Measure each file's band edge, noise floor, hum, clipping and DC offset, and "
                 "propose settings for it (render --auto applies them)");
  analyse->alias("analyze");
  analyse->fallthrough();
  analyse->footer(kAnalyseFooter);
  analyse->add_option("files", args.files, "Audio files to measure")->type_name("FILE")->required();
  analyse->add_option("--channel", args.channel,
                      "Input channel to measure, counted from 1 (default: all mixed to mono)")
      ->type_name("N")
      ->check(wholeNumber(1, 1 << 16, "channels are counted from 1"));

  if (argc <= 1) {
    std::fputs(app.help().c_str(), stderr);
    return static_cast<int>(ExitStatus::usage);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    const std::string sub = subcommandIn(argc, argv, app);
    std::string message = error.what();
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr && sub.empty())
      message = "name a subcommand: render, analyse, params, info or presets";
    message += " (see vardo " + (sub.empty() ? "" : sub + " ") + "--help)";
    printError(message);
    if (std::any_of(argv + 1, argv + argc, [](const char* a) { return std::strcmp(a, "--json") == 0; }))
      std::printf("%s\n", errorJson(static_cast<int>(ExitStatus::usage), message).c_str());
    return static_cast<int>(ExitStatus::usage);
  }

  try {
    if (render->parsed()) {
      if (args.files.empty() && args.manifest.empty())
        throw ToolError(ExitStatus::usage,
                        "render needs IN OUT, inputs with -o DIR, or --manifest LIST "
                        "(see vardo render --help)");
      if (args.noClobber && !args.skipExisting.empty())
        throw ToolError(ExitStatus::usage,
                        "--no-clobber and --skip-existing exclude each other "
                        "(see vardo render --help)");
      if (args.noClobber && args.overwrite)
        throw ToolError(ExitStatus::usage,
                        "--no-clobber and --overwrite exclude each other "
                        "(see vardo render --help)");
      return runRender(args);
    }
    if (params->parsed()) return runParams(args);
    if (presets->parsed()) return runPresets(args);
    if (analyse->parsed()) return runAnalyse(args);
    return runInfo(args);
  } catch (const ToolError& error) {
    return fail(args, static_cast<int>(error.status()), error.what());
  } catch (const std::exception& error) {
    return fail(args, static_cast<int>(ExitStatus::failure), error.what());
  }
}
