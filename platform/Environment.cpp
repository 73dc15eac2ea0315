#include "platform/Environment.h"

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

QString Variable(const char* name)
{
    return qEnvironmentVariable(name, QStringLiteral(""));
}

#ifndef Q_OS_WIN
QString HostName()
{
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return QStringLiteral("");
    return QString::fromLocal8Bit(buffer);
}
#endif

} // namespace

QString UserName()
{
    QString name = Variable("USERNAME");
#ifndef Q_OS_WIN
    if (name.isEmpty())
        name = Variable("USER");
    if (name.isEmpty())
        name = Variable("LOGNAME");
    if (name.isEmpty()) {
        if (const passwd* pw = getpwuid(geteuid()))
            name = QString::fromLocal8Bit(pw->pw_name);
    }
#endif
    return name.isNull() ? QStringLiteral("") : name;
}

QString UserDomain()
{
    QString domain = Variable("USERDOMAIN");
#ifndef Q_OS_WIN
    if (domain.isEmpty()) {
        const QString host = HostName();
        const qsizetype dot = host.indexOf(QLatin1Char('.'));
        domain = dot > 0 ? host.mid(dot + 1) : QStringLiteral("");
    }
#endif
    return domain.isNull() ? QStringLiteral("") : domain;
}

QString ComputerName()
{
    QString name = Variable("COMPUTERNAME");
#ifndef Q_OS_WIN
    if (name.isEmpty()) {
        name = HostName();
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        if (dot > 0)
            name.truncate(dot);
    }
#endif
    return name.isNull() ? QStringLiteral("") : name;
}
