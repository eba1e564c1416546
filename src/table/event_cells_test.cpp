#include "table/event_cells.h"
