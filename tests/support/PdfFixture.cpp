#include "tests/support/PdfFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <stdexcept>

#include <zlib.h>

namespace {

void RunQpdf(const QStringList& args)
{
    QProcess qpdf;
    qpdf.setProcessChannelMode(QProcess::MergedChannels);
    qpdf.start(QStringLiteral("qpdf"), args);
    if (!qpdf.waitForFinished(120000) || qpdf.exitStatus() != QProcess::NormalExit || qpdf.exitCode() != 0)
        throw std::runtime_error("qpdf failed: " + qpdf.readAll().toStdString());
}

} // namespace

void WriteMinimalPdf(const QString& path, const TPdfOptions& options)
{
    QByteArray pdf = "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n";
    QList<qsizetype> offsets;
    auto object = [&](const QByteArray& body) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    auto stream = [](const QByteArray& dict, const QByteArray& data) {
        return "<< " + dict + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };

    const bool hasXmp = !options.Xmp.isEmpty();
    const bool hasImage = options.PaddingBytes > 0;
    const bool hasRaw = !options.Raw.Name.isEmpty();
    const QByteArray rawSpec = QByteArray::number(5 + (hasXmp ? 1 : 0) + (hasImage ? 1 : 0) + 1);
    QByteArray catalog = "<< /Type /Catalog /Pages 2 0 R";
    if (hasXmp)
        catalog += " /Metadata 6 0 R";
    if (hasRaw)
        catalog += " /Names << /EmbeddedFiles << /Names [(" + options.Raw.Name.toLatin1() + ") " + rawSpec + " 0 R] >> >>";
    catalog += " >>";
    object(catalog);                                                          // 1
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");                      // 2
    QByteArray resources = "<< /Font << /F1 5 0 R >>";
    if (hasImage)
        resources += QByteArray(" /XObject << /Im1 ") + (hasXmp ? "7" : "6") + " 0 R >>";
    resources += " >>";
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources " + resources + " >>"); // 3
    const QByteArray content = "BT /F1 24 Tf 72 760 Td (" + options.Text.toLatin1() + ") Tj ET";
    object(stream("", content));                                              // 4
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");         // 5
    if (hasXmp)
        object(stream("/Type /Metadata /Subtype /XML", options.Xmp.toUtf8())); // 6
    if (hasImage) {
        const qint64 width = 4096;
        const qint64 height = (options.PaddingBytes + width - 1) / width;
        QByteArray pixels(width * height, Qt::Uninitialized);
        QRandomGenerator rng(4711);
        rng.fillRange(reinterpret_cast<quint32*>(pixels.data()), pixels.size() / 4);
        object(stream("/Type /XObject /Subtype /Image /Width " + QByteArray::number(width) + " /Height "
                          + QByteArray::number(height) + " /ColorSpace /DeviceGray /BitsPerComponent 8",
                      pixels));
    }

    if (hasRaw) {
        const QByteArray name = options.Raw.Name.toLatin1();
        object("<< /Type /Filespec /F (" + name + ") /UF (" + name + ") /EF << /F "
               + QByteArray::number(rawSpec.toInt() + 1) + " 0 R >> >>");
        QByteArray dict = "/Type /EmbeddedFile /Subtype /text#2Fxml /Filter /FlateDecode";
        if (options.Raw.DeclaredSize >= 0)
            dict += " /Params << /Size " + QByteArray::number(options.Raw.DeclaredSize) + " >>";
        object(stream(dict, options.Raw.Deflated));
    }

    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";

    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(pdf) != pdf.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void AddAttachments(const QString& in, const QString& out, const QList<TPdfAttachment>& attachments)
{
    QStringList args{in, out};
    for (const TPdfAttachment& a : attachments) {
        const QString name = a.Name.isEmpty() ? QFileInfo(a.File).fileName() : a.Name;
        args << QStringLiteral("--add-attachment") << a.File << QStringLiteral("--filename=") + name
             << QStringLiteral("--key=") + (a.Key.isEmpty() ? name : a.Key);
        if (!a.MimeType.isEmpty())
            args << QStringLiteral("--mimetype=") + a.MimeType;
        if (!a.Description.isEmpty())
            args << QStringLiteral("--description=") + a.Description;
        args << QStringLiteral("--");
    }
    RunQpdf(args);
}

void ReplaceAttachment(const QString& in, const QString& out, const QString& key, const QString& file)
{
    const QString without = out + QStringLiteral(".ohne.pdf");
    RunQpdf({in, without, QStringLiteral("--remove-attachment=") + key});
    AddAttachments(without, out, {{file, key, key, QStringLiteral("text/xml"), {}}});
    QFile::remove(without);
}

void RepeatPages(const QString& in, const QString& out, int pages)
{
    QStringList args{QStringLiteral("--empty"), QStringLiteral("--pages")};
    for (int i = 0; i < pages; ++i)
        args << in << QStringLiteral("1");
    args << QStringLiteral("--") << out;
    RunQpdf(args);
}

void EncryptPdf(const QString& in, const QString& out, const QString& userPassword, const QString& ownerPassword)
{
    RunQpdf({QStringLiteral("--encrypt"), userPassword, ownerPassword, QStringLiteral("256"), QStringLiteral("--"), in, out});
}

QString FacturXXmp(const QString& documentFileName)
{
    return QStringLiteral(
               "<?xpacket begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
               "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
               "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">"
               "<pdfaid:part>3</pdfaid:part><pdfaid:conformance>B</pdfaid:conformance></rdf:Description>"
               "<rdf:Description rdf:about=\"\" xmlns:pdfaExtension=\"http://www.aiim.org/pdfa/ns/extension/\""
               " xmlns:pdfaSchema=\"http://www.aiim.org/pdfa/ns/schema#\" xmlns:pdfaProperty=\"http://www.aiim.org/pdfa/ns/property#\">"
               "<pdfaExtension:schemas><rdf:Bag><rdf:li rdf:parseType=\"Resource\">"
               "<pdfaSchema:namespaceURI>urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#</pdfaSchema:namespaceURI>"
               "<pdfaSchema:prefix>fx</pdfaSchema:prefix><pdfaSchema:property><rdf:Seq><rdf:li rdf:parseType=\"Resource\">"
               "<pdfaProperty:name>DocumentFileName</pdfaProperty:name></rdf:li></rdf:Seq></pdfaSchema:property>"
               "</rdf:li></rdf:Bag></pdfaExtension:schemas></rdf:Description>"
               "<rdf:Description rdf:about=\"\" xmlns:fx=\"urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#\">"
               "<fx:DocumentType>INVOICE</fx:DocumentType><fx:DocumentFileName>%1</fx:DocumentFileName>"
               "<fx:Version>1.0</fx:Version><fx:ConformanceLevel>EN 16931</fx:ConformanceLevel></rdf:Description>"
               "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>")
        .arg(documentFileName);
}

QByteArray DeflatedBlanks(qint64 size)
{
    z_stream z{};
    if (deflateInit(&z, Z_BEST_SPEED) != Z_OK)
        throw std::runtime_error("deflateInit");
    const QByteArray blanks(1 << 20, ' ');
    QByteArray out;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    qint64 left = size;
    int flush = Z_NO_FLUSH;
    do {
        const qint64 n = std::min<qint64>(left, blanks.size());
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(blanks.constData()));
        z.avail_in = uInt(n);
        left -= n;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(chunk.data());
            z.avail_out = uInt(chunk.size());
            deflate(&z, flush);
            out.append(chunk.constData(), chunk.size() - qsizetype(z.avail_out));
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return out;
}
