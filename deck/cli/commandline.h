// tollamy-deck's command line: import, check and export.
#pragma once

#include <stdio.h>

namespace deck::cli {

// Parses the arguments and runs the command. Exit status: 0 done, 1 failed, 2 bad arguments.
int RunCommandLine(int argc, char** argv, FILE* out, FILE* err);

} // namespace deck::cli
