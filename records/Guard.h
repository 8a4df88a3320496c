#pragma once

#include <exception>
#include <utility>

// Exceptions must never cross Qt's own frames: every slot or event body that can throw runs
// inside Guard, which does what the application's unhandled-exception handler does: the
// operation is abandoned, nothing is shown, the program goes on.
template <class F> bool Guard(F&& body) noexcept {
    try {
        std::forward<F>(body)();
        return true;
    } catch (...) {
        return false;
    }
}

// The same, for bodies that produce a value; `fallback` is returned when the body throws.
template <class T, class F> T GuardValue(T fallback, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return fallback;
    }
}
