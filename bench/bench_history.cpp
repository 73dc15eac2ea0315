// The history with 100,000 decisions: the look-ups made for each loaded invoice (the same
// invoice in other bytes, a known seller's new account) against the target of 1 ms, and
// the history window's first page against 300 ms, with a bare SELECT of the same rows
// (and of the same look-up's candidate rows) as the floor.

#include "app/UnitVerlauf.h"
#include "bench/BenchUtil.h"
#include "tests/support/TestEnvironment.h"
#include "workflow/EHistory.h"

#include <QApplication>
#include <QTableView>

#include <sqlite3.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kDecisions = 100000;
constexpr int kSellers = 2000;

// Fills the history in one transaction, as 100,000 decisions over the years would have:
// 2,000 sellers with 50 invoices each, an account per seller.
void Fill(const QString& path)
{
    { TEHistory schema(path); }
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* h = nullptr;
    sqlite3_stmt* f = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO rechnungshistorie VALUES (?1, ?2, ?3, 'anna', 'BUERO', 'PC1', ?4)", -1, &h, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO rechnungsfakten (Historie, Zeitpunkt, Verarbeitung, FileName, Hash, Fakten, Lieferant, "
                           "LieferantUStId, Nummer, Datum, Rechnungsart, Dokumentart, Waehrung, Gesamtbetrag, Zahlbetrag, Konten, "
                           "NummerNorm, UStIdNorm, NameNorm) VALUES (?1, ?2, ?3, ?4, ?5, 1, ?6, ?7, ?8, '20240131', '380', "
                           "'Rechnung', 'EUR', ?9, ?9, ?10, ?8, ?7, ?11)",
                       -1, &f, nullptr);
    for (int i = 0; i < kDecisions; ++i) {
        const int seller = i % kSellers;
        const QByteArray file = QByteArray::number(i, 16).rightJustified(8, '0') + "_rechnung.pdf";
        const QByteArray hash = QByteArray::number(i, 16).rightJustified(32, '0');
        const QByteArray verdict = i % 10 == 0 ? "Abgelehnt" : "Akzeptiert";
        const QByteArray time = QDateTime(QDate(2020, 1, 1), QTime(8, 0)).addSecs(qint64(i) * 600).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
        const QByteArray name = "Lieferant " + QByteArray::number(seller) + " GmbH";
        const QByteArray vat = "DE" + QByteArray::number(100000000 + seller);
        const QByteArray number = "R-" + QByteArray::number(i);
        const QByteArray amount = QByteArray::number(100 + i % 900) + ".00";
        const QByteArray account = "DE02" + QByteArray::number(100000000000000000LL + seller);
        const QByteArray normName = name.toUpper().replace(" ", "");
        int k = 1;
        for (const QByteArray* v : {&file, &hash, &verdict, &time})
            sqlite3_bind_text(h, k++, v->constData(), int(v->size()), SQLITE_TRANSIENT);
        sqlite3_step(h);
        sqlite3_reset(h);
        sqlite3_bind_int64(f, 1, sqlite3_last_insert_rowid(db));
        k = 2;
        for (const QByteArray* v : {&time, &verdict, &file, &hash, &name, &vat, &number, &amount, &account, &normName})
            sqlite3_bind_text(f, k++, v->constData(), int(v->size()), SQLITE_TRANSIENT);
        sqlite3_step(f);
        sqlite3_reset(f);
    }
    sqlite3_finalize(h);
    sqlite3_finalize(f);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// A bare query's rows, read and dropped: the least any look-up of them costs.
double BareSelectMs(const QString& path, const char* sql, int runs)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const double ms = MedianMs(runs, [&] {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(s); ++c)
                sqlite3_column_text(s, c);
        }
        sqlite3_finalize(s);
    });
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TSandboxHome home;
    const QString path = home.Path() + QStringLiteral("/erechnung.sqlite");
    QElapsedTimer fill;
    fill.start();
    Fill(path);
    std::printf("history of %d decisions made in %.0f ms\n", kDecisions, double(fill.elapsed()));
    PrintHeader();
    TEHistory history(path);

    // A known seller's invoice in other bytes, with a new account.
    TInvoiceFacts facts;
    facts.SellerName = QStringLiteral("Lieferant 77 GmbH");
    facts.SellerVatId = QStringLiteral("DE100000077");
    facts.Number = QStringLiteral("R-2077");
    facts.TypeCode = QStringLiteral("380");
    facts.GrandTotal = QStringLiteral("999.00");
    facts.Accounts = {QStringLiteral("DE75512108001245126199")};
    std::optional<TSameInvoice> same;
    std::optional<TNewAccount> account;
    const double lookups = MedianMs(201, [&] {
        same = history.SameInvoiceInOtherForm(facts, QStringLiteral("neu"));
        account = history.NewAccount(facts);
    });
    std::printf("same invoice found: %s, new account found: %s\n", same ? "yes" : "no", account ? "yes" : "no");
    PrintRow(QStringLiteral("duplicate and account look-ups vs target"), lookups, 1.0);
    PrintRow(QStringLiteral("duplicate and account look-ups vs bare SELECT"), lookups,
             BareSelectMs(path,
                          "SELECT h.rowid, h.FileName, f.Lieferant, f.Konten FROM rechnungsfakten f JOIN rechnungshistorie h "
                          "ON h.rowid = f.Historie WHERE f.UStIdNorm='DE100000077' OR f.NummerNorm='R-2077'",
                          201));

    // The history window: made, shown, its first page drawn.
    const double window = MedianMs(11, [&] {
        TFormVerlauf verlauf(nullptr, history, nullptr);
        verlauf.show();
        QApplication::processEvents();
        verlauf.Tabelle->viewport()->repaint();
    });
    PrintRow(QStringLiteral("history window, first page vs target"), window, 300.0);
    PrintRow(QStringLiteral("history window, first page vs bare SELECT of its rows"), window,
             BareSelectMs(path,
                          "SELECT h.rowid, h.FileName, h.Hash, h.Verarbeitung, h.Zeitpunkt, h.User, h.Domain, h.PC, f.* FROM "
                          "rechnungshistorie h LEFT JOIN rechnungsfakten f ON f.Historie = h.rowid "
                          "ORDER BY h.rowid DESC LIMIT 200",
                          11));
    return 0;
}
