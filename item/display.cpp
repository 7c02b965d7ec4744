// The item's display state. At load the item is idle and no card has been drawn yet.
#include "item/display.h"

DisplayStateRecord DisplayState = {0, 0, 0, 0, -1};
