#pragma once

#include "common/errornumbers.h"

#include <cstdint>
#include <new>
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

// Any exception as the failure a report shows: itself when it is one, 7 "Out
// of memory", else 51 with its text.
inline Failure FailureOf(const std::exception &error)
{
    if (const auto *failure = dynamic_cast<const Failure *>(&error))
        return *failure;
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return {errors::kOutOfMemory, "Out of memory"};
    return {errors::kApplicationDefined, error.what()};
}

} // namespace vantrel
