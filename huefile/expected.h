#pragma once

#include <optional>
#include <string>
#include <utility>

// The reason an operation produced nothing, in words fit to show a person.
struct Failure {
    std::string why;
};

inline Failure Fail(std::string why)
{
    return Failure{std::move(why)};
}

// A value or the failure that stands in its place. Errors travel as values so that the window
// and the command line can both show them their own way, without exceptions crossing the API.
// Expected<void> is an operation that gives nothing back but may fail.
template <typename T> class Expected {
public:
    Expected(T value) : m_value(std::move(value)) {}
    Expected(Failure failure) : m_error(std::move(failure.why)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }
    const T &operator*() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }
    const std::string &error() const { return m_error; }

private:
    std::optional<T> m_value;
    std::string m_error;
};

template <> class Expected<void> {
public:
    Expected() = default;
    Expected(Failure failure) : m_failed(true), m_error(std::move(failure.why)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string &error() const { return m_error; }

private:
    bool m_failed = false;
    std::string m_error;
};

// Success for an operation that gives nothing back.
inline Expected<void> Done()
{
    return {};
}
