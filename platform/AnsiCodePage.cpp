#include "platform/AnsiCodePage.h"

#ifdef Q_OS_WIN
#include <windows.h>

QString AnsiDecode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString text(n, Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.constData(), int(bytes.size()),
                        reinterpret_cast<wchar_t*>(text.data()), n);
    return text;
}

QByteArray AnsiEncode(const QString& text)
{
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(n, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, 0, wide, int(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

#else

namespace {

// Windows-1252, bytes 0x80 to 0x9F. Unassigned bytes map to the C1 control of their value.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

char EncodeOne(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

QString AnsiDecode(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0, n = bytes.size(); i < n; ++i) {
        const unsigned char b = in[i];
        out[i] = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : char16_t(b);
    }
    return text;
}

QByteArray AnsiEncode(const QString& text)
{
    // At most one byte per code unit: written into place, the rest cut off at the end.
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    qsizetype written = 0;
    const auto* in = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        const char16_t c = in[i];
        if (c < 0x80) {
            out[written++] = char(c);
            continue;
        }
        // A surrogate pair is one character outside the code page: one "?".
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(in[i + 1]))
            ++i;
        out[written++] = EncodeOne(c);
    }
    bytes.truncate(written);
    return bytes;
}

#endif
