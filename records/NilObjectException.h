#pragma once

#include <QImage>
#include <stdexcept>

// Raised wherever an absent object (a null picture, a failed select, a missing window) is used.
class NilObjectException : public std::runtime_error {
public:
    NilObjectException() : std::runtime_error("nil object") {}
    explicit NilObjectException(const char* what) : std::runtime_error(what) {}
};

// Dereferences a pointer-like value, throwing instead of crashing when it is empty.
template <class P> auto& Must(P& p) {
    if (!p) throw NilObjectException();
    return *p;
}

// A null QImage stands for a nil picture.
inline const QImage& MustPicture(const QImage& pic) {
    if (pic.isNull()) throw NilObjectException("nil picture");
    return pic;
}
inline QImage& MustPicture(QImage& pic) {
    if (pic.isNull()) throw NilObjectException("nil picture");
    return pic;
}
