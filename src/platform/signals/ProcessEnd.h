// The end of the process once the program is done with it: the settings are written and the
// window is gone, and what remains is the toolkit's and the session's services' own tidying (a
// bus connection, an input method, a clipboard manager). That is not waited for longer than a
// moment: a user who starts the program again at once, or a script that waits for it, should not
// wait for nothing.
#pragma once

namespace orv {

inline constexpr int kEndGraceMs = 200;

// From now on the process ends with this exit code within graceMs, however far its own ending
// has got by then.
void EndProcessWithin(int graceMs, int exitCode);

} // namespace orv
