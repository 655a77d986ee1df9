#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

const char kShippedConfiguration[] =
    "<KV_ZCD>\r\n"
    "<Message/>\r\n"
    "<Title>Please wait - Generating Installer............</Title>\r\n"
    "<Run>autorun.exe</Run>\r\n"
    "<Prog>1</Prog>\r\n"
    "<UsePW>1</UsePW>\r\n"
    "</KV_ZCD>\r\n";

static std::string FromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) throw std::runtime_error(std::string(name) + " is not set; run the tests through ctest");
    return value;
}

std::string TestData(const std::string& relative) {
    return NativePath(FromEnv("KVSFX_TESTDATA") + "/" + relative);
}

std::string BuildFile(const std::string& relative) {
    return NativePath(FromEnv("KVSFX_BINDIR") + "/" + relative);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == kSep || folder.back() == '/')) return folder + name;
    return folder + kSep + name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace testsupport
