// STUB: replaced by the card store work.
#include "cardstore/cardstore.h"

Card::Card() { question[0] = answer[0] = 0; }
Card::~Card() {}
CardStore::CardStore() { dataPath[0] = indexPath[0] = 0; }
CardStore::~CardStore() {}
