// Start-up and shutdown of the desktop program: what a run does, the four windows, the message loop.
#pragma once

// Exit codes of the desktop program. A run with a display ends with Normal unless a window fails to build.
namespace StartupExit {
inline constexpr int Normal = 0; // the main window was closed, or the command-line mode ended
inline constexpr int StartupFailed = 1; // no display and an error left the command-line mode; or no window built
inline constexpr int NeedsDisplay = 2; // no display (or none that opens) and no file to compact
} // namespace StartupExit

// Runs the program from main()'s arguments. With a display: the four windows and the message loop, or the
// command-line mode when a file is given. Without one (Linux: no X11 or Wayland display and no Qt platform
// chosen; anywhere: a display that cannot be opened, or a platform that shows no window, such as offscreen):
// only the command-line mode, its messages on standard error. "--version" or "--help" as the sole argument
// print and return; a file of that name is reached as ./--version.
int runProgram(int argc, char** argv);

// Creates the four windows in their order: Form1 (whose creation runs createdir), About, Diredit, stat.
void createWindows();
// Destroys them in the reverse order.
void destroyWindows();
