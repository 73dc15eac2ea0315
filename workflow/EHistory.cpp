#include "workflow/EHistory.h"

#include "platform/Environment.h"
#include "platform/Exception.h"
#include "settings/ESettings.h"

#include <sqlite3.h>

#include <memory>

namespace {

struct TStatementFinalizer
{
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using TStatement = std::unique_ptr<sqlite3_stmt, TStatementFinalizer>;

// synchronous=FULL: a decision is one write per human click, and it must survive a power
// failure right after it.
const char* const kPragmas[] = {
    "PRAGMA cache_size = 10000",
    "PRAGMA locking_mode = EXCLUSIVE",
    "PRAGMA synchronous = FULL",
    "PRAGMA journal_mode = DELETE",
    "PRAGMA foreign_keys = ON",
};

const char* const kCreateTable =
    "CREATE TABLE rechnungshistorie (FileName VARCHAR(260), Hash VARCHAR(64), Verarbeitung VARCHAR(16), "
    "User VARCHAR(64), Domain VARCHAR(64), PC VARCHAR(64), Zeitpunkt DATETIME)";
const char* const kCreateIndex = "CREATE INDEX ixHash ON rechnungshistorie (Hash)";
const char* const kInsert =
    "INSERT INTO rechnungshistorie(FileName,Hash,Verarbeitung,Zeitpunkt,User,Domain,PC) "
    "VALUES(?, ?, ?, datetime('now','localtime'),?, ?, ?)";
const char* const kCount = "SELECT COUNT(*) AS numhash FROM rechnungshistorie WHERE Hash=?";
const char* const kLast =
    "SELECT FileName, Verarbeitung, Zeitpunkt, User, Domain, PC, "
    "(SELECT COUNT(*) FROM rechnungshistorie WHERE Hash=?1) FROM rechnungshistorie WHERE Hash=?1 "
    "ORDER BY Zeitpunkt DESC, rowid DESC LIMIT 1";

QString ColumnText(sqlite3_stmt* s, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(s, column)) : QString();
}

void BindText(sqlite3_stmt* s, int index, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(s, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

TEHistory::TEHistory(const QString& path)
{
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &dbconn,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = dbconn ? QString::fromUtf8(sqlite3_errmsg(dbconn)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(dbconn);
        dbconn = nullptr;
        throw Exception(message);
    }
    try {
        for (const char* pragma : kPragmas)
            Execute(pragma);
        TStatement check;
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(dbconn, "SELECT 1 FROM sqlite_master WHERE type='table' AND name='rechnungshistorie'", -1,
                               &raw, nullptr) != SQLITE_OK)
            Raise();
        check.reset(raw);
        const int step = sqlite3_step(raw);
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            Raise();
        if (step == SQLITE_DONE) {
            Execute(kCreateTable);
            Execute(kCreateIndex);
        }
    } catch (...) {
        sqlite3_close(dbconn);
        dbconn = nullptr;
        throw;
    }
}

TEHistory::~TEHistory()
{
    sqlite3_close(dbconn);
}

QString TEHistory::DefaultPath()
{
    return GetLocalAppDataFolder() + QStringLiteral("erechnung.sqlite");
}

void TEHistory::Raise() const
{
    throw Exception(QString::fromUtf8(sqlite3_errmsg(dbconn)));
}

void TEHistory::Execute(const char* sql)
{
    if (sqlite3_exec(dbconn, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Raise();
}

void TEHistory::WriteHistory(const QString& fileName, const QString& hash, const QString& verarbeitung)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, kInsert, -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement insert(raw);
    BindText(raw, 1, fileName);
    BindText(raw, 2, hash);
    BindText(raw, 3, verarbeitung);
    BindText(raw, 4, UserName());
    BindText(raw, 5, UserDomain());
    BindText(raw, 6, ComputerName());
    if (sqlite3_step(raw) != SQLITE_DONE)
        Raise();
}

bool TEHistory::IsKnownHash(const QString& hash)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, kCount, -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement count(raw);
    BindText(raw, 1, hash);
    if (sqlite3_step(raw) != SQLITE_ROW)
        Raise();
    return sqlite3_column_int64(raw, 0) > 0;
}

std::optional<THistoryEntry> TEHistory::LastDecision(const QString& hash)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, kLast, -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement last(raw);
    BindText(raw, 1, hash);
    const int step = sqlite3_step(raw);
    if (step == SQLITE_DONE)
        return std::nullopt;
    if (step != SQLITE_ROW)
        Raise();
    THistoryEntry entry;
    entry.FileName = ColumnText(raw, 0);
    entry.Verarbeitung = ColumnText(raw, 1);
    entry.Zeitpunkt = ColumnText(raw, 2);
    entry.User = ColumnText(raw, 3);
    entry.Domain = ColumnText(raw, 4);
    entry.PC = ColumnText(raw, 5);
    entry.Count = sqlite3_column_int(raw, 6);
    return entry;
}
