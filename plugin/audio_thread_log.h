// Diagnostic lines written from the audio thread. A write there must never
// wait: a host whose log capture stops reading standard error would otherwise
// stall its audio engine once the pipe fills up.
#pragma once

namespace vardo {

// Writes one line (at most one pipe buffer long) to standard error when that
// can be done at once, in one piece; otherwise drops it. Answers whether the
// line went out.
bool writeLineWithoutWaiting(const char* line);

}  // namespace vardo
