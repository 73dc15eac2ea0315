#pragma once

#include "model/InvoiceFacts.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One decision of the history, as it was recorded.
struct THistoryEntry
{
    QString FileName;     // the archive name
    QString Verarbeitung; // "Akzeptiert" or "Abgelehnt"
    QString Zeitpunkt;    // local time, "YYYY-MM-DD HH:MM:SS"
    QString User;
    QString Domain;
    QString PC;
    int Count = 0;        // how many decisions the history holds for the same invoice
};

// A decision with what the history knows of the invoice, for the history window and its
// export.
struct THistoryRow
{
    qint64 Id = 0;        // the row id in rechnungshistorie
    QString FileName;
    QString Hash;
    QString Verarbeitung;
    QString Zeitpunkt;
    QString User;
    QString Domain;
    QString PC;
    bool HasFacts = false; // a decision from before the facts were kept, or a PDF without XML, has none
    TInvoiceFacts Facts;
};

// Which decisions the history window shows: a text anywhere in number, seller, amounts,
// accounts, archive name; a decision ("Akzeptiert", "Abgelehnt", empty for both); a range
// of days (null dates: open).
struct THistoryFilter
{
    QString Search;
    QString Verarbeitung;
    QDate From;
    QDate To;
    int Limit = -1;
    int Offset = 0;
};

// The same invoice decided before in other bytes (another hash).
struct TSameInvoice
{
    THistoryRow Earlier;
    QStringList Differences; // "Gesamtbetrag 110.00 (früher 100.00)", ...
};

// A seller known from accepted invoices asks for payment to an account none of them named.
struct TNewAccount
{
    QString Seller;
    QStringList Known;  // the accounts of the accepted invoices, normalised
    QStringList Unknown; // those of this invoice that none of them named
};

// What the window, the status bar and erechnung-check say of them: the same bytes decided
// before (the latest decision, when it could be read), the same invoice in other bytes, a
// new account.
QString DuplicateNotice(const std::optional<THistoryEntry>& previous);
QString SameInvoiceNotice(const TInvoiceFacts& now, const TSameInvoice& same);
QString NewAccountNotice(const TNewAccount& account);
// An account as people read it: in groups of four ("DE02 1203 0000 ...").
QString GroupedAccount(const QString& account);
// A date of the invoice (20240131, 2024-01-31) or of the history (2024-01-31 12:00:00) the
// German way ("31.01.2024", "31.01.2024 um 12:00 Uhr"); other texts as they are.
QString GermanDate(const QString& date);

// The decision history: one SQLite file per user. The table "rechnungshistorie" holds
// one row per accept or reject, as it always did; "rechnungsfakten" beside it what the
// invoice said (seller, number, amounts, accounts), linked to its row, and the decisions
// under way (noted before the first copy, so that one cut short is found at the next
// start). Two programs of the same user may share the file: a statement waits for the
// other's write instead of failing.
class TEHistory
{
public:
    // Opens, and if needed creates, the database and its table. Raises with SQLite's
    // message when the file cannot be opened or read.
    explicit TEHistory(const QString& path);
    ~TEHistory();

    TEHistory(const TEHistory&) = delete;
    TEHistory& operator=(const TEHistory&) = delete;

    // Appends one row with the time and the user, domain and computer names, and the
    // invoice's facts (none for a file without structured data), in one transaction.
    void WriteHistory(const QString& fileName, const QString& hash, const QString& verarbeitung,
                      const TInvoiceFacts* facts = nullptr);

    // A decision in three steps, so that none is lost when the program dies midway: noted
    // (synced) before the first copy with the folders' target paths, recorded once the
    // invoice is filed, or dropped when filing failed. Begin returns the note's id.
    qint64 BeginDecision(const QString& fileName, const QString& hash, const QString& verarbeitung,
                         const TInvoiceFacts* facts, const QStringList& targets);
    void CompleteDecision(qint64 pending);
    void DropDecision(qint64 pending);
    // The notes a killed program left: one whose targets all exist is recorded with its
    // original time, one whose targets do not is dropped (its file was never filed).
    // Returns how many were recorded.
    int RecoverPending(const std::function<bool(const QString&)>& exists);

    // The same invoice (seller, number, kind) decided before under another hash; the
    // latest such decision.
    std::optional<TSameInvoice> SameInvoiceInOtherForm(const TInvoiceFacts& facts, const QString& hash);
    // An account of this invoice that no accepted invoice of its seller named; nothing for
    // a seller without accepted invoices.
    std::optional<TNewAccount> NewAccount(const TInvoiceFacts& facts);
    // The decisions, newest first.
    std::vector<THistoryRow> Rows(const THistoryFilter& filter);
    // How many decisions the filter finds (its limit and offset aside).
    int CountRows(const THistoryFilter& filter);
    bool IsKnownHash(const QString& hash);
    // The latest decision about the invoice with this hash, if any.
    std::optional<THistoryEntry> LastDecision(const QString& hash);

    // A prepared statement, finalized when it goes.
    struct TFinalize
    {
        void operator()(sqlite3_stmt* s) const;
    };
    using TStatement = std::unique_ptr<sqlite3_stmt, TFinalize>;

    // erechnung.sqlite in the local application data folder.
    static QString DefaultPath();

    // Opens an existing history for reading only (for erechnung-check): nullptr when the
    // file does not exist.
    static std::unique_ptr<TEHistory> OpenForReading(const QString& path);

private:
    struct TReadOnly {};
    TEHistory(const QString& path, TReadOnly);
    void Open(const QString& path, bool readOnly);
    void Execute(const char* sql);
    // The statement, prepared; raises with the database's message.
    TStatement Prepare(const char* sql) const;
    // A row of rechnungshistorie (at this moment, or at zeitpunkt when not null); its id.
    qint64 InsertHistoryRow(const QString& fileName, const QString& hash, const QString& verarbeitung, const QString& zeitpunkt);
    // A noted decision linked to its row.
    void LinkNote(qint64 note, qint64 historyRow);
    void InsertFacts(qint64 historyRow, const QString& fileName, const QString& hash, const QString& verarbeitung,
                     const TInvoiceFacts* facts, const QStringList& targets);
    [[noreturn]] void Raise() const;

    sqlite3* dbconn = nullptr;
};
