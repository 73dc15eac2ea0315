#pragma once

#include <QString>

class QObject;
class QPainter;

// Access to the XML invoice embedded in a hybrid PDF (ZUGFeRD / Factur-X). The base class
// finds nothing; TEZugFerdPoppler does the work.
class TEZugFerd
{
public:
    explicit TEZugFerd(QObject* AOwner);
    TEZugFerd(QObject* AOwner, const QString& filename);
    virtual ~TEZugFerd() = default;

    TEZugFerd(const TEZugFerd&) = delete;
    TEZugFerd& operator=(const TEZugFerd&) = delete;

    const QString& OriginalFileName() const { return FOriginalFileName; }
    void SetOriginalFileName(const QString& value) { FOriginalFileName = value; }

    // Whether the PDF carries an embedded XML invoice.
    virtual bool IsZugFerd();
    // The embedded XML invoice as text (ANSI code page, no BOM handling); empty if none.
    virtual QString ExtractFacturX();
    // Draws page `page` (counted from 1) at 72 dpi into dc.
    virtual void RenderPDFPage(int page, QPainter* dc);

protected:
    QString FOriginalFileName;
};

// The largest invoice XML the program reads (a file, or an attachment of a PDF): anything
// larger is refused with a message before it fills the memory.
inline constexpr qint64 kMaxInvoiceXmlBytes = 64LL * 1024 * 1024;
