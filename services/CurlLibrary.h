#pragma once

#include <curl/curl.h>

// libcurl, loaded when the first call needs it: most runs of erechnung-check never call a
// service, and loading libcurl with all it links (TLS, Kerberos, LDAP, SSH, ...) at start
// took more than half of the tool's start-up. The functions of libcurl the HTTP layer uses,
// by their names without "curl_".
struct TCurlLibrary
{
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    void (*easy_cleanup)(CURL* handle);
    CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
    CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...);
    CURLcode (*easy_perform)(CURL* handle);
    const char* (*easy_strerror)(CURLcode code);
    curl_slist* (*slist_append)(curl_slist* list, const char* text);
    void (*slist_free_all)(curl_slist* list);
    void (*free)(void* p);
    CURLU* (*url)();
    void (*url_cleanup)(CURLU* handle);
    CURLUcode (*url_set)(CURLU* handle, CURLUPart what, const char* part, unsigned int flags);
    CURLUcode (*url_get)(const CURLU* handle, CURLUPart what, char** part, unsigned int flags);
};

// The library, loaded and initialised once (curl_global_init); raises our Exception, with
// the system's reason, when it cannot be loaded.
const TCurlLibrary& Curl();
