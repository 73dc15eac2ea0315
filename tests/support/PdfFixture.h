#pragma once

#include <QList>
#include <QString>

// PDFs for tests and benchmarks: a small one-page PDF written by hand, attachments added
// with qpdf, encryption with qpdf.

// An embedded file written into the PDF as it is given (FlateDecode data), with the size
// the PDF declares for it: for attachments that would inflate to more than they claim.
struct TRawAttachment
{
    QString Name;             // empty: none
    QByteArray Deflated;      // a zlib stream
    qint64 DeclaredSize = -1; // /Params /Size; none when negative
};

struct TPdfOptions
{
    QString Text = QStringLiteral("Rechnung");
    QString Xmp;              // XMP metadata packet for the catalog; none when empty
    qint64 PaddingBytes = 0;  // an incompressible image of about this size, to make big PDFs
    TRawAttachment Raw;
};

// A zlib stream that inflates to size bytes of blanks, made without holding them.
QByteArray DeflatedBlanks(qint64 size);

struct TPdfAttachment
{
    QString File;             // the file to embed
    QString Name;             // the name shown in the PDF; the file's name when empty
    QString Key;              // key in the embedded-files tree (decides the order); the name when empty
    QString MimeType;
    QString Description;
};

void WriteMinimalPdf(const QString& path, const TPdfOptions& options = {});
// Runs qpdf; throws std::runtime_error with qpdf's output when it fails.
void AddAttachments(const QString& in, const QString& out, const QList<TPdfAttachment>& attachments);
// The PDF with the embedded file under key replaced by file (same name, XML type): a
// hybrid invoice whose XML says something else than its pages.
void ReplaceAttachment(const QString& in, const QString& out, const QString& key, const QString& file);
// A PDF of pages copies: the pages of in, repeated until there are pages of them.
void RepeatPages(const QString& in, const QString& out, int pages);
void EncryptPdf(const QString& in, const QString& out, const QString& userPassword, const QString& ownerPassword);
// An XMP packet with the Factur-X extension schema that names documentFileName as the invoice.
QString FacturXXmp(const QString& documentFileName);
