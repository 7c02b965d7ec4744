// tollamy-deck's parser: a CLI11 app bound from the declared surface (options.h), and the
// checks that the declaration implies (values of their kind, options the command takes).
#pragma once

#include "deck/surface/surface.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

namespace deck::cli {

// The app: a subcommand per command, each with the options that it takes, and one list of
// file arguments; unknown words are kept as extras for the checks. --help and --version are
// the declaration's own options, not CLI11's.
std::unique_ptr<CLI::App> BindParser(const surface::Surface& surface);

struct ParsedLine {
    std::string command;            // empty: none given
    std::vector<std::string> files; // the command's file arguments
    std::string error;              // the first problem, for the usage message; empty: none
};

// Parses argv and stores each value through its option's `store`. Values are stored only
// when the line has no error, except --help's and --version's, which are always stored.
ParsedLine ParseLine(const surface::Surface& surface, int argc, char** argv);

} // namespace deck::cli
