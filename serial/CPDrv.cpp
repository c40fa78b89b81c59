// Placeholder: the serial component is being written.
#include "CPDrv.h"
