#include "tests/support/InvoiceGenerator.h"

#include "model/Decimal.h"

namespace {

TDecimal D(const char* text)
{
    return *TDecimal::Parse(QString::fromLatin1(text));
}

QByteArray Amount(const TDecimal& d)
{
    return d.RoundHalfUp(2).ToString().toLatin1();
}

// One generated line: the same figures in both syntaxes.
struct TLine
{
    int Number;
    bool Reduced;
    TDecimal Quantity;
    TDecimal Price;
    bool Allowance;
    TDecimal Net;
};

TLine LineNumber(int i)
{
    TLine l;
    l.Number = i;
    l.Reduced = i % 3 == 0;
    l.Quantity = TDecimal::FromInt(1 + i % 7);
    l.Price = D((QByteArray::number(10 + i % 90) + ".25").constData());
    l.Allowance = i % 10 == 0;
    l.Net = (l.Quantity * l.Price - (l.Allowance ? D("1.50") : TDecimal())).RoundHalfUp(2);
    return l;
}

// The totals of all lines.
struct TTotals
{
    TDecimal Net19, Net7, Vat19, Vat7, Net, Vat, Gross;

    void Add(const TLine& l) { (l.Reduced ? Net7 : Net19) += l.Net; }
    void Finish()
    {
        Vat19 = (Net19 * D("0.19")).RoundHalfUp(2);
        Vat7 = (Net7 * D("0.07")).RoundHalfUp(2);
        Net = Net19 + Net7;
        Vat = Vat19 + Vat7;
        Gross = Net + Vat;
    }
};

} // namespace

