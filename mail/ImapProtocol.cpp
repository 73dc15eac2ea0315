#include "mail/ImapProtocol.h"

#include "platform/Exception.h"

namespace {

[[noreturn]] void Malformed(const QByteArray& line)
{
    QString shown = QString::fromLatin1(line.left(120));
    if (line.size() > 120)
        shown += QStringLiteral(" ...");
    throw Exception(QStringLiteral("Ungültige Antwort des Mail-Servers: %1").arg(shown));
}

// One line of the response, and the literal that followed it (if any).
struct TSegment
{
    QByteArray Line;
    QByteArray Literal;
    bool HasLiteral = false;
};

// The size announced by a trailing "{n}" or "{n+}", or -1.
qsizetype LiteralSize(const QByteArray& line, const TImapLimits& limits)
{
    if (!line.endsWith('}'))
        return -1;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0)
        return -1;
    QByteArray digits = line.mid(open + 1, line.size() - open - 2);
    if (digits.endsWith('+'))
        digits.chop(1);
    if (digits.isEmpty() || digits.size() > 12)
        Malformed(line);
    qint64 size = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            Malformed(line);
        size = size * 10 + (c - '0');
    }
    if (size > limits.MaxLiteral)
        throw Exception(QStringLiteral("Der Mail-Server kündigt %1 Bytes an; mehr als %2 MiB werden nicht angenommen.")
                            .arg(size)
                            .arg(limits.MaxLiteral >> 20));
    return qsizetype(size);
}

class TTokenizer
{
public:
    TTokenizer(const QList<TSegment>& segments, const TImapLimits& limits)
        : FSegments(segments)
        , FLimits(limits)
    {
    }

    QList<TImapValue> ReadAll()
    {
        QList<TImapValue> values;
        while (SkipSpaces())
            values << ReadValue(0);
        return values;
    }

    // The raw rest of the current line (for status texts).
    QByteArray RestOfLine()
    {
        SkipSpaces();
        const QByteArray& line = FSegments[FSegment].Line;
        QByteArray rest = line.mid(FPos);
        FPos = line.size();
        return rest;
    }

    QByteArray ReadAtom()
    {
        SkipSpaces();
        const QByteArray& line = FSegments[FSegment].Line;
        const qsizetype start = FPos;
        while (FPos < line.size() && line[FPos] != ' ')
            ++FPos;
        return line.mid(start, FPos - start);
    }

    bool AtBracket()
    {
        SkipSpaces();
        const QByteArray& line = FSegments[FSegment].Line;
        return FPos < line.size() && line[FPos] == '[';
    }

    QByteArray ReadBracketed()
    {
        const QByteArray& line = FSegments[FSegment].Line;
        const qsizetype close = line.indexOf(']', FPos);
        if (close < 0)
            Malformed(line);
        QByteArray code = line.mid(FPos + 1, close - FPos - 1);
        FPos = close + 1;
        return code;
    }

private:
    // Moves to the next token; false at the end of the response.
    bool SkipSpaces()
    {
        for (;;) {
            const QByteArray& line = FSegments[FSegment].Line;
            while (FPos < line.size() && line[FPos] == ' ')
                ++FPos;
            if (FPos < line.size())
                return true;
            if (FSegments[FSegment].HasLiteral && !FLiteralTaken)
                return true;
            if (FSegment + 1 >= FSegments.size())
                return false;
            ++FSegment;
            FPos = 0;
            FLiteralTaken = false;
        }
    }

