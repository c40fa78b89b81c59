// Placeholder until the layout lands.
#include "VEZAro.h"
void TMnGASForm::RestWin() {}
