#include "invoice/EZugFerd_Qpdf.h"

#include "invoice/PdfPageRenderer.h"
#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>

#include <QFile>
#include <QXmlStreamReader>

#include <cstdio>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif
#include <optional>
#include <vector>

namespace {

// One embedded file as the search sees it.
struct TEmbedded
{
    QString Name;
    QString Description;
    QString MimeType;
    QPDFObjectHandle Stream;
};

// The end of a pipeline that keeps what it is given, up to a limit: past it, it stops the
// decoding at once instead of taking more.
class TLimitedSink : public Pipeline
{
public:
    explicit TLimitedSink(qint64 limit)
        : Pipeline("limited sink", nullptr)
        , FLimit(limit)
    {
    }
    void write(unsigned char const* data, size_t len) override
    {
        if (FData.size() + qint64(len) > FLimit) {
            FExceeded = true;
            throw std::length_error("limit");
        }
        FData.append(reinterpret_cast<const char*>(data), qsizetype(len));
    }
    void finish() override {}
    bool Exceeded() const { return FExceeded; }
    QByteArray& Data() { return FData; }

private:
    qint64 FLimit;
    bool FExceeded = false;
    QByteArray FData;
};

// The decoded contents of stream, at most limit bytes; nullopt when it cannot be decoded
// or is larger.
std::optional<QByteArray> DecodeStream(QPDFObjectHandle stream, qint64 limit, bool* tooLarge) // a handle: copied cheaply
{
    TLimitedSink sink(limit);
    bool ok = false;
    try {
        ok = stream.pipeStreamData(&sink, nullptr, 0, qpdf_dl_specialized, true);
    } catch (const std::exception&) {
        ok = false;
    }
    if (tooLarge)
        *tooLarge = sink.Exceeded();
    if (!ok || sink.Exceeded())
        return std::nullopt;
    return std::move(sink.Data());
}

// Reads the PDF at path with qpdf; false when it cannot be read (damaged, not a PDF, locked
// with a password), which counts as a PDF without attachments.
bool OpenPdf(const QString& path, QPDF& pdf)
{
    pdf.setSuppressWarnings(true);
#ifdef Q_OS_WIN
    try {
        pdf.processFile(path.toUtf8().constData(), "");
        return true;
    } catch (const std::exception&) {
        return false;
    }
#else
    QFile file;
    if (!OpenForReading(file, path).isEmpty())
        return false;
    const int fd = ::dup(file.handle());
    FILE* stream = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
    if (!stream) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    try {
        pdf.processFile(EncodeFileName(path).constData(), stream, true, "");
        return true;
    } catch (const std::exception&) {
        return false;
    }
#endif
}

QString Utf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::vector<TEmbedded> EmbeddedFiles(QPDF& pdf)
{
    std::vector<TEmbedded> files;
    try {
        QPDFEmbeddedFileDocumentHelper helper(pdf);
        if (!helper.hasEmbeddedFiles())
            return files;
        // In the order of the name tree's keys, as PDF readers list them.
        for (const auto& [key, spec] : helper.getEmbeddedFiles()) {
            TEmbedded e;
            e.Name = Utf8(spec->getFilename());
            e.Description = Utf8(spec->getDescription());
            e.Stream = spec->getEmbeddedFileStream();
            if (e.Stream.isStream())
                e.MimeType = Utf8(QPDFEFStreamObjectHelper(e.Stream).getSubtype());
            files.push_back(std::move(e));
        }
    } catch (const std::exception&) {
        files.clear(); // a damaged attachment list counts as none
    }
    return files;
}

QString XmpMetadata(QPDF& pdf)
{
    try {
        QPDFObjectHandle metadata = pdf.getRoot().getKey("/Metadata");
        if (!metadata.isStream())
            return {};
        const std::optional<QByteArray> bytes = DecodeStream(metadata, kMaxInvoiceXmlBytes, nullptr);
        return bytes ? QString::fromUtf8(*bytes) : QString();
    } catch (const std::exception&) {
        return {};
    }
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

int FindByName(const std::vector<TEmbedded>& files, const QString& name)
{
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (size_t i = 0; i < files.size(); ++i) {
            if (files[i].Name.compare(name, cs) == 0)
                return int(i);
        }
    }
    return -1;
}

// Which embedded file is the invoice: the one the XMP metadata declares; otherwise the
// first named "*.xml" or typed as XML; otherwise the first that shows "xml" anywhere in
// its name, description or MIME type. The last rule alone would take an attachment such
// as xmlschema.pdf before the invoice.
int ChooseInvoice(QPDF& pdf, const std::vector<TEmbedded>& files)
{
    const QString declared = DeclaredInvoiceName(XmpMetadata(pdf));
    if (!declared.isEmpty()) {
        const int i = FindByName(files, declared);
        if (i >= 0)
            return i;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].Name.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) || IsXmlMimeType(files[i].MimeType))
            return int(i);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        for (const QString& text : {files[i].Name, files[i].Description, files[i].MimeType}) {
            if (text.contains(QLatin1String("xml"), Qt::CaseInsensitive))
                return int(i);
        }
    }
    return -1;
}

