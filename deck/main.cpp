// tollamy-deck: imports, checks and exports decks for the Tollamy Today item.
#include "deck/cli/commandline.h"

int main(int argc, char** argv) {
    return deck::cli::RunCommandLine(argc, argv, stdout, stderr);
}
