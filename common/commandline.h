// A Windows command line made from its words, as CreateProcessW takes it: each word comes back
// unchanged from CommandLineToArgvW and from the C runtimes' own splitting. Shared by the
// launcher, the deck tool's watch and their tests.
#pragma once

#include <string>
#include <vector>

// One word, in quotes when it is empty or holds a space, a tab, a line end or a quote; within
// quotes a quote is escaped, and so are the backslashes just before a quote or the closing one.
std::wstring QuoteArgument(const std::wstring& word);

// The words, quoted, one space between them.
std::wstring CommandLine(const std::vector<std::wstring>& argv);
