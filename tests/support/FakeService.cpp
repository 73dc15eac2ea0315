// A stand-in for the validation and rendering services on 127.0.0.1, for trying the
// program without the real services (the screenshot script uses it). It answers /validate
// with a report that recommends acceptance (rejection when the invoice contains
// "UNGUELTIG") and /renderhtml with a rendering, both from tests/data.
//
//   erechnung-fake-service --port 18443 --ca-out /tmp/ca.pem [--no-rendering]
//
// With --no-rendering, /renderhtml answers 503 (the program then shows its built-in view).

#include "tests/support/InvoiceServices.h"
#include "tests/support/TlsTestServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0: a free one)."), QStringLiteral("PORT"), QStringLiteral("0"));
    const QCommandLineOption caOut(QStringLiteral("ca-out"), QStringLiteral("Where to write the certificate to trust."), QStringLiteral("FILE"));
    const QCommandLineOption noRendering(QStringLiteral("no-rendering"), QStringLiteral("Answer /renderhtml with 503."));
    parser.addOptions({port, caOut, noRendering});
    parser.process(app);

    TTlsTestServer server(parser.value(port).toInt());
    ServeInvoiceServices(server);
    if (parser.isSet(noRendering))
    {
        TTlsTestServer::TAnswer unavailable;
        unavailable.Status = 503;
        unavailable.Body = "Der Dienst ist gerade nicht verfügbar.";
        server.Answer("/renderhtml", unavailable);
    }
    if (parser.isSet(caOut)) {
        QFile::remove(parser.value(caOut));
        QFile::copy(server.CaFile(), parser.value(caOut));
    }
    std::printf("%s\n", qPrintable(server.BaseUrl()));
    std::fflush(stdout);
    // Ends cleanly (removing its certificate folder) on SIGTERM or Ctrl+C.
    static volatile std::sig_atomic_t stop = 0;
    std::signal(SIGTERM, [](int) { stop = 1; });
    std::signal(SIGINT, [](int) { stop = 1; });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [] {
        if (stop)
            QCoreApplication::quit();
    });
    poll.start(100);
    return app.exec();
}
