#pragma once

// One JSON object on one line, as vantrel-cli --json prints every event.
// Texts are UTF-8; a byte that is not part of valid UTF-8 becomes U+FFFD, so
// that every line parses. Pure.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::cli {

// The text as a JSON string, quotation marks included.
std::string JsonQuoted(std::string_view text);

class JsonLine
{
public:
    // {"event":"<event>", ...}
    explicit JsonLine(std::string_view event);

    JsonLine &text(std::string_view key, std::string_view value);
    JsonLine &number(std::string_view key, std::int64_t value);
    JsonLine &number(std::string_view key, double value);
    JsonLine &flag(std::string_view key, bool value);
    // A value that is JSON already (an object or an array).
    JsonLine &raw(std::string_view key, std::string_view json);

    // The object, without a line end.
    std::string str() const { return m_text + "}"; }

private:
    JsonLine &key(std::string_view name);

    std::string m_text;
};

} // namespace vantrel::cli
