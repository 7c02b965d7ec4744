// tollamy-deck: imports, checks and exports decks for the Tollamy Today item.
#include "deck/base/process.h"
#include "deck/cli/commandline.h"

int main(int argc, char** argv) {
    deck::PrepareProcess();
    int status = 0;
    {
        deck::StandardStreams streams;
        status = deck::cli::RunCommandLine(argc, argv, streams.Out(), streams.Err());
    }
    return deck::EndProcess(status);
}
