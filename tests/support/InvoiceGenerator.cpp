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

} // namespace

QByteArray GeneratedUblInvoice(int lines)
{
    const TDecimal zero;
    TDecimal net19 = zero, net7 = zero;
    QByteArray body;
    body.reserve(lines * 1100);
    for (int i = 1; i <= lines; ++i) {
        const bool reduced = i % 3 == 0;
        const TDecimal quantity = TDecimal::FromInt(1 + i % 7);
        const TDecimal price = D((QByteArray::number(10 + i % 90) + ".25").constData());
        const bool allowance = i % 10 == 0;
        const TDecimal discount = allowance ? D("1.50") : zero;
        const TDecimal lineNet = (quantity * price - discount).RoundHalfUp(2);
        (reduced ? net7 : net19) += lineNet;
        body += "  <cac:InvoiceLine>\n    <cbc:ID>" + QByteArray::number(i) + "</cbc:ID>\n"
                "    <cbc:InvoicedQuantity unitCode=\"C62\">" + quantity.ToString().toLatin1() + "</cbc:InvoicedQuantity>\n"
                "    <cbc:LineExtensionAmount currencyID=\"EUR\">" + Amount(lineNet) + "</cbc:LineExtensionAmount>\n";
        if (allowance)
            body += "    <cac:AllowanceCharge>\n      <cbc:ChargeIndicator>false</cbc:ChargeIndicator>\n"
                    "      <cbc:AllowanceChargeReason>Mengenrabatt</cbc:AllowanceChargeReason>\n"
                    "      <cbc:Amount currencyID=\"EUR\">1.50</cbc:Amount>\n    </cac:AllowanceCharge>\n";
        body += "    <cac:Item>\n      <cbc:Description>Artikel Nummer " + QByteArray::number(i) + " aus dem Katalog, Ausführung Standard</cbc:Description>\n"
                "      <cbc:Name>Artikel " + QByteArray::number(i) + "</cbc:Name>\n"
                "      <cac:SellersItemIdentification><cbc:ID>A-" + QByteArray::number(100000 + i) + "</cbc:ID></cac:SellersItemIdentification>\n"
                "      <cac:ClassifiedTaxCategory>\n        <cbc:ID>S</cbc:ID>\n        <cbc:Percent>" + (reduced ? "7" : "19") + "</cbc:Percent>\n"
                "        <cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme>\n      </cac:ClassifiedTaxCategory>\n    </cac:Item>\n"
                "    <cac:Price><cbc:PriceAmount currencyID=\"EUR\">" + price.ToString().toLatin1() + "</cbc:PriceAmount></cac:Price>\n"
                "  </cac:InvoiceLine>\n";
    }
    const TDecimal vat19 = (net19 * D("0.19")).RoundHalfUp(2);
    const TDecimal vat7 = (net7 * D("0.07")).RoundHalfUp(2);
    const TDecimal net = net19 + net7;
    const TDecimal vat = vat19 + vat7;
    const TDecimal gross = net + vat;
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
    <cbc:TaxAmount currencyID="EUR">)" + Amount(vat) + "</cbc:TaxAmount>\n" + subtotal(net19, vat19, "19") + subtotal(net7, vat7, "7") + R"(  </cac:TaxTotal>
  <cac:LegalMonetaryTotal>
    <cbc:LineExtensionAmount currencyID="EUR">)" + Amount(net) + R"(</cbc:LineExtensionAmount>
    <cbc:TaxExclusiveAmount currencyID="EUR">)" + Amount(net) + R"(</cbc:TaxExclusiveAmount>
    <cbc:TaxInclusiveAmount currencyID="EUR">)" + Amount(gross) + R"(</cbc:TaxInclusiveAmount>
    <cbc:PayableAmount currencyID="EUR">)" + Amount(gross) + R"(</cbc:PayableAmount>
  </cac:LegalMonetaryTotal>
)" + body + "</ubl:Invoice>\n";
    return xml;
}
