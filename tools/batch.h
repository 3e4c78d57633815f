// Lists of renders: IN OUT, several inputs into a directory, or a manifest
// of inputs for an archive, with a JSON-lines log of what became of each.
#pragma once

#include <cstdio>
#include <istream>
#include <mutex>
#include <string>
#include <vector>

#include "render.h"

namespace vardo::tools {

// IN OUT; IN DIR (an existing directory); or inputs with outputDirectory,
// each written to the directory under its own file name. Creates the
// directory. Throws ToolError(usage) when two inputs would share an output.
std::vector<RenderJob> planJobs(const std::vector<std::string>& files,
                                const std::string& outputDirectory);

// A manifest names one input per line; blank lines and lines starting with
// # are skipped. The output is outputDirectory/<file name of the input>, or,
// for a line "INPUT<TAB>OUTPUT", OUTPUT (taken inside outputDirectory when
// relative). source names the list in messages. Throws ToolError(usage) for
// two lines with the same output.
std::vector<RenderJob> readManifest(std::istream& in, const std::string& source,
                                    const std::string& outputDirectory);

// Appends one JSON object per line to a file; safe to share between threads.
// Each line is written with one call, so lines of several processes
// appending to the same local file do not interleave.
class JsonLinesLog {
 public:
  explicit JsonLinesLog(const std::string& path);  // throws ToolError(write)
  ~JsonLinesLog();
  JsonLinesLog(const JsonLinesLog&) = delete;
  JsonLinesLog& operator=(const JsonLinesLog&) = delete;
  void append(const std::string& jsonLine);

 private:
  std::FILE* fFile = nullptr;
  std::mutex fLock;
};

}  // namespace vardo::tools
