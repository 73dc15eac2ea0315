#include "model/InvoiceFacts.h"

namespace {

QString WithoutBlanks(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isSpace())
            out += c;
    }
    return out;
}

} // namespace

QString NormalizedAccount(const QString& account)
{
    return WithoutBlanks(account).toUpper();
}

QString NormalizedNumber(const QString& number)
{
    return WithoutBlanks(number).toUpper();
}

TInvoiceFacts FactsOf(const TInvoice& invoice, const QString& profile)
{
    TInvoiceFacts f;
    f.SellerName = invoice.Text(u"BG-4/BT-27").trimmed();
    f.SellerVatId = invoice.Text(u"BG-4/BT-31").trimmed();
    f.SellerId = invoice.Text(u"BG-4/BT-29").trimmed();
    f.SellerTaxNumber = invoice.Text(u"BG-4/BT-32").trimmed();
    f.Number = invoice.Text(u"BT-1").trimmed();
    f.IssueDate = invoice.Text(u"BT-2").trimmed();
    f.TypeCode = invoice.Text(u"BT-3").trimmed();
    f.Currency = invoice.Text(u"BT-5").trimmed();
    f.GrandTotal = invoice.Text(u"BG-22/BT-112").trimmed();
    f.AmountDue = invoice.Text(u"BG-22/BT-115").trimmed();
    f.BuyerReference = invoice.Text(u"BT-10").trimmed();
    f.Profile = profile;
    for (const QString& iban : invoice.Ibans()) {
        const QString account = NormalizedAccount(iban);
        if (!account.isEmpty() && !f.Accounts.contains(account))
            f.Accounts << account;
    }
    return f;
}

QString DocumentKind(const QString& typeCode)
{
    // The credit note codes of EN 16931 (UNTDID 1001), and the corrected invoice.
    static const QStringList kCreditNotes = {QStringLiteral("81"),  QStringLiteral("83"),  QStringLiteral("261"),
                                             QStringLiteral("262"), QStringLiteral("296"), QStringLiteral("308"),
                                             QStringLiteral("381"), QStringLiteral("396"), QStringLiteral("420"),
                                             QStringLiteral("458"), QStringLiteral("532")};
    const QString code = typeCode.trimmed();
    if (kCreditNotes.contains(code))
        return QStringLiteral("Gutschrift");
    if (code == QLatin1String("384"))
        return QStringLiteral("Korrektur");
    return QStringLiteral("Rechnung");
}

bool SameSeller(const TInvoiceFacts& a, const TInvoiceFacts& b)
{
    const std::pair<const QString*, const QString*> identifiers[] = {
        {&a.SellerVatId, &b.SellerVatId},
        {&a.SellerId, &b.SellerId},
        {&a.SellerTaxNumber, &b.SellerTaxNumber},
        {&a.SellerName, &b.SellerName},
    };
    for (const auto& [x, y] : identifiers) {
        const QString left = WithoutBlanks(*x).toUpper();
        const QString right = WithoutBlanks(*y).toUpper();
        if (left.isEmpty() || right.isEmpty())
            continue;
        return left == right;
    }
    return false;
}
