#include "mail/UniqueFileName.h"

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <QFileInfo>

namespace {

bool IsForbidden(QChar c)
{
    const char16_t u = c.unicode();
    return u < 32 || u == '"' || u == '*' || u == '/' || u == ':' || u == '<' || u == '>' || u == '?' || u == '\\' || u == '|';
}

bool IsDeviceName(const QString& name)
{
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (devices.contains(stem))
        return true;
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}

// The extension: from the last "." to the end (a leading dot counts).
QString ExtensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

} // namespace

QString SafeAttachmentName(const QString& filename)
{
    QString name;
    for (QChar c : filename) {
        if (!IsForbidden(c))
            name += c;
    }
    // Leading dots and blanks go: "../../x.xml" would otherwise become the hidden
    // "....x.xml". A name that is nothing but an extension (".pdf") keeps it, or a PDF
    // would no longer be read as one.
    qsizetype start = 0;
    while (start < name.size() && (name.at(start) == QLatin1Char('.') || name.at(start).isSpace()))
        ++start;
    const QString stripped = name.mid(start);
    if (stripped.trimmed().isEmpty())
        return QStringLiteral("Anhang");
    if (name == QLatin1Char('.') + stripped && !stripped.contains(QLatin1Char('.')))
        return QStringLiteral("Anhang") + name;
    if (IsDeviceName(stripped))
        return QStringLiteral("Anhang") + ExtensionOf(stripped);
    return stripped;
}

QString UniqueFileNameInFolder(const QString& folder, const QString& filename)
{
    if (!DirectoryExists(folder))
        throw Exception(QStringLiteral("Ordner ") + folder + QStringLiteral(" existiert nicht"));
    const QString name = SafeAttachmentName(filename);
    const QString path = JoinPath(folder, name);
    if (!QFileInfo::exists(path))
        return path;
    const QString ext = ExtensionOf(name);
    const QString base = name.left(name.size() - ext.size());
    for (int i = 2; i <= 9999; ++i) {
        const QString candidate = JoinPath(folder, base + QLatin1Char('(') + QString::number(i) + QLatin1Char(')') + ext);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    throw Exception(QStringLiteral("Für die Anlage %1 ist im Ordner %2 kein freier Name mehr (bis %3(9999)%4 vergeben).")
                        .arg(name, folder, base, ext));
}
