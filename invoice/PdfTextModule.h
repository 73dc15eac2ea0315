#pragma once

// The interface of the PDF text module (erechnung-pdftext): the text of a PDF's pages, read
// by Poppler in a library of its own that the program loads when it first compares a
// hybrid invoice's pages with its XML (the command-line tool otherwise starts without
// Poppler and Qt's GUI module). Plain C across the boundary.

#include <cstddef>

extern "C" {

enum TPdfTextStatus {
    kPdfTextRead = 0,       // the pages were read (their text may be empty: scanned pages)
    kPdfTextUnreadable = 1, // no PDF Poppler can open, or one locked with a password
};

struct TPdfTextResult
{
    int Status;
    int Pages;
    char* Text;      // UTF-8, the pages' texts separated by form feeds; owned by the module
    size_t TextSize;
};

typedef void (*TPdfTextRead)(const char* data, size_t size, TPdfTextResult* out);
typedef void (*TPdfTextFree)(TPdfTextResult* out);

}
