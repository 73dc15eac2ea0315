#include "tests/support/InvoiceServices.h"

#include "tests/support/TestEnvironment.h"

void ServeInvoiceServices(TTlsTestServer& server)
{
    server.On("/validate", [](const TTlsTestServer::TRequest& r) {
        const bool bad = r.Body.find("UNGUELTIG") != std::string::npos;
        TTlsTestServer::TAnswer a;
        a.Body = ReadTestData(bad ? QStringLiteral("report-reject.xml") : QStringLiteral("report-accept.xml")).toStdString();
        a.ContentType = "application/xml";
        a.Status = bad ? 406 : 200;
        return a;
    });
    TTlsTestServer::TAnswer rendering;
    rendering.Body = ReadTestData(QStringLiteral("rendering.html")).toStdString();
    rendering.ContentType = "text/html";
    server.Answer("/renderhtml", rendering);
}

QByteArray SampleInvoice(const QString& number, bool valid)
{
    QByteArray xml = ReadTestData(QStringLiteral("invoice-utf8.xml"));
    xml.replace("RE-2026-0815", (valid ? QByteArray("RE-") : QByteArray("UNGUELTIG-")) + number.toUtf8());
    return xml;
}

TServiceOptions ServiceOptionsOf(const TTlsTestServer& server)
{
    TServiceOptions o;
    o.BaseUrl = server.BaseUrl();
    o.CaFile = server.CaFile();
    return o;
}
