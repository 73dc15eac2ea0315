#pragma once

// The interface of the PDF module (erechnung-qpdf): the part of the embedded-invoice search
// that uses qpdf, in a library of its own that the program loads when it first opens a PDF.
// qpdf brings GnuTLS and its libraries along, whose loading took a quarter of the start of
// erechnung-check for an XML invoice, which never needs them. Plain C across the boundary:
// no exception, no class of ours crosses it.

#include <cstddef>

extern "C" {

enum TQpdfStatus {
    kQpdfFound = 0,          // an invoice attachment was found (and read, when asked)
    kQpdfNone = 1,           // the PDF has no invoice attachment, or cannot be read as a PDF
    kQpdfDeclaredTooLarge = 2, // the PDF declares the attachment larger than the limit
    kQpdfTooLarge = 3,       // decoding passed the limit
    kQpdfUndecodable = 4,    // the attachment cannot be decoded
};

struct TQpdfAttachment
{
    int Status;
    int Number;              // 1-based number of the attachment among the embedded files
    char* Name;              // UTF-8, owned by the module
    size_t NameSize;
    char* Data;              // the decoded bytes when asked for, owned by the module
    size_t DataSize;
    long long DeclaredSize;  // for kQpdfDeclaredTooLarge
};

// Searches the PDF open as fd (a descriptor the module takes over; -1: open path itself,
// the way Windows does it) for the invoice attachment. path is the file's name as bytes
// (for qpdf's messages). limit: the most bytes the attachment may have.
typedef void (*TQpdfFindXml)(int fd, const char* path, long long limit, int withData, TQpdfAttachment* out);
// Frees what the search put into out.
typedef void (*TQpdfFree)(TQpdfAttachment* out);

}
