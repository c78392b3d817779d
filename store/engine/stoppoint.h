#pragma once

// Crash-safety tests stop the program at one step of a change to the stores
// (a restore, a backup, an import) and check what the next start finds. The
// step is named in the environment variable TALLYMERE_TEST_STOP_AT as
// "<work>:<n>" (for example "restore:3", the third step of a restore);
// without it, a stop point does nothing.
namespace StopPoint {

// Counts one more step of `work` and, when the test asked to stop at that
// step, ends the process at once, as a power cut would: no clean-up, no
// destructors, nothing flushed.
void step(const char *work);

// The exit status of a process ended at a stop point.
inline constexpr int ExitCode = 86;

} // namespace StopPoint
