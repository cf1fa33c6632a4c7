#pragma once

#include <QString>

#include <type_traits>
#include <utility>
#include <variant>

// What every reader and builder of the core returns: the value, or why there is none. The
// message is the exact text the user sees; the widget decides how to show it.
namespace quillmap {

enum class ErrorKind {
    MissingFile, // a file the dataset needs cannot be opened
    NoRecords,   // nothing to read there (a trait or region without records)
    Damaged,     // a file contradicts the others or ends early
    Invalid,     // the user's input or request is refused
    WriteFailed, // an output file could not be written
    Reimported,  // the dataset folder was imported again after it was opened
};

struct Error {
    ErrorKind kind = ErrorKind::Invalid;
    QString message;
};

template <typename T>
class [[nodiscard]] Result
{
public:
    // A default value (for a result filled in later).
    Result() requires std::is_default_constructible_v<T> : m_state(std::in_place_index<0>) { }
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Error error)
        : m_state(std::in_place_index<1>, std::move(error))
    {
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    T &value() { return std::get<0>(m_state); }
    const T &value() const { return std::get<0>(m_state); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    // Only when !ok().
    const Error &error() const { return std::get<1>(m_state); }
    ErrorKind kind() const { return error().kind; }
    QString message() const { return ok() ? QString() : error().message; }

private:
    std::variant<T, Error> m_state;
};

// A step that yields nothing but can fail.
struct Done { };
using Status = Result<Done>;
inline Status success()
{
    return Done{};
}

} // namespace quillmap
