// Stand-in while the reader libraries are not available.
#include "pack_inspect.h"

#include "pack_error.h"

namespace kvpack {

int ShowInfo(const std::string&, std::FILE*) { throw CPackError("--info is not available in this build", ExitUsage); }
int TestLauncher(const std::string&, std::FILE*) { throw CPackError("--test is not available in this build", ExitUsage); }

}  // namespace kvpack
