#include "Currency.h"

#include <limits>

QString Currency::ToString() const {
    const bool negative = mUnits < 0;
    // Unsigned, so the most negative amount has a magnitude too.
    const quint64 magnitude = negative ? 0 - static_cast<quint64>(mUnits) : static_cast<quint64>(mUnits);
    QString s = negative ? QStringLiteral("-") : QString();
    s += QString::number(magnitude / 10000);
    quint64 fraction = magnitude % 10000;
    if (fraction != 0) {
        QString decimals = QString::number(fraction).rightJustified(4, u'0');
        while (decimals.endsWith(u'0')) decimals.chop(1);
        s += u'.' + decimals;
    }
    return s;
}

Currency Currency::FromString(QStringView text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';

    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
    quint64 units = 0;
    bool clamped = false;
    auto addDigit = [&](int digit, quint64 scale) {
        if (clamped) return;
        // units = units * 10 + digit * scale for the whole part, units + digit * scale after the point
        const quint64 add = static_cast<quint64>(digit) * scale;
        if (units > limit - add) {
            units = limit;
            clamped = true;
        } else {
            units += add;
        }
    };
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (!clamped && units > limit / 10) {
            units = limit;
            clamped = true;
        }
        if (!clamped) units *= 10;
        addDigit(text[i].unicode() - u'0', 10000);
    }
    if (i < n && text[i] == u'.') {
        quint64 scale = 1000;
        for (++i; i < n && text[i] >= u'0' && text[i] <= u'9' && scale > 0; ++i, scale /= 10)
            addDigit(text[i].unicode() - u'0', scale);
    }
    if (negative) return FromUnits(units == (quint64(1) << 63) ? std::numeric_limits<qint64>::min()
                                                                : -static_cast<qint64>(units));
    return FromUnits(static_cast<qint64>(units));
}
