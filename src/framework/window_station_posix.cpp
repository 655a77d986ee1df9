#include "framework/window_station.h"

bool StationIsInteractive() { return true; }
