// The PDF module: the invoice attachment of a PDF, found and decoded with qpdf (see
// QpdfModule.h). Built as a library of its own, loaded when the program first opens a PDF.

#include "invoice/QpdfModule.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif
#include <optional>
#include <stdexcept>
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

// Reads the PDF with qpdf; false when it cannot be read (damaged, not a PDF, locked with a
// password), which counts as a PDF without attachments. Takes over fd.
bool OpenPdf(int fd, const char* path, QPDF& pdf)
{
    pdf.setSuppressWarnings(true);
    if (fd < 0) {
        try {
            pdf.processFile(path, "");
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }
#ifdef Q_OS_WIN
    return false; // Windows hands over the name only
#else
    FILE* stream = ::fdopen(fd, "rb");
    if (!stream) {
        ::close(fd);
        return false;
    }
    try {
        pdf.processFile(path, stream, true, "");
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
        const std::optional<QByteArray> bytes = DecodeStream(metadata, 64LL * 1024 * 1024, nullptr);
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

char* Copy(const QByteArray& bytes)
{
    char* copy = static_cast<char*>(std::malloc(size_t(bytes.size()) + 1));
    if (copy) {
        std::memcpy(copy, bytes.constData(), size_t(bytes.size()));
        copy[bytes.size()] = '\0';
    }
    return copy;
}

} // namespace

extern "C" {

Q_DECL_EXPORT void erechnung_qpdf_find_xml(int fd, const char* path, long long limit, int withData, TQpdfAttachment* out)
{
    std::memset(out, 0, sizeof *out);
    out->Status = kQpdfNone;
    try {
        QPDF pdf;
        if (!OpenPdf(fd, path, pdf))
            return;
        std::vector<TEmbedded> files = EmbeddedFiles(pdf);
        const int i = ChooseInvoice(pdf, files);
        if (i < 0)
            return;
        TEmbedded& file = files[size_t(i)];
        out->Number = i + 1;
        const QByteArray name = file.Name.toUtf8();
        out->Name = Copy(name);
        out->NameSize = out->Name ? size_t(name.size()) : 0;
        out->Status = kQpdfFound;
        if (!withData || !file.Stream.isStream())
            return;
        size_t declared = 0;
        try {
            declared = QPDFEFStreamObjectHelper(file.Stream).getSize();
        } catch (const std::exception&) {
        }
        if ((long long)declared > limit) {
            out->Status = kQpdfDeclaredTooLarge;
            out->DeclaredSize = (long long)declared;
            return;
        }
        bool tooLarge = false;
        const std::optional<QByteArray> data = DecodeStream(file.Stream, limit, &tooLarge);
        if (tooLarge) {
            out->Status = kQpdfTooLarge;
            return;
        }
        if (!data) {
            out->Status = kQpdfUndecodable;
            return;
        }
        out->Data = Copy(*data);
        if (!out->Data) {
            out->Status = kQpdfUndecodable;
            return;
        }
        out->DataSize = size_t(data->size());
    } catch (...) {
        // Nothing may leave the module: what could not be read counts as undecodable when
        // an attachment was chosen, else as none.
        out->Status = out->Number > 0 ? kQpdfUndecodable : kQpdfNone;
    }
}

Q_DECL_EXPORT void erechnung_qpdf_free(TQpdfAttachment* out)
{
    std::free(out->Name);
    std::free(out->Data);
    out->Name = nullptr;
    out->Data = nullptr;
}

}
