// Starting a batch file (.bat, .cmd) on Windows. Such a program runs inside
// cmd.exe, which reads its command line by rules of its own: the C runtime's
// quoting (argument_text.h) does not protect it, and an argument such as
// x" & calc & " would run a command. Portable, so that the rules can be
// checked on every build.
//
// The launcher starts cmd.exe itself (from the system folder) with
//   /d /e:ON /v:OFF /c ""<program>" "<arg1>" ... "<argN>""
// /d skips AutoRun commands, /v:OFF keeps '!' literal; /c removes the outer
// pair of quotes and runs the rest. Inside double quotes cmd.exe takes
// & | < > ^ ( ) and spaces literally. What it cannot be kept from reading
// there is refused: a double quote (it ends the quoted part), a percent sign
// (variables are expanded even inside quotes, and a variable's value can
// bring a quote of its own) and line breaks (they end the command).
#pragma once

#include <string>
#include <vector>

// True when the program is a batch file: its name ends in .bat or .cmd, in
// any case, trailing dots and spaces disregarded (Windows drops them).
bool IsBatchProgram(const std::string& program);

// True when cmd.exe receives the text unchanged between double quotes.
bool PassesToBatchSafely(const std::string& text);

// The arguments of cmd.exe for the program and its arguments, as above; the
// caller has checked every piece with PassesToBatchSafely.
std::string BatchArgumentText(const std::string& program, const std::vector<std::string>& arguments);
