#pragma once

#include <QString>

#include <type_traits>
#include <utility>
#include <variant>

// An error as platform services report it: a domain, a code and a text the
// user can read.
struct PlatformError {
    QString domain;
    int code = 0;
    QString localizedDescription;
};

template <typename E>
struct Unexpected {
    E error;
};

template <typename E>
Unexpected<std::decay_t<E>> unexpected(E &&error)
{
    return {std::forward<E>(error)};
}

// A value or an error; errors are values here, never exceptions crossing the
// event loop. A small stand-in for C++23's std::expected.
template <typename T, typename E = PlatformError>
class [[nodiscard]] Expected {
public:
    Expected(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> error) : m_data(std::in_place_index<1>, std::move(error.error)) {}

    [[nodiscard]] bool has_value() const noexcept { return m_data.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }

    T &value() & { return std::get<0>(m_data); }
    const T &value() const & { return std::get<0>(m_data); }
    T &&value() && { return std::get<0>(std::move(m_data)); }
    T *operator->() { return &std::get<0>(m_data); }
    const T *operator->() const { return &std::get<0>(m_data); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }

    const E &error() const & { return std::get<1>(m_data); }

private:
    std::variant<T, E> m_data;
};

// The value-less form: success or an error.
template <typename E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    Expected(Unexpected<E> error) : m_error(std::move(error.error)), m_failed(true) {}

    [[nodiscard]] bool has_value() const noexcept { return !m_failed; }
    explicit operator bool() const noexcept { return has_value(); }
    const E &error() const & { return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};
