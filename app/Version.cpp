#include "app/Version.h"

#include "BuildConfig.h"

void GetFileVersionParts(quint16& major, quint16& minor, quint16& release, quint16& build)
{
    major = ERECHNUNG_VERSION_MAJOR;
    minor = ERECHNUNG_VERSION_MINOR;
    release = ERECHNUNG_VERSION_PATCH + 0;
    build = ERECHNUNG_VERSION_TWEAK + 0;
}

QString GetVersionString()
{
    quint16 major = 0, minor = 0, release = 0, build = 0;
    GetFileVersionParts(major, minor, release, build);
    return QStringLiteral("%1.%2").arg(major).arg(minor);
}
