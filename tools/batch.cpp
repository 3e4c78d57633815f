#include "batch.h"

#include <filesystem>
#include <map>

#include "audio_file.h"
#include "plugin_host.h"

namespace vardo::tools {

namespace fs = std::filesystem;

namespace {

void checkDistinctOutputs(const std::vector<RenderJob>& jobs, const std::string& hint) {
  std::map<std::string, std::string> seen;
  for (const RenderJob& job : jobs)
    if (auto [it, fresh] = seen.emplace(job.outputPath, job.inputPath); !fresh)
      throw ToolError(ExitStatus::usage, "inputs '" + it->second + "' and '" + job.inputPath +
                                             "' would both be written to '" + job.outputPath +
                                             "'" + hint);
}

void makeDirectory(const std::string& directory) {
  std::error_code ec;
  if (fs::exists(directory, ec) && !fs::is_directory(directory, ec))
    throw ToolError(ExitStatus::usage, "output '" + directory + "' is not a directory");
  fs::create_directories(directory, ec);
  if (ec) throw ToolError(ExitStatus::write, "cannot create '" + directory + "': " + ec.message());
}

}  // namespace

std::vector<RenderJob> planJobs(const std::vector<std::string>& files,
                                const std::string& outputDirectory) {
  std::error_code ec;
  // "render IN DIR" writes DIR/<name of IN>; a name ending in a separator is
  // a directory, made if it is not there yet.
  if (outputDirectory.empty() && files.size() == 2 && !isStandardStream(files[1]) &&
      (fs::is_directory(files[1], ec) || files[1].back() == '/'))
    return planJobs({files[0]}, files[1]);
  if (outputDirectory.empty()) {
    if (files.size() != 2)
      throw ToolError(ExitStatus::usage,
                      "render takes IN OUT, several inputs with -o DIRECTORY, or --manifest LIST");
    return {{files[0], files[1]}};
  }
  std::vector<RenderJob> jobs;
  for (const std::string& input : files) {
    if (isStandardStream(input))
      throw ToolError(ExitStatus::usage,
                      "standard input has no file name to write into a directory; "
                      "render it as 'render - OUT'");
    jobs.push_back({input, (fs::path(outputDirectory) / fs::path(input).filename()).string()});
  }
  checkDistinctOutputs(jobs, "");
  makeDirectory(outputDirectory);
  return jobs;
}

std::vector<RenderJob> readManifest(std::istream& in, const std::string& source,
                                    const std::string& outputDirectory) {
  if (outputDirectory.empty())
    throw ToolError(ExitStatus::usage, "--manifest needs an output directory: -o DIRECTORY");
  std::vector<RenderJob> jobs;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // byte-order mark
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string input = line;
    std::string output;
    if (const auto tab = line.find('\t'); tab != std::string::npos) {
      input = line.substr(0, tab);
      output = line.substr(tab + 1);
    }
    if (input.empty() || isStandardStream(input) || (line.find('\t') != std::string::npos && output.empty()))
      throw ToolError(ExitStatus::usage, source + ":" + std::to_string(number) +
                                             ": expected an input file, or INPUT<TAB>OUTPUT");
    const fs::path target = output.empty() ? fs::path(outputDirectory) / fs::path(input).filename()
                            : fs::path(output).is_absolute() ? fs::path(output)
                                                             : fs::path(outputDirectory) / output;
    jobs.push_back({input, target.string()});
  }
  checkDistinctOutputs(jobs, "; name the outputs with INPUT<TAB>OUTPUT lines");
  makeDirectory(outputDirectory);
  std::error_code ec;
  for (const RenderJob& job : jobs) {
    const fs::path parent = fs::path(job.outputPath).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
  }
  return jobs;
}

JsonLinesLog::JsonLinesLog(const std::string& path) {
  fFile = std::fopen(path.c_str(), "a");
  if (fFile == nullptr)
    throw ToolError(ExitStatus::write, "cannot open the log '" + path + "' for appending");
}

JsonLinesLog::~JsonLinesLog() {
  if (fFile != nullptr) std::fclose(fFile);
}

void JsonLinesLog::append(const std::string& jsonLine) {
  if (fFile == nullptr) return;
  std::lock_guard lock(fLock);
  const std::string line = jsonLine + "\n";
  std::fwrite(line.data(), 1, line.size(), fFile);
  std::fflush(fFile);
}

}  // namespace vardo::tools
