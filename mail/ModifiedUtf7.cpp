#include "mail/ModifiedUtf7.h"

QString DecodeModifiedUtf7(const QByteArray& encoded)
{
    QString result;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c != '&') {
            result += QLatin1Char(c);
            continue;
        }
        const qsizetype end = encoded.indexOf('-', i + 1);
        if (end < 0) { // not closed: taken as it stands
            result += QString::fromLatin1(encoded.mid(i));
            break;
        }
        if (end == i + 1) {
            result += QLatin1Char('&');
        } else {
            QByteArray base64 = encoded.mid(i + 1, end - i - 1);
            base64.replace(',', '/');
            const QByteArray utf16 = QByteArray::fromBase64(base64);
            for (qsizetype k = 0; k + 1 < utf16.size(); k += 2)
                result += QChar(char16_t((uchar(utf16[k]) << 8) | uchar(utf16[k + 1])));
        }
        i = end;
    }
    return result;
}

QByteArray EncodeModifiedUtf7(const QString& name)
{
    QByteArray result;
    QByteArray pending; // UTF-16BE of the characters that need encoding
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        QByteArray base64 = pending.toBase64(QByteArray::OmitTrailingEquals);
        base64.replace('/', ',');
        result += '&' + base64 + '-';
        pending.clear();
    };
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u <= 0x7e) {
            flush();
            result += u == '&' ? QByteArray("&-") : QByteArray(1, char(u));
        } else {
            pending += char(u >> 8);
            pending += char(u & 0xff);
        }
    }
    flush();
    return result;
}
