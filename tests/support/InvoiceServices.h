#pragma once

#include "services/ServiceOptions.h"
#include "tests/support/TlsTestServer.h"

#include <QByteArray>
#include <QString>

// Makes server answer like the validation and rendering services: /validate with a report
// that recommends acceptance, or rejection when the invoice contains "UNGUELTIG";
// /renderhtml with a rendering. The answers come from tests/data.
void ServeInvoiceServices(TTlsTestServer& server);

// The project's sample invoice (tests/data/invoice-utf8.xml) with its own number; an
// invalid one carries the marker the stand-in rejects.
QByteArray SampleInvoice(const QString& number, bool valid = true);

// Service options that reach server and trust its certificate.
TServiceOptions ServiceOptionsOf(const TTlsTestServer& server);
