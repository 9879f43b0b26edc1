#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantrel {

// An unexpected failure: a signed 32-bit code and a description in words a
// user understands. Reports show the description upper-cased.
class Failure : public std::runtime_error
{
public:
    Failure(std::int32_t number, const std::string &description)
        : std::runtime_error(description)
        , m_number(number)
    {}

    std::int32_t number() const noexcept { return m_number; }
    std::string description() const { return what(); }

private:
    std::int32_t m_number;
};

} // namespace vantrel
