#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

// A money amount in fixed point: a 64-bit count of ten-thousandths, as the runtime's Currency.
class Currency {
public:
    constexpr Currency() = default;
    static constexpr Currency FromUnits(qint64 tenThousandths) {
        Currency c;
        c.mUnits = tenThousandths;
        return c;
    }
    qint64 Units() const { return mUnits; }
    double ToDouble() const { return static_cast<double>(mUnits) / 10000.0; }

    // Plain decimal text: "-12.5", "3", "0.0001". No separators, no exponent.
    QString ToString() const;
    // Reads the text that ToString writes; more than four decimals are cut off, a text without
    // a leading number reads 0, amounts beyond the range are clamped.
    static Currency FromString(QStringView text);

    friend constexpr bool operator==(Currency a, Currency b) { return a.mUnits == b.mUnits; }
    friend constexpr bool operator!=(Currency a, Currency b) { return a.mUnits != b.mUnits; }

private:
    qint64 mUnits = 0;
};

Q_DECLARE_METATYPE(Currency)
