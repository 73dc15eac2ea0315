#pragma once

#include "BuildConfig.h"

#include <QString>

// Where and how the validation and rendering services are reached. The defaults are the
// program's own; tests and the command-line tool point the clients elsewhere.
struct TServiceOptions
{
    QString BaseUrl = QStringLiteral(ERECHNUNG_SERVICE_URL); // scheme and host, no trailing "/"
    QString CaFile = QStringLiteral(ERECHNUNG_SERVICE_CA_FILE); // empty: the system's trust store
    int ConnectTimeoutMs = 5000;
    int SendTimeoutMs = 60000;
    int ReceiveTimeoutMs = 60000;
};