QString MiB(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

// The bytes of the chosen attachment; raises when it is larger than an invoice may be (as
// the PDF declares it, or as it turns out while decoding) or cannot be decoded.
QByteArray ReadAttachment(TEmbedded file, const QString& pdfPath)
{
    if (!file.Stream.isStream())
        return {};
    const qint64 limitMiB = kMaxInvoiceXmlBytes / (1024 * 1024);
    size_t declared = 0;
    try {
        declared = QPDFEFStreamObjectHelper(file.Stream).getSize();
    } catch (const std::exception&) {
    }
    if (qint64(declared) > kMaxInvoiceXmlBytes)
        throw Exception(QStringLiteral("Die eingebettete Rechnung „%1“ in %2 ist laut PDF %3 MiB groß. "
                                       "XML-Rechnungen über %4 MiB werden nicht gelesen.")
                            .arg(file.Name, DisplayFileName(pdfPath), MiB(qint64(declared)))
                            .arg(limitMiB));
    bool tooLarge = false;
    const std::optional<QByteArray> data = DecodeStream(file.Stream, kMaxInvoiceXmlBytes, &tooLarge);
    if (tooLarge)
        throw Exception(QStringLiteral("Die eingebettete Rechnung „%1“ in %2 ist größer als %3 MiB und wird nicht gelesen.")
                            .arg(file.Name, DisplayFileName(pdfPath))
                            .arg(limitMiB));
    if (!data)
        throw Exception(QStringLiteral("Die eingebettete Rechnung „%1“ in %2 kann nicht entpackt werden (beschädigt oder "
                                       "mit einem unbekannten Verfahren komprimiert).")
                            .arg(file.Name, DisplayFileName(pdfPath)));
    return *data;
}

} // namespace

TEZugFerdQpdf::TEZugFerdQpdf(QObject* AOwner)
    : TEZugFerd(AOwner)
{
}

TEZugFerdQpdf::TEZugFerdQpdf(QObject* AOwner, const QString& filename)
    : TEZugFerd(AOwner, filename)
{
}

TEZugFerdQpdf::~TEZugFerdQpdf() = default;

TEZugFerdQpdf::TAttachment TEZugFerdQpdf::FindXmlAttachment(bool withData) const
{
    TAttachment result;
    if (ExtractFileExt(FOriginalFileName).toLower() != QLatin1String(".pdf"))
        return result;
    QPDF pdf;
    if (!OpenPdf(FOriginalFileName, pdf))
        return result;
    const std::vector<TEmbedded> files = EmbeddedFiles(pdf);
    const int i = ChooseInvoice(pdf, files);
    if (i < 0)
        return result;
    result.Number = i + 1;
    result.Name = files[size_t(i)].Name;
    if (withData)
        result.Data = ReadAttachment(files[size_t(i)], FOriginalFileName);
    return result;
}

bool TEZugFerdQpdf::IsZugFerd()
{
    return FindXmlAttachment().Number > 0;
}

QString TEZugFerdQpdf::ExtractFacturX()
{
    return AnsiDecode(FindXmlAttachment(true).Data);
}

void TEZugFerdQpdf::RenderPDFPage(int page, QPainter* dc)
{
    if (!FPages)
        FPages = TPdfPageRenderer::Open(FOriginalFileName);
    if (FPages)
        FPages->Render(page, dc);
}
