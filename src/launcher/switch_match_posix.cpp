#include "launcher/switch_match.h"

bool ArgumentCarriesSwitch(const std::string& upperArgument, const std::string& upperKey) {
    if (!upperKey.empty() && upperKey.back() == ':') return upperArgument.compare(0, upperKey.size(), upperKey) == 0;
    return upperArgument == upperKey;
}
