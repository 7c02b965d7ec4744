// The launcher's children: a job that ends them all when the launcher ends (also when it is
// killed), and a child's output kept.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/ScopedWin.h"
#include "common/commandline.h"

// A job whose processes end when its last handle closes: the launcher holds the only one, so
// the system ends the screen and its refresh when the launcher ends, however it ends.
bool CreateKillingJob(ScopedHandle* job, std::wstring* why);

// Starts argv (argv[0] a full path) in `job` (or none), with the launcher's standard streams;
// with `ownGroup` in a console process group of its own, which StopChild can ask to end. False
// with *why set.
bool StartChild(const std::vector<std::wstring>& argv, HANDLE job, bool ownGroup,
                ScopedHandle* process, std::wstring* why);

// Asks a child of its own group to end as Ctrl+Break does (so that it removes its temporary
// files), and ends it when it has not within `ms` milliseconds.
void StopChild(HANDLE process, DWORD ms);

// Runs argv to its end with its standard output kept in *out (its bytes) and its errors on the
// launcher's: its exit status, or -1 with *why set when it could not be started.
int RunCaptured(const std::vector<std::wstring>& argv, std::string* out, std::wstring* why);

// The system's message for an error code.
std::wstring SystemMessage(DWORD code);