QByteArray GeneratedUblInvoice(int lines, TLineFault fault)
{
    TTotals t;
    QByteArray body;
    body.reserve(lines * 1100);
    for (int i = 1; i <= lines; ++i) {
        const TLine l = LineNumber(i);
        t.Add(l);
        const bool reduced = l.Reduced;
        const TDecimal& price = l.Price;
        body += "  <cac:InvoiceLine>\n    <cbc:ID>" + QByteArray::number(i) + "</cbc:ID>\n";
        if (fault == TLineFault::UnexpectedElement)
            body += "    <cbc:Unerwartet>" + QByteArray::number(i) + "</cbc:Unerwartet>\n";
        body += "    <cbc:InvoicedQuantity unitCode=\"C62\">" + l.Quantity.ToString().toLatin1() + "</cbc:InvoicedQuantity>\n"
                "    <cbc:LineExtensionAmount currencyID=\"EUR\">" + Amount(l.Net) + "</cbc:LineExtensionAmount>\n";
        if (l.Allowance)
            body += "    <cac:AllowanceCharge>\n      <cbc:ChargeIndicator>false</cbc:ChargeIndicator>\n"
                    "      <cbc:AllowanceChargeReason>Mengenrabatt</cbc:AllowanceChargeReason>\n"
                    "      <cbc:Amount currencyID=\"EUR\">1.50</cbc:Amount>\n    </cac:AllowanceCharge>\n";
        body += "    <cac:Item>\n      <cbc:Description>Artikel Nummer " + QByteArray::number(i) + " aus dem Katalog, Ausführung Standard</cbc:Description>\n";
        if (fault != TLineFault::NoItemName)
            body += "      <cbc:Name>Artikel " + QByteArray::number(i) + "</cbc:Name>\n";
        body +=
                "      <cac:SellersItemIdentification><cbc:ID>A-" + QByteArray::number(100000 + i) + "</cbc:ID></cac:SellersItemIdentification>\n"
                "      <cac:ClassifiedTaxCategory>\n        <cbc:ID>S</cbc:ID>\n        <cbc:Percent>" + (reduced ? "7" : "19") + "</cbc:Percent>\n"
                "        <cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme>\n      </cac:ClassifiedTaxCategory>\n    </cac:Item>\n"
                "    <cac:Price><cbc:PriceAmount currencyID=\"EUR\">" + price.ToString().toLatin1() + "</cbc:PriceAmount></cac:Price>\n"
                "  </cac:InvoiceLine>\n";
    }
    t.Finish();
    auto subtotal = [](const TDecimal& base, const TDecimal& tax, const char* rate) {
        return "    <cac:TaxSubtotal>\n      <cbc:TaxableAmount currencyID=\"EUR\">" + Amount(base) + "</cbc:TaxableAmount>\n"
               "      <cbc:TaxAmount currencyID=\"EUR\">" + Amount(tax) + "</cbc:TaxAmount>\n"
               "      <cac:TaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>" + QByteArray(rate) + "</cbc:Percent>"
               "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:TaxCategory>\n    </cac:TaxSubtotal>\n";
    };
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<ubl:Invoice xmlns:ubl="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2"
    xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
    xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">
  <cbc:CustomizationID>urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0</cbc:CustomizationID>
  <cbc:ProfileID>urn:fdc:peppol.eu:2017:poacc:billing:01:1.0</cbc:ProfileID>
  <cbc:ID>GEN-2026-)" + QByteArray::number(lines) + R"(</cbc:ID>
  <cbc:IssueDate>2026-12-01</cbc:IssueDate>
  <cbc:DueDate>2026-12-31</cbc:DueDate>
  <cbc:InvoiceTypeCode>380</cbc:InvoiceTypeCode>
  <cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>
  <cbc:BuyerReference>04011000-12345-03</cbc:BuyerReference>
  <cac:InvoicePeriod><cbc:StartDate>2026-11-01</cbc:StartDate><cbc:EndDate>2026-11-30</cbc:EndDate></cac:InvoicePeriod>
  <cac:AccountingSupplierParty>
    <cac:Party>
      <cbc:EndpointID schemeID="EM">rechnung@grosshandel.example</cbc:EndpointID>
      <cac:PostalAddress>
        <cbc:StreetName>Lagerstraße 10</cbc:StreetName><cbc:CityName>Hamburg</cbc:CityName><cbc:PostalZone>20095</cbc:PostalZone>
        <cac:Country><cbc:IdentificationCode>DE</cbc:IdentificationCode></cac:Country>
      </cac:PostalAddress>
      <cac:PartyTaxScheme><cbc:CompanyID>DE123456789</cbc:CompanyID><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:PartyTaxScheme>
      <cac:PartyLegalEntity><cbc:RegistrationName>Großhandel Nord GmbH</cbc:RegistrationName></cac:PartyLegalEntity>
      <cac:Contact><cbc:Name>Vertrieb</cbc:Name><cbc:Telephone>040 123456</cbc:Telephone><cbc:ElectronicMail>vertrieb@grosshandel.example</cbc:ElectronicMail></cac:Contact>
    </cac:Party>
  </cac:AccountingSupplierParty>
  <cac:AccountingCustomerParty>
    <cac:Party>
      <cbc:EndpointID schemeID="EM">eingang@behoerde.example</cbc:EndpointID>
      <cac:PostalAddress>
        <cbc:StreetName>Amtsplatz 1</cbc:StreetName><cbc:CityName>Kiel</cbc:CityName><cbc:PostalZone>24103</cbc:PostalZone>
        <cac:Country><cbc:IdentificationCode>DE</cbc:IdentificationCode></cac:Country>
      </cac:PostalAddress>
      <cac:PartyLegalEntity><cbc:RegistrationName>Landesamt</cbc:RegistrationName></cac:PartyLegalEntity>
    </cac:Party>
  </cac:AccountingCustomerParty>
  <cac:PaymentMeans>
    <cbc:PaymentMeansCode>58</cbc:PaymentMeansCode>
    <cac:PayeeFinancialAccount><cbc:ID>DE75512108001245126199</cbc:ID></cac:PayeeFinancialAccount>
  </cac:PaymentMeans>
  <cac:PaymentTerms><cbc:Note>Zahlbar innerhalb von 30 Tagen.</cbc:Note></cac:PaymentTerms>
  <cac:TaxTotal>
    <cbc:TaxAmount currencyID="EUR">)" + Amount(t.Vat) + "</cbc:TaxAmount>\n" + subtotal(t.Net19, t.Vat19, "19") + subtotal(t.Net7, t.Vat7, "7") + R"(  </cac:TaxTotal>
  <cac:LegalMonetaryTotal>
    <cbc:LineExtensionAmount currencyID="EUR">)" + Amount(t.Net) + R"(</cbc:LineExtensionAmount>
    <cbc:TaxExclusiveAmount currencyID="EUR">)" + Amount(t.Net) + R"(</cbc:TaxExclusiveAmount>
    <cbc:TaxInclusiveAmount currencyID="EUR">)" + Amount(t.Gross) + R"(</cbc:TaxInclusiveAmount>
    <cbc:PayableAmount currencyID="EUR">)" + Amount(t.Gross) + R"(</cbc:PayableAmount>
  </cac:LegalMonetaryTotal>
)" + body + "</ubl:Invoice>\n";
    return xml;
}

