#pragma once

#include "BuildConfig.h"

#include <QString>

#include <atomic>

// Who checks an invoice: the validation service, the program's own checks (no network at
// all), or the service with the program's own checks when the service cannot be reached.
enum class TCheckMode { Service, BuiltIn, ServiceOrBuiltIn };

// Where and how the validation and rendering services are reached. The defaults are the
// program's own; tests and the command-line tool point the clients elsewhere.
struct TServiceOptions
{
    QString BaseUrl = QStringLiteral(ERECHNUNG_SERVICE_URL); // scheme and host, no trailing "/"
    TCheckMode Mode = TCheckMode::Service; // the program sets it from its settings
    QString CaFile = QStringLiteral(ERECHNUNG_SERVICE_CA_FILE); // empty: the system's trust store
    int ConnectTimeoutMs = 5000;
    int SendTimeoutMs = 60000;
    int ReceiveTimeoutMs = 60000;
    int TotalTimeoutMs = 120000; // the whole call: an answer that trickles in ends too
    // Set from another thread to end a call early (it then fails); not owned.
    const std::atomic<bool>* Cancel = nullptr;
};
