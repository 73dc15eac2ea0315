#pragma once

#include "invoice/EZugFerd.h"

#include <QByteArray>

#include <memory>

namespace Poppler {
class Document;
}

// The embedded-invoice accessor on Poppler. Every question opens the PDF anew; embedded
// files are read in memory, never through a temporary file.
class TEZugFerdPoppler : public TEZugFerd
{
public:
    explicit TEZugFerdPoppler(QObject* AOwner);
    TEZugFerdPoppler(QObject* AOwner, const QString& filename);
    ~TEZugFerdPoppler() override;

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
    std::unique_ptr<Poppler::Document> FileHandle; // opened for page rendering only
};
