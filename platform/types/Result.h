#pragma once

// What a call that can fail gives back: done (Status) or a value (Result), or the failure with
// its reason, in the words its caller reports. One value, so a caller cannot look at a reason
// left over from another call, nor forget that there was one.

#include <cassert>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace kelvora::platform {

// Why a call failed. The reason may be empty: the failure is in the type, not in the text.
struct Failure {
    std::string message;
};

// Done, or a failure.
class [[nodiscard]] Status {
public:
    Status() = default;
    // Implicit, so that a function ends with `return Failure{reason};`.
    Status(Failure failure) : m_failure(std::move(failure)) {}  // NOLINT(google-explicit-constructor)

    [[nodiscard]] bool ok() const { return !m_failure; }
    explicit operator bool() const { return ok(); }
    // The reason of a failure; asked of a failure only.
    [[nodiscard]] const std::string& error() const
    {
        assert(m_failure);
        return m_failure->message;
    }
    // The failure, to give it on from a function of another result.
    [[nodiscard]] Failure failure() const
    {
        assert(m_failure);
        return *m_failure;
    }

private:
    std::optional<Failure> m_failure;
};

// A value, or a failure.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
    Result(Failure failure) : m_value(std::in_place_index<1>, std::move(failure)) {}  // NOLINT
    // A null pointer is no failure: say why with a Failure.
    Result(std::nullptr_t) = delete;

    [[nodiscard]] bool ok() const { return m_value.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; asked of a success only.
    [[nodiscard]] T& value() &
    {
        assert(ok());
        return std::get<0>(m_value);
    }
    [[nodiscard]] const T& value() const&
    {
        assert(ok());
        return std::get<0>(m_value);
    }
    [[nodiscard]] T&& value() &&
    {
        assert(ok());
        return std::get<0>(std::move(m_value));
    }

    [[nodiscard]] const std::string& error() const
    {
        assert(!ok());
        return std::get<1>(m_value).message;
    }
    [[nodiscard]] Failure failure() const
    {
        assert(!ok());
        return std::get<1>(m_value);
    }
    // Done or the failure, the value set aside.
    [[nodiscard]] Status status() const { return ok() ? Status{} : Status{failure()}; }

private:
    std::variant<T, Failure> m_value;
};

}  // namespace kelvora::platform
