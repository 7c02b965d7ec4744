// tollamy-deck: imports, checks and exports decks for the Tollamy Today item.
#include "deck/cli.h"

int main(int argc, char** argv) {
    return deck::RunCommandLine(argc, argv, stdout, stderr);
}
