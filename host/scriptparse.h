// Scripted mode, the parser: a script's text becomes a list of commands, or a message naming
// the first malformed line. One command per line; blank lines and lines starting with '#' are
// skipped. Nothing here touches a window.
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
    int item = 1;                   // select, leave, action, refresh, options, capture-item
    unsigned long milliseconds = 0; // wait
    std::wstring name;              // capture, capture-item; options capture=NAME
    OptionsRun options;             // the request part of an options command
};

// Parses a whole script. A malformed line fails with a message naming its line number.
bool ParseScript(const std::wstring& text, std::vector<ScriptCommand>* commands,
                 std::wstring* error);
// A script file's bytes as text: UTF-16LE with its byte-order mark, otherwise UTF-8 (with or
// without its byte-order mark).
std::wstring DecodeScriptText(const std::string& bytes);
// Reads a script file, decodes it and parses it. A message names the file and the line.
bool LoadScript(const std::wstring& path, std::vector<ScriptCommand>* commands,
                std::wstring* error);
