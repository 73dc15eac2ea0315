#pragma once

#include <QLibrary>
#include <QString>

// Loads one of the program's own modules (erechnung-qpdf, erechnung-pdftext): a program in
// the build tree takes the build tree's, an installed one the installed module (or, on
// Windows, the one beside the program). Returns whether it is loaded; error says why not.
bool LoadProgramModule(QLibrary& library, const QString& name, QString& error);
