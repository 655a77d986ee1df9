#include "case_collisions.h"

#include <map>

namespace kvpack {

std::vector<std::pair<std::string, std::string>> CaseCollisions(const std::vector<ScannedItem>& items) {
    std::vector<std::pair<std::string, std::string>> collisions;
    std::map<std::string, const std::string*> seen;  // folded name -> first name
    for (const ScannedItem& item : items) {
        std::string folded = item.relativeName;
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        auto inserted = seen.emplace(folded, &item.relativeName);
        if (!inserted.second) collisions.emplace_back(*inserted.first->second, item.relativeName);
    }
    return collisions;
}

bool IsWindowsStub(const std::string& stub) { return stub.compare(0, 2, "MZ") == 0; }

}  // namespace kvpack
