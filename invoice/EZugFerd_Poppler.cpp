#include "invoice/EZugFerd_Poppler.h"

#include "platform/AnsiCodePage.h"
#include "platform/Paths.h"

#include <poppler-qt6.h>

#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>

#include <mutex>

namespace {

void SilencePoppler()
{
    static std::once_flag once;
    std::call_once(once, [] { Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant()); });
}

// Loads the PDF with an empty password. A PDF that needs a password to open counts as not
// loadable: Poppler must not be asked anything else about a locked document.
std::unique_ptr<Poppler::Document> OpenPdf(const QString& path)
{
    SilencePoppler();
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(path);
    if (!doc || doc->isLocked())
        return nullptr;
    return doc;
}

bool IsXmlMimeType(const QString& mime)
{
    const QString m = mime.trimmed().toLower();
    return m == QLatin1String("text/xml") || m == QLatin1String("application/xml") || m.endsWith(QLatin1String("+xml"));
}

// The attachment name that the XMP metadata declares as the invoice: DocumentFileName of
// the ZUGFeRD / Factur-X extension schema, as element or as attribute.
QString DeclaredInvoiceName(const QString& xmp)
{
    if (xmp.isEmpty())
        return {};
    auto isDeclaration = [](QStringView ns, QStringView name) {
        return name == QLatin1String("DocumentFileName")
            && ns.contains(QLatin1String("CrossIndustryDocument"), Qt::CaseInsensitive);
    };
    QXmlStreamReader reader(xmp);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        for (const QXmlStreamAttribute& a : reader.attributes()) {
            if (isDeclaration(a.namespaceUri(), a.name()))
                return a.value().toString().trimmed();
        }
        if (isDeclaration(reader.namespaceUri(), reader.name()))
            return reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
    }
    return {};
}

int FindByName(const QList<Poppler::EmbeddedFile*>& files, const QString& name)
{
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (int i = 0; i < files.size(); ++i) {
            if (files[i]->name().compare(name, cs) == 0)
                return i;
        }
    }
    return -1;
}

// Which embedded file is the invoice: the one the XMP metadata declares; otherwise the
// first named "*.xml" or typed as XML; otherwise the first that shows "xml" anywhere in
// its name, description or MIME type. The last rule alone would take an attachment such
// as xmlschema.pdf before the invoice.
int ChooseInvoice(const Poppler::Document& doc, const QList<Poppler::EmbeddedFile*>& files)
{
    const QString declared = DeclaredInvoiceName(doc.metadata());
    if (!declared.isEmpty()) {
        const int i = FindByName(files, declared);
        if (i >= 0)
            return i;
    }
    for (int i = 0; i < files.size(); ++i) {
        if (files[i]->name().endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) || IsXmlMimeType(files[i]->mimeType()))
            return i;
    }
    for (int i = 0; i < files.size(); ++i) {
        const auto* f = files[i];
        for (const QString& text : {f->name(), f->description(), f->mimeType()}) {
            if (text.contains(QLatin1String("xml"), Qt::CaseInsensitive))
                return i;
        }
    }
    return -1;
}

} // namespace

TEZugFerdPoppler::TEZugFerdPoppler(QObject* AOwner)
    : TEZugFerd(AOwner)
{
}

TEZugFerdPoppler::TEZugFerdPoppler(QObject* AOwner, const QString& filename)
    : TEZugFerd(AOwner, filename)
{
}

TEZugFerdPoppler::~TEZugFerdPoppler() = default;

TEZugFerdPoppler::TAttachment TEZugFerdPoppler::FindXmlAttachment(bool withData) const
{
    TAttachment result;
    if (ExtractFileExt(FOriginalFileName).toLower() != QLatin1String(".pdf"))
        return result;
    const std::unique_ptr<Poppler::Document> doc = OpenPdf(FOriginalFileName);
    if (!doc || !doc->hasEmbeddedFiles())
        return result;
    const QList<Poppler::EmbeddedFile*> files = doc->embeddedFiles();
    const int i = ChooseInvoice(*doc, files);
    if (i < 0)
        return result;
    result.Number = i + 1;
    result.Name = files[i]->name();
    if (withData)
        result.Data = files[i]->data();
    return result;
}

bool TEZugFerdPoppler::IsZugFerd()
{
    return FindXmlAttachment().Number > 0;
}

QString TEZugFerdPoppler::ExtractFacturX()
{
    return AnsiDecode(FindXmlAttachment(true).Data);
}

void TEZugFerdPoppler::RenderPDFPage(int page, QPainter* dc)
{
    if (!FileHandle)
        FileHandle = OpenPdf(FOriginalFileName);
    if (!FileHandle || !dc || page < 1 || page > FileHandle->numPages())
        return;
    const std::unique_ptr<Poppler::Page> p = FileHandle->page(page - 1);
    if (!p)
        return;
    const QImage image = p->renderToImage(72.0, 72.0);
    if (!image.isNull())
        dc->drawImage(0, 0, image);
}