QByteArray GeneratedCiiInvoice(int lines, TLineFault fault)
{
    TTotals t;
    QByteArray body;
    body.reserve(lines * 1400);
    for (int i = 1; i <= lines; ++i) {
        const TLine l = LineNumber(i);
        t.Add(l);
        const QByteArray n = QByteArray::number(i);
        body += "    <ram:IncludedSupplyChainTradeLineItem>\n"
                "      <ram:AssociatedDocumentLineDocument><ram:LineID>" + n + "</ram:LineID>";
        if (fault == TLineFault::UnexpectedElement)
            body += "<ram:Unerwartet>" + n + "</ram:Unerwartet>";
        body += "</ram:AssociatedDocumentLineDocument>\n"
                "      <ram:SpecifiedTradeProduct><ram:SellerAssignedID>A-" + QByteArray::number(100000 + i) + "</ram:SellerAssignedID>";
        if (fault != TLineFault::NoItemName)
            body += "<ram:Name>Artikel " + n + "</ram:Name>";
        body += "<ram:Description>Artikel Nummer " + n + " aus dem Katalog, Ausführung Standard</ram:Description></ram:SpecifiedTradeProduct>\n"
                "      <ram:SpecifiedLineTradeAgreement><ram:NetPriceProductTradePrice><ram:ChargeAmount>" + l.Price.ToString().toLatin1() +
                "</ram:ChargeAmount></ram:NetPriceProductTradePrice></ram:SpecifiedLineTradeAgreement>\n"
                "      <ram:SpecifiedLineTradeDelivery><ram:BilledQuantity unitCode=\"C62\">" + l.Quantity.ToString().toLatin1() +
                "</ram:BilledQuantity></ram:SpecifiedLineTradeDelivery>\n"
                "      <ram:SpecifiedLineTradeSettlement>\n"
                "        <ram:ApplicableTradeTax><ram:TypeCode>VAT</ram:TypeCode><ram:CategoryCode>S</ram:CategoryCode><ram:RateApplicablePercent>" +
                (l.Reduced ? "7" : "19") + "</ram:RateApplicablePercent></ram:ApplicableTradeTax>\n";
        if (l.Allowance)
            body += "        <ram:SpecifiedTradeAllowanceCharge><ram:ChargeIndicator><udt:Indicator>false</udt:Indicator></ram:ChargeIndicator>"
                    "<ram:ActualAmount>1.50</ram:ActualAmount><ram:Reason>Mengenrabatt</ram:Reason></ram:SpecifiedTradeAllowanceCharge>\n";
        body += "        <ram:SpecifiedTradeSettlementLineMonetarySummation><ram:LineTotalAmount>" + Amount(l.Net) +
                "</ram:LineTotalAmount></ram:SpecifiedTradeSettlementLineMonetarySummation>\n"
                "      </ram:SpecifiedLineTradeSettlement>\n"
                "    </ram:IncludedSupplyChainTradeLineItem>\n";
    }
    t.Finish();
    auto tax = [](const TDecimal& base, const TDecimal& vat, const char* rate) {
        return "      <ram:ApplicableTradeTax><ram:CalculatedAmount>" + Amount(vat) + "</ram:CalculatedAmount><ram:TypeCode>VAT</ram:TypeCode>"
               "<ram:BasisAmount>" + Amount(base) + "</ram:BasisAmount><ram:CategoryCode>S</ram:CategoryCode><ram:RateApplicablePercent>" +
               QByteArray(rate) + "</ram:RateApplicablePercent></ram:ApplicableTradeTax>\n";
    };
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<rsm:CrossIndustryInvoice xmlns:rsm="urn:un:unece:uncefact:data:standard:CrossIndustryInvoice:100"
    xmlns:ram="urn:un:unece:uncefact:data:standard:ReusableAggregateBusinessInformationEntity:100"
    xmlns:qdt="urn:un:unece:uncefact:data:standard:QualifiedDataType:100"
    xmlns:udt="urn:un:unece:uncefact:data:standard:UnqualifiedDataType:100">
  <rsm:ExchangedDocumentContext>
    <ram:BusinessProcessSpecifiedDocumentContextParameter><ram:ID>urn:fdc:peppol.eu:2017:poacc:billing:01:1.0</ram:ID></ram:BusinessProcessSpecifiedDocumentContextParameter>
    <ram:GuidelineSpecifiedDocumentContextParameter><ram:ID>urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0</ram:ID></ram:GuidelineSpecifiedDocumentContextParameter>
  </rsm:ExchangedDocumentContext>
  <rsm:ExchangedDocument>
    <ram:ID>GEN-2026-)" + QByteArray::number(lines) + R"(</ram:ID>
    <ram:TypeCode>380</ram:TypeCode>
    <ram:IssueDateTime><udt:DateTimeString format="102">20261201</udt:DateTimeString></ram:IssueDateTime>
  </rsm:ExchangedDocument>
  <rsm:SupplyChainTradeTransaction>
)" + body + R"(    <ram:ApplicableHeaderTradeAgreement>
      <ram:BuyerReference>04011000-12345-03</ram:BuyerReference>
      <ram:SellerTradeParty>
        <ram:Name>Großhandel Nord GmbH</ram:Name>
        <ram:DefinedTradeContact><ram:PersonName>Vertrieb</ram:PersonName><ram:TelephoneUniversalCommunication><ram:CompleteNumber>040 123456</ram:CompleteNumber></ram:TelephoneUniversalCommunication><ram:EmailURIUniversalCommunication><ram:URIID>vertrieb@grosshandel.example</ram:URIID></ram:EmailURIUniversalCommunication></ram:DefinedTradeContact>
        <ram:PostalTradeAddress><ram:PostcodeCode>20095</ram:PostcodeCode><ram:LineOne>Lagerstraße 10</ram:LineOne><ram:CityName>Hamburg</ram:CityName><ram:CountryID>DE</ram:CountryID></ram:PostalTradeAddress>
        <ram:URIUniversalCommunication><ram:URIID schemeID="EM">rechnung@grosshandel.example</ram:URIID></ram:URIUniversalCommunication>
        <ram:SpecifiedTaxRegistration><ram:ID schemeID="VA">DE123456789</ram:ID></ram:SpecifiedTaxRegistration>
      </ram:SellerTradeParty>
      <ram:BuyerTradeParty>
        <ram:Name>Landesamt</ram:Name>
        <ram:PostalTradeAddress><ram:PostcodeCode>24103</ram:PostcodeCode><ram:LineOne>Amtsplatz 1</ram:LineOne><ram:CityName>Kiel</ram:CityName><ram:CountryID>DE</ram:CountryID></ram:PostalTradeAddress>
        <ram:URIUniversalCommunication><ram:URIID schemeID="EM">eingang@behoerde.example</ram:URIID></ram:URIUniversalCommunication>
      </ram:BuyerTradeParty>
    </ram:ApplicableHeaderTradeAgreement>
    <ram:ApplicableHeaderTradeDelivery/>
    <ram:ApplicableHeaderTradeSettlement>
      <ram:InvoiceCurrencyCode>EUR</ram:InvoiceCurrencyCode>
      <ram:SpecifiedTradeSettlementPaymentMeans><ram:TypeCode>58</ram:TypeCode><ram:PayeePartyCreditorFinancialAccount><ram:IBANID>DE75512108001245126199</ram:IBANID></ram:PayeePartyCreditorFinancialAccount></ram:SpecifiedTradeSettlementPaymentMeans>
)" + tax(t.Net19, t.Vat19, "19") + tax(t.Net7, t.Vat7, "7") + R"(      <ram:BillingSpecifiedPeriod><ram:StartDateTime><udt:DateTimeString format="102">20261101</udt:DateTimeString></ram:StartDateTime><ram:EndDateTime><udt:DateTimeString format="102">20261130</udt:DateTimeString></ram:EndDateTime></ram:BillingSpecifiedPeriod>
      <ram:SpecifiedTradePaymentTerms><ram:Description>Zahlbar innerhalb von 30 Tagen.</ram:Description><ram:DueDateDateTime><udt:DateTimeString format="102">20261231</udt:DateTimeString></ram:DueDateDateTime></ram:SpecifiedTradePaymentTerms>
      <ram:SpecifiedTradeSettlementHeaderMonetarySummation>
        <ram:LineTotalAmount>)" + Amount(t.Net) + R"(</ram:LineTotalAmount>
        <ram:TaxBasisTotalAmount>)" + Amount(t.Net) + R"(</ram:TaxBasisTotalAmount>
        <ram:TaxTotalAmount currencyID="EUR">)" + Amount(t.Vat) + R"(</ram:TaxTotalAmount>
        <ram:GrandTotalAmount>)" + Amount(t.Gross) + R"(</ram:GrandTotalAmount>
        <ram:DuePayableAmount>)" + Amount(t.Gross) + R"(</ram:DuePayableAmount>
      </ram:SpecifiedTradeSettlementHeaderMonetarySummation>
    </ram:ApplicableHeaderTradeSettlement>
  </rsm:SupplyChainTradeTransaction>
</rsm:CrossIndustryInvoice>
)";
}
