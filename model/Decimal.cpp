#include "model/Decimal.h"

#include <cstdint>


namespace {

using TUnits = __int128;

constexpr int kMaxDigits = 38;

TUnits Pow10(int n)
{
    TUnits p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

bool MulOverflows(TUnits a, TUnits b, TUnits& out)
{
    return __builtin_mul_overflow(a, b, &out);
}

using TMagnitude = unsigned __int128;

// |v|, also for the least 128-bit number, whose negation does not fit.
TMagnitude Magnitude(TUnits v)
{
    return v < 0 ? TMagnitude(0) - TMagnitude(v) : TMagnitude(v);
}

// Integer division of n by d rounded: a tie goes up (toward +inf) or away from zero.
TUnits DivideRounded(TUnits n, TUnits d, bool awayFromZero)
{
    if (d < 0) {
        n = -n;
        d = -d;
    }
    TUnits q = n / d;
    TUnits r = n % d; // has the sign of n
    // Twice the remainder against the divisor, without doubling (a divisor of 10^38 would
    // overflow): the remainder against what is left of the divisor.
    const TUnits rest = r < 0 ? -r : r;
    const TUnits other = d - rest;
    if (rest > other || (rest == other && (awayFromZero || r > 0)))
        q += r < 0 ? -1 : 1;
    return q;
}

QString Digits(TMagnitude v)
{
    if (v == 0)
        return QStringLiteral("0");
    char16_t buffer[48];
    int at = 48;
    // 128-bit divisions are slow: down to 64 bits first, then 64-bit steps.
    while (v > TMagnitude(UINT64_MAX)) {
        buffer[--at] = char16_t(u'0' + int(v % 10));
        v /= 10;
    }
    for (unsigned long long w = static_cast<unsigned long long>(v); w > 0; w /= 10)
        buffer[--at] = char16_t(u'0' + int(w % 10));
    return QString(reinterpret_cast<const QChar*>(buffer + at), 48 - at);
}

} // namespace

TDecimal TDecimal::FromInt(long long value)
{
    return TDecimal(TUnits(value), 0);
}

TDecimal TDecimal::Invalid()
{
    return TDecimal(0, 0, false);
}

std::optional<TDecimal> TDecimal::Parse(QStringView text)
{
    text = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    TUnits units = 0;
    int scale = 0;
    int digits = 0;
    bool point = false;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            return std::nullopt;
        any = true;
        if (units != 0 || c != u'0')
            ++digits;
        if (digits > kMaxDigits)
            return std::nullopt;
        units = units * 10 + (c - u'0');
        if (point && ++scale > kMaxDigits)
            return std::nullopt; // "0.000...01" past what 38 digits hold
    }
    if (!any)
        return std::nullopt;
    return TDecimal(negative ? -units : units, scale);
}

bool TDecimal::Rescaled(int scale, TUnits& units) const
{
    if (scale == FScale) {
        units = FUnits;
        return true;
    }
    if (scale > FScale) {
        if (scale - FScale > kMaxDigits)
            return false;
        return !MulOverflows(FUnits, Pow10(scale - FScale), units);
    }
    const TUnits p = Pow10(FScale - scale);
    if (FUnits % p != 0)
        return false;
    units = FUnits / p;
    return true;
}

TDecimal TDecimal::operator+(const TDecimal& other) const
{
    if (!FValid || !other.FValid)
        return Invalid();
    const int scale = std::max(FScale, other.FScale);
    TUnits a, b, sum;
    if (!Rescaled(scale, a) || !other.Rescaled(scale, b) || __builtin_add_overflow(a, b, &sum))
        return Invalid();
    return TDecimal(sum, scale);
}

TDecimal TDecimal::operator-() const
{
    return FValid ? TDecimal(-FUnits, FScale) : Invalid();
}

TDecimal TDecimal::operator-(const TDecimal& other) const
{
    return *this + (-other);
}

TDecimal TDecimal::operator*(const TDecimal& other) const
{
    if (!FValid || !other.FValid)
        return Invalid();
    TUnits product;
    if (MulOverflows(FUnits, other.FUnits, product) || FScale + other.FScale > kMaxDigits)
        return Invalid();
    return TDecimal(product, FScale + other.FScale);
}

TDecimal TDecimal::Divide(const TDecimal& by, int decimals) const
{
    if (!FValid || !by.FValid || by.FUnits == 0 || decimals < 0)
        return Invalid();
    // this / by = (a / 10^s1) / (b / 10^s2); scaled to 10^decimals:
    // a * 10^(decimals + s2 - s1) / b, the exponent moved to the side where it is positive.
    const int shift = decimals + by.FScale - FScale;
    TUnits n = FUnits;
    TUnits d = by.FUnits;
    if (shift >= 0) {
        if (shift > kMaxDigits || MulOverflows(n, Pow10(shift), n))
            return Invalid();
    } else {
        if (-shift > kMaxDigits || MulOverflows(d, Pow10(-shift), d))
            return Invalid();
    }
    return TDecimal(DivideRounded(n, d, false), decimals);
}

TDecimal TDecimal::RoundHalfUp(int decimals) const
{
    if (!FValid || decimals >= FScale)
        return *this;
    return TDecimal(DivideRounded(FUnits, Pow10(FScale - decimals), false), decimals);
}

TDecimal TDecimal::RoundHalfAwayFromZero(int decimals) const
{
    if (!FValid || decimals >= FScale)
        return *this;
    return TDecimal(DivideRounded(FUnits, Pow10(FScale - decimals), true), decimals);
}

TDecimal TDecimal::Abs() const
{
    return IsNegative() ? -*this : *this;
}

int TDecimal::Compare(const TDecimal& other) const
{
    if (!FValid || !other.FValid)
        return 2;
    const TDecimal difference = *this - other;
    if (!difference.FValid) {
        // Too far apart to subtract exactly: the signs and magnitudes still tell.
        if ((FUnits < 0) != (other.FUnits < 0))
            return FUnits < 0 ? -1 : 1;
        return 2;
    }
    return difference.FUnits < 0 ? -1 : (difference.FUnits > 0 ? 1 : 0);
}

QString TDecimal::ToString() const
{
    if (!FValid)
        return QStringLiteral("ungültig");
    const bool negative = FUnits < 0;
    QString digits = Digits(Magnitude(FUnits));
    if (FScale > 0) {
        if (digits.size() <= FScale)
            digits = QString(FScale - digits.size() + 1, u'0') + digits;
        digits.insert(digits.size() - FScale, u'.');
    }
    return negative ? QLatin1Char('-') + digits : digits;
}

QString TDecimal::ToGerman(int decimals) const
{
    if (!FValid)
        return QStringLiteral("ungültig");
    const TDecimal shown = decimals < 0 ? *this : RoundHalfAwayFromZero(decimals);
    int scale = shown.FScale;
    const bool negative = shown.FUnits < 0;
    // Further decimals as zeros in the text: the number itself may have all 38 digits.
    QString digits = Digits(Magnitude(shown.FUnits)).rightJustified(scale + 1, u'0');
    if (decimals > scale) {
        digits += QString(decimals - scale, u'0');
        scale = decimals;
    }
    const QString whole = digits.left(digits.size() - scale);
    QString grouped;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            grouped += u'.';
        grouped += whole[i];
    }
    QString text = grouped;
    if (scale > 0)
        text += u',' + digits.right(scale);
    return negative ? QLatin1Char('-') + text : text;
}
