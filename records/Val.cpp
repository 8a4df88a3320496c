#include "Val.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {
bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
} // namespace

double Val(QStringView text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;

    std::string num; // from_chars takes no '+'
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        if (text[i] == u'-') num += '-';
        ++i;
    }
    qsizetype digits = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++digits) num += static_cast<char>(text[i].unicode());
    if (i < n && text[i] == u'.') {
        num += '.';
        for (++i; i < n && IsDigit(text[i]); ++i, ++digits) num += static_cast<char>(text[i].unicode());
    }
    if (digits == 0) return 0.0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < n && (text[j] == u'-' || text[j] == u'+')) exponent += static_cast<char>(text[j++].unicode());
        if (j < n && IsDigit(text[j])) {
            for (; j < n && IsDigit(text[j]); ++j) exponent += static_cast<char>(text[j].unicode());
            num += exponent;
        }
    }

    double value = 0.0;
    const auto [end, ec] = std::from_chars(num.data(), num.data() + num.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Infinity on overflow, zero on underflow.
        return QLocale::c().toDouble(QString::fromLatin1(num.data(), static_cast<qsizetype>(num.size())));
    }
    return ec == std::errc() ? value : 0.0;
}

qint32 ToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<qint32>::max())) return std::numeric_limits<qint32>::max();
    if (value <= static_cast<double>(std::numeric_limits<qint32>::min())) return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(value);
}
