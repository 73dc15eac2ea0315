#include "platform/ProfileFile.h"

#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

constexpr qsizetype kMaxValueLength = 2047;

struct TProfileText
{
    QStringList Lines;
    bool Utf16 = false;
};

TProfileText ReadText(const QString& path)
{
    TProfileText text;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return text;
    const QByteArray bytes = file.readAll();
    QString content;
    if (bytes.startsWith("\xff\xfe")) {
        text.Utf16 = true;
        content = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    } else {
        content = AnsiDecode(bytes);
    }
    if (content.isEmpty())
        return text;
    text.Lines = content.split(QLatin1Char('\n'));
    if (content.endsWith(QLatin1Char('\n')))
        text.Lines.removeLast(); // the empty text after the last line end
    for (QString& line : text.Lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return text;
}

// The section name when line is a section header, otherwise a null text.
QString SectionOf(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

bool IsKeyLine(const QString& line, const QString& key)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq >= 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0;
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index range [first, end) of the lines inside section, first being the header; first is
// -1 when the file has no such section.
std::pair<qsizetype, qsizetype> FindSection(const QStringList& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = SectionOf(lines[i]);
        if (name.isNull() || !SameName(name, section))
            continue;
        qsizetype end = i + 1;
        while (end < lines.size() && SectionOf(lines[end]).isNull())
            ++end;
        return {i, end};
    }
    return {-1, -1};
}

} // namespace

QString ReadProfileString(const QString& path, const QString& section, const QString& key, const QString& defaultValue)
{
    const TProfileText text = ReadText(path);
    const auto [first, end] = FindSection(text.Lines, section);
    for (qsizetype i = first + 1; first >= 0 && i < end; ++i) {
        const QString& line = text.Lines[i];
        if (!IsKeyLine(line, key))
            continue;
        QString value = line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
        if (value.size() >= 2
            && ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                || (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\''))))) {
            value = value.mid(1, value.size() - 2);
        }
        return value.left(kMaxValueLength);
    }
    return defaultValue;
}

void WriteProfileString(const QString& path, const QString& section, const QString& key, const QString& value)
{
    TProfileText text = ReadText(path);
    QStringList& lines = text.Lines;
    const QString entry = key + QLatin1Char('=') + value;

    const auto [first, end] = FindSection(lines, section);
    if (first < 0) {
        lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    } else {
        qsizetype at = -1;
        for (qsizetype i = first + 1; i < end && at < 0; ++i) {
            if (IsKeyLine(lines[i], key))
                at = i;
        }
        if (at >= 0) {
            // The key keeps the spelling it has in the file.
            lines[at] = lines[at].left(lines[at].indexOf(QLatin1Char('='))).trimmed() + QLatin1Char('=') + value;
        } else {
            qsizetype last = end;
            while (last > first + 1 && lines[last - 1].trimmed().isEmpty())
                --last;
            lines.insert(last, entry);
        }
    }

    const QString content = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    QByteArray bytes;
    if (text.Utf16) {
        bytes = QByteArray("\xff\xfe", 2)
            + QByteArray(reinterpret_cast<const char*>(content.utf16()), content.size() * 2);
    } else {
        bytes = AnsiEncode(content);
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Exception(QStringLiteral("In %1 kann nicht geschrieben werden").arg(path));
}
