// Included first in every source of the Windows stub code (see
// CMakeLists.txt): the compiler instantiates the std::string members the code
// uses instead of calling libstdc++'s prebuilt instantiations. Those come as
// one object that the Windows linker keeps whole (about 32 KB, its unwind
// tables keep every function), while only a part of it is used.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
