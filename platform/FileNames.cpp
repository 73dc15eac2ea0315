#include "platform/FileNames.h"

#include "platform/AnsiCodePage.h"

#include <QUtf8StringView>

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + byte value, for the bytes 0x80..0xFF

bool IsEscapedByte(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at p (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
int Utf8SequenceLength(const unsigned char* p, qsizetype left)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    int n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF)
        n = 2;
    else if (b == 0xE0)
        n = 3, lo = 0xA0;
    else if (b == 0xED)
        n = 3, hi = 0x9F;
    else if (b >= 0xE1 && b <= 0xEF)
        n = 3;
    else if (b == 0xF0)
        n = 4, lo = 0x90;
    else if (b >= 0xF1 && b <= 0xF3)
        n = 4;
    else if (b == 0xF4)
        n = 4, hi = 0x8F;
    else
        return 0;
    if (left < n || p[1] < lo || p[1] > hi)
        return 0;
    for (int i = 2; i < n; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return n;
}

} // namespace

QString DecodeFileName(const QByteArray& bytes)
{
#ifdef Q_OS_WIN
    return QString::fromUtf8(bytes);
#else
    if (QUtf8StringView(bytes).isValidUtf8())
        return QString::fromUtf8(bytes);
    QString text;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const int n = Utf8SequenceLength(p + i, size - i);
        if (n == 0) {
            text += QChar(char16_t(kEscapeBase + p[i]));
            ++i;
        } else {
            text += QString::fromUtf8(reinterpret_cast<const char*>(p + i), n);
            i += n;
        }
    }
    return text;
#endif
}

QByteArray EncodeFileName(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toUtf8();
#else
    if (!HasUndecodableBytes(path))
        return path.toUtf8();
    QByteArray bytes;
    qsizetype run = 0; // start of the text not yet encoded
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path.at(i).unicode();
        // A low surrogate after a high one is half of a real character, not a byte.
        const bool paired = i > 0 && path.at(i - 1).isHighSurrogate();
        if (IsEscapedByte(c) && !paired) {
            bytes += QStringView(path).sliced(run, i - run).toUtf8();
            bytes += char(c - kEscapeBase);
            run = i + 1;
        }
    }
    bytes += QStringView(path).sliced(run).toUtf8();
    return bytes;
#endif
}

bool HasUndecodableBytes(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (IsEscapedByte(path.at(i).unicode()) && !(i > 0 && path.at(i - 1).isHighSurrogate()))
            return true;
    }
    return false;
}

QString DisplayFileName(const QString& path)
{
    if (!HasUndecodableBytes(path))
        return path;
    QString shown;
    shown.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t c = path.at(i).unicode();
        if (IsEscapedByte(c) && !(i > 0 && path.at(i - 1).isHighSurrogate()))
            shown += AnsiDecode(QByteArray(1, char(c - kEscapeBase)));
        else
            shown += path.at(i);
    }
    return shown;
}
