#pragma once

#include <QString>
#include <QStringView>

#include <optional>

#if !defined(__SIZEOF_INT128__)
#error "TDecimal needs a compiler with a 128-bit integer (GCC, Clang, MinGW-w64)"
#endif

// An exact decimal number as invoices write amounts, prices, quantities and rates
// (xs:decimal): a sign, digits, a decimal point. Held as a 128-bit integer and the number
// of digits after the point, never as a double: 0.1 + 0.2 is 0.3 here. A result that does
// not fit (over 38 digits) is invalid, and stays invalid through every further step; a
// check that meets an invalid number must not pass.
class TDecimal
{
public:
    TDecimal() = default; // 0, valid
    static TDecimal FromInt(long long value);

    // The value of text in the lexical form of xs:decimal ("-12.50", "+3", ".5", "7.");
    // blanks around it are allowed, exponents, thousands separators and commas are not.
    static std::optional<TDecimal> Parse(QStringView text);
    static TDecimal Invalid();

    bool IsValid() const { return FValid; }
    bool IsZero() const { return FValid && FUnits == 0; }
    bool IsNegative() const { return FValid && FUnits < 0; }
    // Digits after the point as written (or as the arithmetic left them).
    int Scale() const { return FScale; }

    TDecimal operator+(const TDecimal& other) const;
    TDecimal operator-(const TDecimal& other) const;
    TDecimal operator*(const TDecimal& other) const;
    TDecimal operator-() const;
    TDecimal& operator+=(const TDecimal& other) { return *this = *this + other; }
    // this / by, rounded half up to decimals digits after the point; invalid for 0.
    TDecimal Divide(const TDecimal& by, int decimals) const;

    // Rounded to decimals digits after the point, a tie going to the greater number (as
    // XPath's round(), which the rules use: 2.345 -> 2.35, -2.345 -> -2.34).
    TDecimal RoundHalfUp(int decimals) const;
    // Rounded with a tie going away from zero (-2.345 -> -2.35), as commerce rounds.
    TDecimal RoundHalfAwayFromZero(int decimals) const;
    TDecimal Abs() const;

    // -1, 0, 1; an invalid number compares unequal to everything (Compare gives 2).
    int Compare(const TDecimal& other) const;
    bool operator==(const TDecimal& other) const { return Compare(other) == 0; }
    bool operator!=(const TDecimal& other) const { return Compare(other) != 0; }
    bool operator<(const TDecimal& other) const { return Compare(other) == -1; }
    bool operator>(const TDecimal& other) const { return Compare(other) == 1; }
    bool operator<=(const TDecimal& other) const { const int c = Compare(other); return c == -1 || c == 0; }
    bool operator>=(const TDecimal& other) const { const int c = Compare(other); return c == 1 || c == 0; }

    // "1234.50" (the point, no grouping; the scale kept). Invalid: "ungültig".
    QString ToString() const;
    // For people: German grouping and comma with exactly decimals digits ("1.234,50"), or
    // with the digits it has when decimals is negative.
    QString ToGerman(int decimals = -1) const;

private:
    using TUnits = __int128;
    TDecimal(TUnits units, int scale, bool valid = true)
        : FUnits(units)
        , FScale(scale)
        , FValid(valid)
    {
    }
    // The same value with scale digits after the point; false when it does not fit or
    // would lose digits.
    bool Rescaled(int scale, TUnits& units) const;

    TUnits FUnits = 0;
    int FScale = 0;
    bool FValid = true;
};
