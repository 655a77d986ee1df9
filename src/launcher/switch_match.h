// Whether one command-line argument carries a launcher switch ("/S", or a
// switch with a value such as "/T:"). Both texts come upper-cased.
//
// Windows: the argument contains the key anywhere (callers pass /SILENT and
// similar forms through and rely on them selecting the switch).
// Linux: a switch is a whole argument: the key itself, or, for a key ending
// in ':', the key followed by its value. Paths there are written with '/', so
// a substring match would find "/S" in "--data=/srv/x" or "./setup.run".
#pragma once

#include <string>

bool ArgumentCarriesSwitch(const std::string& upperArgument, const std::string& upperKey);
