#include "cli/jsonline.h"

#include <cmath>
#include <cstdio>

namespace vantrel::cli {

namespace {

// The length of the valid UTF-8 sequence at `at`, or 0.
std::size_t SequenceLength(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0u) != 0x80u)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string JsonQuoted(std::string_view text)
{
    std::string quoted = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = SequenceLength(text, i);
            if (length == 0) {
                quoted += "\\ufffd";
                ++i;
            } else {
                quoted.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                quoted += escaped;
            } else {
                quoted += static_cast<char>(c);
            }
        }
        ++i;
    }
    return quoted + "\"";
}

JsonLine::JsonLine(std::string_view event)
    : m_text("{\"event\":" + JsonQuoted(event))
{}

JsonLine &JsonLine::key(std::string_view name)
{
    m_text += "," + JsonQuoted(name) + ":";
    return *this;
}

JsonLine &JsonLine::text(std::string_view name, std::string_view value)
{
    key(name);
    m_text += JsonQuoted(value);
    return *this;
}

JsonLine &JsonLine::number(std::string_view name, std::int64_t value)
{
    key(name);
    m_text += std::to_string(value);
    return *this;
}

JsonLine &JsonLine::number(std::string_view name, double value)
{
    key(name);
    if (!std::isfinite(value)) {
        m_text += "null";
        return *this;
    }
    char formatted[32];
    std::snprintf(formatted, sizeof formatted, "%.3f", value);
    m_text += formatted;
    return *this;
}

JsonLine &JsonLine::flag(std::string_view name, bool value)
{
    key(name);
    m_text += value ? "true" : "false";
    return *this;
}

JsonLine &JsonLine::raw(std::string_view name, std::string_view json)
{
    key(name);
    m_text += json;
    return *this;
}

} // namespace vantrel::cli
