// Scripted mode, the runner: the parsed commands run one after another against the Today
// screen, each printing one line on stdout with what happened.
#pragma once

#include <string>
#include <vector>
#include "host/scriptparse.h"

// Runs the commands against the Today screen. Returns the exit status: 0 when every command
// did its job, 1 when a capture or the options dialog failed or the screen was closed.
int RunScript(const std::vector<ScriptCommand>& commands, const std::wstring& captureDir);

// Runs the message loop for the given time, so that timers fire. False once WM_QUIT came.
bool PumpMessagesFor(unsigned long milliseconds);
