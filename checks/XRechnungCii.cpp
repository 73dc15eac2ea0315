// The XRechnung rules on CII (XRechnung 3.0.2), with the Peppol rules XRechnung carries
// over, as the official rule set orders and words them; the texts are our own.

#include "checks/Rules.h"
#include "checks/XRechnungCommon.h"

#include <libxml/tree.h>

#include <cstring>

namespace checks {

namespace {

constexpr TFlag F = TFlag::Fatal;
constexpr TFlag W = TFlag::Warning;
constexpr TFlag I = TFlag::Information;

using xq::TEvalError;

// Rule contexts (from the document root) ...
#define CII_ROOT "/rsm:CrossIndustryInvoice"
#define CII_TX CII_ROOT "/rsm:SupplyChainTradeTransaction"
#define CII_AGR CII_TX "/ram:ApplicableHeaderTradeAgreement"
#define CII_DEL CII_TX "/ram:ApplicableHeaderTradeDelivery"
#define CII_SET CII_TX "/ram:ApplicableHeaderTradeSettlement"
#define CII_LINE CII_TX "/ram:IncludedSupplyChainTradeLineItem"
// ... and paths in tests (from the root element, which they start at).
#define Q_TX "/rsm:SupplyChainTradeTransaction"
#define Q_AGR Q_TX "/ram:ApplicableHeaderTradeAgreement"
#define Q_SET Q_TX "/ram:ApplicableHeaderTradeSettlement"
#define Q_LINE Q_TX "/ram:IncludedSupplyChainTradeLineItem"

std::vector<QString> DocumentCurrencies(const TCtx& c)
{
    return c.Vals(Q_SET "/ram:InvoiceCurrencyCode");
}

std::vector<QString> TaxCurrencies(const TCtx& c)
{
    return c.Vals(Q_SET "/ram:TaxCurrencyCode");
}

bool Contains(const std::vector<QString>& values, const QString& value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

TDecimal Slack(const TCtx& c)
{
    return xr::LineSlack(Contains(DocumentCurrencies(c), QStringLiteral("HUF")));
}

template <class Op>
bool SomeDouble(const std::vector<QString>& values, Op op)
{
    for (const QString& v : values) {
        if (op(xq::Double(v)))
            return true;
    }
    return false;
}

// The tax total amounts of the header whose currency is (or, with equal false, is not) one
// of currencies: "TaxTotalAmount[@currencyID = $x]" as a general comparison.
std::vector<QString> TaxTotals(const TCtx& c, const std::vector<QString>& currencies, bool equal)
{
    std::vector<QString> amounts;
    for (_xmlNode* amount : c.Sel("ram:SpecifiedTradeSettlementHeaderMonetarySummation/ram:TaxTotalAmount")) {
        if (!xq::HasAttribute(amount, "currencyID"))
            continue;
        const QString currency = xq::AttributeValue(amount, "currencyID");
        bool match = false;
        for (const QString& cur : currencies)
            match = match || (equal ? currency == cur : currency != cur);
        if (match)
            amounts.push_back(xq::StringValue(amount));
    }
    return amounts;
}

bool StringsCompare(const std::vector<QString>& mine, const std::vector<QString>& theirs, bool notBefore)
{
    for (const QString& a : mine) {
        for (const QString& b : theirs) {
            if (notBefore ? a >= b : a <= b)
                return true;
        }
    }
    return false;
}

bool DirectDebitGiven(const TCtx& c)
{
    return c.Has(Q_SET "/ram:SpecifiedTradePaymentTerms/ram:DirectDebitMandateID") || c.Has(Q_SET "/ram:CreditorReferenceID")
        || c.Has("ram:PayerPartyDebtorFinancialAccount/ram:IBANID");
}

// name() as the document writes it.
QString WrittenName(const _xmlNode* node)
{
    QString name = QString::fromUtf8(xq::LocalName(node));
    if (node->ns && node->ns->prefix)
        name = QString::fromUtf8(reinterpret_cast<const char*>(node->ns->prefix)) + u':' + name;
    return name;
}

bool OnList(const QString& value, std::initializer_list<const char*> list)
{
    for (const char* l : list) {
        if (value == QLatin1String(l))
            return true;
    }
    return false;
}

const std::vector<TPattern> kPatterns = {
    {"Peppol: Regeln",
     {
         {"rsm:ExchangedDocumentContext",
          {{"PEPPOL-EN16931-R001", F, [](const TCtx& c) { return c.Has("ram:BusinessProcessSpecifiedDocumentContextParameter/ram:ID"); },
            "Die Prozesskennung (BT-23) fehlt."}}},
         {"ram:ApplicableHeaderTradeSettlement",
          {
              {"PEPPOL-EN16931-R005", F,
               [](const TCtx& c) {
                   return !c.Has("ram:TaxCurrencyCode") || c.Norm("ram:TaxCurrencyCode") != c.Norm("ram:InvoiceCurrencyCode");
               },
               "Die Steuerwährung (BT-6) muss sich von der Rechnungswährung (BT-5) unterscheiden."},
              {"PEPPOL-EN16931-R053", F, [](const TCtx& c) { return TaxTotals(c, DocumentCurrencies(c), true).size() <= 1; },
               "Es darf höchstens eine Steuersumme in Rechnungswährung (BT-110) geben."},
              {"PEPPOL-EN16931-R054", F,
               [](const TCtx& c) {
                   return TaxTotals(c, DocumentCurrencies(c), false).size() == (c.Has("ram:TaxCurrencyCode") ? 1u : 0u);
               },
               "Eine Steuersumme in Buchungswährung (BT-111) muss es genau dann geben, wenn eine Steuerwährung (BT-6) "
               "angegeben ist."},
              {"PEPPOL-EN16931-R055", F,
               [](const TCtx& c) {
                   const std::vector<QString> inDoc = TaxTotals(c, DocumentCurrencies(c), true);
                   if (!(c.Has(Q_SET "/ram:TaxCurrencyCode") && !inDoc.empty()))
                       return true;
                   const std::vector<QString> inTax = TaxTotals(c, TaxCurrencies(c), true);
                   auto negative = [](double v) { return v < 0; };
                   auto positive = [](double v) { return v >= 0; };
                   return (SomeDouble(inTax, negative) && SomeDouble(inDoc, negative))
                       || (SomeDouble(inTax, positive) && SomeDouble(inDoc, positive));
               },
               "Die Umsatzsteuer in Rechnungswährung (BT-110) und in Buchungswährung (BT-111) müssen dasselbe "
               "Vorzeichen haben."},
          }},
         {"ram:BuyerTradeParty",
          {{"PEPPOL-EN16931-R010", F, [](const TCtx& c) { return c.Has("ram:URIUniversalCommunication/ram:URIID"); },
            "Die elektronische Adresse des Käufers (BT-49) fehlt."}}},
         {"ram:SellerTradeParty",
          {{"PEPPOL-EN16931-R020", F, [](const TCtx& c) { return c.Has("ram:URIUniversalCommunication/ram:URIID"); },
            "Die elektronische Adresse des Verkäufers (BT-34) fehlt."}}},
         {"ram:SpecifiedTradeAllowanceCharge[ram:CalculationPercent][not ram:BasisAmount]",
          {{"PEPPOL-EN16931-R041", F, [](const TCtx&) { return false; },
            "Zu einem Prozentsatz eines Nachlasses oder Zuschlags fehlt der Grundbetrag."}}},
         {"ram:SpecifiedTradeAllowanceCharge[not ram:CalculationPercent][ram:BasisAmount]",
          {{"PEPPOL-EN16931-R042", F, [](const TCtx&) { return false; },
            "Zu einem Grundbetrag eines Nachlasses oder Zuschlags fehlt der Prozentsatz."}}},
         {"ram:SpecifiedTradeAllowanceCharge",
          {
              {"PEPPOL-EN16931-R040", F,
               [](const TCtx& c) {
                   if (!(c.Has("ram:CalculationPercent") && c.Has("ram:BasisAmount")))
                       return true;
                   const TDecimal amount = xr::DecimalOr(c, "ram:ActualAmount", 0);
                   const TDecimal expected = (xq::Decimal(c.Str("ram:BasisAmount")) * xq::Decimal(c.Str("ram:CalculationPercent")))
                                                 .Divide(TDecimal::FromInt(100), 20);
                   return xr::SlackHolds(amount, expected, Slack(c));
               },
               "Der Betrag eines Nachlasses oder Zuschlags muss Grundbetrag mal Prozentsatz durch 100 sein."},
              {"PEPPOL-EN16931-R043-1", F,
               [](const TCtx& c) {
                   const QString v = c.Norm("ram:ChargeIndicator/udt:Indicator");
                   return v == u"true" || v == u"false";
               },
               "Das Kennzeichen Nachlass/Zuschlag muss „true“ oder „false“ lauten."},
          }},
         {"ram:AppliedTradeAllowanceCharge",
          {{"PEPPOL-EN16931-R043-2", F,
            [](const TCtx& c) {
                const QString v = c.Norm("ram:ChargeIndicator/udt:Indicator");
                return v == u"true" || v == u"false";
            },
            "Das Kennzeichen Nachlass/Zuschlag muss „true“ oder „false“ lauten."}}},
         {"ram:SpecifiedTradeSettlementPaymentMeans",
          {{"PEPPOL-EN16931-R061", F, [](const TCtx& c) { return c.Has("../ram:SpecifiedTradePaymentTerms/ram:DirectDebitMandateID"); },
            "Zu einer Lastschrift fehlt die Mandatsreferenz (BT-89)."}},
          [](const TCtx& c) { return c.AnyNorm("ram:TypeCode", {"49", "59"}); }},
         {"rsm:SupplyChainTradeTransaction[ram:ApplicableHeaderTradeSettlement/ram:BillingSpecifiedPeriod/ram:StartDateTime]/"
          "ram:IncludedSupplyChainTradeLineItem/ram:SpecifiedLineTradeSettlement/ram:BillingSpecifiedPeriod/ram:StartDateTime",
          {{"PEPPOL-EN16931-R110", F,
            [](const TCtx& c) {
                return StringsCompare(c.Vals("udt:DateTimeString"),
                                      c.Vals("../../../../ram:ApplicableHeaderTradeSettlement/ram:BillingSpecifiedPeriod/ram:StartDateTime/udt:DateTimeString"),
                                      true);
            },
            "Der Leistungszeitraum einer Position darf nicht vor dem Rechnungszeitraum beginnen."}}},
         {"rsm:SupplyChainTradeTransaction[ram:ApplicableHeaderTradeSettlement/ram:BillingSpecifiedPeriod/ram:EndDateTime]/"
          "ram:IncludedSupplyChainTradeLineItem/ram:SpecifiedLineTradeSettlement/ram:BillingSpecifiedPeriod/ram:EndDateTime",
          {{"PEPPOL-EN16931-R111", F,
            [](const TCtx& c) {
                return StringsCompare(c.Vals("udt:DateTimeString"),
                                      c.Vals("../../../../ram:ApplicableHeaderTradeSettlement/ram:BillingSpecifiedPeriod/ram:EndDateTime/udt:DateTimeString"),
                                      false);
            },
            "Der Leistungszeitraum einer Position darf nicht nach dem Rechnungszeitraum enden."}}},
         {"ram:IncludedSupplyChainTradeLineItem",
          {
              {"PEPPOL-EN16931-R120", W,
               [](const TCtx& c) {
                   const TDecimal lineAmount =
                       xr::DecimalOr(c, "ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeSettlementLineMonetarySummation/ram:LineTotalAmount", 0);
                   const TDecimal quantity = xr::DecimalOr(c, "ram:SpecifiedLineTradeDelivery/ram:BilledQuantity", 1);
                   const TDecimal price = xr::DecimalOr(c, "ram:SpecifiedLineTradeAgreement/ram:NetPriceProductTradePrice/ram:ChargeAmount", 0);
                   TDecimal base = TDecimal::FromInt(1);
                   const std::optional<TDecimal> net =
                       OneDecimal(c, "ram:SpecifiedLineTradeAgreement/ram:NetPriceProductTradePrice/ram:BasisQuantity");
                   if (net && !net->IsZero()) {
                       base = *net;
                   } else {
                       const std::optional<TDecimal> gross =
                           OneDecimal(c, "ram:SpecifiedLineTradeAgreement/ram:GrossPriceProductTradePrice/ram:BasisQuantity");
                       if (gross && !gross->IsZero())
                           base = *gross;
                   }
                   const char* allowancePath =
                       "ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeAllowanceCharge[ram:ChargeIndicator/udt:Indicator='false']";
                   const char* chargePath =
                       "ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeAllowanceCharge[ram:ChargeIndicator/udt:Indicator='true']";
                   const TDecimal allowances = c.Has(allowancePath)
                       ? Round2(DecimalSum(c, "ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeAllowanceCharge[ram:ChargeIndicator/udt:Indicator='false']/ram:ActualAmount"))
                       : TDecimal();
                   const TDecimal charges = c.Has(chargePath)
                       ? Round2(DecimalSum(c, "ram:SpecifiedLineTradeSettlement/ram:SpecifiedTradeAllowanceCharge[ram:ChargeIndicator/udt:Indicator='true']/ram:ActualAmount"))
                       : TDecimal();
                   const int scale = std::max({18, price.Scale(), base.Scale()});
                   const TDecimal expected = quantity * price.Divide(base, scale) + charges - allowances;
                   return xr::SlackHolds(lineAmount, expected, Slack(c));
               },
               "Der Nettobetrag der Position (BT-131) soll Menge mal Nettopreis je Basismenge plus Zuschläge minus "
               "Nachlässe der Position sein."},
              {"PEPPOL-EN16931-R101", F,
               [](const TCtx& c) {
                   return !c.Has("ram:SpecifiedLineTradeSettlement/ram:AdditionalReferencedDocument")
                       || xq::AnyIs(c.Node, "ram:SpecifiedLineTradeSettlement/ram:AdditionalReferencedDocument/ram:TypeCode", "130");
               },
               "Eine Dokumentreferenz in einer Position darf nur das Objekt der Position (Code 130) nennen."},
          }},
         {"ram:NetPriceProductTradePrice|ram:GrossPriceProductTradePrice",
          {{"PEPPOL-EN16931-R121", F,
            [](const TCtx& c) {
                const std::optional<TDecimal> base = OneDecimal(c, "ram:BasisQuantity");
                return !base || *base > TDecimal();
            },
            "Die Basismenge des Preises (BT-149) muss größer als null sein."}}},
         {"ram:NetPriceProductTradePrice/ram:BasisQuantity[@unitCode]|ram:GrossPriceProductTradePrice/ram:BasisQuantity[@unitCode]",
          {{"PEPPOL-EN16931-R130", F,
            [](const TCtx& c) {
                return Contains(c.Vals("../../../ram:SpecifiedLineTradeDelivery/ram:BilledQuantity/@unitCode"), c.Attr("unitCode"));
            },
            "Die Einheit der Basismenge (BT-150) muss die der berechneten Menge (BT-130) sein."}}},
     }},
    {"Peppol: leere Elemente",
     {
         {"*",
          {{"PEPPOL-EN16931-R008", F, [](const TCtx&) { return false; },
            "Das Element ist leer. Eine Rechnung darf keine leeren Elemente enthalten."}},
          [](const TCtx& c) {
              return WrittenName(c.Node) != u"ram:ApplicableHeaderTradeDelivery" && !xq::HasChildElements(c.Node)
                  && xq::IsBlankValue(c.Node);
          }},
     }},
    {"Peppol: Preise",
     {
         {"rsm:SupplyChainTradeTransaction/ram:IncludedSupplyChainTradeLineItem/ram:SpecifiedLineTradeAgreement/ram:GrossPriceProductTradePrice",
          {
              {"PEPPOL-EN16931-R044", F,
               [](const TCtx& c) {
                   return !c.Has("ram:AppliedTradeAllowanceCharge/ram:ActualAmount")
                       || xq::AnyIs(c.Node, "ram:AppliedTradeAllowanceCharge/ram:ChargeIndicator/udt:Indicator", "false");
               },
               "Auf Preisebene ist nur ein Nachlass erlaubt, kein Zuschlag."},
              {"PEPPOL-EN16931-R046", F,
               [](const TCtx& c) {
                   if (!c.Has("ram:ChargeAmount"))
                       return true;
                   std::vector<QString> firstAmounts;
                   for (_xmlNode* ac : c.Sel("ram:AppliedTradeAllowanceCharge")) {
                       const std::vector<QString> amounts = xq::Values(ac, "ram:ActualAmount");
                       if (!amounts.empty())
                           firstAmounts.push_back(amounts.front());
                   }
                   if (firstAmounts.size() > 1)
                       throw TEvalError{QStringLiteral("mehr als ein Preisnachlass")};
                   const TDecimal allowance = firstAmounts.empty() ? TDecimal() : xq::Decimal(firstAmounts.front());
                   const std::optional<TDecimal> net = OneDecimal(c, "../ram:NetPriceProductTradePrice/ram:ChargeAmount");
                   const std::optional<TDecimal> gross = OneDecimal(c, "ram:ChargeAmount");
                   return net && gross && *net == *gross - allowance;
               },
               "Der Nettopreis (BT-146) muss der Bruttopreis (BT-148) minus dem Preisnachlass (BT-147) sein."},
          }},
     }},
    {"XRechnung",
     {
         {CII_ROOT,
          {
              {"BR-DE-30", F,
               [](const TCtx& c) {
                   const bool mandate = c.Has(Q_SET "/ram:SpecifiedTradePaymentTerms/ram:DirectDebitMandateID");
                   const bool creditor = c.Has(Q_SET "/ram:CreditorReferenceID");
                   const bool account = c.Has(Q_SET "/ram:SpecifiedTradeSettlementPaymentMeans/ram:PayerPartyDebtorFinancialAccount/ram:IBANID");
                   return ((mandate || account) && creditor) || !(mandate || creditor || account);
               },
               "Zu einer Lastschrift (BG-19) fehlt die Gläubiger-Identifikationsnummer (BT-90)."},
              {"BR-DE-31", F,
               [](const TCtx& c) {
                   const bool mandate = c.Has(Q_SET "/ram:SpecifiedTradePaymentTerms/ram:DirectDebitMandateID");
                   const bool creditor = c.Has(Q_SET "/ram:CreditorReferenceID");
                   const bool account = c.Has(Q_SET "/ram:SpecifiedTradeSettlementPaymentMeans/ram:PayerPartyDebtorFinancialAccount/ram:IBANID");
                   return ((mandate || creditor) && account) || !(mandate || creditor || account);
               },
               "Zu einer Lastschrift (BG-19) fehlt das zu belastende Konto (BT-91)."},
              {"BR-DE-1", F, [](const TCtx& c) { return c.Has(Q_SET "/ram:SpecifiedTradeSettlementPaymentMeans"); },
               "Die Zahlungsanweisungen (BG-16) fehlen."},
              {"BR-DE-15", F, [](const TCtx& c) { return c.NonBlank(Q_AGR "/ram:BuyerReference"); },
               "Die Käuferreferenz (BT-10, Leitweg-ID) fehlt."},
              {"BR-DE-16", F,
               [](const TCtx& c) {
                   static const std::initializer_list<const char*> kCodes = {"S", "Z", "E", "AE", "K", "G", "L", "M"};
                   auto anyCode = [&](const char* path) {
                       for (const QString& v : c.Vals(path)) {
                           if (OnList(v, kCodes))
                               return true;
                       }
                       return false;
                   };
                   const bool lines = xq::AnyIs(c.Node, Q_LINE "/ram:SpecifiedLineTradeSettlement/ram:ApplicableTradeTax/ram:TypeCode", "VAT")
                       && anyCode(Q_LINE "/ram:SpecifiedLineTradeSettlement/ram:ApplicableTradeTax/ram:CategoryCode");
                   const bool allowances = xq::AnyIs(c.Node, Q_SET "/ram:SpecifiedTradeAllowanceCharge/ram:CategoryTradeTax", "VAT")
                       && anyCode(Q_SET "/ram:SpecifiedTradeAllowanceCharge/ram:CategoryTradeTax/ram:CategoryCode");
                   if (!(lines || allowances))
                       return true;
                   for (_xmlNode* id : c.Sel(Q_AGR "/ram:SellerTradeParty/ram:SpecifiedTaxRegistration/ram:ID")) {
                       const QString scheme = xq::NormalizeSpace(xq::AttributeValue(id, "schemeID"));
                       if ((scheme == u"VA" || scheme == u"FC") && !xq::NormalizeSpace(xq::StringValue(id)).isEmpty())
                           return true;
                   }
                   return c.Has(Q_AGR "/ram:SellerTaxRepresentativeTradeParty");
               },
               "Werden die Steuerkategorien S, Z, E, AE, K, G, L oder M verwendet, muss die Umsatzsteuer-Id des "
               "Verkäufers (BT-31), seine Steuernummer (BT-32) oder ein Steuervertreter (BG-11) angegeben sein."},
              {"BR-DE-17", W,
               [](const TCtx& c) {
                   return c.AnyNorm("rsm:ExchangedDocument/ram:TypeCode", {"326", "380", "384", "389", "381", "875", "876", "877"});
               },
               "Die Art der Rechnung (BT-3) soll einer der Codes 326, 380, 384, 389, 381, 875, 876 oder 877 sein."},
              {"BR-DE-18", F,
               [](const TCtx& c) {
                   std::vector<QString> notes;
                   for (_xmlNode* terms : c.Sel(Q_SET "/ram:SpecifiedTradePaymentTerms")) {
                       const std::vector<_xmlNode*> d = xq::Select(terms, "ram:Description");
                       if (!d.empty())
                           notes.push_back(xq::StringValue(d.front()));
                   }
                   return xr::SkontoLinesHold(notes);
               },
               "Skonto-Angaben in den Zahlungsbedingungen (BT-20) müssen die Form #SKONTO#TAGE=n#PROZENT=n.nn# "
               "(optional #BASISBETRAG=n.nn#) haben, in Großbuchstaben, ohne weitere Zeichen, und mit einem "
               "Zeilenumbruch enden."},
              {"BR-DE-22", F,
               [](const TCtx& c) {
                   const std::vector<_xmlNode*> all = xq::Descendants(c.Node, "ram:AdditionalReferencedDocument");
                   for (_xmlNode* reference : all) {
                       const std::vector<QString> names = xq::Values(reference, "ram:AttachmentBinaryObject/@filename");
                       for (xmlNode* before = reference->prev; before; before = before->prev) {
                           if (before->type != XML_ELEMENT_NODE || !xq::Is(before, "ram:AdditionalReferencedDocument"))
                               continue;
                           for (const QString& other : xq::Values(before, "ram:AttachmentBinaryObject/@filename")) {
                               if (Contains(names, other))
                                   return false;
                           }
                       }
                   }
                   return true;
               },
               "Die Dateinamen der eingebetteten Anhänge müssen verschieden sein."},
              {"BR-DE-26", W,
               [](const TCtx& c) {
                   return !c.AnyNorm("rsm:ExchangedDocument/ram:TypeCode", {"384"}) || c.Has(Q_SET "/ram:InvoiceReferencedDocument");
               },
               "Eine korrigierte Rechnung (Code 384) soll die vorausgegangene Rechnung (BG-3) nennen."},
          }},
         {CII_ROOT "/rsm:ExchangedDocumentContext",
          {{"BR-DE-21", W,
            [](const TCtx& c) {
                for (const QString& id : c.Vals("ram:GuidelineSpecifiedDocumentContextParameter/ram:ID")) {
                    if (id == QLatin1String(xr::kCiusId) || id == QLatin1String(xr::kExtensionId) || id == QLatin1String(xr::kCvdId))
                        return true;
                }
                return false;
            },
            "Die Kennung des Regelwerks (BT-24) soll die von XRechnung sein."}}},
         {CII_AGR "/ram:SellerTradeParty",
          {{"BR-DE-2", F, [](const TCtx& c) { return c.Has("ram:DefinedTradeContact"); },
            "Der Kontakt des Verkäufers (BG-6) fehlt."}}},
         {CII_AGR "/ram:SellerTradeParty/ram:PostalTradeAddress",
          {
              {"BR-DE-3", F, [](const TCtx& c) { return c.NonBlank("ram:CityName"); }, "Der Ort des Verkäufers (BT-37) fehlt."},
              {"BR-DE-4", F, [](const TCtx& c) { return c.NonBlank("ram:PostcodeCode"); },
               "Die Postleitzahl des Verkäufers (BT-38) fehlt."},
          }},
         {CII_AGR "/ram:SellerTradeParty/ram:DefinedTradeContact",
          {
              {"BR-DE-5", F, [](const TCtx& c) { return c.NonBlank("ram:PersonName|ram:DepartmentName"); },
               "Der Ansprechpartner des Verkäufers (BT-41) fehlt."},
              {"BR-DE-6", F, [](const TCtx& c) { return c.NonBlank("ram:TelephoneUniversalCommunication/ram:CompleteNumber"); },
               "Die Telefonnummer des Verkäufers (BT-42) fehlt."},
              {"BR-DE-7", F, [](const TCtx& c) { return c.NonBlank("ram:EmailURIUniversalCommunication/ram:URIID"); },
               "Die E-Mail-Adresse des Verkäufers (BT-43) fehlt."},
              {"BR-DE-27", W,
               [](const TCtx& c) { return OneMatches(c, "ram:TelephoneUniversalCommunication/ram:CompleteNumber", xr::kTelephonePattern); },
               "Die Telefonnummer des Verkäufers (BT-42) soll mindestens drei Ziffern enthalten."},
              {"BR-DE-28", W,
               [](const TCtx& c) { return OneMatches(c, "ram:EmailURIUniversalCommunication/ram:URIID", xr::kEmailPattern); },
               "Die E-Mail-Adresse des Verkäufers (BT-43) sieht nicht wie eine E-Mail-Adresse aus (genau ein @, davor "
               "und danach Zeichen, kein Punkt am Anfang oder Ende)."},
          }},
         {CII_AGR "/ram:BuyerTradeParty/ram:PostalTradeAddress",
          {
              {"BR-DE-8", F, [](const TCtx& c) { return c.NonBlank("ram:CityName"); }, "Der Ort des Käufers (BT-52) fehlt."},
              {"BR-DE-9", F, [](const TCtx& c) { return c.NonBlank("ram:PostcodeCode"); },
               "Die Postleitzahl des Käufers (BT-53) fehlt."},
          }},
         {CII_AGR "/ram:AdditionalReferencedDocument[ram:TypeCode=='916']",
          {{"BR-TMP-2", W,
            [](const TCtx& c) {
                if (!c.Has("ram:URIID"))
                    return true;
                const std::vector<QString> uris = c.Vals("ram:URIID");
                if (uris.size() > 1)
                    throw TEvalError{QStringLiteral("mehr als ein Ort eines externen Dokuments")};
                return xq::Matches(uris.front(), xr::kUrlPattern);
            },
            "Der Ort eines externen Dokuments (BT-124) muss eine absolute Adresse mit Schema sein."}}},
         {CII_DEL "/ram:ShipToTradeParty/ram:PostalTradeAddress",
          {
              {"BR-DE-10", F, [](const TCtx& c) { return c.NonBlank("ram:CityName"); },
               "Zur Lieferanschrift (BG-15) fehlt der Ort (BT-77)."},
              {"BR-DE-11", F, [](const TCtx& c) { return c.NonBlank("ram:PostcodeCode"); },
               "Zur Lieferanschrift (BG-15) fehlt die Postleitzahl (BT-78)."},
          }},
         {CII_SET "/ram:SpecifiedTradeSettlementPaymentMeans",
          {
              {"BR-DE-19", W,
               [](const TCtx& c) {
                   return c.Norm("ram:TypeCode") != u"58" || xr::IbanHolds(c, "ram:PayeePartyCreditorFinancialAccount/ram:IBANID");
               },
               "Bei einer SEPA-Überweisung (Code 58) soll die Kontonummer (BT-84) eine gültige IBAN sein."},
              {"BR-DE-23-a", F, [](const TCtx& c) { return c.Has("ram:PayeePartyCreditorFinancialAccount"); },
               "Zu einer Überweisung (Code 30 oder 58) fehlen die Kontoangaben (BG-17)."},
              {"BR-DE-23-b", F,
               [](const TCtx& c) { return !c.Has("ram:ApplicableTradeSettlementFinancialCard") && !DirectDebitGiven(c); },
               "Bei einer Überweisung (Code 30 oder 58) dürfen keine Karten- (BG-18) oder Lastschriftangaben (BG-19) "
               "stehen."},
          },
          [](const TCtx& c) { return c.AnyNorm("ram:TypeCode", {"30", "58"}); }},
         {CII_SET "/ram:SpecifiedTradeSettlementPaymentMeans",
          {
              {"BR-DE-24-a", F, [](const TCtx& c) { return c.Has("ram:ApplicableTradeSettlementFinancialCard"); },
               "Zu einer Kartenzahlung (Code 48, 54 oder 55) fehlen die Kartenangaben (BG-18)."},
              {"BR-DE-24-b", F, [](const TCtx& c) { return !c.Has("ram:PayeePartyCreditorFinancialAccount") && !DirectDebitGiven(c); },
               "Bei einer Kartenzahlung dürfen keine Überweisungs- (BG-17) oder Lastschriftangaben (BG-19) stehen."},
          },
          [](const TCtx& c) { return c.AnyNorm("ram:TypeCode", {"48", "54", "55"}); }},
         {CII_SET "/ram:SpecifiedTradeSettlementPaymentMeans",
          {
              {"BR-DE-20", W,
               [](const TCtx& c) {
                   return c.Norm("ram:TypeCode") != u"59" || xr::IbanHolds(c, "ram:PayerPartyDebtorFinancialAccount/ram:IBANID");
               },
               "Bei einer SEPA-Lastschrift (Code 59) soll das zu belastende Konto (BT-91) eine gültige IBAN sein."},
              {"BR-DE-25-a", F, [](const TCtx& c) { return DirectDebitGiven(c); },
               "Zu einer Lastschrift (Code 59) fehlen die Lastschriftangaben (BG-19)."},
              {"BR-DE-25-b", F,
               [](const TCtx& c) {
                   return !c.Has("ram:PayeePartyCreditorFinancialAccount") && !c.Has("ram:PayeeSpecifiedCreditorFinancialInstitution")
                       && !c.Has("ram:PayerSpecifiedDebtorFinancialInstitution") && !c.Has("ram:ApplicableTradeSettlementFinancialCard");
               },
               "Bei einer Lastschrift dürfen keine Überweisungs- (BG-17) oder Kartenangaben (BG-18) stehen."},
          },
          [](const TCtx& c) { return c.AnyNorm("ram:TypeCode", {"59"}); }},
         {CII_SET "/ram:ApplicableTradeTax",
          {{"BR-DE-14", F, [](const TCtx& c) { return c.NonBlank("ram:RateApplicablePercent"); },
            "Zur Steueraufschlüsselung fehlt der Steuersatz (BT-119)."}}},
         {CII_TX,
          {{"BR-DE-TMP-32", I,
            [](const TCtx& c) {
                if (c.Has("ram:ApplicableHeaderTradeDelivery/ram:ActualDeliverySupplyChainEvent/ram:OccurrenceDateTime")
                    || c.Has("ram:ApplicableHeaderTradeSettlement/ram:BillingSpecifiedPeriod"))
                    return true;
                for (_xmlNode* line : c.Sel("ram:IncludedSupplyChainTradeLineItem")) {
                    if (!xq::Exists(line, "ram:SpecifiedLineTradeSettlement/ram:BillingSpecifiedPeriod"))
                        return false;
                }
                return true;
            },
            "Das Liefer- oder Leistungsdatum fehlt: weder Lieferdatum (BT-72) noch Rechnungszeitraum (BG-14) noch in "
            "jeder Position ein Leistungszeitraum (BG-26)."}}},
         {CII_LINE,
          {{"BR-TMP-3", F,
            [](const TCtx& c) {
                const std::vector<QString> gross = c.Vals("ram:SpecifiedLineTradeAgreement/ram:GrossPriceProductTradePrice/ram:BasisQuantity");
                const std::vector<QString> net = c.Vals("ram:SpecifiedLineTradeAgreement/ram:NetPriceProductTradePrice/ram:BasisQuantity");
                if (gross.empty() || net.empty())
                    return true;
                bool same = false;
                for (const QString& g : gross)
                    same = same || Contains(net, g);
                if (!same)
                    return false;
                const std::vector<QString> grossUnit =
                    c.Vals("ram:SpecifiedLineTradeAgreement/ram:GrossPriceProductTradePrice/ram:BasisQuantity/@unitCode");
                const std::vector<QString> netUnit =
                    c.Vals("ram:SpecifiedLineTradeAgreement/ram:NetPriceProductTradePrice/ram:BasisQuantity/@unitCode");
                if (grossUnit.empty() || netUnit.empty())
                    return true;
                for (const QString& g : grossUnit) {
                    if (Contains(netUnit, g))
                        return true;
                }
                return false;
            },
            "Stehen Basismengen (BT-149) beim Brutto- und beim Nettopreis, müssen sie gleich sein, ebenso ihre "
            "Einheiten (BT-150)."}}},
     }},
    {"XRechnung Extension",
     {
         {CII_LINE "/ram:AssociatedDocumentLineDocument",
          {{"BR-DEX-15", W, [](const TCtx& c) { return xq::Descendants(c.Root(), "ram:ParentLineID").empty(); },
            "Die Rechnung scheint Unterpositionen zu verwenden; XRechnung unterstützt sie in CII nicht."}},
          xr::IsExtension},
         {"ram:GlobalID[@schemeID]",
          {{"BR-DEX-04", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungIcd, c.Attr("schemeID")); },
            "Das Schema der Kennung muss aus der ICD-Liste (ISO 6523) stammen."}},
          [](const TCtx& c) {
              return xr::IsExtension(c) && !xq::HasAncestor(c.Node, "ram:SpecifiedTradeProduct") && !xq::HasAncestor(c.Node, "ram:ShipToTradeParty");
          }},
         {"ram:ID[@schemeID]",
          {{"BR-DEX-05", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungIcd, c.Attr("schemeID")); },
            "Das Schema der Kennung muss aus der ICD-Liste (ISO 6523) stammen."}},
          [](const TCtx& c) { return xr::IsExtension(c) && !xq::HasAncestor(c.Node, "ram:SpecifiedTaxRegistration"); }},
         {"ram:SpecifiedTradeProduct/ram:GlobalID[@schemeID]",
          {{"BR-DEX-06", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungIcd, c.Attr("schemeID")); },
            "Das Schema der Artikelkennung muss aus der ICD-Liste (ISO 6523) stammen."}},
          xr::IsExtension},
         {"ram:URIUniversalCommunication/ram:URIID[@schemeID]",
          {{"BR-DEX-07", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungEas, c.Attr("schemeID")); },
            "Das Schema der elektronischen Adresse muss aus der EAS-Liste stammen."}},
          xr::IsExtension},
         {"ram:ApplicableHeaderTradeDelivery/ram:ShipToTradeParty/ram:GlobalID[@schemeID]",
          {{"BR-DEX-08", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungIcd, c.Attr("schemeID")); },
            "Das Schema der Kennung des Lieferorts muss aus der ICD-Liste (ISO 6523) stammen."}},
          xr::IsExtension},
         {"ram:AttachmentBinaryObject",
          {{"BR-DEX-01", F,
            [](const TCtx& c) {
                const QString type = c.Attr("mimeCode");
                return OnList(type, {"application/pdf", "image/png", "image/jpeg", "text/csv",
                                     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
                                     "application/vnd.oasis.opendocument.spreadsheet", "application/xml"});
            },
            "Der MIME-Typ des Anhangs (BT-125) ist nicht erlaubt; die Extension erlaubt zu den üblichen Typen auch "
            "application/xml."}},
          xr::IsExtension},
     }},
    {"XRechnung CVD",
     {
         {CII_TX,
          {{"BR-DE-CVD-03", F,
            [](const TCtx& c) {
                for (_xmlNode* product : c.Sel("ram:IncludedSupplyChainTradeLineItem/ram:SpecifiedTradeProduct")) {
                    if (xq::Exists(product, "ram:DesignatedProductClassification/ram:ClassCode[@listID=='CVD']")
                        && xq::Exists(product, "ram:ApplicableProductCharacteristic/ram:Description[.=='cva']"))
                        return true;
                }
                return false;
            },
            "Mindestens eine Position muss ein Fahrzeug nach der Clean Vehicles Directive nennen: eine "
            "Klassifizierung mit dem Schema CVD (BT-158) und ein Merkmal „cva“ (BT-160)."}},
          xr::IsCvd},
         {CII_LINE "/ram:SpecifiedTradeProduct",
          {
              {"BR-DE-CVD-06-b", F,
               [](const TCtx& c) {
                   return !c.Has("ram:ApplicableProductCharacteristic/ram:Description[.=='cva']")
                       || c.Count("ram:DesignatedProductClassification/ram:ClassCode[@listID=='CVD']") == 1;
               },
               "Eine Position mit dem Merkmal „cva“ muss genau eine Klassifizierung nach CVD haben."},
              {"BR-DE-CVD-06-a", F,
               [](const TCtx& c) {
                   return !c.Has("ram:DesignatedProductClassification/ram:ClassCode[@listID=='CVD']")
                       || c.Count("ram:ApplicableProductCharacteristic[ram:Description=='cva']") == 1;
               },
               "Eine Position mit einer Klassifizierung nach CVD muss genau ein Merkmal „cva“ haben."},
          },
          xr::IsCvd},
         {CII_LINE "/ram:SpecifiedTradeProduct/ram:DesignatedProductClassification/ram:ClassCode",
          {
              {"BR-TMP-CVD-01", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungUntdid7143Cvd, c.Attr("listID")); },
               "Das Schema der Klassifizierung (BT-158) muss aus UNTDID 7143 stammen oder CVD sein."},
              {"BR-DE-CVD-04", F,
               [](const TCtx& c) {
                   return xq::NormalizeSpace(c.Attr("listID")) != u"CVD"
                       || OnList(xq::NormalizeSpace(c.Text()), {"M1", "M2", "M3", "N1", "N2", "N3"});
               },
               "Eine Klassifizierung nach CVD muss eine der Fahrzeugklassen M1, M2, M3, N1, N2 oder N3 nennen."},
          },
          xr::IsCvd},
         {CII_LINE "/ram:SpecifiedTradeProduct/ram:ApplicableProductCharacteristic[ram:Description=='cva']",
          {{"BR-DE-CVD-05", F,
            [](const TCtx& c) { return c.Count("ram:Value") == 1 && c.AnyNorm("ram:Value", {"clean", "zero-emission", "other"}); },
            "Das Merkmal „cva“ muss den Wert clean, zero-emission oder other haben."}},
          xr::IsCvd},
         {CII_AGR,
          {
              {"BR-DE-CVD-01", F, [](const TCtx& c) { return c.NonBlank("ram:ContractReferencedDocument/ram:IssuerAssignedID"); },
               "Die Vertragsnummer (BT-12) fehlt."},
              {"BR-DE-CVD-02", F,
               [](const TCtx& c) {
                   for (_xmlNode* reference : c.Sel("ram:AdditionalReferencedDocument")) {
                       if (xq::AnyNormalizedIs(reference, "ram:TypeCode", {"50"}) && xq::NonBlank(reference, "ram:IssuerAssignedID"))
                           return true;
                   }
                   return false;
               },
               "Die Vergabe- oder Losnummer (BT-17) fehlt."},
          },
          xr::IsCvd},
     }},
};

} // namespace

const std::vector<TPattern>& XRechnungCiiPatterns()
{
    return kPatterns;
}

} // namespace checks
