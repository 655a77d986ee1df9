// Windows has no file systems that refuse to run programs: the /T: folder or
// the temporary folder stays.
#include "launcher/work_parent.h"

WorkParentChoice ChooseWorkParent(const std::string& switchParent) { return {switchParent, ""}; }
