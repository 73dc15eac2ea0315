#pragma once

#include <QByteArray>
#include <QList>

// Reading IMAP4rev1 responses (RFC 3501): lines, literals in both directions, quoted
// strings, parenthesised lists. Everything a server sends is treated as hostile: sizes are
// bounded, malformed answers end in a clear error, never in a crash.

// Where the reader gets its bytes from; both raise when the connection fails.
class TImapStream
{
public:
    virtual ~TImapStream() = default;
    // One line without its CR LF; raises when it is longer than maxLength.
    virtual QByteArray ReadLine(qsizetype maxLength) = 0;
    // Exactly count bytes; the buffer grows with what arrives, not with what is announced.
    virtual QByteArray ReadExact(qsizetype count) = 0;
    virtual void Write(const QByteArray& bytes) = 0;
};

struct TImapValue
{
    enum class TKind { Atom, String, List, Nil };
    TKind Kind = TKind::Atom;
    QByteArray Text;          // atom or string
    QList<TImapValue> Items;  // list

    bool IsAtom(const char* atom) const;
};

struct TImapResponse
{
    QByteArray Tag;           // "*" untagged, "+" continuation, otherwise the command's tag
    QByteArray Status;        // OK, NO, BAD, PREAUTH, BYE (upper case), or empty for data
    QByteArray Code;          // the response code in brackets, e.g. "ALERT" or "CAPABILITY IMAP4rev1 ..."
    QByteArray Text;          // the human-readable text of a status response
    QList<TImapValue> Values; // the data of other responses, after the tag

    bool IsStatus() const { return !Status.isEmpty(); }
};

struct TImapLimits
{
    qsizetype MaxLine = 1 << 20;             // 1 MiB
    qsizetype MaxLiteral = 200LL << 20;      // 200 MiB: a mail with large attachments
    int MaxDepth = 64;                       // nesting of parenthesised lists
};

// Reads one complete response, literals included.
TImapResponse ReadImapResponse(TImapStream& stream, const TImapLimits& limits = {});

// A command argument as an IMAP string: an atom where possible, else a quoted string, else
// a literal prefix ({n}) that the caller must send before the bytes.
QByteArray ImapQuoted(const QByteArray& value);
bool ImapNeedsLiteral(const QByteArray& value);
