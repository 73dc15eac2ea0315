#include "model/CodeNames.h"

#include <QHash>

namespace {

using TNames = QHash<QString, QString>;

const TNames& Names(TCodeKind kind)
{
    static const TNames invoiceTypes{
        {QStringLiteral("326"), QStringLiteral("Teilrechnung")},
        {QStringLiteral("380"), QStringLiteral("Rechnung")},
        {QStringLiteral("381"), QStringLiteral("Gutschrift")},
        {QStringLiteral("383"), QStringLiteral("Belastungsanzeige")},
        {QStringLiteral("384"), QStringLiteral("Korrigierte Rechnung")},
        {QStringLiteral("386"), QStringLiteral("Vorauszahlungsrechnung")},
        {QStringLiteral("389"), QStringLiteral("Vom Käufer ausgestellte Rechnung (Gutschriftverfahren)")},
        {QStringLiteral("393"), QStringLiteral("Factoring-Rechnung")},
        {QStringLiteral("751"), QStringLiteral("Rechnungsangaben für Buchungszwecke")},
        {QStringLiteral("875"), QStringLiteral("Abschlagsrechnung (Bauleistung)")},
        {QStringLiteral("876"), QStringLiteral("Teilschlussrechnung (Bauleistung)")},
        {QStringLiteral("877"), QStringLiteral("Schlussrechnung (Bauleistung)")},
    };
    static const TNames vatCategories{
        {QStringLiteral("S"), QStringLiteral("Normalsatz")},
        {QStringLiteral("Z"), QStringLiteral("Nullsatz")},
        {QStringLiteral("E"), QStringLiteral("steuerbefreit")},
        {QStringLiteral("AE"), QStringLiteral("Steuerschuld des Leistungsempfängers")},
        {QStringLiteral("K"), QStringLiteral("innergemeinschaftliche Lieferung")},
        {QStringLiteral("G"), QStringLiteral("Ausfuhr, steuerfrei")},
        {QStringLiteral("O"), QStringLiteral("nicht steuerbar")},
        {QStringLiteral("L"), QStringLiteral("Kanarische Inseln (IGIC)")},
        {QStringLiteral("M"), QStringLiteral("Ceuta und Melilla (IPSI)")},
    };
    static const TNames paymentMeans{
        {QStringLiteral("1"), QStringLiteral("nicht festgelegt")},
        {QStringLiteral("10"), QStringLiteral("bar")},
        {QStringLiteral("20"), QStringLiteral("Scheck")},
        {QStringLiteral("30"), QStringLiteral("Überweisung")},
        {QStringLiteral("31"), QStringLiteral("Überweisung (Auslandszahlung)")},
        {QStringLiteral("42"), QStringLiteral("Zahlung auf ein Bankkonto")},
        {QStringLiteral("48"), QStringLiteral("Bankkarte")},
        {QStringLiteral("49"), QStringLiteral("Lastschrift")},
        {QStringLiteral("54"), QStringLiteral("Kreditkarte")},
        {QStringLiteral("55"), QStringLiteral("Debitkarte")},
        {QStringLiteral("57"), QStringLiteral("Dauerauftrag")},
        {QStringLiteral("58"), QStringLiteral("SEPA-Überweisung")},
        {QStringLiteral("59"), QStringLiteral("SEPA-Lastschrift")},
        {QStringLiteral("68"), QStringLiteral("Online-Zahlung")},
        {QStringLiteral("97"), QStringLiteral("Verrechnung")},
        {QStringLiteral("ZZZ"), QStringLiteral("vereinbarte Zahlungsart")},
    };
    static const TNames units{
        {QStringLiteral("C62"), QStringLiteral("Stück")},  {QStringLiteral("H87"), QStringLiteral("Stück")},
        {QStringLiteral("XPP"), QStringLiteral("Stück")},  {QStringLiteral("EA"), QStringLiteral("Stück")},
        {QStringLiteral("HUR"), QStringLiteral("Stunde")}, {QStringLiteral("MIN"), QStringLiteral("Minute")},
        {QStringLiteral("DAY"), QStringLiteral("Tag")},    {QStringLiteral("WEE"), QStringLiteral("Woche")},
        {QStringLiteral("MON"), QStringLiteral("Monat")},  {QStringLiteral("ANN"), QStringLiteral("Jahr")},
        {QStringLiteral("KGM"), QStringLiteral("kg")},     {QStringLiteral("GRM"), QStringLiteral("g")},
        {QStringLiteral("TNE"), QStringLiteral("t")},      {QStringLiteral("MTR"), QStringLiteral("m")},
        {QStringLiteral("KMT"), QStringLiteral("km")},     {QStringLiteral("CMT"), QStringLiteral("cm")},
        {QStringLiteral("MTK"), QStringLiteral("m²")},     {QStringLiteral("MTQ"), QStringLiteral("m³")},
        {QStringLiteral("LTR"), QStringLiteral("l")},      {QStringLiteral("KWH"), QStringLiteral("kWh")},
        {QStringLiteral("MWH"), QStringLiteral("MWh")},    {QStringLiteral("LS"), QStringLiteral("pauschal")},
        {QStringLiteral("SET"), QStringLiteral("Satz")},   {QStringLiteral("PR"), QStringLiteral("Paar")},
        {QStringLiteral("P1"), QStringLiteral("Prozent")}, {QStringLiteral("E48"), QStringLiteral("Leistungseinheit")},
        {QStringLiteral("XBX"), QStringLiteral("Karton")}, {QStringLiteral("XPK"), QStringLiteral("Packung")},
    };
    static const TNames countries{
        {QStringLiteral("DE"), QStringLiteral("Deutschland")}, {QStringLiteral("AT"), QStringLiteral("Österreich")},
        {QStringLiteral("CH"), QStringLiteral("Schweiz")},     {QStringLiteral("FR"), QStringLiteral("Frankreich")},
        {QStringLiteral("NL"), QStringLiteral("Niederlande")}, {QStringLiteral("BE"), QStringLiteral("Belgien")},
        {QStringLiteral("LU"), QStringLiteral("Luxemburg")},   {QStringLiteral("IT"), QStringLiteral("Italien")},
        {QStringLiteral("ES"), QStringLiteral("Spanien")},     {QStringLiteral("PL"), QStringLiteral("Polen")},
        {QStringLiteral("CZ"), QStringLiteral("Tschechien")},  {QStringLiteral("DK"), QStringLiteral("Dänemark")},
        {QStringLiteral("SE"), QStringLiteral("Schweden")},    {QStringLiteral("GB"), QStringLiteral("Vereinigtes Königreich")},
        {QStringLiteral("US"), QStringLiteral("Vereinigte Staaten")},
    };
    static const TNames noteSubjects{
        {QStringLiteral("AAI"), QStringLiteral("Allgemeine Angaben")},
        {QStringLiteral("AAB"), QStringLiteral("Zahlungsbedingungen")},
        {QStringLiteral("ABL"), QStringLiteral("Rechtliche Angaben")},
        {QStringLiteral("ADU"), QStringLiteral("Bemerkung")},
        {QStringLiteral("PMT"), QStringLiteral("Zahlungsangaben")},
        {QStringLiteral("REG"), QStringLiteral("Angaben zum Unternehmen")},
        {QStringLiteral("SUR"), QStringLiteral("Bemerkungen des Verkäufers")},
        {QStringLiteral("TXD"), QStringLiteral("Steuerliche Angaben")},
    };
    switch (kind) {
    case TCodeKind::InvoiceType:
        return invoiceTypes;
    case TCodeKind::VatCategory:
        return vatCategories;
    case TCodeKind::PaymentMeans:
        return paymentMeans;
    case TCodeKind::Unit:
        return units;
    case TCodeKind::Country:
        return countries;
    case TCodeKind::NoteSubject:
        break;
    }
    return noteSubjects;
}

} // namespace

QString CodeName(TCodeKind kind, const QString& code)
{
    return Names(kind).value(code.trimmed());
}
