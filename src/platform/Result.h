#pragma once

#include <QString>

#include <type_traits>
#include <utility>
#include <variant>

// The outcome of an operation that either gives a value or fails with an
// error value. Failures are ordinary values: nothing is thrown across the
// interfaces that return one.
//
// A value or an error converts to a Result implicitly; where both have the
// same type (a decoded text that fails with a message), failure() says which.
template <typename T, typename E>
class Result {
public:
    Result(const T &value) : m_state(std::in_place_index<0>, value) {}
    Result(T &&value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(const E &error)
        requires(!std::is_same_v<T, E>)
        : m_state(std::in_place_index<1>, error)
    {
    }
    Result(E &&error)
        requires(!std::is_same_v<T, E>)
        : m_state(std::in_place_index<1>, std::move(error))
    {
    }
    // An error of a narrower type, such as one alternative of a variant E.
    template <typename F>
        requires(!std::is_convertible_v<F, T> && !std::is_same_v<std::remove_cvref_t<F>, E> &&
                 std::is_constructible_v<E, F>)
    Result(F &&error) : m_state(std::in_place_index<1>, std::forward<F>(error))
    {
    }

    static Result failure(E error)
    {
        Result result{std::in_place_index<1>, std::move(error)};
        return result;
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T &value() const & { return std::get<0>(m_state); }
    T &value() & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }

    // Only when !ok().
    const E &error() const { return std::get<1>(m_state); }

private:
    template <std::size_t I, typename V>
    Result(std::in_place_index_t<I> index, V &&v) : m_state(index, std::forward<V>(v))
    {
    }

    std::variant<T, E> m_state;
};

// The text shown to the user for whichever error a variant of error types
// holds: each type gives it as description() or localizedDescription().
template <typename... E>
QString errorDescription(const std::variant<E...> &error)
{
    return std::visit(
        [](const auto &e) {
            if constexpr (requires { e.localizedDescription(); })
                return QString(e.localizedDescription());
            else
                return QString(e.description());
        },
        error);
}
