#pragma once

#include <QStringView>
#include <QtGlobal>

// The number at the start of a text, as the stored text formats read their numbers: leading
// blanks skipped, an optional sign, decimal digits with an optional fraction and exponent.
// A text that does not start with a number reads 0. Never depends on the user's locale.
double Val(QStringView text);

// A Double as Int32: the fraction dropped (toward zero), out-of-range values clamped, NaN as 0.
qint32 ToInt32(double value);
