#include "workflow/EHistory.h"

#include "invoice/PdfComparison.h"
#include "platform/Environment.h"
#include "platform/Exception.h"
#include "settings/ESettings.h"

#include <QDateTime>
#include <QFileInfo>

#include <sqlite3.h>

#include <memory>

namespace {

using TStatement = TEHistory::TStatement;

// synchronous=FULL: a decision is one write per human click, and it must survive a power
// failure right after it. No exclusive locking mode: it would shut a second program of
// the same user out of the history for good ("database is locked"); instead a statement
// waits up to ten seconds for the other's write to end.
const char* const kPragmas[] = {
    "PRAGMA cache_size = 10000",
    "PRAGMA busy_timeout = 10000",
    "PRAGMA synchronous = FULL",
    "PRAGMA journal_mode = DELETE",
    "PRAGMA foreign_keys = ON",
};
const char* const kReadPragmas[] = {
    "PRAGMA busy_timeout = 10000",
};

const char* const kCreateTable =
    "CREATE TABLE rechnungshistorie (FileName VARCHAR(260), Hash VARCHAR(64), Verarbeitung VARCHAR(16), "
    "User VARCHAR(64), Domain VARCHAR(64), PC VARCHAR(64), Zeitpunkt DATETIME)";
const char* const kCreateIndex = "CREATE INDEX ixHash ON rechnungshistorie (Hash)";
// Beside it, created where missing (a history from before has none, and its rows then no
// facts): per decision what the invoice said, linked by the history row's id; a row
// without that link is a decision under way.
const char* const kCreateFacts =
    "CREATE TABLE IF NOT EXISTS rechnungsfakten (Id INTEGER PRIMARY KEY, Historie INTEGER, Zeitpunkt TEXT, "
    "Verarbeitung TEXT, FileName TEXT, Hash TEXT, Ziele TEXT, Fakten INTEGER, Lieferant TEXT, LieferantUStId TEXT, "
    "LieferantId TEXT, LieferantSteuernummer TEXT, Nummer TEXT, Datum TEXT, Rechnungsart TEXT, Dokumentart TEXT, "
    "Waehrung TEXT, Gesamtbetrag TEXT, Zahlbetrag TEXT, Konten TEXT, Kaeuferreferenz TEXT, Profil TEXT, "
    "NummerNorm TEXT, UStIdNorm TEXT, IdNorm TEXT, SteuerNorm TEXT, NameNorm TEXT)";
const char* const kCreateFactsIndexes[] = {
    "CREATE INDEX IF NOT EXISTS ixFaktenHistorie ON rechnungsfakten (Historie)",
    "CREATE INDEX IF NOT EXISTS ixFaktenNummer ON rechnungsfakten (NummerNorm, Dokumentart)",
    "CREATE INDEX IF NOT EXISTS ixFaktenUStId ON rechnungsfakten (UStIdNorm)",
    "CREATE INDEX IF NOT EXISTS ixFaktenId ON rechnungsfakten (IdNorm)",
    "CREATE INDEX IF NOT EXISTS ixFaktenSteuer ON rechnungsfakten (SteuerNorm)",
    "CREATE INDEX IF NOT EXISTS ixFaktenName ON rechnungsfakten (NameNorm)",
};
const char* const kInsert =
    "INSERT INTO rechnungshistorie(FileName,Hash,Verarbeitung,Zeitpunkt,User,Domain,PC) "
    "VALUES(?, ?, ?, datetime('now','localtime'),?, ?, ?)";
const char* const kInsertAt =
    "INSERT INTO rechnungshistorie(FileName,Hash,Verarbeitung,Zeitpunkt,User,Domain,PC) VALUES(?, ?, ?, ?, ?, ?, ?)";
const char* const kCount = "SELECT COUNT(*) AS numhash FROM rechnungshistorie WHERE Hash=?";
const char* const kLast =
    "SELECT FileName, Verarbeitung, Zeitpunkt, User, Domain, PC, "
    "(SELECT COUNT(*) FROM rechnungshistorie WHERE Hash=?1) FROM rechnungshistorie WHERE Hash=?1 "
    "ORDER BY Zeitpunkt DESC, rowid DESC LIMIT 1";
const char* const kInsertFacts =
    "INSERT INTO rechnungsfakten (Historie, Zeitpunkt, Verarbeitung, FileName, Hash, Ziele, Fakten, Lieferant, "
    "LieferantUStId, LieferantId, LieferantSteuernummer, Nummer, Datum, Rechnungsart, Dokumentart, Waehrung, "
    "Gesamtbetrag, Zahlbetrag, Konten, Kaeuferreferenz, Profil, NummerNorm, UStIdNorm, IdNorm, SteuerNorm, NameNorm) "
    "VALUES (?1, datetime('now','localtime'), ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, "
    "?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25)";
// The columns of a decision with its facts, as Rows and the look-ups read them.
const char* const kRowColumns =
    "h.rowid, h.FileName, h.Hash, h.Verarbeitung, h.Zeitpunkt, h.User, h.Domain, h.PC, f.Fakten, f.Lieferant, "
    "f.LieferantUStId, f.LieferantId, f.LieferantSteuernummer, f.Nummer, f.Datum, f.Rechnungsart, f.Waehrung, "
    "f.Gesamtbetrag, f.Zahlbetrag, f.Konten, f.Kaeuferreferenz, f.Profil";

QString ColumnText(sqlite3_stmt* s, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(s, column)) : QString();
}

