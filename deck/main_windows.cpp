// tollamy-deck on Windows: the arguments as Windows gives them, in UTF-16 (wmain), made UTF-8
// for the command line, and the console written in UTF-16.
#include "deck/base/process.h"
#include "deck/base/win32.h"
#include "deck/cli/commandline.h"

#include <string>
#include <vector>

int wmain(int argc, wchar_t** wargv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        args.push_back(deck::win32::Utf8(wargv[i], wcslen(wargv[i])));
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    deck::PrepareProcess();
    int status = 0;
    {
        deck::StandardStreams streams;
        status = deck::cli::RunCommandLine(argc, argv.data(), streams.Out(), streams.Err());
    }
    return deck::EndProcess(status);
}
