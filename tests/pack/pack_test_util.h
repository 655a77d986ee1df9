// Helpers of the builder's tests.
#pragma once

#include <string>
#include <vector>

#include "pack_builder.h"
#include "test_support.h"

namespace packtest {

// Bytes that hold no marker: a repeating pattern of a given length.
std::string FakeStub(size_t size);

// Incompressible bytes from a fixed generator.
std::string NoiseBytes(size_t size, unsigned seed);

// Names in a folder (sorted), to see that no temporary file was left.
std::vector<std::string> FolderNames(const std::string& folder);

// Runs the builder and collects its warnings.
kvpack::PackResult Pack(const kvpack::PackOptions& options, std::vector<std::string>* warnings = nullptr);

}  // namespace packtest
