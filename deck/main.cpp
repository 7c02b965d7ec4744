// tollamy-deck: imports, checks and exports decks for the Tollamy Today item.
#include "deck/base/process.h"
#include "deck/cli/commandline.h"

int main(int argc, char** argv) {
    deck::StandardStreams streams;
    return deck::cli::RunCommandLine(argc, argv, streams.Out(), streams.Err());
}
