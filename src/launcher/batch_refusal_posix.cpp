#include "launcher/batch_refusal.h"

std::string BatchLaunchRefusal(const std::string&, const std::vector<std::string>&) { return ""; }
