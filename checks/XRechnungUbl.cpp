// The XRechnung rules on UBL (XRechnung 3.0.2), with the Peppol rules XRechnung carries
// over, as the official rule set orders and words them; the texts are our own.

#include "checks/Rules.h"
#include "checks/XRechnungCommon.h"

#include <algorithm>

namespace checks {

namespace {

constexpr TFlag F = TFlag::Fatal;
constexpr TFlag W = TFlag::Warning;
constexpr TFlag I = TFlag::Information;

using xq::TEvalError;

TDecimal Slack(const TCtx& c)
{
    const std::vector<_xmlNode*>& currencies = c.Doc.FromRoot("cbc:DocumentCurrencyCode");
    const bool huf = std::any_of(currencies.begin(), currencies.end(),
                                 [](_xmlNode* n) { return xq::StringValue(n) == QLatin1String("HUF"); });
    return xr::LineSlack(huf);
}

// A general comparison "values op 0" on untyped values: some value, cast to a double.
template <class Op>
bool SomeDouble(const std::vector<QString>& values, Op op)
{
    for (const QString& v : values) {
        if (op(xq::Double(v)))
            return true;
    }
    return false;
}

bool AnyOf(const std::vector<QString>& values, std::initializer_list<const char*> set)
{
    for (const QString& v : values) {
        for (const char* s : set) {
            if (v == QLatin1String(s))
                return true;
        }
    }
    return false;
}

bool DateNotBefore(const TCtx& c, const char* other, bool notBefore)
{
    const std::vector<QString> others = c.Vals(other);
    if (others.size() != 1)
        throw TEvalError{QStringLiteral("der Zeitraum der Rechnung hat nicht genau ein solches Datum")};
    const long long mine = xq::Date(c.Text());
    const long long theirs = xq::Date(others.front());
    return notBefore ? mine >= theirs : mine <= theirs;
}

std::vector<QString> FirstNotesOfPaymentTerms(const TCtx& c)
{
    std::vector<QString> notes;
    for (_xmlNode* terms : c.Sel("cac:PaymentTerms")) {
        const std::vector<_xmlNode*> n = xq::Select(terms, "cbc:Note");
        if (!n.empty())
            notes.push_back(xq::StringValue(n.front()));
    }
    return notes;
}

const std::vector<TPattern> kPatterns = {
    {"Peppol: leere Elemente",
     {
         {"*",
          {{"PEPPOL-EN16931-R008", F, [](const TCtx&) { return false; },
            "Das Element ist leer. Eine Rechnung darf keine leeren Elemente enthalten."}},
          [](const TCtx& c) { return !xq::HasChildElements(c.Node) && xq::IsBlankValue(c.Node); }},
     }},
    {"Peppol: Regeln",
     {
         {"ubl:Invoice|cn:CreditNote",
          {
              {"PEPPOL-EN16931-R001", F, [](const TCtx& c) { return c.Has("cbc:ProfileID"); },
               "Die Prozesskennung (BT-23) fehlt."},
              {"PEPPOL-EN16931-R053", F, [](const TCtx& c) { return c.Count("cac:TaxTotal[cac:TaxSubtotal]") == 1; },
               "Es muss genau eine Steuersumme (cac:TaxTotal) mit Aufschlüsselung nach Steuerkategorien geben."},
              {"PEPPOL-EN16931-R054", F,
               [](const TCtx& c) {
                   return c.Count("cac:TaxTotal[not cac:TaxSubtotal]") == (c.Has("cbc:TaxCurrencyCode") ? 1 : 0);
               },
               "Eine Steuersumme ohne Aufschlüsselung (die Umsatzsteuer in Buchungswährung, BT-111) muss es genau dann "
               "geben, wenn eine Steuerwährung (BT-6) angegeben ist."},
              {"PEPPOL-EN16931-R055", F,
               [](const TCtx& c) {
                   if (!c.Has("cbc:TaxCurrencyCode"))
                       return true;
                   const QString tax = c.Norm("cbc:TaxCurrencyCode");
                   const QString doc = c.Norm("cbc:DocumentCurrencyCode");
                   std::vector<QString> inTax, inDoc;
                   for (_xmlNode* amount : c.Sel("cac:TaxTotal/cbc:TaxAmount")) {
                       const QString currency = xq::AttributeValue(amount, "currencyID");
                       if (currency == tax)
                           inTax.push_back(xq::StringValue(amount));
                       if (currency == doc)
                           inDoc.push_back(xq::StringValue(amount));
                   }
                   auto negative = [](double v) { return v <= 0; };
                   auto positive = [](double v) { return v >= 0; };
                   return (SomeDouble(inTax, negative) && SomeDouble(inDoc, negative))
                       || (SomeDouble(inTax, positive) && SomeDouble(inDoc, positive));
               },
               "Die Umsatzsteuer in Rechnungswährung (BT-110) und in Buchungswährung (BT-111) müssen dasselbe "
               "Vorzeichen haben."},
          }},
         {"cbc:TaxCurrencyCode",
          {{"PEPPOL-EN16931-R005", F,
            [](const TCtx& c) { return xq::NormalizeSpace(c.Text()) != c.Norm("../cbc:DocumentCurrencyCode"); },
            "Die Steuerwährung (BT-6) muss sich von der Rechnungswährung (BT-5) unterscheiden."}}},
         {"cac:AccountingCustomerParty/cac:Party",
          {{"PEPPOL-EN16931-R010", F, [](const TCtx& c) { return c.Has("cbc:EndpointID"); },
            "Die elektronische Adresse des Käufers (BT-49) fehlt."}}},
         {"cac:AccountingSupplierParty/cac:Party",
          {{"PEPPOL-EN16931-R020", F, [](const TCtx& c) { return c.Has("cbc:EndpointID"); },
            "Die elektronische Adresse des Verkäufers (BT-34) fehlt."}}},
         {"ubl:Invoice/cac:AllowanceCharge[cbc:MultiplierFactorNumeric][not cbc:BaseAmount]|"
          "ubl:Invoice/cac:InvoiceLine/cac:AllowanceCharge[cbc:MultiplierFactorNumeric][not cbc:BaseAmount]|"
          "cn:CreditNote/cac:AllowanceCharge[cbc:MultiplierFactorNumeric][not cbc:BaseAmount]|"
          "cn:CreditNote/cac:CreditNoteLine/cac:AllowanceCharge[cbc:MultiplierFactorNumeric][not cbc:BaseAmount]",
          {{"PEPPOL-EN16931-R041", F, [](const TCtx&) { return false; },
            "Zu einem Prozentsatz eines Nachlasses oder Zuschlags fehlt der Grundbetrag."}}},
         {"ubl:Invoice/cac:AllowanceCharge[not cbc:MultiplierFactorNumeric][cbc:BaseAmount]|"
          "ubl:Invoice/cac:InvoiceLine/cac:AllowanceCharge[not cbc:MultiplierFactorNumeric][cbc:BaseAmount]|"
          "cn:CreditNote/cac:AllowanceCharge[not cbc:MultiplierFactorNumeric][cbc:BaseAmount]|"
          "cn:CreditNote/cac:CreditNoteLine/cac:AllowanceCharge[not cbc:MultiplierFactorNumeric][cbc:BaseAmount]",
          {{"PEPPOL-EN16931-R042", F, [](const TCtx&) { return false; },
            "Zu einem Grundbetrag eines Nachlasses oder Zuschlags fehlt der Prozentsatz."}}},
         {"ubl:Invoice/cac:AllowanceCharge|ubl:Invoice/cac:InvoiceLine/cac:AllowanceCharge|"
          "cn:CreditNote/cac:AllowanceCharge|cn:CreditNote/cac:CreditNoteLine/cac:AllowanceCharge",
          {
              {"PEPPOL-EN16931-R040", F,
               [](const TCtx& c) {
                   if (!(c.Has("cbc:MultiplierFactorNumeric") && c.Has("cbc:BaseAmount")))
                       return true;
                   const TDecimal amount = xr::DecimalOr(c, "cbc:Amount", 0);
                   const TDecimal expected = (xq::Decimal(c.Str("cbc:BaseAmount")) * xq::Decimal(c.Str("cbc:MultiplierFactorNumeric")))
                                                 .Divide(TDecimal::FromInt(100), 20);
                   return xr::SlackHolds(amount, expected, Slack(c));
               },
               "Der Betrag eines Nachlasses oder Zuschlags muss Grundbetrag mal Prozentsatz durch 100 sein."},
              {"PEPPOL-EN16931-R043", F,
               [](const TCtx& c) {
                   const QString v = c.Norm("cbc:ChargeIndicator");
                   return v == u"true" || v == u"false";
               },
               "Das Kennzeichen Nachlass/Zuschlag muss „true“ oder „false“ lauten."},
          }},
         {"cac:PaymentMeans",
          {{"PEPPOL-EN16931-R061", F, [](const TCtx& c) { return c.Has("cac:PaymentMandate/cbc:ID"); },
            "Zu einer Lastschrift fehlt die Mandatsreferenz (BT-89)."}},
          [](const TCtx& c) { return c.AnyNorm("cbc:PaymentMeansCode", {"49", "59"}); }},
         {"ubl:Invoice[cac:InvoicePeriod/cbc:StartDate]/cac:InvoiceLine/cac:InvoicePeriod/cbc:StartDate|"
          "cn:CreditNote[cac:InvoicePeriod/cbc:StartDate]/cac:CreditNoteLine/cac:InvoicePeriod/cbc:StartDate",
          {{"PEPPOL-EN16931-R110", F, [](const TCtx& c) { return DateNotBefore(c, "../../../cac:InvoicePeriod/cbc:StartDate", true); },
            "Der Leistungszeitraum einer Position darf nicht vor dem Rechnungszeitraum beginnen."}}},
         {"ubl:Invoice[cac:InvoicePeriod/cbc:EndDate]/cac:InvoiceLine/cac:InvoicePeriod/cbc:EndDate|"
          "cn:CreditNote[cac:InvoicePeriod/cbc:EndDate]/cac:CreditNoteLine/cac:InvoicePeriod/cbc:EndDate",
          {{"PEPPOL-EN16931-R111", F, [](const TCtx& c) { return DateNotBefore(c, "../../../cac:InvoicePeriod/cbc:EndDate", false); },
            "Der Leistungszeitraum einer Position darf nicht nach dem Rechnungszeitraum enden."}}},
         {"cac:InvoiceLine|cac:CreditNoteLine",
          {
              {"PEPPOL-EN16931-R120", W,
               [](const TCtx& c) {
                   const bool invoice = xq::Is(c.Root(), "ubl:Invoice");
                   const TDecimal lineAmount = xr::DecimalOr(c, "cbc:LineExtensionAmount", 0);
                   const TDecimal quantity = xr::DecimalOr(c, invoice ? "cbc:InvoicedQuantity" : "cbc:CreditedQuantity", 1);
                   const TDecimal price = xr::DecimalOr(c, "cac:Price/cbc:PriceAmount", 0);
                   TDecimal base = TDecimal::FromInt(1);
                   if (const std::optional<TDecimal> b = OneDecimal(c, "cac:Price/cbc:BaseQuantity"); b && !b->IsZero())
                       base = *b;
                   const TDecimal allowances = c.Has("cac:AllowanceCharge[cbc:ChargeIndicator='false']")
                       ? Round2(DecimalSum(c, "cac:AllowanceCharge[cbc:ChargeIndicator='false']/cbc:Amount"))
                       : TDecimal();
                   const TDecimal charges = c.Has("cac:AllowanceCharge[cbc:ChargeIndicator='true']")
                       ? Round2(DecimalSum(c, "cac:AllowanceCharge[cbc:ChargeIndicator='true']/cbc:Amount"))
                       : TDecimal();
                   const int scale = std::max({18, price.Scale(), base.Scale()});
                   const TDecimal expected = quantity * price.Divide(base, scale) + charges - allowances;
                   return xr::SlackHolds(lineAmount, expected, Slack(c));
               },
               "Der Nettobetrag der Position (BT-131) soll Menge mal Nettopreis je Basismenge plus Zuschläge minus "
               "Nachlässe der Position sein."},
              {"PEPPOL-EN16931-R121", F,
               [](const TCtx& c) {
                   const std::optional<TDecimal> base = OneDecimal(c, "cac:Price/cbc:BaseQuantity");
                   return !base || *base > TDecimal();
               },
               "Die Basismenge des Preises (BT-149) muss größer als null sein."},
              {"PEPPOL-EN16931-R101", F,
               [](const TCtx& c) {
                   return !c.Has("cac:DocumentReference") || xq::AnyIs(c.Node, "cac:DocumentReference/cbc:DocumentTypeCode", "130");
               },
               "Eine Dokumentreferenz in einer Position darf nur das Objekt der Position (Code 130) nennen."},
          }},
         {"cac:Price/cac:AllowanceCharge",
          {
              {"PEPPOL-EN16931-R044", F, [](const TCtx& c) { return c.Norm("cbc:ChargeIndicator") == u"false"; },
               "Auf Preisebene ist nur ein Nachlass erlaubt, kein Zuschlag."},
              {"PEPPOL-EN16931-R046", F,
               [](const TCtx& c) {
                   if (!c.Has("cbc:BaseAmount"))
                       return true;
                   const std::optional<TDecimal> net = OneDecimal(c, "../cbc:PriceAmount");
                   const std::optional<TDecimal> gross = OneDecimal(c, "cbc:BaseAmount");
                   const std::optional<TDecimal> amount = OneDecimal(c, "cbc:Amount");
                   return net && gross && amount && *net == *gross - *amount;
               },
               "Der Nettopreis (BT-146) muss der Bruttopreis (BT-148) minus dem Preisnachlass (BT-147) sein."},
          }},
         {"cac:Price/cbc:BaseQuantity[@unitCode]",
          {{"PEPPOL-EN16931-R130", F,
            [](const TCtx& c) {
                if (!c.Has("../../cbc:InvoicedQuantity") && !c.Has("../../cbc:CreditedQuantity"))
                    return true;
                const char* path = xq::Is(c.Root(), "ubl:Invoice") ? "../../cbc:InvoicedQuantity/@unitCode"
                                                                   : "../../cbc:CreditedQuantity/@unitCode";
                const QString unit = c.Attr("unitCode");
                for (const QString& u : c.Vals(path)) {
                    if (u == unit)
                        return true;
                }
                return false;
            },
            "Die Einheit der Basismenge (BT-150) muss die der berechneten Menge (BT-130) sein."}}},
     }},
    {"XRechnung",
     {
         {"/ubl:Invoice|/cn:CreditNote",
          {
              {"BR-DE-1", F, [](const TCtx& c) { return c.Has("cac:PaymentMeans"); },
               "Die Zahlungsanweisungen (BG-16) fehlen."},
              {"BR-DE-15", F, [](const TCtx& c) { return c.NonBlank("cbc:BuyerReference"); },
               "Die Käuferreferenz (BT-10, Leitweg-ID) fehlt."},
              {"BR-DE-16", F,
               [](const TCtx& c) {
                   static const std::initializer_list<const char*> kCodes = {"S", "Z", "E", "AE", "K", "G", "L", "M"};
                   std::vector<QString> codes;
                   for (_xmlNode* ac : c.Sel("cac:AllowanceCharge")) {
                       const std::vector<QString> indicator = xq::Values(ac, "cbc:ChargeIndicator");
                       if (AnyOf(indicator, {"false", "true"}))
                           for (const QString& id : xq::Values(ac, "cac:TaxCategory/cbc:ID"))
                               codes.push_back(id);
                   }
                   for (const QString& id : c.Vals("cac:InvoiceLine/cac:Item/cac:ClassifiedTaxCategory/cbc:ID|"
                                                   "cac:CreditNoteLine/cac:Item/cac:ClassifiedTaxCategory/cbc:ID"))
                       codes.push_back(id);
                   if (!AnyOf(codes, kCodes))
                       return true;
                   return c.Has("cac:TaxRepresentativeParty")
                       || c.NonBlank("cac:AccountingSupplierParty/cac:Party/cac:PartyTaxScheme/cbc:CompanyID");
               },
               "Werden die Steuerkategorien S, Z, E, AE, K, G, L oder M verwendet, muss die Umsatzsteuer-Id des "
               "Verkäufers (BT-31), seine Steuernummer (BT-32) oder ein Steuervertreter (BG-11) angegeben sein."},
              {"BR-DE-17", W,
               [](const TCtx& c) {
                   static const std::initializer_list<const char*> kTypes = {"326", "380", "384", "389", "381", "875", "876", "877"};
                   return c.AnyNorm("cbc:InvoiceTypeCode", kTypes) || c.AnyNorm("cbc:CreditNoteTypeCode", kTypes);
               },
               "Die Art der Rechnung (BT-3) soll einer der Codes 326, 380, 384, 389, 381, 875, 876 oder 877 sein."},
              {"BR-DE-18", F, [](const TCtx& c) { return xr::SkontoLinesHold(FirstNotesOfPaymentTerms(c)); },
               "Skonto-Angaben in den Zahlungsbedingungen (BT-20) müssen die Form #SKONTO#TAGE=n#PROZENT=n.nn# "
               "(optional #BASISBETRAG=n.nn#) haben, in Großbuchstaben, ohne weitere Zeichen, und mit einem "
               "Zeilenumbruch enden."},
              {"BR-DE-21", W,
               [](const TCtx& c) {
                   for (const QString& id : c.Vals("cbc:CustomizationID")) {
                       if (id == QLatin1String(xr::kCiusId) || id == QLatin1String(xr::kExtensionId) || id == QLatin1String(xr::kCvdId))
                           return true;
                   }
                   return false;
               },
               "Die Kennung des Regelwerks (BT-24) soll die von XRechnung sein."},
              {"BR-DE-22", F,
               [](const TCtx& c) {
                   std::vector<QString> seen;
                   for (_xmlNode* reference : c.Sel("cac:AdditionalDocumentReference")) {
                       const std::vector<QString> names =
                           xq::Values(reference, "cac:Attachment/cbc:EmbeddedDocumentBinaryObject/@filename");
                       for (const QString& name : names) {
                           if (std::find(seen.begin(), seen.end(), name) != seen.end())
                               return false;
                       }
                       seen.insert(seen.end(), names.begin(), names.end());
                   }
                   return true;
               },
               "Die Dateinamen der eingebetteten Anhänge müssen verschieden sein."},
              {"BR-DE-26", W,
               [](const TCtx& c) {
                   const bool corrected = c.AnyNorm("cbc:InvoiceTypeCode", {"384"}) || c.AnyNorm("cbc:CreditNoteTypeCode", {"384"});
                   return !corrected || c.Has("cac:BillingReference/cac:InvoiceDocumentReference");
               },
               "Eine korrigierte Rechnung (Code 384) soll die vorausgegangene Rechnung (BG-3) nennen."},
              {"BR-DE-30", F,
               [](const TCtx& c) {
                   return !c.Has("cac:PaymentMeans/cac:PaymentMandate")
                       || c.Has("cac:AccountingSupplierParty/cac:Party/cac:PartyIdentification/cbc:ID[@schemeID=='SEPA']")
                       || c.Has("cac:PayeeParty/cac:PartyIdentification/cbc:ID[@schemeID=='SEPA']");
               },
               "Zu einer Lastschrift (BG-19) fehlt die Gläubiger-Identifikationsnummer (BT-90)."},
              {"BR-DE-31", F,
               [](const TCtx& c) {
                   return !c.Has("cac:PaymentMeans/cac:PaymentMandate")
                       || c.Has("cac:PaymentMeans/cac:PaymentMandate/cac:PayerFinancialAccount/cbc:ID");
               },
               "Zu einer Lastschrift (BG-19) fehlt das zu belastende Konto (BT-91)."},
              {"BR-DE-TMP-32", I,
               [](const TCtx& c) {
                   if (c.Has("cac:Delivery/cbc:ActualDeliveryDate") || c.Has("cac:InvoicePeriod"))
                       return true;
                   for (_xmlNode* line : c.Sel("cac:InvoiceLine|cac:CreditNoteLine")) {
                       if (!xq::Exists(line, "cac:InvoicePeriod"))
                           return false;
                   }
                   return true;
               },
               "Das Liefer- oder Leistungsdatum fehlt: weder Lieferdatum (BT-72) noch Rechnungszeitraum (BG-14) "
               "noch in jeder Position ein Leistungszeitraum (BG-26)."},
          }},
         {"/ubl:Invoice/cac:AdditionalDocumentReference/cac:Attachment/cac:ExternalReference|"
          "/cn:CreditNote/cac:AdditionalDocumentReference/cac:Attachment/cac:ExternalReference",
          {{"BR-TMP-2", W, [](const TCtx& c) { return OneMatches(c, "cbc:URI", xr::kUrlPattern); },
            "Der Ort eines externen Dokuments (BT-124) muss eine absolute Adresse mit Schema sein."}}},
         {"/ubl:Invoice/cac:AccountingSupplierParty|/cn:CreditNote/cac:AccountingSupplierParty",
          {{"BR-DE-2", F, [](const TCtx& c) { return c.Has("cac:Party/cac:Contact"); },
            "Der Kontakt des Verkäufers (BG-6) fehlt."}}},
         {"/ubl:Invoice/cac:AccountingSupplierParty/cac:Party/cac:PostalAddress|"
          "/cn:CreditNote/cac:AccountingSupplierParty/cac:Party/cac:PostalAddress",
          {
              {"BR-DE-3", F, [](const TCtx& c) { return c.NonBlank("cbc:CityName"); }, "Der Ort des Verkäufers (BT-37) fehlt."},
              {"BR-DE-4", F, [](const TCtx& c) { return c.NonBlank("cbc:PostalZone"); },
               "Die Postleitzahl des Verkäufers (BT-38) fehlt."},
          }},
         {"/ubl:Invoice/cac:AccountingSupplierParty/cac:Party/cac:Contact|"
          "/cn:CreditNote/cac:AccountingSupplierParty/cac:Party/cac:Contact",
          {
              {"BR-DE-5", F, [](const TCtx& c) { return c.NonBlank("cbc:Name"); },
               "Der Ansprechpartner des Verkäufers (BT-41) fehlt."},
              {"BR-DE-6", F, [](const TCtx& c) { return c.NonBlank("cbc:Telephone"); },
               "Die Telefonnummer des Verkäufers (BT-42) fehlt."},
              {"BR-DE-7", F, [](const TCtx& c) { return c.NonBlank("cbc:ElectronicMail"); },
               "Die E-Mail-Adresse des Verkäufers (BT-43) fehlt."},
              {"BR-DE-27", W, [](const TCtx& c) { return OneMatches(c, "cbc:Telephone", xr::kTelephonePattern); },
               "Die Telefonnummer des Verkäufers (BT-42) soll mindestens drei Ziffern enthalten."},
              {"BR-DE-28", W, [](const TCtx& c) { return OneMatches(c, "cbc:ElectronicMail", xr::kEmailPattern); },
               "Die E-Mail-Adresse des Verkäufers (BT-43) sieht nicht wie eine E-Mail-Adresse aus (genau ein @, davor "
               "und danach Zeichen, kein Punkt am Anfang oder Ende)."},
          }},
         {"/ubl:Invoice/cac:AccountingCustomerParty/cac:Party/cac:PostalAddress|"
          "/cn:CreditNote/cac:AccountingCustomerParty/cac:Party/cac:PostalAddress",
          {
              {"BR-DE-8", F, [](const TCtx& c) { return c.NonBlank("cbc:CityName"); }, "Der Ort des Käufers (BT-52) fehlt."},
              {"BR-DE-9", F, [](const TCtx& c) { return c.NonBlank("cbc:PostalZone"); },
               "Die Postleitzahl des Käufers (BT-53) fehlt."},
          }},
         {"/ubl:Invoice/cac:Delivery/cac:DeliveryLocation/cac:Address|/cn:CreditNote/cac:Delivery/cac:DeliveryLocation/cac:Address",
          {
              {"BR-DE-10", F, [](const TCtx& c) { return c.NonBlank("cbc:CityName"); },
               "Zur Lieferanschrift (BG-15) fehlt der Ort (BT-77)."},
              {"BR-DE-11", F, [](const TCtx& c) { return c.NonBlank("cbc:PostalZone"); },
               "Zur Lieferanschrift (BG-15) fehlt die Postleitzahl (BT-78)."},
          }},
         {"/ubl:Invoice/cac:PaymentMeans|/cn:CreditNote/cac:PaymentMeans",
          {
              {"BR-DE-19", W,
               [](const TCtx& c) {
                   return c.Norm("cbc:PaymentMeansCode") != u"58" || xr::IbanHolds(c, "cac:PayeeFinancialAccount/cbc:ID");
               },
               "Bei einer SEPA-Überweisung (Code 58) soll die Kontonummer (BT-84) eine gültige IBAN sein."},
              {"BR-DE-23-a", F, [](const TCtx& c) { return c.Has("cac:PayeeFinancialAccount"); },
               "Zu einer Überweisung (Code 30 oder 58) fehlen die Kontoangaben (BG-17)."},
              {"BR-DE-23-b", F, [](const TCtx& c) { return !c.Has("cac:CardAccount") && !c.Has("cac:PaymentMandate"); },
               "Bei einer Überweisung (Code 30 oder 58) dürfen keine Karten- (BG-18) oder Lastschriftangaben (BG-19) "
               "stehen."},
          },
          [](const TCtx& c) { return c.AnyNorm("cbc:PaymentMeansCode", {"30", "58"}); }},
         {"/ubl:Invoice/cac:PaymentMeans|/cn:CreditNote/cac:PaymentMeans",
          {
              {"BR-DE-24-a", F, [](const TCtx& c) { return c.Has("cac:CardAccount"); },
               "Zu einer Kartenzahlung (Code 48, 54 oder 55) fehlen die Kartenangaben (BG-18)."},
              {"BR-DE-24-b", F,
               [](const TCtx& c) { return !c.Has("cac:PayeeFinancialAccount") && !c.Has("cac:PaymentMandate"); },
               "Bei einer Kartenzahlung dürfen keine Überweisungs- (BG-17) oder Lastschriftangaben (BG-19) stehen."},
          },
          [](const TCtx& c) { return c.AnyNorm("cbc:PaymentMeansCode", {"48", "54", "55"}); }},
         {"/ubl:Invoice/cac:PaymentMeans|/cn:CreditNote/cac:PaymentMeans",
          {
              {"BR-DE-20", W,
               [](const TCtx& c) {
                   return c.Norm("cbc:PaymentMeansCode") != u"59"
                       || xr::IbanHolds(c, "cac:PaymentMandate/cac:PayerFinancialAccount/cbc:ID");
               },
               "Bei einer SEPA-Lastschrift (Code 59) soll das zu belastende Konto (BT-91) eine gültige IBAN sein."},
              {"BR-DE-25-a", F, [](const TCtx& c) { return c.Has("cac:PaymentMandate"); },
               "Zu einer Lastschrift (Code 59) fehlen die Lastschriftangaben (BG-19)."},
              {"BR-DE-25-b", F,
               [](const TCtx& c) { return !c.Has("cac:PayeeFinancialAccount") && !c.Has("cac:CardAccount"); },
               "Bei einer Lastschrift dürfen keine Überweisungs- (BG-17) oder Kartenangaben (BG-18) stehen."},
          },
          [](const TCtx& c) { return c.AnyNorm("cbc:PaymentMeansCode", {"59"}); }},
         {"/ubl:Invoice/cac:TaxTotal/cac:TaxSubtotal|/cn:CreditNote/cac:TaxTotal/cac:TaxSubtotal",
          {{"BR-DE-14", F, [](const TCtx& c) { return c.NonBlank("cac:TaxCategory/cbc:Percent"); },
            "Zur Steueraufschlüsselung fehlt der Steuersatz (BT-119)."}}},
     }},
    {"XRechnung Extension",
     {
         {"cbc:EmbeddedDocumentBinaryObject",
          {{"BR-DEX-01", F,
            [](const TCtx& c) {
                static const char* const kTypes[] = {"application/pdf", "image/png", "image/jpeg", "text/csv",
                                                     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
                                                     "application/vnd.oasis.opendocument.spreadsheet", "application/xml"};
                const QString type = c.Attr("mimeCode");
                for (const char* t : kTypes) {
                    if (type == QLatin1String(t))
                        return true;
                }
                return false;
            },
            "Der MIME-Typ des Anhangs (BT-125) ist nicht erlaubt; die Extension erlaubt zu den üblichen Typen auch "
            "application/xml."}},
          xr::IsExtension},
         {"/ubl:Invoice",
          {
              {"BR-DEX-02", W,
               [](const TCtx& c) {
                   auto sumOfSubLines = [](_xmlNode* parent) {
                       TDecimal sum;
                       for (_xmlNode* sub : xq::Select(parent, "cac:SubInvoiceLine"))
                           for (const QString& v : xq::Values(sub, "cbc:LineExtensionAmount"))
                               sum += xq::Decimal(v);
                       return sum;
                   };
                   auto equalsSum = [&](_xmlNode* line) {
                       const std::vector<QString> own = xq::Values(line, "cbc:LineExtensionAmount");
                       if (own.size() > 1)
                           throw TEvalError{QStringLiteral("mehr als ein Nettobetrag in einer Position")};
                       return !own.empty() && xq::Decimal(own.front()) == sumOfSubLines(line);
                   };
                   for (_xmlNode* line : c.Sel("cac:InvoiceLine[cac:SubInvoiceLine]")) {
                       if (!equalsSum(line))
                           return false;
                   }
                   std::vector<_xmlNode*> stack = c.Sel("cac:InvoiceLine/cac:SubInvoiceLine");
                   while (!stack.empty()) {
                       _xmlNode* sub = stack.back();
                       stack.pop_back();
                       const std::vector<_xmlNode*> children = xq::Select(sub, "cac:SubInvoiceLine");
                       if (!children.empty() && !equalsSum(sub))
                           return false;
                       stack.insert(stack.end(), children.begin(), children.end());
                   }
                   return true;
               },
               "Der Nettobetrag einer Position oder Unterposition (BT-131) soll die Summe der Nettobeträge ihrer "
               "direkten Unterpositionen sein."},
              {"BR-DEX-03", F,
               [](const TCtx& c) {
                   std::vector<_xmlNode*> stack = c.Sel("cac:InvoiceLine/cac:SubInvoiceLine");
                   while (!stack.empty()) {
                       _xmlNode* sub = stack.back();
                       stack.pop_back();
                       for (_xmlNode* item : xq::Select(sub, "cac:Item")) {
                           if (xq::Count(item, "cac:ClassifiedTaxCategory") != 1)
                               return false;
                       }
                       const std::vector<_xmlNode*> children = xq::Select(sub, "cac:SubInvoiceLine");
                       stack.insert(stack.end(), children.begin(), children.end());
                   }
                   return true;
               },
               "Jede Unterposition (BG-DEX-01) muss genau eine Umsatzsteuerangabe (BG-DEX-06) haben."},
          },
          xr::IsExtension},
         {"cac:LegalMonetaryTotal",
          {{"BR-DEX-09", F,
            [](const TCtx& c) {
                const TDecimal prepaid = c.Has("cbc:PrepaidAmount") ? xq::Decimal(c.Str("cbc:PrepaidAmount")) : TDecimal();
                const TDecimal rounding =
                    c.Has("cbc:PayableRoundingAmount") ? xq::Decimal(c.Str("cbc:PayableRoundingAmount")) : TDecimal();
                const TDecimal thirdParty =
                    c.NonBlank("../cac:PrepaidPayment/cbc:PaidAmount") ? DecimalSum(c, "../cac:PrepaidPayment/cbc:PaidAmount") : TDecimal();
                const std::optional<TDecimal> payable = OneDecimal(c, "cbc:PayableAmount");
                const std::optional<TDecimal> total = OneDecimal(c, "cbc:TaxInclusiveAmount");
                if (!payable || !total)
                    return false;
                return Round2(*payable - rounding) == Round2(*total - prepaid + thirdParty);
            },
            "Der fällige Betrag (BT-115) muss Gesamtbetrag mit Umsatzsteuer (BT-112) minus Vorauszahlung (BT-113) "
            "plus Rundung (BT-114) plus Zahlungen Dritter (BT-DEX-002) sein."}},
          xr::IsExtension},
         {"cac:PartyIdentification/cbc:ID[@schemeID]",
          {{"BR-DEX-04", F,
            [](const TCtx& c) {
                const QString scheme = c.Attr("schemeID");
                if (xr::OnXRechnungList(TCodeList::XRechnungIcd, scheme))
                    return true;
                return xq::NormalizeSpace(scheme) == u"SEPA"
                    && (xq::HasAncestor(c.Node, "cac:AccountingSupplierParty") || xq::HasAncestor(c.Node, "cac:PayeeParty"));
            },
            "Das Schema der Kennung muss aus der ICD-Liste (ISO 6523) stammen."}},
          xr::IsExtension},
         {"cac:PartyLegalEntity/cbc:CompanyID[@schemeID]",
          {{"BR-DEX-05", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungIcd, c.Attr("schemeID")); },
            "Das Schema der Registerkennung muss aus der ICD-Liste (ISO 6523) stammen."}},
          xr::IsExtension},
         {"cac:StandardItemIdentification/cbc:ID[@schemeID]",
          {{"BR-DEX-06", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungIcd, c.Attr("schemeID")); },
            "Das Schema der Artikelkennung muss aus der ICD-Liste (ISO 6523) stammen."}},
          xr::IsExtension},
         {"cbc:EndpointID[@schemeID]",
          {{"BR-DEX-07", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungEas, c.Attr("schemeID")); },
            "Das Schema der elektronischen Adresse muss aus der EAS-Liste stammen."}},
          xr::IsExtension},
         {"cac:DeliveryLocation/cbc:ID[@schemeID]",
          {{"BR-DEX-08", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungIcd, c.Attr("schemeID")); },
            "Das Schema der Kennung des Lieferorts muss aus der ICD-Liste (ISO 6523) stammen."}},
          xr::IsExtension},
         {"/ubl:Invoice/cac:PrepaidPayment",
          {
              {"BR-DEX-10", F, [](const TCtx& c) { return c.NonBlank("cbc:ID"); },
               "Zur Zahlung eines Dritten (BG-DEX-09) fehlt die Art (BT-DEX-001)."},
              {"BR-DEX-11", F, [](const TCtx& c) { return c.NonBlank("cbc:PaidAmount"); },
               "Zur Zahlung eines Dritten (BG-DEX-09) fehlt der Betrag (BT-DEX-002)."},
              {"BR-DEX-12", F, [](const TCtx& c) { return c.NonBlank("cbc:InstructionID"); },
               "Zur Zahlung eines Dritten (BG-DEX-09) fehlt die Beschreibung (BT-DEX-003)."},
              {"BR-DEX-13", F, [](const TCtx& c) { return AtMostTwoDecimals(c, "cbc:PaidAmount"); },
               "Der Betrag der Zahlung eines Dritten (BT-DEX-002) darf höchstens zwei Nachkommastellen haben."},
              {"BR-DEX-14", F,
               [](const TCtx& c) {
                   const std::vector<QString> currencies = c.Vals("cbc:PaidAmount/@currencyID");
                   for (const QString& d : c.Vals("../cbc:DocumentCurrencyCode")) {
                       if (std::find(currencies.begin(), currencies.end(), d) != currencies.end())
                           return true;
                   }
                   return false;
               },
               "Die Währung der Zahlung eines Dritten (BT-DEX-002) muss die Rechnungswährung (BT-5) sein."},
          },
          xr::IsExtension},
     }},
    {"XRechnung CVD",
     {
         {"/ubl:Invoice|/cn:CreditNote",
          {
              {"BR-DE-CVD-02", F, [](const TCtx& c) { return c.NonBlank("cac:OriginatorDocumentReference/cbc:ID"); },
               "Die Vergabe- oder Losnummer (BT-17) fehlt."},
              {"BR-DE-CVD-01", F, [](const TCtx& c) { return c.NonBlank("cac:ContractDocumentReference/cbc:ID"); },
               "Die Vertragsnummer (BT-12) fehlt."},
              {"BR-DE-CVD-03", F,
               [](const TCtx& c) {
                   for (_xmlNode* item : c.Sel("cac:InvoiceLine/cac:Item|cac:CreditNoteLine/cac:Item")) {
                       if (xq::Exists(item, "cac:CommodityClassification/cbc:ItemClassificationCode[@listID=='CVD']")
                           && xq::Exists(item, "cac:AdditionalItemProperty/cbc:Name[.=='cva']"))
                           return true;
                   }
                   return false;
               },
               "Mindestens eine Position muss ein Fahrzeug nach der Clean Vehicles Directive nennen: eine "
               "Klassifizierung mit dem Schema CVD (BT-158) und ein Merkmal „cva“ (BT-160)."},
          },
          xr::IsCvd},
         {"/ubl:Invoice/cac:InvoiceLine/cac:Item|/cn:CreditNote/cac:CreditNoteLine/cac:Item",
          {
              {"BR-DE-CVD-06-a", F,
               [](const TCtx& c) {
                   return !c.Has("cac:CommodityClassification/cbc:ItemClassificationCode[@listID=='CVD']")
                       || c.Count("cac:AdditionalItemProperty[cbc:Name=='cva']") == 1;
               },
               "Eine Position mit einer Klassifizierung nach CVD muss genau ein Merkmal „cva“ haben."},
              {"BR-DE-CVD-06-b", F,
               [](const TCtx& c) {
                   return !c.Has("cac:AdditionalItemProperty[cbc:Name=='cva']")
                       || c.Count("cac:CommodityClassification/cbc:ItemClassificationCode[@listID=='CVD']") == 1;
               },
               "Eine Position mit dem Merkmal „cva“ muss genau eine Klassifizierung nach CVD haben."},
          },
          xr::IsCvd},
         {"/ubl:Invoice/cac:InvoiceLine/cac:Item/cac:CommodityClassification/cbc:ItemClassificationCode|"
          "/cn:CreditNote/cac:CreditNoteLine/cac:Item/cac:CommodityClassification/cbc:ItemClassificationCode",
          {
              {"BR-TMP-CVD-01", F, [](const TCtx& c) { return xr::OnXRechnungList(TCodeList::XRechnungUntdid7143Cvd, c.Attr("listID")); },
               "Das Schema der Klassifizierung (BT-158) muss aus UNTDID 7143 stammen oder CVD sein."},
              {"BR-DE-CVD-04", F,
               [](const TCtx& c) {
                   if (xq::NormalizeSpace(c.Attr("listID")) != u"CVD")
                       return true;
                   const QString v = xq::NormalizeSpace(c.Text());
                   for (const char* k : {"M1", "M2", "M3", "N1", "N2", "N3"}) {
                       if (v == QLatin1String(k))
                           return true;
                   }
                   return false;
               },
               "Eine Klassifizierung nach CVD muss eine der Fahrzeugklassen M1, M2, M3, N1, N2 oder N3 nennen."},
          },
          xr::IsCvd},
         {"/ubl:Invoice/cac:InvoiceLine/cac:Item/cac:AdditionalItemProperty[cbc:Name=='cva']|"
          "/cn:CreditNote/cac:CreditNoteLine/cac:Item/cac:AdditionalItemProperty[cbc:Name=='cva']",
          {{"BR-DE-CVD-05", F, [](const TCtx& c) { return c.AnyNorm("cbc:Value", {"clean", "zero-emission", "other"}) && c.Count("cbc:Value") == 1; },
            "Das Merkmal „cva“ muss den Wert clean, zero-emission oder other haben."}},
          xr::IsCvd},
     }},
};

} // namespace

const std::vector<TPattern>& XRechnungUblPatterns()
{
    return kPatterns;
}

} // namespace checks
