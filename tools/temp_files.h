// The temporary files an output is written to before it is renamed into
// place: their names, their removal when the process is interrupted, and the
// removal of those that processes of this host left behind when they died.
#pragma once

#include <string>
#include <vector>

namespace vardo::tools {

// ".vardo-HOST-PID-N.tmp": hidden, unique per host, process and writer, and
// of a length that does not depend on the output's name, so any output name
// the file system takes can be written.
std::string temporaryName();

// This host's name as it appears in temporary names: letters, digits, dots
// and underscores only, at most 64 characters.
std::string hostTag();

// Registers a temporary file for removal on SIGINT, SIGTERM or SIGHUP, with
// the output it was to become (for the message then printed). Answers a slot
// for releaseCleanup, or -1 when the path is too long or every slot is taken.
int registerForCleanup(const std::string& temporaryPath, const std::string& targetName);
void releaseCleanup(int slot);

// Installs the handler: it removes every registered temporary file, says on
// standard error which outputs were left unfinished, and ends the process as
// the signal says.
void removeTemporariesOnInterrupt();

// Removes, in each directory, the temporary files of this host whose process
// no longer exists; answers their paths. Files of other hosts (a shared
// mount) and of living processes are left alone.
std::vector<std::string> removeStaleTemporaries(const std::vector<std::string>& directories);

}  // namespace vardo::tools
