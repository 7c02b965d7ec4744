// Where the test programs run from: the build folder, beside Tollamy.dll, today-host.exe and
// the helper tools.
#pragma once

#include <string>

// The folder of the running program, without a trailing separator.
std::wstring ProgramFolder();
