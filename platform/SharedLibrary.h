#pragma once

#include <QLibrary>
#include <QString>

// Opens a shared library by its name without prefix and suffix ("curl") and its major
// version, as the system names such files: libcurl.so.4 here, libcurl-4.dll or libcurl.dll
// on Windows. Returns whether it is loaded; library.errorString() says why not.
bool OpenSharedLibrary(QLibrary& library, const QString& name, int majorVersion);
