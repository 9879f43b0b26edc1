#pragma once

// From a composed command line to a program and its arguments. Pure functions.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Splits the arguments part of a command line by the rules of Windows'
// CommandLineToArgvW: blanks separate arguments outside quotation marks; a
// quoted run belongs to one argument; 2n backslashes before a quotation mark
// give n backslashes and the mark opens or closes a quoted run, 2n+1 give n
// backslashes and a literal mark; other backslashes are literal; inside a
// quoted run, a doubled mark gives a literal one.
std::vector<std::string> SplitWindowsArguments(std::string_view arguments);

// The inverse of SplitWindowsArguments for one argument: bare when it is not
// empty and has no blank or quotation mark, else in quotation marks, with
// each mark escaped and the backslashes before a mark (or before the closing
// one) doubled.
std::string QuoteWindowsArgument(std::string_view argument);

// The arguments quoted and joined by single blanks, so that
// SplitWindowsArguments gives them back unchanged.
std::string JoinWindowsArguments(const std::vector<std::string> &arguments);

struct ProgramStart
{
    std::string program;
    std::vector<std::string> arguments;
};

// A composed line starts with the program's known path, bare, then a blank.
// The program is never found by trying prefixes of the line; a line that
// does not start with `programPath` gives nothing.
std::optional<ProgramStart> ProgramStartFromLine(std::string_view line,
                                                 std::string_view programPath);

} // namespace vantrel
