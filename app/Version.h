#pragma once

#include <QString>

// The program's version, compiled in from the build (project(VERSION a.b.c.d)).
void GetFileVersionParts(quint16& major, quint16& minor, quint16& release, quint16& build);
// Major and minor, as "1.4".
QString GetVersionString();
