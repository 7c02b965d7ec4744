// tollamy-deck's command line: import, check and export.
#pragma once

#include <stdio.h>

namespace deck::cli {

// Parses the arguments and runs the command. Exit status: 0 done, 1 failed (also when memory ran
// out), 2 bad arguments, kCutPipe (base/process.h) when the reader of `out` has gone.
int RunCommandLine(int argc, char** argv, FILE* out, FILE* err);

} // namespace deck::cli
