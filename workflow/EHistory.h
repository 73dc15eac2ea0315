#pragma once

#include <QString>

#include <optional>

struct sqlite3;

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

// The decision history: one SQLite file per user with one table, "rechnungshistorie", in
// which every accept or reject is one row. The connection stays open, with an exclusive
// lock, for the life of the program.
class TEHistory
{
public:
    // Opens, and if needed creates, the database and its table. Raises with SQLite's
    // message when the file cannot be opened or read.
    explicit TEHistory(const QString& path);
    ~TEHistory();

    TEHistory(const TEHistory&) = delete;
    TEHistory& operator=(const TEHistory&) = delete;

    // Appends one row with the time and the user, domain and computer names.
    void WriteHistory(const QString& fileName, const QString& hash, const QString& verarbeitung);
    bool IsKnownHash(const QString& hash);
    // The latest decision about the invoice with this hash, if any.
    std::optional<THistoryEntry> LastDecision(const QString& hash);

    // erechnung.sqlite in the local application data folder.
    static QString DefaultPath();

private:
    void Execute(const char* sql);
    [[noreturn]] void Raise() const;

    sqlite3* dbconn = nullptr;
};
