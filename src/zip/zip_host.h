#pragma once
// What entry names and attributes become on this platform.
//
// Names are UTF-8 on both platforms (zip_entry_name.h gives the rule).
// Windows: names use `\`; a name must be well-formed UTF-8, because the
// system keeps names in UTF-16, and a name beyond ASCII needs the active code
// page UTF-8 that the stub's manifest asks for (Windows 10 1903 and later,
// Wine): older systems would read its bytes in their ANSI code page and make
// a file under another name; attributes are the MS-DOS/Windows bits.
// Linux: names use `/` (a `\` from any host is taken as a separator, so that an
// archive unpacks to the same tree on both platforms); names are bytes, so a
// name that the archive does not declare UTF-8 is used as it is, even when it
// is not well-formed UTF-8; attributes keep the MS-DOS bits in the
// lower half (the folder test is bit 0x10 on both platforms) and carry the
// Unix type and mode to give the file in the upper half.

#include <cstdint>
#include <ctime>
#include <string>

class CZipBuffer;

namespace ZipHost {

// Separator of entry names and paths on this platform.
extern const char Separator;

// Turns the separators of a decoded entry name into this platform's, in place.
void ConvertSeparators(CZipBuffer& name);

// True when this platform can give a file the decoded entry name `name`
// (`wellFormed`: it is UTF-8; `declaredUtf8`: the archive says it is).
bool CanUseName(const std::string& name, bool wellFormed, bool declaredUtf8);

// Adds what this platform needs to the translated MS-DOS attribute bits
// `dosAttributes` of an entry (`external`: the raw value from host
// `hostSystem`; `interpreted`: whether that host's value was understood).
uint32_t FinishAttributes(uint32_t dosAttributes, int hostSystem, uint32_t external,
                          bool interpreted);

// True when an entry name names an absolute location that this platform
// would not place below a target folder.
bool IsAbsoluteName(const std::string& name);

// True when one component of an entry's path is a name that this platform
// would not create as written (Windows: device names, alternate data
// streams, a trailing dot or blank).
bool IsRefusedComponent(const std::string& component);

// mktime: the calendar time of a local broken-down time (tm_isdst -1 lets
// the zone decide). Linux: the same result without the C library's check of
// the zone file on every call (one stat per extracted file otherwise).
time_t LocalTimeToCalendar(struct tm& local);

}  // namespace ZipHost
