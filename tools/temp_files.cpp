#include "temp_files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define VARDO_GETPID _getpid
#define VARDO_UNLINK _unlink
#define VARDO_WRITE _write
#else
#include <unistd.h>
#define VARDO_GETPID getpid
#define VARDO_UNLINK unlink
#define VARDO_WRITE write
#endif

namespace vardo::tools {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = ".vardo-";
constexpr const char* kSuffix = ".tmp";

// Temporary outputs being written, for the interrupt handler. The handler may
// only touch plain memory, unlink and write, so the path and the message live
// in fixed slots: a slot is claimed, filled, then marked ready.
constexpr int kCleanupSlots = 64;
constexpr std::size_t kCleanupPathSize = 4096;
constexpr std::size_t kMessageSize = 4096 + 128;
enum SlotState : int { kSlotFree = 0, kSlotClaimed = 1, kSlotReady = 2 };
struct CleanupSlot {
  std::atomic<int> state{kSlotFree};
  char path[kCleanupPathSize];
  char message[kMessageSize];
  std::size_t messageLength;
};
CleanupSlot gCleanupSlots[kCleanupSlots];

extern "C" void removeTemporariesAndEnd(int signalNumber) {
  for (CleanupSlot& slot : gCleanupSlots) {
    if (slot.state.load() != kSlotReady) continue;
    VARDO_UNLINK(slot.path);
    [[maybe_unused]] const auto written =
        VARDO_WRITE(2, slot.message, static_cast<unsigned>(slot.messageLength));
  }
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

bool allDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

#ifndef _WIN32
bool processIsGone(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}
#endif

}  // namespace

std::string hostTag() {
  static const std::string tag = [] {
    char name[256] = {};
#ifdef _WIN32
    const char* env = std::getenv("COMPUTERNAME");
    if (env != nullptr) std::snprintf(name, sizeof name, "%s", env);
#else
    if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
#endif
    std::string text;
    // The dash separates the fields of the name, so it is not kept.
    for (const char* c = name; *c != '\0' && text.size() < 64; ++c) {
      const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                         (*c >= '0' && *c <= '9') || *c == '.';
      text += plain ? *c : '_';
    }
    return text.empty() ? std::string("host") : text;
  }();
  return tag;
}

std::string temporaryName() {
  static std::atomic<unsigned> counter{0};
  return kPrefix + hostTag() + "-" + std::to_string(VARDO_GETPID()) + "-" +
         std::to_string(counter.fetch_add(1)) + kSuffix;
}

int registerForCleanup(const std::string& temporaryPath, const std::string& targetName) {
  if (temporaryPath.size() >= kCleanupPathSize) return -1;
  std::string message = "vardo: interrupted: '" + targetName +
                        "' left unfinished; its temporary file is removed\n";
  if (message.size() >= kMessageSize) message = "vardo: interrupted: an output left unfinished\n";
  for (int i = 0; i < kCleanupSlots; ++i) {
    int expected = kSlotFree;
    if (gCleanupSlots[i].state.compare_exchange_strong(expected, kSlotClaimed)) {
      std::memcpy(gCleanupSlots[i].path, temporaryPath.c_str(), temporaryPath.size() + 1);
      std::memcpy(gCleanupSlots[i].message, message.c_str(), message.size() + 1);
      gCleanupSlots[i].messageLength = message.size();
      gCleanupSlots[i].state.store(kSlotReady);
      return i;
    }
  }
  return -1;  // more writers than slots: this one is not covered
}

void releaseCleanup(int slot) {
  if (slot >= 0) gCleanupSlots[slot].state.store(kSlotFree);
}

void removeTemporariesOnInterrupt() {
  std::signal(SIGINT, removeTemporariesAndEnd);
  std::signal(SIGTERM, removeTemporariesAndEnd);
#ifdef SIGHUP
  std::signal(SIGHUP, removeTemporariesAndEnd);
#endif
}

std::vector<std::string> removeStaleTemporaries(const std::vector<std::string>& directories) {
  std::vector<std::string> removed;
#ifndef _WIN32
  const std::string ours = kPrefix + hostTag() + "-";
  const long self = static_cast<long>(VARDO_GETPID());
  std::set<std::string> seen;
  for (const std::string& directory : directories) {
    const std::string where = directory.empty() ? "." : directory;
    if (!seen.insert(where).second) continue;
    std::error_code ec;
    for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.size() <= ours.size() + 4 || name.rfind(ours, 0) != 0 || !name.ends_with(kSuffix))
        continue;
      // PID-N between the host and the suffix.
      const std::string rest = name.substr(ours.size(), name.size() - ours.size() - 4);
      const auto dash = rest.find('-');
      if (dash == std::string::npos) continue;
      const std::string pid = rest.substr(0, dash);
      if (!allDigits(pid) || !allDigits(rest.substr(dash + 1)) || pid.size() > 9) continue;
      const long number = std::stol(pid);
      if (number == self || !processIsGone(number)) continue;
      std::error_code removeError;
      if (fs::remove(it->path(), removeError)) removed.push_back(it->path().string());
    }
  }
#else
  (void)directories;
#endif
  return removed;
}

}  // namespace vardo::tools
