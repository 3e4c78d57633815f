#include "audio_thread_log.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <climits>
#include <poll.h>
#include <unistd.h>
#endif

namespace vardo {

#if defined(_WIN32)

bool writeLineWithoutWaiting(const char* line) {
  // The free space of a pipe's write end cannot be asked for, so a pipe may
  // be full and a write to it may wait: lines meant for a pipe are dropped.
  // A console or a file takes the line as before.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
  if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_PIPE) return false;
  return std::fputs(line, stderr) >= 0;
}

#else

bool writeLineWithoutWaiting(const char* line) {
  // Writes up to PIPE_BUF bytes are atomic, and poll's "writable" promises
  // room for at least that much, so one such write after a zero-timeout poll
  // neither waits nor leaves half a line (unless another thread of the host
  // fills the pipe in between). The descriptor's flags stay as the host set
  // them. A pipe whose reader is gone reports an error and is not written,
  // which also spares the host a SIGPIPE.
  const std::size_t length = std::strlen(line);
  if (length > PIPE_BUF) return false;
  pollfd target{};
  target.fd = STDERR_FILENO;
  target.events = POLLOUT;
  if (poll(&target, 1, 0) != 1) return false;
  if ((target.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 || (target.revents & POLLOUT) == 0)
    return false;
  return write(STDERR_FILENO, line, length) == static_cast<ssize_t>(length);
}

#endif

}  // namespace vardo
