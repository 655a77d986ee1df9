#include "launcher/switch_match.h"

bool ArgumentCarriesSwitch(const std::string& upperArgument, const std::string& upperKey) {
    return upperArgument.find(upperKey) != std::string::npos;
}
