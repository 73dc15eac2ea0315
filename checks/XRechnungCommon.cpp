#include "checks/XRechnungCommon.h"

#include <QRegularExpression>

namespace checks::xr {

namespace {

constexpr const char* kSkontoPattern =
    "(^|\\r?\\n)#(SKONTO)#TAGE=([0-9]+#PROZENT=[0-9]+\\.[0-9]{2})(#BASISBETRAG=-?[0-9]+\\.[0-9]{2})?#$";

QString WithoutBlanks(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n')
            out += c;
    }
    return out;
}

// XPath's tokenize(): the parts between the matches; nothing for an empty input.
QStringList Tokenize(const QString& input, const char* pattern)
{
    if (input.isEmpty())
        return {};
    thread_local QHash<const char*, QRegularExpression> cache;
    auto it = cache.find(pattern);
    if (it == cache.end())
        it = cache.insert(pattern, QRegularExpression(xq::XPathToPcre(pattern)));
    return input.split(*it);
}

} // namespace

bool IsExtension(const TCtx& c)
{
    return c.Doc.Facts.Extension;
}

bool IsCvd(const TCtx& c)
{
    return c.Doc.Facts.Cvd;
}

TDecimal LineSlack(bool forint)
{
    return *TDecimal::Parse(forint ? u"0.5" : u"0.02");
}

bool SlackHolds(const TDecimal& expected, const TDecimal& value, const TDecimal& slack)
{
    const TDecimal up = expected + slack;
    const TDecimal down = expected - slack;
    if (!up.IsValid() || !down.IsValid() || !value.IsValid())
        throw xq::TEvalError{QStringLiteral("eine Zahl hat zu viele Stellen")};
    return up >= value && down <= value;
}

TDecimal DecimalOr(const TCtx& c, const char* path, long long fallback)
{
    const std::optional<TDecimal> d = OneDecimal(c, path);
    return d ? *d : TDecimal::FromInt(fallback);
}

bool IbanHolds(const TCtx& c, const char* path)
{
    const std::vector<QString> values = c.Vals(path);
    if (values.size() > 1)
        throw xq::TEvalError{QStringLiteral("mehr als eine Kontonummer, wo die Regel eine erwartet")};
    const QString iban = values.empty() ? QString() : WithoutBlanks(values.front());
    if (!xq::Matches(iban, "^[A-Z]{2}[0-9]{2}[a-zA-Z0-9]{0,30}$"))
        return false;
    const QString moved = iban.mid(4) + iban.left(2).toUpper() + iban.mid(2, 2);
    // Each character as its number (letters from 10 on, as the rule computes them), the
    // digits of all of them one long number, taken modulo 97 as it is read.
    int remainder = 0;
    for (QChar ch : moved) {
        const int cp = ch.unicode();
        const int value = cp > 64 ? cp - 55 : cp - 48;
        for (QChar digit : QString::number(value)) {
            if (digit == u'-') // cannot happen for [a-zA-Z0-9]; keeps the arithmetic honest
                throw xq::TEvalError{QStringLiteral("Kontonummer mit unerwartetem Zeichen")};
            remainder = (remainder * 10 + (digit.unicode() - u'0')) % 97;
        }
    }
    return remainder == 1;
}

bool SkontoLinesHold(const std::vector<QString>& notes)
{
    std::vector<QString> skontoLines;
    for (const QString& note : notes) {
        for (const QString& line : Tokenize(note, "(\\r?\\n)")) {
            if (xq::NormalizeSpace(line).startsWith(u'#'))
                skontoLines.push_back(line);
        }
    }
    if (skontoLines.empty())
        return true;
    // What follows the last "#...#" of the note must begin with a line break.
    std::vector<QString> lastParts;
    for (const QString& note : notes) {
        const QStringList parts = Tokenize(note, "#.+#");
        if (!parts.isEmpty())
            lastParts.push_back(parts.back());
    }
    if (lastParts.size() > 1)
        throw xq::TEvalError{QStringLiteral("mehrere Zahlungsbedingungen mit Skonto-Zeilen")};
    const bool endsWithBreak = !lastParts.empty() && xq::Matches(lastParts.front(), "^\\s*\\n");
    for (const QString& line : skontoLines) {
        if (!(xq::Matches(xq::NormalizeSpace(line), kSkontoPattern) && endsWithBreak))
            return false;
    }
    return true;
}

bool OnXRechnungList(TCodeList list, const QString& value)
{
    const QString code = xq::NormalizeSpace(value);
    if (code.contains(u' '))
        return false;
    // The lists are written as one text and searched for " code "; where two lists are
    // joined the text has a double blank, so an empty value is found, and the last code of
    // the ICD list has no blank after it, so it is not.
    if (code.isEmpty())
        return true;
    if (list == TCodeList::XRechnungIcd && code == u"0244")
        return false;
    return OnCodeList(list, code);
}

} // namespace checks::xr
