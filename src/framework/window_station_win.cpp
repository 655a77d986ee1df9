// The process's window station, asked once.
#include "framework/window_station.h"

#include <windows.h>

bool StationIsInteractive() {
    static const bool visible = [] {
        USEROBJECTFLAGS flags;
        DWORD needed = 0;
        // A station that cannot be asked is taken as visible: as before.
        return !GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed) ||
               (flags.dwFlags & WSF_VISIBLE) != 0;
    }();
    return visible;
}