    TImapValue ReadValue(int depth)
    {
        if (depth > FLimits.MaxDepth)
            Malformed(FSegments[FSegment].Line);
        const QByteArray& line = FSegments[FSegment].Line;
        if (FPos >= line.size()) {
            // Only the literal of this segment is left.
            FLiteralTaken = true;
            return TImapValue{TImapValue::TKind::String, FSegments[FSegment].Literal, {}};
        }
        const char c = line[FPos];
        if (c == '(') {
            ++FPos;
            TImapValue list{TImapValue::TKind::List, {}, {}};
            for (;;) {
                if (!SkipSpaces())
                    Malformed(line);
                const QByteArray& current = FSegments[FSegment].Line;
                if (FPos < current.size() && current[FPos] == ')') {
                    ++FPos;
                    return list;
                }
                list.Items << ReadValue(depth + 1);
            }
        }
        if (c == ')')
            Malformed(line);
        if (c == '"')
            return TImapValue{TImapValue::TKind::String, ReadQuoted(line), {}};
        if (c == '{') {
            // The literal marker ends the line; the bytes follow.
            if (!FSegments[FSegment].HasLiteral || line.indexOf('}', FPos) != line.size() - 1)
                Malformed(line);
            FPos = line.size();
            FLiteralTaken = true;
            return TImapValue{TImapValue::TKind::String, FSegments[FSegment].Literal, {}};
        }
        // An atom; brackets may hold blanks (BODY[HEADER.FIELDS (SUBJECT)]).
        const qsizetype start = FPos;
        int brackets = 0;
        while (FPos < line.size()) {
            const char a = line[FPos];
            if (a == '[')
                ++brackets;
            else if (a == ']' && brackets > 0)
                --brackets;
            else if (brackets == 0 && (a == ' ' || a == '(' || a == ')' || a == '"' || a == '{'))
                break;
            ++FPos;
        }
        const QByteArray atom = line.mid(start, FPos - start);
        if (atom.compare("NIL", Qt::CaseInsensitive) == 0)
            return TImapValue{TImapValue::TKind::Nil, {}, {}};
        return TImapValue{TImapValue::TKind::Atom, atom, {}};
    }

    QByteArray ReadQuoted(const QByteArray& line)
    {
        QByteArray text;
        ++FPos;
        while (FPos < line.size()) {
            const char c = line[FPos++];
            if (c == '"')
                return text;
            if (c == '\\') {
                if (FPos >= line.size())
                    break;
                text += line[FPos++];
            } else {
                text += c;
            }
        }
        Malformed(line);
    }

    const QList<TSegment>& FSegments;
    const TImapLimits& FLimits;
    qsizetype FSegment = 0;
    qsizetype FPos = 0;
    bool FLiteralTaken = false;
};

bool IsStatusWord(const QByteArray& word)
{
    return word == "OK" || word == "NO" || word == "BAD" || word == "PREAUTH" || word == "BYE";
}

} // namespace

bool TImapValue::IsAtom(const char* atom) const
{
    return Kind == TKind::Atom && Text.compare(atom, Qt::CaseInsensitive) == 0;
}

TImapResponse ReadImapResponse(TImapStream& stream, const TImapLimits& limits)
{
    QList<TSegment> segments;
    qsizetype total = 0;
    for (;;) {
        TSegment segment;
        segment.Line = stream.ReadLine(limits.MaxLine);
        const qsizetype size = LiteralSize(segment.Line, limits);
        if (size >= 0) {
            total += size;
            if (total > limits.MaxLiteral)
                throw Exception(QStringLiteral("Die Antwort des Mail-Servers ist größer als %1 MiB.").arg(limits.MaxLiteral >> 20));
            segment.Literal = stream.ReadExact(size);
            segment.HasLiteral = true;
        }
        const bool more = segment.HasLiteral;
        segments << std::move(segment);
        if (!more)
            break;
        if (segments.size() > 100000)
            Malformed(segments.first().Line);
    }

    TImapResponse response;
    TTokenizer tokens(segments, limits);
    response.Tag = tokens.ReadAtom();
    if (response.Tag.isEmpty())
        Malformed(segments.first().Line);
    if (response.Tag == "+") {
        response.Text = tokens.RestOfLine();
        return response;
    }

    // A status response names its status right after the tag; data ("* 3 EXISTS",
    // "* LIST ...") does not.
    const QByteArray first = segments.first().Line.mid(response.Tag.size()).trimmed().split(' ').value(0).toUpper();
    if (IsStatusWord(first)) {
        response.Status = tokens.ReadAtom().toUpper();
        if (tokens.AtBracket())
            response.Code = tokens.ReadBracketed();
        response.Text = tokens.RestOfLine().trimmed();
        return response;
    }
    response.Values = tokens.ReadAll();
    return response;
}

bool ImapNeedsLiteral(const QByteArray& value)
{
    for (char c : value) {
        if (uchar(c) >= 0x80 || c == '\r' || c == '\n' || c == '\0')
            return true;
    }
    return false;
}

QByteArray ImapQuoted(const QByteArray& value)
{
    QByteArray quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}