void BindText(sqlite3_stmt* s, int index, const QString& value)
{
    if (value.isNull()) {
        sqlite3_bind_null(s, index);
        return;
    }
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(s, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

QString WithoutBlanksUpper(const QString& text)
{
    return NormalizedNumber(text);
}

THistoryRow ReadRow(sqlite3_stmt* s)
{
    THistoryRow row;
    row.Id = sqlite3_column_int64(s, 0);
    row.FileName = ColumnText(s, 1);
    row.Hash = ColumnText(s, 2);
    row.Verarbeitung = ColumnText(s, 3);
    row.Zeitpunkt = ColumnText(s, 4);
    row.User = ColumnText(s, 5);
    row.Domain = ColumnText(s, 6);
    row.PC = ColumnText(s, 7);
    row.HasFacts = sqlite3_column_int(s, 8) != 0;
    TInvoiceFacts& f = row.Facts;
    f.SellerName = ColumnText(s, 9);
    f.SellerVatId = ColumnText(s, 10);
    f.SellerId = ColumnText(s, 11);
    f.SellerTaxNumber = ColumnText(s, 12);
    f.Number = ColumnText(s, 13);
    f.IssueDate = ColumnText(s, 14);
    f.TypeCode = ColumnText(s, 15);
    f.Currency = ColumnText(s, 16);
    f.GrandTotal = ColumnText(s, 17);
    f.AmountDue = ColumnText(s, 18);
    f.Accounts = ColumnText(s, 19).split(u' ', Qt::SkipEmptyParts);
    f.BuyerReference = ColumnText(s, 20);
    f.Profile = ColumnText(s, 21);
    return row;
}

// A SQL LIKE pattern that finds text literally.
QString LikePattern(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    escaped.replace(u'%', QStringLiteral("\\%"));
    escaped.replace(u'_', QStringLiteral("\\_"));
    return u'%' + escaped + u'%';
}

} // namespace

void TEHistory::TFinalize::operator()(sqlite3_stmt* s) const
{
    sqlite3_finalize(s);
}

TEHistory::TEHistory(const QString& path)
{
    Open(path, false);
}

TEHistory::TEHistory(const QString& path, TReadOnly)
{
    Open(path, true);
}

std::unique_ptr<TEHistory> TEHistory::OpenForReading(const QString& path)
{
    if (!QFileInfo::exists(path))
        return nullptr;
    return std::unique_ptr<TEHistory>(new TEHistory(path, TReadOnly{}));
}

void TEHistory::Open(const QString& path, bool readOnly)
{
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &dbconn, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = dbconn ? QString::fromUtf8(sqlite3_errmsg(dbconn)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(dbconn);
        dbconn = nullptr;
        throw Exception(message);
    }
    try {
        if (readOnly) {
            for (const char* pragma : kReadPragmas)
                Execute(pragma);
            return;
        }
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
        check.reset();
        if (step == SQLITE_DONE) {
            Execute(kCreateTable);
            Execute(kCreateIndex);
        }
        Execute(kCreateFacts);
        for (const char* index : kCreateFactsIndexes)
            Execute(index);
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

namespace {

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
class TTransaction
{
public:
    explicit TTransaction(sqlite3* db) : FDb(db)
    {
        if (sqlite3_exec(FDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw Exception(QString::fromUtf8(sqlite3_errmsg(FDb)));
    }
    ~TTransaction()
    {
        if (!FDone)
            sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit()
    {
        if (sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw Exception(QString::fromUtf8(sqlite3_errmsg(FDb)));
        FDone = true;
    }

private:
    sqlite3* FDb;
    bool FDone = false;
};

} // namespace

void TEHistory::InsertFacts(qint64 historyRow, const QString& fileName, const QString& hash, const QString& verarbeitung,
                            const TInvoiceFacts* facts, const QStringList& targets)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, kInsertFacts, -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement insert(raw);
    if (historyRow > 0)
        sqlite3_bind_int64(raw, 1, historyRow);
    else
        sqlite3_bind_null(raw, 1);
    BindText(raw, 2, verarbeitung);
    BindText(raw, 3, fileName);
    BindText(raw, 4, hash);
    BindText(raw, 5, targets.isEmpty() ? QString() : targets.join(u'\n'));
    const bool hasFacts = facts && !facts->IsEmpty();
    sqlite3_bind_int(raw, 6, hasFacts ? 1 : 0);
    if (hasFacts) {
        const TInvoiceFacts& f = *facts;
        const QString values[] = {f.SellerName, f.SellerVatId, f.SellerId, f.SellerTaxNumber, f.Number, f.IssueDate,
                                  f.TypeCode, DocumentKind(f.TypeCode), f.Currency, f.GrandTotal, f.AmountDue,
                                  f.Accounts.join(u' '), f.BuyerReference, f.Profile, NormalizedNumber(f.Number),
                                  WithoutBlanksUpper(f.SellerVatId), WithoutBlanksUpper(f.SellerId),
                                  WithoutBlanksUpper(f.SellerTaxNumber), WithoutBlanksUpper(f.SellerName)};
        int index = 7;
        for (const QString& v : values)
            BindText(raw, index++, v.isEmpty() ? QString() : v);
    }
    if (sqlite3_step(raw) != SQLITE_DONE)
        Raise();
}

TStatement TEHistory::Prepare(const char* sql) const
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, sql, -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    return TStatement(raw);
}

qint64 TEHistory::InsertHistoryRow(const QString& fileName, const QString& hash, const QString& verarbeitung,
                                   const QString& zeitpunkt)
{
    // The decision's own row: at this moment with the statement of the table's readers, or
    // at the time a decision under way was noted.
    const TStatement insert = Prepare(zeitpunkt.isNull() ? kInsert : kInsertAt);
    int index = 1;
    for (const QString& value : {fileName, hash, verarbeitung})
        BindText(insert.get(), index++, value);
    if (!zeitpunkt.isNull())
        BindText(insert.get(), index++, zeitpunkt);
    for (const QString& value : {UserName(), UserDomain(), ComputerName()})
        BindText(insert.get(), index++, value);
    if (sqlite3_step(insert.get()) != SQLITE_DONE)
        Raise();
    return sqlite3_last_insert_rowid(dbconn);
}

void TEHistory::LinkNote(qint64 note, qint64 historyRow)
{
    const TStatement link = Prepare("UPDATE rechnungsfakten SET Historie=?, Ziele=NULL WHERE Id=?");
    sqlite3_bind_int64(link.get(), 1, historyRow);
    sqlite3_bind_int64(link.get(), 2, note);
    if (sqlite3_step(link.get()) != SQLITE_DONE)
        Raise();
}

void TEHistory::WriteHistory(const QString& fileName, const QString& hash, const QString& verarbeitung,
                             const TInvoiceFacts* facts)
{
    TTransaction transaction(dbconn);
    const qint64 row = InsertHistoryRow(fileName, hash, verarbeitung, QString());
    InsertFacts(row, fileName, hash, verarbeitung, facts, {});
    transaction.Commit();
}

qint64 TEHistory::BeginDecision(const QString& fileName, const QString& hash, const QString& verarbeitung,
                                const TInvoiceFacts* facts, const QStringList& targets)
{
    TTransaction transaction(dbconn);
    InsertFacts(0, fileName, hash, verarbeitung, facts, targets);
    const qint64 id = sqlite3_last_insert_rowid(dbconn);
    transaction.Commit();
    return id;
}

void TEHistory::CompleteDecision(qint64 pending)
{
    TTransaction transaction(dbconn);
    const TStatement note = Prepare("SELECT FileName, Hash, Verarbeitung FROM rechnungsfakten WHERE Id=? AND Historie IS NULL");
    sqlite3_bind_int64(note.get(), 1, pending);
    if (sqlite3_step(note.get()) != SQLITE_ROW)
        throw Exception(QStringLiteral("Die begonnene Entscheidung ist nicht mehr im Verlauf vermerkt."));
    LinkNote(pending, InsertHistoryRow(ColumnText(note.get(), 0), ColumnText(note.get(), 1), ColumnText(note.get(), 2), QString()));
    transaction.Commit();
}

void TEHistory::DropDecision(qint64 pending)
{
    const TStatement drop = Prepare("DELETE FROM rechnungsfakten WHERE Id=? AND Historie IS NULL");
    sqlite3_bind_int64(drop.get(), 1, pending);
    if (sqlite3_step(drop.get()) != SQLITE_DONE)
        Raise();
}

int TEHistory::RecoverPending(const std::function<bool(const QString&)>& exists)
{
    struct TNote
    {
        qint64 Id;
        QString FileName, Hash, Verarbeitung, Zeitpunkt;
        QStringList Targets;
    };
    std::vector<TNote> notes;
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(dbconn, "SELECT Id, FileName, Hash, Verarbeitung, Zeitpunkt, Ziele FROM rechnungsfakten "
                                       "WHERE Historie IS NULL ORDER BY Id",
                               -1, &raw, nullptr) != SQLITE_OK)
            Raise();
        TStatement select(raw);
        int step;
        while ((step = sqlite3_step(raw)) == SQLITE_ROW)
            notes.push_back({sqlite3_column_int64(raw, 0), ColumnText(raw, 1), ColumnText(raw, 2), ColumnText(raw, 3),
                             ColumnText(raw, 4), ColumnText(raw, 5).split(u'\n', Qt::SkipEmptyParts)});
        if (step != SQLITE_DONE)
            Raise();
    }
    int recorded = 0;
    for (const TNote& note : notes) {
        const bool filed = !note.Targets.isEmpty()
            && std::all_of(note.Targets.begin(), note.Targets.end(), [&](const QString& t) { return exists(t); });
        if (!filed) {
            DropDecision(note.Id);
            continue;
        }
        TTransaction transaction(dbconn);
        LinkNote(note.Id, InsertHistoryRow(note.FileName, note.Hash, note.Verarbeitung, note.Zeitpunkt));
        transaction.Commit();
        ++recorded;
    }
    return recorded;
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

std::optional<TSameInvoice> TEHistory::SameInvoiceInOtherForm(const TInvoiceFacts& facts, const QString& hash)
{
    if (NormalizedNumber(facts.Number).isEmpty())
        return std::nullopt;
    const QByteArray sql = QByteArray("SELECT ") + kRowColumns
        + " FROM rechnungsfakten f JOIN rechnungshistorie h ON h.rowid = f.Historie "
          "WHERE f.NummerNorm=?1 AND f.Dokumentart=?2 AND f.Hash<>?3 ORDER BY h.Zeitpunkt DESC, h.rowid DESC";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement select(raw);
    BindText(raw, 1, NormalizedNumber(facts.Number));
    BindText(raw, 2, DocumentKind(facts.TypeCode));
    BindText(raw, 3, hash);
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW) {
        THistoryRow row = ReadRow(raw);
        if (!SameSeller(row.Facts, facts))
            continue;
        TSameInvoice same;
        const TInvoiceFacts& was = row.Facts;
        auto differs = [&](const char* what, const QString& now, const QString& before) {
            if (now.trimmed() != before.trimmed())
                same.Differences << QStringLiteral("%1 %2 (früher %3)")
                                        .arg(QString::fromUtf8(what), now.isEmpty() ? QStringLiteral("–") : now,
                                             before.isEmpty() ? QStringLiteral("–") : before);
        };
        // Amounts as the reader writes them ("1.234,56 €"), compared as the invoices write them.
        auto amount = [](const QString& value, const QString& currency) {
            return value.isEmpty() ? value : GermanAmount(value, currency);
        };
        if (facts.GrandTotal.trimmed() != was.GrandTotal.trimmed())
            differs("Gesamtbetrag", amount(facts.GrandTotal, facts.Currency), amount(was.GrandTotal, was.Currency));
        if (facts.AmountDue.trimmed() != was.AmountDue.trimmed())
            differs("Zahlbetrag", amount(facts.AmountDue, facts.Currency), amount(was.AmountDue, was.Currency));
        differs("Bankverbindung", facts.Accounts.join(QStringLiteral(", ")), was.Accounts.join(QStringLiteral(", ")));
        if (facts.IssueDate.trimmed() != was.IssueDate.trimmed())
            differs("Rechnungsdatum", GermanDate(facts.IssueDate), GermanDate(was.IssueDate));
        same.Earlier = std::move(row);
        return same;
    }
    if (step != SQLITE_DONE)
        Raise();
    return std::nullopt;
}

std::optional<TNewAccount> TEHistory::NewAccount(const TInvoiceFacts& facts)
{
    if (facts.Accounts.isEmpty())
        return std::nullopt;
    const QString keys[] = {WithoutBlanksUpper(facts.SellerVatId), WithoutBlanksUpper(facts.SellerId),
                            WithoutBlanksUpper(facts.SellerTaxNumber), WithoutBlanksUpper(facts.SellerName)};
    const QByteArray sql = QByteArray("SELECT ") + kRowColumns
        + " FROM rechnungsfakten f JOIN rechnungshistorie h ON h.rowid = f.Historie "
          "WHERE f.Verarbeitung='Akzeptiert' AND (f.UStIdNorm=?1 OR f.IdNorm=?2 OR f.SteuerNorm=?3 OR f.NameNorm=?4)";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement select(raw);
    for (int i = 0; i < 4; ++i)
        BindText(raw, i + 1, keys[i].isEmpty() ? QString() : keys[i]);
    TNewAccount result;
    bool sellerKnown = false;
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW) {
        const THistoryRow row = ReadRow(raw);
        if (!SameSeller(row.Facts, facts))
            continue;
        sellerKnown = true;
        for (const QString& account : row.Facts.Accounts) {
            if (!result.Known.contains(account))
                result.Known << account;
        }
    }
    if (step != SQLITE_DONE)
        Raise();
    if (!sellerKnown)
        return std::nullopt;
    for (const QString& account : facts.Accounts) {
        if (!result.Known.contains(account))
            result.Unknown << account;
    }
    if (result.Unknown.isEmpty())
        return std::nullopt;
    result.Seller = facts.SellerName.isEmpty() ? facts.SellerVatId : facts.SellerName;
    return result;
}

namespace {

// The condition of a filter on the joined rows, and its values bound.
QByteArray FilterSql(const THistoryFilter& filter)
{
    QByteArray sql = " FROM rechnungshistorie h LEFT JOIN rechnungsfakten f ON f.Historie = h.rowid WHERE 1";
    if (!filter.Search.trimmed().isEmpty())
        sql += " AND (h.FileName LIKE ?1 ESCAPE '\\' OR f.Nummer LIKE ?1 ESCAPE '\\' OR f.Lieferant LIKE ?1 ESCAPE '\\'"
               " OR f.LieferantUStId LIKE ?1 ESCAPE '\\' OR f.Gesamtbetrag LIKE ?8 ESCAPE '\\' OR f.Zahlbetrag LIKE ?8 "
               "ESCAPE '\\' OR f.Konten LIKE ?2 ESCAPE '\\' OR h.Hash LIKE ?1 ESCAPE '\\')";
    if (!filter.Verarbeitung.isEmpty())
        sql += " AND h.Verarbeitung = ?3";
    if (filter.From.isValid())
        sql += " AND h.Zeitpunkt >= ?4";
    if (filter.To.isValid())
        sql += " AND h.Zeitpunkt < ?5";
    return sql;
}

void BindFilter(sqlite3_stmt* s, const THistoryFilter& filter)
{
    const QString search = filter.Search.trimmed();
    if (!search.isEmpty()) {
        // An amount may be searched as the German reader writes it ("1.234,56" finds 1234.56).
        QString asNumber = search;
        if (asNumber.contains(u','))
            asNumber = asNumber.remove(u'.').replace(u',', u'.');
        BindText(s, 1, LikePattern(search));
        BindText(s, 2, LikePattern(NormalizedAccount(search)));
        BindText(s, 8, LikePattern(asNumber));
    }
    if (!filter.Verarbeitung.isEmpty())
        BindText(s, 3, filter.Verarbeitung);
    if (filter.From.isValid())
        BindText(s, 4, filter.From.toString(QStringLiteral("yyyy-MM-dd")));
    if (filter.To.isValid())
        BindText(s, 5, filter.To.addDays(1).toString(QStringLiteral("yyyy-MM-dd")));
}

} // namespace

std::vector<THistoryRow> TEHistory::Rows(const THistoryFilter& filter)
{
    // Newest first in the order the decisions were recorded (the row id's): the table has
    // no index on the time, and sorting a hundred thousand rows by it took 300 ms for the
    // first page alone.
    const QByteArray sql = QByteArray("SELECT ") + kRowColumns + FilterSql(filter) + " ORDER BY h.rowid DESC LIMIT ?6 OFFSET ?7";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement select(raw);
    BindFilter(raw, filter);
    sqlite3_bind_int(raw, 6, filter.Limit);
    sqlite3_bind_int(raw, 7, filter.Offset);
    std::vector<THistoryRow> rows;
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW)
        rows.push_back(ReadRow(raw));
    if (step != SQLITE_DONE)
        Raise();
    return rows;
}

int TEHistory::CountRows(const THistoryFilter& filter)
{
    const QByteArray sql = QByteArray("SELECT COUNT(*)") + FilterSql(filter);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(dbconn, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        Raise();
    TStatement count(raw);
    BindFilter(raw, filter);
    if (sqlite3_step(raw) != SQLITE_ROW)
        Raise();
    return sqlite3_column_int(raw, 0);
}

QString GroupedAccount(const QString& account)
{
    QString grouped;
    for (qsizetype i = 0; i < account.size(); i += 4) {
        if (!grouped.isEmpty())
            grouped += u' ';
        grouped += account.mid(i, 4);
    }
    return grouped;
}

QString GermanDate(const QString& date)
{
    const QString text = date.trimmed();
    const QDateTime moment = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (moment.isValid())
        return QStringLiteral("%1 um %2 Uhr").arg(moment.toString(QStringLiteral("dd.MM.yyyy")), moment.toString(QStringLiteral("HH:mm")));
    for (const QString& format : {QStringLiteral("yyyyMMdd"), QStringLiteral("yyyy-MM-dd")}) {
        const QDate day = QDate::fromString(text, format);
        if (day.isValid())
            return day.toString(QStringLiteral("dd.MM.yyyy"));
    }
    return text;
}

QString SameInvoiceNotice(const TInvoiceFacts& now, const TSameInvoice& same)
{
    const THistoryRow& was = same.Earlier;
    const QString seller = now.SellerName.isEmpty() ? was.Facts.SellerName : now.SellerName;
    QString text = QStringLiteral("Diese Rechnung (Nr. %1 von %2 vom %3) wurde am %4 bereits %5 (Benutzer %6, abgelegt als %7) "
                                  "– in anderer Form")
                       .arg(now.Number, seller.isEmpty() ? QStringLiteral("unbekannt") : seller, GermanDate(now.IssueDate),
                            GermanDate(was.Zeitpunkt), was.Verarbeitung.toLower(),
                            was.User.isEmpty() ? QStringLiteral("unbekannt") : was.User, was.FileName);
    if (same.Differences.isEmpty())
        text += QStringLiteral(".\r\n\r\nGesamtbetrag, Zahlbetrag, Bankverbindung und Rechnungsdatum sind dieselben.");
    else
        text += QStringLiteral(".\r\n\r\nAnders als damals: %1.").arg(same.Differences.join(QStringLiteral("; ")));
    return text;
}

QString NewAccountNotice(const TNewAccount& account)
{
    QStringList known;
    for (const QString& a : account.Known)
        known << GroupedAccount(a);
    QStringList unknown;
    for (const QString& a : account.Unknown)
        unknown << GroupedAccount(a);
    return QStringLiteral("Achtung: neue Bankverbindung für %1: bisher %2, jetzt %3")
        .arg(account.Seller, known.isEmpty() ? QStringLiteral("keine") : known.join(QStringLiteral(", ")),
             unknown.join(QStringLiteral(", ")));
}

QString DuplicateNotice(const std::optional<THistoryEntry>& previous)
{
    QString text = QStringLiteral("Diese Rechnung wurde bereits schon einmal verarbeitet");
    if (!previous)
        return text;
    const QDateTime when = QDateTime::fromString(previous->Zeitpunkt, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString at = when.isValid() ? QStringLiteral("Am %1 um %2 Uhr").arg(when.toString(QStringLiteral("dd.MM.yyyy")),
                                                                              when.toString(QStringLiteral("HH:mm")))
                                      : QStringLiteral("Am %1").arg(previous->Zeitpunkt);
    QString who = previous->User.isEmpty() ? QStringLiteral("unbekannt") : previous->User;
    if (!previous->PC.isEmpty())
        who += QStringLiteral(" (Rechner %1)").arg(previous->PC);
    text += QStringLiteral(":\r\n\r\n%1 %2 von %3.\r\nAbgelegt als: %4")
                .arg(at, previous->Verarbeitung, who, previous->FileName);
    if (previous->Count > 1)
        text += QStringLiteral("\r\n\r\nDie Rechnung wurde insgesamt %1-mal entschieden; genannt ist die letzte Entscheidung.")
                    .arg(previous->Count);
    return text;
}
