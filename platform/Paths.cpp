#include "platform/Paths.h"

QChar NativeSeparator()
{
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

bool IsPathDelimiter(QChar c)
{
#ifdef Q_OS_WIN
    return c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char(':');
#else
    return c == QLatin1Char('/');
#endif
}

QString JoinPath(const QString& folder, const QString& name)
{
    if (!folder.isEmpty() && IsPathDelimiter(folder.back()))
        return folder + name;
    return folder + NativeSeparator() + name;
}

QString ExtractFileName(const QString& path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (IsPathDelimiter(path.at(i)))
            return path.mid(i + 1);
    }
    return path;
}

QString ExtractFileExt(const QString& path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (IsPathDelimiter(c))
            return {};
        if (c == QLatin1Char('.'))
            return path.mid(i);
    }
    return {};
}

bool FileNamesCaseInsensitive()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}

QString PathLookupKey(const QString& path)
{
    return FileNamesCaseInsensitive() ? path.toUpper() : path;
}
