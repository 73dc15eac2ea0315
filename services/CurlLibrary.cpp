#include "services/CurlLibrary.h"

#include "platform/Exception.h"
#include "platform/SharedLibrary.h"

#include <QLibrary>

#include <mutex>

namespace {

struct TLoaded
{
    TCurlLibrary Api{};
    QString Error; // empty when loaded
};

template <typename F>
bool Resolve(QLibrary& library, const char* name, F& into, QString& error)
{
    into = reinterpret_cast<F>(library.resolve(name));
    if (!into && error.isEmpty())
        error = QStringLiteral("%1 fehlt in %2").arg(QString::fromLatin1(name), library.fileName());
    return into != nullptr;
}

TLoaded Load()
{
    TLoaded loaded;
    static QLibrary library; // stays loaded for the life of the process
    if (!OpenSharedLibrary(library, QStringLiteral("curl"), 4)) {
        loaded.Error = library.errorString();
        return loaded;
    }
    TCurlLibrary& c = loaded.Api;
    QString& e = loaded.Error;
    Resolve(library, "curl_global_init", c.global_init, e);
    Resolve(library, "curl_easy_init", c.easy_init, e);
    Resolve(library, "curl_easy_cleanup", c.easy_cleanup, e);
    Resolve(library, "curl_easy_setopt", c.easy_setopt, e);
    Resolve(library, "curl_easy_getinfo", c.easy_getinfo, e);
    Resolve(library, "curl_easy_perform", c.easy_perform, e);
    Resolve(library, "curl_easy_strerror", c.easy_strerror, e);
    Resolve(library, "curl_slist_append", c.slist_append, e);
    Resolve(library, "curl_slist_free_all", c.slist_free_all, e);
    Resolve(library, "curl_free", c.free, e);
    Resolve(library, "curl_url", c.url, e);
    Resolve(library, "curl_url_cleanup", c.url_cleanup, e);
    Resolve(library, "curl_url_set", c.url_set, e);
    Resolve(library, "curl_url_get", c.url_get, e);
    if (e.isEmpty())
        c.global_init(CURL_GLOBAL_DEFAULT);
    return loaded;
}

} // namespace

const TCurlLibrary& Curl()
{
    static std::once_flag once;
    static TLoaded loaded;
    std::call_once(once, [] { loaded = Load(); });
    if (!loaded.Error.isEmpty())
        throw Exception(WithReason(QStringLiteral("Die Bibliothek für HTTPS (libcurl) kann nicht geladen werden."),
                                   QStringLiteral("System"), loaded.Error));
    return loaded.Api;
}
