// Scripted mode: one command per line instead of a user. Each command prints one line on
// stdout with what happened. Blank lines and lines starting with '#' are skipped.
#pragma once

#include <string>
#include <vector>
#include "host/optionsrun.h"

enum ScriptCommandKind {
    SCRIPT_SELECT,
    SCRIPT_LEAVE,
    SCRIPT_ACTION,
    SCRIPT_REFRESH,
    SCRIPT_WAIT,
    SCRIPT_OPTIONS,
    SCRIPT_CAPTURE,
    SCRIPT_CAPTURE_ITEM,
    SCRIPT_STATS,
    SCRIPT_QUIT
};

struct ScriptCommand {
    ScriptCommandKind kind = SCRIPT_QUIT;
    int line = 0;
    unsigned long milliseconds = 0; // wait
    std::wstring name;              // capture, capture-item; options capture=NAME
    OptionsRun options;             // the request part of an options command
};

// Parses a whole script. A malformed line fails with a message naming its line number.
bool ParseScript(const std::wstring& text, std::vector<ScriptCommand>* commands,
                 std::wstring* error);
// Reads a script file (UTF-8, or UTF-16LE with its byte-order mark) and parses it.
bool LoadScript(const std::wstring& path, std::vector<ScriptCommand>* commands,
                std::wstring* error);

// Runs the commands against the Today screen. Returns the exit status: 0 when every command
// did its job, 1 when a capture or the options dialog failed or the screen was closed.
int RunScript(const std::vector<ScriptCommand>& commands, const std::wstring& captureDir);

// Runs the message loop for the given time, so that timers fire. False once WM_QUIT came.
bool PumpMessagesFor(unsigned long milliseconds);
