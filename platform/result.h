#pragma once
// How a platform call that can fail answers: a Result holding either its value or an
// Error whose message says what went wrong, in words the programs pass on unchanged.
// Result<void> is "done, or why not". Backends catch their own exceptions and hand them
// over as errors, so no exception crosses an interface in this folder. Where a caller
// must tell one failure from the others, the call names an error type of its own that
// carries that code beside the message.
#include <concepts>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace kelvane::platform {

struct Error {
    std::string message;
};

template <typename T, typename E = Error>
class [[nodiscard]] Result {
public:
    // Anything a T can be made from, such as a pointer to a derived class for a pointer
    // to its base.
    template <typename U>
        requires std::constructible_from<T, U&&> && (!std::same_as<std::remove_cvref_t<U>, Result>) &&
                 (!std::same_as<std::remove_cvref_t<U>, E>)
    Result(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok(); otherwise std::bad_variant_access.
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Only when !ok(); otherwise std::bad_variant_access.
    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }

    // Only when !ok(); otherwise std::bad_optional_access.
    const E& error() const { return error_.value(); }

private:
    std::optional<E> error_;
};

}  // namespace kelvane::platform
