#include "common/cmdline.h"

namespace vantrel {

namespace {
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

std::vector<std::string> SplitWindowsArguments(std::string_view s)
{
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        if (i >= s.size())
            break;
        std::string current;
        // Odd while inside a quoted run; counts marks as Windows does, so
        // that runs of marks behave the same.
        int quotes = 0;
        std::size_t backslashes = 0;
        for (; i < s.size(); ++i) {
            const char c = s[i];
            if (IsBlank(c) && quotes == 0) {
                break;
            }
            if (c == '\\') {
                current += c;
                ++backslashes;
                continue;
            }
            if (c != '"') {
                current += c;
                backslashes = 0;
                continue;
            }
            if (backslashes % 2 == 0) {
                current.resize(current.size() - backslashes / 2);
                ++quotes;
            } else {
                current.resize(current.size() - backslashes / 2 - 1);
                current += '"';
            }
            backslashes = 0;
            while (i + 1 < s.size() && s[i + 1] == '"') {
                ++i;
                if (++quotes == 3) {
                    current += '"';
                    quotes = 0;
                }
            }
            if (quotes == 2)
                quotes = 0;
        }
        arguments.push_back(std::move(current));
    }
    return arguments;
}

std::string QuoteWindowsArgument(std::string_view argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a mark are doubled and the mark escaped; before
        // anything else they stand as they are.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    // The closing mark must not be escaped by backslashes at the end.
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

std::string JoinWindowsArguments(const std::vector<std::string> &arguments)
{
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0)
            line += ' ';
        line += QuoteWindowsArgument(arguments[i]);
    }
    return line;
}

std::optional<ProgramStart> ProgramStartFromLine(std::string_view line,
                                                 std::string_view programPath)
{
    if (programPath.empty() || line.substr(0, programPath.size()) != programPath)
        return std::nullopt;
    const std::string_view rest = line.substr(programPath.size());
    if (!rest.empty() && !IsBlank(rest.front()))
        return std::nullopt;
    return ProgramStart{std::string(programPath), SplitWindowsArguments(rest)};
}

} // namespace vantrel
