#include "invoice/EZugFerd_Qpdf.h"

#include "invoice/PdfPageRenderer.h"
#include "invoice/ProgramModule.h"
#include "invoice/QpdfModule.h"
#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include "BuildConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif
#include <mutex>

namespace {

struct TQpdfModule
{
    TQpdfFindXml FindXml = nullptr;
    TQpdfFree Free = nullptr;
    QString Error;
};

const TQpdfModule& Module()
{
    static TQpdfModule module;
    static std::once_flag once;
    std::call_once(once, [] {
        static QLibrary library;
        if (!LoadProgramModule(library, QStringLiteral("erechnung-qpdf"), module.Error))
            return;
        module.FindXml = reinterpret_cast<TQpdfFindXml>(library.resolve("erechnung_qpdf_find_xml"));
        module.Free = reinterpret_cast<TQpdfFree>(library.resolve("erechnung_qpdf_free"));
        if (!module.FindXml || !module.Free)
            module.Error = QStringLiteral("%1 ist nicht das PDF-Modul dieses Programms").arg(library.fileName());
    });
    if (!module.Error.isEmpty())
        throw Exception(WithReason(QStringLiteral("Das PDF-Modul des Programms (erechnung-qpdf) kann nicht geladen werden; "
                                                  "PDF-Rechnungen können nicht gelesen werden."),
                                   QStringLiteral("System"), module.Error));
    return module;
}

QString MiB(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
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
    const TQpdfModule& module = Module();
#ifdef Q_OS_WIN
    const int fd = -1;
    const QByteArray path = FOriginalFileName.toUtf8();
#else
    // Opened here by the name's own bytes (and only if it is a regular file), handed over.
    QFile file;
    if (!OpenForReading(file, FOriginalFileName).isEmpty())
        return result;
    const int fd = ::dup(file.handle());
    if (fd < 0)
        return result;
    const QByteArray path = EncodeFileName(FOriginalFileName);
#endif
    TQpdfAttachment found;
    module.FindXml(fd, path.constData(), kMaxInvoiceXmlBytes, withData ? 1 : 0, &found);
    struct TFree
    {
        const TQpdfModule& M;
        TQpdfAttachment& A;
        ~TFree() { M.Free(&A); }
    } freeFound{module, found};
    if (found.Status == kQpdfNone)
        return result;
    result.Number = found.Number;
    result.Name = QString::fromUtf8(found.Name, qsizetype(found.NameSize));
    const qint64 limitMiB = kMaxInvoiceXmlBytes / (1024 * 1024);
    switch (found.Status) {
    case kQpdfDeclaredTooLarge:
        throw Exception(QStringLiteral("Die eingebettete Rechnung „%1“ in %2 ist laut PDF %3 MiB groß. "
                                       "XML-Rechnungen über %4 MiB werden nicht gelesen.")
                            .arg(result.Name, DisplayFileName(FOriginalFileName), MiB(found.DeclaredSize))
                            .arg(limitMiB));
    case kQpdfTooLarge:
        throw Exception(QStringLiteral("Die eingebettete Rechnung „%1“ in %2 ist größer als %3 MiB und wird nicht gelesen.")
                            .arg(result.Name, DisplayFileName(FOriginalFileName))
                            .arg(limitMiB));
    case kQpdfUndecodable:
        throw Exception(QStringLiteral("Die eingebettete Rechnung „%1“ in %2 kann nicht entpackt werden (beschädigt oder "
                                       "mit einem unbekannten Verfahren komprimiert).")
                            .arg(result.Name, DisplayFileName(FOriginalFileName)));
    default:
        break;
    }
    if (withData && found.Data)
        result.Data = QByteArray(found.Data, qsizetype(found.DataSize));
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
