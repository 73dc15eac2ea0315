#include "workflow/HistoryExport.h"

#include <QDateTime>

namespace {

QString Quoted(QString field)
{
    if (field.contains(u';') || field.contains(u'"') || field.contains(u'\n') || field.contains(u'\r'))
        return u'"' + field.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return field;
}

// A text of the invoice (a name, a number): never a formula.
QString Text(const QString& text)
{
    if (!text.isEmpty() && (text.front() == u'=' || text.front() == u'+' || text.front() == u'@' || text.front() == u'\t'))
        return u'\'' + text;
    return text;
}

// An amount as written in the invoice ("1234.56"), with a decimal comma for Excel.
QString Amount(const QString& amount)
{
    QString a = amount.trimmed();
    bool number = !a.isEmpty();
    for (const QChar c : a)
        number = number && (c.isDigit() || c == u'.' || c == u'-' || c == u'+');
    return number ? a.replace(u'.', u',') : Text(a);
}

QString Moment(const QString& zeitpunkt)
{
    const QDateTime t = QDateTime::fromString(zeitpunkt, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : Text(zeitpunkt);
}

QString Day(const QString& date)
{
    for (const QString& format : {QStringLiteral("yyyyMMdd"), QStringLiteral("yyyy-MM-dd")}) {
        const QDate d = QDate::fromString(date.trimmed(), format);
        if (d.isValid())
            return d.toString(QStringLiteral("dd.MM.yyyy"));
    }
    return Text(date);
}

} // namespace

QStringList HistoryCsvColumns()
{
    return {QStringLiteral("Zeitpunkt"),        QStringLiteral("Entscheidung"),     QStringLiteral("Benutzer"),
            QStringLiteral("Domäne"),           QStringLiteral("Rechner"),          QStringLiteral("Ablagename"),
            QStringLiteral("Lieferant"),        QStringLiteral("USt-IdNr."),        QStringLiteral("Lieferantenkennung"),
            QStringLiteral("Steuernummer"),     QStringLiteral("Rechnungsnummer"),  QStringLiteral("Rechnungsdatum"),
            QStringLiteral("Rechnungsart"),     QStringLiteral("Währung"),          QStringLiteral("Gesamtbetrag"),
            QStringLiteral("Zahlbetrag"),       QStringLiteral("Bankverbindungen"), QStringLiteral("Käuferreferenz"),
            QStringLiteral("Profil"),           QStringLiteral("Hash")};
}

QByteArray HistoryCsv(const std::vector<THistoryRow>& rows)
{
    QString csv = HistoryCsvColumns().join(u';') + QStringLiteral("\r\n");
    for (const THistoryRow& row : rows) {
        const TInvoiceFacts& f = row.Facts;
        const QStringList fields = {
            Moment(row.Zeitpunkt),   Text(row.Verarbeitung), Text(row.User),           Text(row.Domain),
            Text(row.PC),            Text(row.FileName),     Text(f.SellerName),       Text(f.SellerVatId),
            Text(f.SellerId),        Text(f.SellerTaxNumber), Text(f.Number),          Day(f.IssueDate),
            Text(f.TypeCode),        Text(f.Currency),       Amount(f.GrandTotal),     Amount(f.AmountDue),
            f.Accounts.join(u' '),   Text(f.BuyerReference), Text(f.Profile),          row.Hash,
        };
        QStringList quoted;
        for (const QString& field : fields)
            quoted << Quoted(field);
        csv += quoted.join(u';') + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + csv.toUtf8();
}
