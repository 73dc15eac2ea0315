#pragma once

#include "services/HttpClient.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// Where the maker's pages are; the defaults are the program's own, tests point them at a
// server of theirs.
struct TWebSiteOptions
{
    QString UpdateBase; // scheme and host of the update page
    QString WebBase;    // scheme and host of the web site with the help page
    QString CaFile;     // empty: the system's trust store
    int TimeoutMs = 10000;

    static TWebSiteOptions Defaults();
};

// One asynchronous GET of the update page: the request runs on a worker thread and the
// completion is called on the thread of this object (the user-interface thread). A failed
// request calls nothing.
class TUpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit TUpdateCheck(QObject* parent = nullptr);
    ~TUpdateCheck() override;

    void Start(const QString& url, const TWebSiteOptions& options, std::function<void(const THttpResponse&)> completed);
    bool Running() const { return FRunning; }

private:
    std::thread FWorker;
    std::atomic<bool> FCancel{false};
    std::atomic<bool> FRunning{false};
};

// A random number for the "rand" query, uniform from 0 to 2147483646.
quint32 RandomQueryNumber();

// What the update page says: the version listed in it, or an empty text when the page
// does not match. The body is decoded with the charset of contentType (UTF-8 when it
// names none).
QString PublishedVersion(const QByteArray& contentType, const QByteArray& body);
