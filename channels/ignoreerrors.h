#pragma once

#include <optional>

// A handler's error mode: a failed action is skipped, recorded, and the next one
// runs. Entering the mode (constructing one) starts with a clear flag.
class IgnoreErrors
{
public:
    template<typename T>
    std::optional<T> read(std::optional<T> value)
    {
        m_failed = m_failed || !value;
        return value;
    }

    bool write(bool succeeded)
    {
        m_failed = m_failed || !succeeded;
        return succeeded;
    }

    [[nodiscard]] bool failed() const { return m_failed; }

private:
    bool m_failed = false;
};
