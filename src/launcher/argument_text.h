// Building the text that carries the started program's arguments on Windows.
// Portable, so that the rules can be checked on every build.
#pragma once

#include <string>
#include <vector>

// One argument between double quotes, escaped by the C runtime's parsing
// rules: a double quote inside becomes \", backslashes right before a double
// quote or before the closing quote are doubled, other backslashes stay as
// they are. The started program's argument parser thus gets the exact text
// back. An argument without double quotes and without trailing backslashes
// gives "arg" unchanged.
std::string QuoteArgument(const std::string& argument);

// The argument text for the started program: every element quoted as above,
// each followed by one space, the result trimmed of spaces at both ends.
//
// The caller passes the complete list: the launcher's own arguments after
// argument 0 and, as last element, "SFXSOURCE:<launcher path>"; nothing is
// added here. An empty list gives "".
std::string BuildArgumentText(const std::vector<std::string>& arguments);

// The command line of the started program: "program" followed by one space
// and the argument text; with an empty argument text the program path alone,
// which is quoted only when it contains a space or a tab (an unquoted path
// with spaces could name another program).
std::string BuildCommandLine(const std::string& program, const std::string& argumentText);
