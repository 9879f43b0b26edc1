#pragma once

// What an operation that may fail gives back: its value (nothing, for
// Result<>), or the Failure that stopped it. The one way the code below the
// windows reports a failure; a window turns it into a message box.

#include "common/failure.h"

#include <optional>
#include <utility>
#include <variant>

namespace vantrel {

template<typename T = std::monostate>
class [[nodiscard]] Result
{
public:
    Result() requires std::is_same_v<T, std::monostate> : m_state(std::monostate{}) {}
    Result(T value)
        : m_state(std::move(value))
    {}
    Result(Failure failure)
        : m_state(std::move(failure))
    {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T &value() const { return std::get<0>(m_state); }
    T &value() { return std::get<0>(m_state); }
    // Only when not ok().
    const Failure &failure() const { return std::get<1>(m_state); }

private:
    std::variant<T, Failure> m_state;
};

} // namespace vantrel
