#pragma once

#include <QByteArray>
#include <QString>

// The "ANSI code page" in which invoice files are read and sent. On Windows it is the
// system code page; elsewhere Windows-1252, with the five bytes that Windows-1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) mapped to the C1 controls of the same value,
// so that AnsiEncode(AnsiDecode(b)) == b for every byte sequence.

// Bytes to text: every byte becomes one character (on a single-byte code page).
QString AnsiDecode(const QByteArray& bytes);

// Text to bytes: a character outside the code page becomes "?".
QByteArray AnsiEncode(const QString& text);
