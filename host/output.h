// The host's text output: one line per scripted command on stdout, messages on stderr.
#pragma once

#include <string>

// Writes text and a line end to stdout: UTF-16 to a console, UTF-8 to a file or pipe.
void PrintLine(const std::wstring& text);
// The same on stderr.
void PrintError(const std::wstring& text);
// Interactive runs also show an error in a message box, since there may be no console.
void SetErrorBoxes(bool show);
