#pragma once

// Cuts a stream of bytes into lines: a companion program's output, a file
// read in pieces. A line ends at "\n", "\r" or "\r\n"; an unfinished line is
// kept for the next piece. A line longer than the limit is cut there (the
// rest starts the next line), so a stream without line ends cannot make
// memory grow. Pure.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class LineSplitter
{
public:
    explicit LineSplitter(std::size_t maxLine = 4096)
        : m_maxLine(maxLine)
    {}

    // The lines this piece completes, without their line ends; empty lines
    // included.
    std::vector<std::string> feed(std::string_view piece);
    // The unfinished last line, if any, once the stream has ended.
    std::optional<std::string> finish();

private:
    std::size_t m_maxLine;
    std::string m_partial;
    bool m_afterCr = false;
};

} // namespace vantrel
