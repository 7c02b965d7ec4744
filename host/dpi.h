// The screen resolution of the host process. Wine takes it from HKCU\Control Panel\Desktop
// LogPixels when a process starts, so a different one needs a new process.
#pragma once

// LOGPIXELSY of the screen.
int ScreenDpi();

// Sets LogPixels to dpi, runs this program again with the same arguments and --relaunched,
// waits for it, restores LogPixels as it was, and returns the new process's exit status
// (or -1 with a message on stderr if it could not be started).
int RelaunchAtDpi(int dpi);
