// The host tests' runner (temporary folders, decks, scripts, PNG reading), compiled into this
// program as well.
#include "host/hostrun.cpp"
