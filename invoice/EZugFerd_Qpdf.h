#pragma once

#include "invoice/EZugFerd.h"

#include <QByteArray>

#include <memory>

class TPdfPageRenderer;

// The embedded-invoice accessor on qpdf. Every question opens the PDF anew; the embedded
// invoice is decoded in memory, never through a temporary file, and never past the size
// limit for an invoice XML (kMaxInvoiceXmlBytes): a PDF of a few hundred kilobytes whose
// attachment would inflate to gigabytes is refused while it is read. Pages are drawn with
// Poppler.
class TEZugFerdQpdf : public TEZugFerd
{
public:
    explicit TEZugFerdQpdf(QObject* AOwner);
    TEZugFerdQpdf(QObject* AOwner, const QString& filename);
    ~TEZugFerdQpdf() override;

    bool IsZugFerd() override;
    QString ExtractFacturX() override;
    void RenderPDFPage(int page, QPainter* dc) override;

    // What the search found: the 1-based number of the invoice attachment (0: none),
    // its name and its bytes. Public for the tests and the tools.
    struct TAttachment
    {
        int Number = 0;
        QString Name;
        QByteArray Data;
    };
    TAttachment FindXmlAttachment(bool withData = false) const;

private:
    std::unique_ptr<TPdfPageRenderer> FPages;
};
