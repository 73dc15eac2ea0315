#pragma once

#include <QByteArray>
#include <QString>

// File names as the operating system knows them. On Windows a name is UTF-16 text and a
// QString holds it as it is. On Linux a name is a string of bytes that need not be UTF-8
// (a Latin-1 name copied from an old system, a broken download): a QString path holds such
// a name reversibly, each byte that is not part of valid UTF-8 as one character
// U+DC80..U+DCFF, so that EncodeFileName(DecodeFileName(b)) == b for every name. Every file
// operation of the program goes through EncodeFileName; what the user reads goes through
// DisplayFileName.

// The bytes of path for the system calls (Linux); UTF-8 elsewhere.
QByteArray EncodeFileName(const QString& path);

// A name or path as the system gave it (Linux: bytes, decoded reversibly).
QString DecodeFileName(const QByteArray& bytes);

// path for the user's eyes: the bytes held as U+DC80..U+DCFF are shown as the characters
// of the ANSI code page (a Latin-1 "lat1-\xe4\xf6\xfc.xml" reads "lat1-äöü.xml").
QString DisplayFileName(const QString& path);

// Whether path holds bytes that are not UTF-8 (and so cannot be passed to a Qt file class
// that encodes names itself).
bool HasUndecodableBytes(const QString& path);
