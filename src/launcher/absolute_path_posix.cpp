#include "launcher/absolute_path.h"

#include <unistd.h>

#include <climits>

std::string AbsolutePath(const std::string& path) {
    std::string joined = path;
    if (path.empty() || path[0] != '/') {
        char current[PATH_MAX];
        if (!getcwd(current, sizeof current) || current[0] != '/') return "";
        joined = std::string(current) + "/" + path;
    }
    std::string result;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string component = joined.substr(start, end - start);
        if (!component.empty() && component != ".") result += "/" + component;
        start = end + 1;
    }
    return result.empty() ? "/" : result;
}
