#include "common/lines.h"

namespace vantrel {

std::vector<std::string> LineSplitter::feed(std::string_view piece)
{
    std::vector<std::string> lines;
    for (char c : piece) {
        if (c == '\n' && m_afterCr) {
            m_afterCr = false;
            continue;
        }
        m_afterCr = c == '\r';
        if (c == '\n' || c == '\r') {
            lines.push_back(std::move(m_partial));
            m_partial.clear();
        } else if (m_partial.size() < m_maxLine) {
            m_partial += c;
        } else {
            lines.push_back(std::move(m_partial));
            m_partial.assign(1, c);
        }
    }
    return lines;
}

std::optional<std::string> LineSplitter::finish()
{
    m_afterCr = false;
    if (m_partial.empty())
        return std::nullopt;
    std::string last = std::move(m_partial);
    m_partial.clear();
    return last;
}

} // namespace vantrel
