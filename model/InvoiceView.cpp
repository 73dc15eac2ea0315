#include "model/InvoiceView.h"

#include "model/CodeNames.h"
#include "model/InvoiceReader.h"

#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <cstring>

namespace {

const char* const kStyle = R"(
:root { --linie: #c8ccd2; --grau: #5f6670; --kopf: #eef1f5; }
* { box-sizing: border-box; }
body { font-family: "Segoe UI", "Liberation Sans", "DejaVu Sans", Arial, sans-serif; font-size: 10pt; color: #1d2228;
       margin: 0; padding: 12px 16px; background: #fff; }
h1 { font-size: 16pt; margin: 0 0 2px 0; }
h2 { font-size: 11pt; margin: 16px 0 6px 0; padding-bottom: 2px; border-bottom: 1px solid var(--linie); }
h3 { font-size: 10pt; margin: 8px 0 4px 0; }
.bt { color: var(--grau); font-size: 7pt; font-weight: normal; margin-left: 4px; white-space: nowrap; }
.unter { color: var(--grau); margin-bottom: 8px; }
.spalten { display: flex; flex-wrap: wrap; gap: 12px; }
.kasten { flex: 1 1 260px; border: 1px solid var(--linie); border-radius: 3px; padding: 6px 8px; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; vertical-align: top; padding: 2px 6px 2px 0; }
table.fakten th { font-weight: normal; color: var(--grau); width: 42%; }
table.liste { border: 1px solid var(--linie); }
table.liste th { background: var(--kopf); font-weight: 600; border-bottom: 1px solid var(--linie); padding: 3px 6px; }
table.liste td { border-top: 1px solid #e4e7eb; padding: 3px 6px; }
td.zahl, th.zahl { text-align: right; white-space: nowrap; }
tr.summe td { font-weight: 600; border-top: 2px solid var(--linie); }
tr.zusatz td { color: var(--grau); font-size: 9pt; border-top: none; }
table.liste td.tiefe1 { padding-left: 20px; } table.liste td.tiefe2 { padding-left: 36px; }
table.liste td.tiefe3 { padding-left: 52px; } table.liste td.tiefe4 { padding-left: 68px; }
.text { white-space: pre-wrap; }
.klein { color: var(--grau); font-size: 8.5pt; }
.hinweis { background: #fff6d6; border: 1px solid #e7d48a; padding: 4px 8px; margin: 6px 0; }
footer { margin-top: 18px; color: var(--grau); font-size: 8pt; border-top: 1px solid var(--linie); padding-top: 4px; }
a.speichern { white-space: nowrap; }
@page { size: A4; margin: 15mm 12mm; }
@media print {
  body { padding: 0; font-size: 9pt; }
  .kasten, table.liste tr { break-inside: avoid; }
  h2 { break-after: avoid; }
  a.speichern { display: none; }
}
)";

// A number for people with all the digits it has, and at least two after the comma:
// never rounded to another number.
QString AllDigits(const TDecimal& d, int minDecimals = 2)
{
    return d.ToGerman(std::max(minDecimals, d.Scale()));
}

QString Esc(const QString& text)
{
    return text.toHtmlEscaped();
}

// The label of a term in small print, with its number.
QString Label(const char* id)
{
    const TTermDef* t = FindTerm(id);
    return QStringLiteral("<span title=\"%1\">%2</span><span class=\"bt\">%1</span>")
        .arg(QLatin1String(id), Esc(t ? QString::fromUtf8(t->Label) : QString::fromLatin1(id)));
}

QString Heading(const QString& text, const char* id)
{
    return QStringLiteral("<h2>%1<span class=\"bt\">%2</span></h2>").arg(Esc(text), QLatin1String(id));
}

QString Date(const QString& raw)
{
    const QString t = raw.trimmed();
    thread_local const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})"));
    thread_local const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    QRegularExpressionMatch m = iso.match(t);
    if (!m.hasMatch())
        m = compact.match(t);
    if (!m.hasMatch())
        return Esc(t);
    return QStringLiteral("%1.%2.%3").arg(m.captured(3), m.captured(2), m.captured(1));
}

QString WithName(const QString& code, TCodeKind kind)
{
    const QString name = CodeName(kind, code);
    return name.isEmpty() ? Esc(code.trimmed()) : QStringLiteral("%1 (%2)").arg(Esc(code.trimmed()), Esc(name));
}

class TView
{
public:
    TView(const TInvoice& invoice, const QString& attachmentAddress)
        : I(invoice)
        , Currency(invoice.Root.Text(u"BT-5").trimmed())
        , AttachmentAddress(attachmentAddress)
    {
    }

    QString Build();

private:
    // A value formatted for its type.
    QString Format(const TTermValue& v) const;
    QString Amount(const TTermValue* v) const;
    QString Number(const TTermValue* v, int minDecimals) const;
    // A row of a facts table, only when the group has the term.
    void Row(const TTermGroup* g, const char* id);
    void Rows(const TTermGroup* g, std::initializer_list<const char*> ids);
    QString Address(const TTermGroup& a) const;
    void Party(const TTermGroup* party, const char* addressId, const char* contactId, const QString& title, const char* groupId,
               std::initializer_list<const char*> ids);
    void Overview();
    void Totals();
    void Payment();
    void Lines();
    void Line(const TTermGroup& line, int depth);
    // The lines nested under the lines they name as parent; notes on ids that do not tell.
    QString NestedLines(const std::vector<const TTermGroup*>& lines);
    void VatBreakdown();
    void AllowancesCharges();
    void Notes();
    void References();
    void Delivery();
    void OtherParties();
    void ThirdParty();
    void Attachments();

    // What the page shows of long lists: a browser pane cannot lay out a hundred thousand
    // lines (the file of the largest invoices the program reads would make a page of
    // hundreds of megabytes); the rest is counted and named in a note.
    static constexpr int kMaxShownLines = 10000;
    static constexpr int kMaxShownPaymentMeans = 50;
    int FShownLines = 0;
    int FSkippedLines = 0;

    const TInvoice& I;
    QString Currency;
    QString AttachmentAddress;
    QString H;
};

QString TView::Format(const TTermValue& v) const
{
    switch (v.Term->Type) {
    case TTermType::Date:
        return Date(v.Text);
    case TTermType::Amount:
        return Amount(&v);
    case TTermType::UnitPrice:
        return Number(&v, 2) + QLatin1Char(' ') + Esc(v.Attribute(u"currencyID").isEmpty() ? Currency : v.Attribute(u"currencyID"));
    case TTermType::Quantity:
        return Number(&v, 0) + (v.Attribute(u"unitCode").isEmpty() ? QString() : QLatin1Char(' ') + WithName(v.Attribute(u"unitCode"), TCodeKind::Unit));
    case TTermType::Percentage:
        return Number(&v, 0) + QStringLiteral("&nbsp;%");
    case TTermType::Code: {
        const QString id = QLatin1String(v.Term->Id);
        if (id == QLatin1String("BT-3"))
            return WithName(v.Text, TCodeKind::InvoiceType);
        if (id == QLatin1String("BT-81"))
            return WithName(v.Text, TCodeKind::PaymentMeans);
        if (id == QLatin1String("BT-118") || id == QLatin1String("BT-151") || id == QLatin1String("BT-95") || id == QLatin1String("BT-102"))
            return WithName(v.Text, TCodeKind::VatCategory);
        if (id == QLatin1String("BT-130") || id == QLatin1String("BT-150"))
            return WithName(v.Text, TCodeKind::Unit);
        if (id == QLatin1String("BT-40") || id == QLatin1String("BT-55") || id == QLatin1String("BT-69") || id == QLatin1String("BT-80")
            || id == QLatin1String("BT-159"))
            return WithName(v.Text, TCodeKind::Country);
        if (id == QLatin1String("BT-21"))
            return WithName(v.Text, TCodeKind::NoteSubject);
        return Esc(v.Text.trimmed());
    }
    case TTermType::Identifier:
    case TTermType::Reference: {
        QString text = Esc(v.Text.trimmed());
        const QString scheme = v.Attribute(u"schemeID").isEmpty() ? v.Attribute(u"listID") : v.Attribute(u"schemeID");
        if (!scheme.isEmpty())
            text += QStringLiteral(" <span class=\"klein\">(Schema %1)</span>").arg(Esc(scheme));
        return text;
    }
    case TTermType::Binary:
        return Esc(v.Attribute(u"filename"));
    case TTermType::Group:
    case TTermType::Text:
        break;
    }
    return QStringLiteral("<span class=\"text\">%1</span>").arg(Esc(v.Text.trimmed()));
}

QString TView::Number(const TTermValue* v, int minDecimals) const
{
    const std::optional<TDecimal> d = v->Decimal();
    if (!d)
        return Esc(v->Text.trimmed());
    return Esc(AllDigits(*d, minDecimals));
}

QString TView::Amount(const TTermValue* v) const
{
    if (!v)
        return {};
    const QString currency = v->Attribute(u"currencyID").isEmpty() ? Currency : v->Attribute(u"currencyID");
    return Number(v, 2) + QStringLiteral("&nbsp;") + Esc(currency);
}

void TView::Row(const TTermGroup* g, const char* id)
{
    if (!g)
        return;
    for (const TTermValue* v : g->AllValues(QLatin1String(id)))
        H += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>").arg(Label(id), Format(*v));
}

void TView::Rows(const TTermGroup* g, std::initializer_list<const char*> ids)
{
    for (const char* id : ids)
        Row(g, id);
}

// An address as it is written in Germany: the street lines, postcode and city on one line,
// the region, the country.
QString TView::Address(const TTermGroup& a) const
{
    struct TAddressTerms
    {
        const char* Group;
        const char* Lines[3];
        const char* City;
        const char* Postcode;
        const char* Region;
        const char* Country;
    };
    static const TAddressTerms kAddresses[] = {
        {"BG-5", {"BT-35", "BT-36", "BT-162"}, "BT-37", "BT-38", "BT-39", "BT-40"},
        {"BG-8", {"BT-50", "BT-51", "BT-163"}, "BT-52", "BT-53", "BT-54", "BT-55"},
        {"BG-12", {"BT-64", "BT-65", "BT-164"}, "BT-66", "BT-67", "BT-68", "BT-69"},
        {"BG-15", {"BT-75", "BT-76", "BT-165"}, "BT-77", "BT-78", "BT-79", "BT-80"},
    };
    const TAddressTerms* terms = nullptr;
    for (const TAddressTerms& t : kAddresses) {
        if (a.Term && std::strcmp(a.Term->Id, t.Group) == 0)
            terms = &t;
    }
    if (!terms)
        return {};
    QStringList lines;
    const auto add = [&lines](const QString& line) {
        if (!line.isEmpty())
            lines << line;
    };
    for (const char* id : terms->Lines)
        add(Esc(a.Text(QLatin1String(id)).trimmed()));
    add(Esc(QStringList{a.Text(QLatin1String(terms->Postcode)).trimmed(), a.Text(QLatin1String(terms->City)).trimmed()}
                .join(QLatin1Char(' '))
                .trimmed()));
    add(Esc(a.Text(QLatin1String(terms->Region)).trimmed()));
    if (const TTermValue* country = a.Value(QLatin1String(terms->Country)))
        add(Format(*country));
    return lines.join(QStringLiteral("<br>"));
}

void TView::Party(const TTermGroup* party, const char* addressId, const char* contactId, const QString& title, const char* groupId,
                  std::initializer_list<const char*> ids)
{
    H += QStringLiteral("<div class=\"kasten\"><h3>%1<span class=\"bt\">%2</span></h3>").arg(Esc(title), QLatin1String(groupId));
    if (!party) {
        H += QStringLiteral("<p class=\"klein\">keine Angaben</p></div>");
        return;
    }
    H += QStringLiteral("<table class=\"fakten\">");
    Rows(party, ids);
    if (const TTermGroup* a = party->Group(QLatin1String(addressId))) {
        H += QStringLiteral("<tr><th><span title=\"%1\">Anschrift</span><span class=\"bt\">%1</span></th><td>%2</td></tr>")
                 .arg(QLatin1String(addressId), Address(*a));
    }
    if (const TTermGroup* c = party->Group(QLatin1String(contactId)))
        Rows(c, {contactId[3] == '6' ? "BT-41" : "BT-56", contactId[3] == '6' ? "BT-42" : "BT-57", contactId[3] == '6' ? "BT-43" : "BT-58"});
    H += QStringLiteral("</table></div>");
}

void TView::Overview()
{
    const QString type = I.Root.Text(u"BT-3").trimmed();
    const QString title = type == QLatin1String("381") ? QStringLiteral("Gutschrift") : QStringLiteral("Rechnung");
    // The profile its rules identifier names, in the words of the ZUGFeRD / Factur-X profiles.
    const QString profile = ProfileOfGuideline(I.Text(u"BG-2/BT-24"));
    const QString shownProfile = profile == QLatin1String("BASIC-WL") ? QStringLiteral("BASIC WL")
                                 : profile == QLatin1String("EN16931") ? QStringLiteral("EN 16931")
                                 : profile == QLatin1String("XRECHNUNG") ? QStringLiteral("XRechnung")
                                                                         : profile;
    H += QStringLiteral("<header><h1>%1 %2</h1><div class=\"unter\">vom %3 · %4 · Währung %5%6</div></header>")
             .arg(title, Esc(I.Root.Text(u"BT-1").trimmed()), Date(I.Root.Text(u"BT-2")),
                  I.Root.Value(u"BT-3") ? Format(*I.Root.Value(u"BT-3")) : QString(), Esc(Currency),
                  shownProfile.isEmpty() ? QString() : QStringLiteral(" · Profil %1").arg(shownProfile));
    if (const QString notice = NoEInvoiceNotice(profile); !notice.isEmpty())
        H += QStringLiteral("<p class=\"hinweis\"><b>%1</b></p>").arg(Esc(notice));

    H += QStringLiteral("<div class=\"spalten\">");
    Party(I.Group(u"BG-4"), "BG-5", "BG-6", QStringLiteral("Verkäufer"), "BG-4",
          {"BT-27", "BT-28", "BT-31", "BT-32", "BT-30", "BT-29", "BT-34", "BT-33"});
    Party(I.Group(u"BG-7"), "BG-8", "BG-9", QStringLiteral("Käufer"), "BG-7", {"BT-44", "BT-45", "BT-48", "BT-47", "BT-46", "BT-49"});
    H += QStringLiteral("</div>");

    H += QStringLiteral("<div class=\"spalten\"><div class=\"kasten\"><h3>Eckdaten</h3><table class=\"fakten\">");
    Rows(&I.Root, {"BT-1", "BT-2", "BT-9", "BT-10", "BT-13", "BT-12", "BT-11", "BT-7", "BT-6"});
    if (const TTermGroup* period = I.Group(u"BG-14")) {
        H += QStringLiteral("<tr><th><span title=\"BG-14\">Abrechnungszeitraum</span><span class=\"bt\">BG-14</span></th>"
                            "<td>%1 – %2</td></tr>")
                 .arg(Date(period->Text(u"BT-73")), Date(period->Text(u"BT-74")));
    }
    Row(I.Group(u"BG-13"), "BT-72");
    H += QStringLiteral("</table></div>");
    Totals();
    H += QStringLiteral("</div>");
    Payment();
}

void TView::Totals()
{
    const TTermGroup* t = I.Group(u"BG-22");
    H += QStringLiteral("<div class=\"kasten\"><h3>Summen<span class=\"bt\">BG-22</span></h3><table class=\"fakten\">");
    if (t) {
        for (const char* id : {"BT-106", "BT-107", "BT-108", "BT-109", "BT-110", "BT-111", "BT-112", "BT-113", "BT-114"}) {
            if (const TTermValue* v = t->Value(QLatin1String(id)))
                H += QStringLiteral("<tr><th>%1</th><td class=\"zahl\">%2</td></tr>").arg(Label(id), Amount(v));
        }
        if (const TTermValue* due = t->Value(u"BT-115"))
            H += QStringLiteral("<tr class=\"summe\"><th>%1</th><td class=\"zahl\">%2</td></tr>").arg(Label("BT-115"), Amount(due));
    }
    H += QStringLiteral("</table></div>");
}

void TView::Payment()
{
    const auto means = I.Root.AllGroups(u"BG-16");
    const QString terms = I.Root.Text(u"BT-20");
    if (means.empty() && terms.trimmed().isEmpty())
        return;
    H += Heading(QStringLiteral("Zahlung"), "BG-16");
    H += QStringLiteral("<div class=\"spalten\">");
    int shownMeans = 0;
    for (const TTermGroup* m : means) {
        if (++shownMeans > kMaxShownPaymentMeans)
            break;
        H += QStringLiteral("<div class=\"kasten\"><table class=\"fakten\">");
        Rows(m, {"BT-81", "BT-82", "BT-83"});
        for (const TTermGroup* transfer : m->AllGroups(u"BG-17"))
            Rows(transfer, {"BT-84", "BT-85", "BT-86"});
        Rows(m->Group(u"BG-18"), {"BT-87", "BT-88"});
        Rows(m->Group(u"BG-19"), {"BT-89", "BT-90", "BT-91"});
        H += QStringLiteral("</table></div>");
    }
    if (int(means.size()) > kMaxShownPaymentMeans)
        H += QStringLiteral("<p class=\"hinweis\">Hinweis: Die Rechnung nennt %1 Zahlungsarten; gezeigt sind die ersten %2.</p>")
                 .arg(QLocale(QLocale::German).toString(qlonglong(means.size())))
                 .arg(kMaxShownPaymentMeans);
    if (!terms.trimmed().isEmpty()) {
        // Skonto and late-payment terms as XRechnung writes them: "#SKONTO#TAGE=14#PROZENT=2.00#".
        thread_local const QRegularExpression entry(QStringLiteral("^#(SKONTO|VERZUG)#TAGE=(\\d+)#PROZENT=(\\d+(?:\\.\\d+)?)#(?:BASISBETRAG=(-?\\d+(?:\\.\\d+)?)#)?$"));
        QStringList plain, conditions;
        for (const QString& line : terms.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = entry.match(line.trimmed());
            if (!m.hasMatch()) {
                if (!line.trimmed().isEmpty())
                    plain << line.trimmed();
                continue;
            }
            const std::optional<TDecimal> percent = TDecimal::Parse(m.captured(3));
            QString text = QStringLiteral("%1 % %2 bei Zahlung innerhalb von %3 Tagen")
                               .arg(percent ? AllDigits(*percent) : m.captured(3),
                                    m.captured(1) == QLatin1String("SKONTO") ? QStringLiteral("Skonto") : QStringLiteral("Verzugszinsen"),
                                    m.captured(2));
            if (m.captured(1) == QLatin1String("VERZUG"))
                text = QStringLiteral("%1 % Verzugszinsen nach %2 Tagen").arg(percent ? AllDigits(*percent) : m.captured(3), m.captured(2));
            if (!m.captured(4).isEmpty()) {
                const std::optional<TDecimal> base = TDecimal::Parse(m.captured(4));
                text += QStringLiteral(" (Basisbetrag %1 %2)").arg(base ? AllDigits(*base) : m.captured(4), Currency);
            }
            conditions << Esc(text);
        }
        H += QStringLiteral("<div class=\"kasten\"><table class=\"fakten\"><tr><th>%1</th><td>").arg(Label("BT-20"));
        if (!conditions.isEmpty())
            H += QStringLiteral("<b>%1</b>").arg(conditions.join(QStringLiteral("<br>")));
        if (!plain.isEmpty())
            H += (conditions.isEmpty() ? QString() : QStringLiteral("<br>"))
                + QStringLiteral("<span class=\"text\">%1</span>").arg(Esc(plain.join(QLatin1Char('\n'))));
        H += QStringLiteral("</td></tr></table></div>");
    }
    H += QStringLiteral("</div>");
}

void TView::Line(const TTermGroup& line, int depth)
{
    if (FShownLines >= kMaxShownLines) {
        ++FSkippedLines;
        for (const TTermGroup* sub : line.AllGroups(u"BG-DEX-01"))
            Line(*sub, depth + 1);
        return;
    }
    ++FShownLines;
    // The hot path of a large invoice: appended piece by piece, no formatting templates.
    const TTermGroup* item = line.Group(u"BG-31");
    const TTermGroup* price = line.Group(u"BG-29");
    const TTermGroup* vat = line.Group(u"BG-30");
    const QString cell = depth > 0 ? QStringLiteral("<td class=\"tiefe%1\">").arg(std::min(depth, 4)) : QStringLiteral("<td>");

    H += QLatin1String("<tr>");
    H += cell;
    H += Esc(line.Text(u"BT-126").trimmed());
    H += QLatin1String("</td>");
    H += cell;
    H += QLatin1String("<b>");
    if (item) {
        H += Esc(item->Text(u"BT-153").trimmed());
        H += QLatin1String("</b>");
        const QString description = item->Text(u"BT-154").trimmed();
        if (!description.isEmpty()) {
            H += QLatin1String("<br><span class=\"text\">");
            H += Esc(description);
            H += QLatin1String("</span>");
        }
        bool first = true;
        auto extra = [&](const QString& text) {
            H += first ? QLatin1String("<br><span class=\"klein\">") : QLatin1String(" · ");
            first = false;
            H += text;
        };
        for (const TTermValue& v : item->Values) {
            const QLatin1String id(v.Term->Id);
            if (id == QLatin1String("BT-153") || id == QLatin1String("BT-154"))
                continue;
            extra(Esc(QString::fromUtf8(v.Term->Label)) + QLatin1String(": ") + Format(v));
        }
        for (const TTermGroup* property : item->AllGroups(u"BG-32"))
            extra(Esc(property->Text(u"BT-160").trimmed()) + QLatin1String(": ") + Esc(property->Text(u"BT-161").trimmed()));
        if (!first)
            H += QLatin1String("</span>");
    } else {
        H += QLatin1String("</b>");
    }
    bool firstExtra = true;
    auto lineExtra = [&](const QString& text) {
        H += firstExtra ? QLatin1String("<br><span class=\"klein\">") : QLatin1String(" · ");
        firstExtra = false;
        H += text;
    };
    for (const TTermValue& v : line.Values) {
        const QLatin1String id(v.Term->Id);
        if (id == QLatin1String("BT-127"))
            lineExtra(QLatin1String("<span class=\"text\">") + Esc(v.Text.trimmed()) + QLatin1String("</span>"));
        else if (id == QLatin1String("BT-132") || id == QLatin1String("BT-133") || id == QLatin1String("BT-128"))
            lineExtra(Esc(QString::fromUtf8(v.Term->Label)) + QLatin1String(": ") + Format(v));
    }
    if (const TTermGroup* period = line.Group(u"BG-26"))
        lineExtra(QLatin1String("Zeitraum ") + Date(period->Text(u"BT-134")) + QLatin1String(" – ") + Date(period->Text(u"BT-135")));
    if (!firstExtra)
        H += QLatin1String("</span>");
    H += QLatin1String("</td><td class=\"zahl\">");
    if (const TTermValue* q = line.Value(u"BT-129")) {
        H += Number(q, 0);
        if (const TTermValue* unit = line.Value(u"BT-130")) {
            const QString name = CodeName(TCodeKind::Unit, unit->Text);
            H += QLatin1Char(' ');
            H += Esc(name.isEmpty() ? unit->Text.trimmed() : name);
        }
    }
    H += QLatin1String("</td><td class=\"zahl\">");
    if (price) {
        if (const TTermValue* net = price->Value(u"BT-146"))
            H += Format(*net);
        if (const TTermValue* base = price->Value(u"BT-149"))
            H += QLatin1String("<br><span class=\"klein\">je ") + Format(*base) + QLatin1String("</span>");
        if (const TTermValue* gross = price->Value(u"BT-148"))
            H += QLatin1String("<br><span class=\"klein\">brutto ") + Format(*gross) + QLatin1String("</span>");
    }
    H += QLatin1String("</td><td>");
    if (vat) {
        H += Esc(vat->Text(u"BT-151").trimmed());
        if (const TTermValue* rate = vat->Value(u"BT-152")) {
            H += QLatin1Char(' ');
            H += Format(*rate);
        }
    }
    H += QLatin1String("</td><td class=\"zahl\">");
    H += Amount(line.Value(u"BT-131"));
    H += QLatin1String("</td></tr>");

    for (const auto& g : line.Groups) {
        const QLatin1String id(g->Term->Id);
        const bool charge = id == QLatin1String("BG-28");
        if (!charge && id != QLatin1String("BG-27"))
            continue;
        const TTermGroup* ac = g.get();
        QString reason = Esc(ac->Text(QLatin1String(charge ? "BT-144" : "BT-139")).trimmed());
        const QString code = ac->Text(QLatin1String(charge ? "BT-145" : "BT-140")).trimmed();
        if (!code.isEmpty())
            reason += QLatin1String(" <span class=\"klein\">(Code ") + Esc(code) + QLatin1String(")</span>");
        if (const TTermValue* percent = ac->Value(QLatin1String(charge ? "BT-143" : "BT-138")))
            reason += QLatin1String(" · ") + Format(*percent);
        H += QLatin1String("<tr class=\"zusatz\"><td></td>");
        H += cell.left(cell.size() - 1) + QLatin1String(" colspan=\"4\">");
        H += charge ? QLatin1String("Zuschlag: ") : QLatin1String("Nachlass: ");
        H += reason;
        H += QLatin1String("<span class=\"bt\">");
        H += id;
        H += QLatin1String("</span></td><td class=\"zahl\">");
        if (!charge)
            H += QStringLiteral("−");
        H += Amount(ac->Value(QLatin1String(charge ? "BT-141" : "BT-136")));
        H += QLatin1String("</td></tr>");
    }
    for (const TTermGroup* sub : line.AllGroups(u"BG-DEX-01"))
        Line(*sub, depth + 1);
}

void TView::Lines()
{
    const auto lines = I.Lines();
    H += Heading(QStringLiteral("Positionen (%1)").arg(lines.size()), "BG-25");
    H += QStringLiteral("<table class=\"liste\"><thead><tr><th>Pos.</th><th>Artikel</th><th class=\"zahl\">Menge</th>"
                        "<th class=\"zahl\">Preis</th><th>USt</th><th class=\"zahl\">Netto</th></tr></thead><tbody>");
    // CII writes sub-lines as lines that name their parent (ZUGFeRD EXTENDED): nested under it.
    bool nested = false;
    for (const TTermGroup* l : lines)
        nested = nested || l->Value(u"X-ParentLine");
    QString notes;
    if (!nested) {
        for (const TTermGroup* l : lines)
            Line(*l, 0);
    } else {
        notes = NestedLines(lines);
    }
    H += QStringLiteral("</tbody></table>");
    if (FSkippedLines > 0)
        H += QStringLiteral("<p class=\"hinweis\">Hinweis: Die Ansicht zeigt die ersten %1 von %2 Positionen; die übrigen stehen "
                            "in der Rechnung (XML), die Summen oben gelten für alle.</p>")
                 .arg(QLocale(QLocale::German).toString(FShownLines), QLocale(QLocale::German).toString(FShownLines + FSkippedLines));
    H += notes;
}

QString TView::NestedLines(const std::vector<const TTermGroup*>& lines)
{
    // A line id names the first line that has it; a line names its parent by that id. Each
    // line is shown once, under its parent when the parent is shown before it; a line whose
    // parent is itself or below it (a cycle) is shown on its own, with a note.
    QHash<QString, size_t> byId;
    QSet<QString> duplicated;
    QStringList duplicates; // in document order, for the note
    for (size_t i = 0; i < lines.size(); ++i) {
        const QString id = lines[i]->Text(u"BT-126").trimmed();
        if (!byId.contains(id))
            byId.insert(id, i);
        else if (!duplicated.contains(id)) {
            duplicated.insert(id);
            duplicates << id;
        }
    }
    std::vector<std::vector<size_t>> children(lines.size());
    std::vector<bool> hasParent(lines.size(), false);
    for (size_t i = 0; i < lines.size(); ++i) {
        const QString parentId = lines[i]->Text(u"X-ParentLine").trimmed();
        const auto parent = byId.constFind(parentId);
        if (parentId.isEmpty() || parent == byId.constEnd() || *parent == i)
            continue;
        children[*parent].push_back(i);
        hasParent[i] = true;
    }
    std::vector<bool> shown(lines.size(), false);
    auto showTree = [&](size_t top) {
        // Depth first without recursion: a chain of a hundred thousand lines must not use
        // the stack up.
        std::vector<std::pair<size_t, int>> stack{{top, 0}};
        while (!stack.empty()) {
            const auto [at, depth] = stack.back();
            stack.pop_back();
            if (shown[at])
                continue;
            shown[at] = true;
            Line(*lines[at], depth);
            for (auto child = children[at].rbegin(); child != children[at].rend(); ++child)
                if (!shown[*child])
                    stack.emplace_back(*child, depth + 1);
        }
    };
    for (size_t i = 0; i < lines.size(); ++i)
        if (!hasParent[i])
            showTree(i);
    QStringList inCycles;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!shown[i]) {
            inCycles << lines[i]->Text(u"BT-126").trimmed();
            showTree(i);
        }
    }
    auto listed = [](const QStringList& ids) {
        QStringList shownIds = ids.mid(0, 20);
        for (QString& id : shownIds)
            id = Esc(id);
        return shownIds.join(QStringLiteral(", ")) + (ids.size() > 20 ? QStringLiteral(" und %1 weitere").arg(ids.size() - 20) : QString());
    };
    QString notes;
    if (!duplicates.isEmpty())
        notes += QStringLiteral("<p class=\"hinweis\">Hinweis: Mehrere Positionen haben dieselbe Positionsnummer (%1); "
                            "Unterpositionen stehen unter der ersten.</p>").arg(listed(duplicates));
    if (!inCycles.isEmpty())
        notes += QStringLiteral("<p class=\"hinweis\">Hinweis: Die Positionen %1 nennen sich selbst oder eine ihrer "
                            "Unterpositionen als übergeordnete Position; sie stehen hier ohne Zuordnung.</p>").arg(listed(inCycles));
    return notes;
}

void TView::VatBreakdown()
{
    const auto breakdown = I.Root.AllGroups(u"BG-23");
    if (breakdown.empty())
        return;
    H += Heading(QStringLiteral("Umsatzsteuer"), "BG-23");
    H += QStringLiteral("<table class=\"liste\"><thead><tr><th>Kategorie</th><th class=\"zahl\">Satz</th>"
                        "<th class=\"zahl\">Bemessungsgrundlage</th><th class=\"zahl\">Steuerbetrag</th><th>Befreiungsgrund</th>"
                        "</tr></thead><tbody>");
    for (const TTermGroup* b : breakdown) {
        QString reason = Esc(b->Text(u"BT-120").trimmed());
        if (!b->Text(u"BT-121").trimmed().isEmpty())
            reason += QStringLiteral(" <span class=\"klein\">(%1)</span>").arg(Esc(b->Text(u"BT-121").trimmed()));
        H += QStringLiteral("<tr><td>%1</td><td class=\"zahl\">%2</td><td class=\"zahl\">%3</td><td class=\"zahl\">%4</td><td>%5</td></tr>")
                 .arg(b->Value(u"BT-118") ? Format(*b->Value(u"BT-118")) : QString(),
                      b->Value(u"BT-119") ? Format(*b->Value(u"BT-119")) : QString(), Amount(b->Value(u"BT-116")),
                      Amount(b->Value(u"BT-117")), reason);
    }
    H += QStringLiteral("</tbody></table>");
}

void TView::AllowancesCharges()
{
    const auto allowances = I.Root.AllGroups(u"BG-20");
    const auto charges = I.Root.AllGroups(u"BG-21");
    if (allowances.empty() && charges.empty())
        return;
    H += Heading(QStringLiteral("Nachlässe und Zuschläge auf Rechnungsebene"), "BG-20/21");
    H += QStringLiteral("<table class=\"liste\"><thead><tr><th>Art</th><th>Grund</th><th class=\"zahl\">Grundbetrag</th>"
                        "<th class=\"zahl\">Prozent</th><th>USt</th><th class=\"zahl\">Betrag</th></tr></thead><tbody>");
    auto rows = [&](const std::vector<const TTermGroup*>& groups, bool charge) {
        const char* ids[] = {charge ? "BT-99" : "BT-92", charge ? "BT-100" : "BT-93", charge ? "BT-101" : "BT-94",
                             charge ? "BT-102" : "BT-95", charge ? "BT-103" : "BT-96", charge ? "BT-104" : "BT-97",
                             charge ? "BT-105" : "BT-98"};
        for (const TTermGroup* g : groups) {
            QString reason = Esc(g->Text(QLatin1String(ids[5])).trimmed());
            if (!g->Text(QLatin1String(ids[6])).trimmed().isEmpty())
                reason += QStringLiteral(" <span class=\"klein\">(Code %1)</span>").arg(Esc(g->Text(QLatin1String(ids[6])).trimmed()));
            QString tax = Esc(g->Text(QLatin1String(ids[3])).trimmed());
            if (const TTermValue* rate = g->Value(QLatin1String(ids[4])))
                tax += QLatin1Char(' ') + Format(*rate);
            const TTermValue* percent = g->Value(QLatin1String(ids[2]));
            H += QStringLiteral("<tr><td>%1<span class=\"bt\">%2</span></td><td>%3</td><td class=\"zahl\">%4</td>"
                                "<td class=\"zahl\">%5</td><td>%6</td><td class=\"zahl\">%7</td></tr>")
                     .arg(charge ? QStringLiteral("Zuschlag") : QStringLiteral("Nachlass"), charge ? QStringLiteral("BG-21") : QStringLiteral("BG-20"),
                          reason, Amount(g->Value(QLatin1String(ids[1]))), percent ? Format(*percent) : QString(), tax,
                          Amount(g->Value(QLatin1String(ids[0]))));
        }
    };
    rows(allowances, false);
    rows(charges, true);
    H += QStringLiteral("</tbody></table>");
}

void TView::Notes()
{
    const auto notes = I.Root.AllGroups(u"BG-1");
    if (notes.empty())
        return;
    H += Heading(QStringLiteral("Bemerkungen"), "BG-1");
    for (const TTermGroup* n : notes) {
        const TTermValue* subject = n->Value(u"BT-21");
        H += QStringLiteral("<p>%1<span class=\"text\">%2</span></p>")
                 .arg(subject ? QStringLiteral("<b>%1:</b> ").arg(Format(*subject)) : QString(), Esc(n->Text(u"BT-22").trimmed()));
    }
}

void TView::References()
{
    const auto preceding = I.Root.AllGroups(u"BG-3");
    const char* ids[] = {"BT-14", "BT-15", "BT-16", "BT-17", "BT-18", "BT-19"};
    bool any = !preceding.empty();
    for (const char* id : ids)
        any = any || I.Root.Value(QLatin1String(id));
    if (!any)
        return;
    H += Heading(QStringLiteral("Referenzen"), "BG-3");
    H += QStringLiteral("<table class=\"fakten\">");
    for (const TTermGroup* p : preceding) {
        H += QStringLiteral("<tr><th>%1</th><td>%2%3</td></tr>")
                 .arg(Label("BT-25"), Esc(p->Text(u"BT-25").trimmed()),
                      p->Value(u"BT-26") ? QStringLiteral(" vom ") + Date(p->Text(u"BT-26")) : QString());
    }
    for (const char* id : ids)
        Row(&I.Root, id);
    H += QStringLiteral("</table>");
}

void TView::Delivery()
{
    const TTermGroup* d = I.Group(u"BG-13");
    if (!d)
        return;
    H += Heading(QStringLiteral("Lieferung"), "BG-13");
    H += QStringLiteral("<table class=\"fakten\">");
    Rows(d, {"BT-70", "BT-71", "BT-72"});
    if (const TTermGroup* a = d->Group(u"BG-15")) {
        H += QStringLiteral("<tr><th><span title=\"BG-15\">Lieferanschrift</span><span class=\"bt\">BG-15</span></th><td>%1</td></tr>")
                 .arg(Address(*a));
    }
    H += QStringLiteral("</table>");
}

void TView::OtherParties()
{
    const TTermGroup* payee = I.Group(u"BG-10");
    const TTermGroup* representative = I.Group(u"BG-11");
    if (!payee && !representative)
        return;
    H += QStringLiteral("<div class=\"spalten\">");
    if (payee) {
        H += QStringLiteral("<div class=\"kasten\"><h3>Zahlungsempfänger<span class=\"bt\">BG-10</span></h3><table class=\"fakten\">");
        Rows(payee, {"BT-59", "BT-60", "BT-61"});
        H += QStringLiteral("</table></div>");
    }
    if (representative)
        Party(representative, "BG-12", "", QStringLiteral("Steuerlicher Vertreter des Verkäufers"), "BG-11", {"BT-62", "BT-63"});
    H += QStringLiteral("</div>");
}

void TView::ThirdParty()
{
    const auto payments = I.Root.AllGroups(u"BG-DEX-09");
    if (payments.empty())
        return;
    H += Heading(QStringLiteral("Zahlungen durch Dritte"), "BG-DEX-09");
    H += QStringLiteral("<table class=\"liste\"><thead><tr><th>Art</th><th>Beschreibung</th><th class=\"zahl\">Betrag</th></tr></thead><tbody>");
    for (const TTermGroup* p : payments) {
        H += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"zahl\">%3</td></tr>")
                 .arg(Esc(p->Text(u"BT-DEX-001").trimmed()), Esc(p->Text(u"BT-DEX-003").trimmed()), Amount(p->Value(u"BT-DEX-002")));
    }
    H += QStringLiteral("</tbody></table>");
}

void TView::Attachments()
{
    const auto documents = I.Root.AllGroups(u"BG-24");
    if (documents.empty())
        return;
    H += Heading(QStringLiteral("Rechnungsbegründende Unterlagen"), "BG-24");
    H += QStringLiteral("<table class=\"liste\"><thead><tr><th>Kennung</th><th>Beschreibung</th><th>Datei</th><th>Adresse</th>"
                        "</tr></thead><tbody>");
    thread_local const QRegularExpression safeMime(QStringLiteral("^[A-Za-z0-9.+-]+/[A-Za-z0-9.+-]+$"));
    int number = 0;
    for (const TTermGroup* d : documents) {
        ++number;
        H += QStringLiteral("<tr><td>%1</td><td>%2</td><td>").arg(Esc(d->Text(u"BT-122").trimmed()), Esc(d->Text(u"BT-123").trimmed()));
        if (const TTermValue* binary = d->Value(u"BT-125")) {
            const QString name = binary->Attribute(u"filename").trimmed();
            const QString mime = binary->Attribute(u"mimeCode").trimmed();
            const qlonglong size = Base64DecodedSize(binary->Text);
            H += QStringLiteral("%1<br><span class=\"klein\">%2").arg(Esc(name.isEmpty() ? QStringLiteral("(ohne Namen)") : name), Esc(mime));
            if (size >= 0)
                H += QStringLiteral(" · %1 Bytes").arg(QLocale(QLocale::German).toString(size));
            H += QStringLiteral("</span>");
            if (size > 0 && !AttachmentAddress.isEmpty()) {
                // The program behind the address saves it from the invoice.
                H += QStringLiteral("<br><a class=\"speichern\" href=\"%1%2\">Speichern …</a>")
                         .arg(Esc(AttachmentAddress), QString::number(number));
            } else if (size > 0) {
                // Offered for saving as it is: a data: address carries the bytes, nothing is
                // fetched from anywhere, and the type is one the browser cannot run as a page.
                const QString type = safeMime.match(mime).hasMatch() && !mime.contains(QLatin1String("html"), Qt::CaseInsensitive)
                        && !mime.contains(QLatin1String("svg"), Qt::CaseInsensitive)
                    ? mime
                    : QStringLiteral("application/octet-stream");
                H += QStringLiteral("<br><a class=\"speichern\" download=\"%1\" href=\"data:%2;base64,")
                         .arg(Esc(name.isEmpty() ? QStringLiteral("Anhang") : name), Esc(type));
                H += CleanBase64(binary->Text);
                H += QStringLiteral("\">Speichern …</a>");
            }
        }
        H += QStringLiteral("</td><td><span class=\"text\">%1</span></td></tr>").arg(Esc(d->Text(u"BT-124").trimmed()));
    }
    H += QStringLiteral("</tbody></table>");
}

QString TView::Build()
{
    // Room for everything at once: the lines at their usual size, the attachments at the
    // size of their Base64 text.
    qsizetype attachments = 0;
    if (AttachmentAddress.isEmpty()) {
        for (const TTermGroup* d : I.Root.AllGroups(u"BG-24")) {
            if (const TTermValue* binary = d->Value(u"BT-125"))
                attachments += binary->Text.size() + 1024;
        }
    }
    H.reserve(64 * 1024 + qsizetype(I.Lines().size()) * 700 + attachments);
    H += QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\">"
                        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; img-src data:\">"
                        "<title>%1 %2</title><style>%3</style></head><body>")
             .arg(I.Root.Text(u"BT-3").trimmed() == QLatin1String("381") ? QStringLiteral("Gutschrift") : QStringLiteral("Rechnung"),
                  Esc(I.Root.Text(u"BT-1").trimmed()), QLatin1String(kStyle));
    Overview();
    Lines();
    VatBreakdown();
    AllowancesCharges();
    Notes();
    References();
    Delivery();
    OtherParties();
    ThirdParty();
    Attachments();
    H += QStringLiteral("<footer>Eingebaute Ansicht, vom Programm aus den Daten der Rechnung erstellt (%1, %2). "
                        "Sie zeigt, was die Rechnung enthält; ob sie den Regeln genügt, sagt die Prüfung.</footer></body></html>")
             .arg(Esc(I.SyntaxName()), Esc(I.Text(u"BG-2/BT-24").trimmed()));
    return H;
}

} // namespace

QString InvoiceViewHtml(const TInvoice& invoice, const QString& attachmentAddress)
{
    return TView(invoice, attachmentAddress).Build();
}

QString InvoiceViewErrorHtml(const QString& reason, const QString& xml)
{
    return QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\">"
                          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
                          "<title>Keine Ansicht</title><style>%1</style></head><body><div class=\"hinweis\">"
                          "<b>Die eingebaute Ansicht kann diese Datei nicht darstellen.</b><br>%2</div>"
                          "<h2>Inhalt der Datei</h2><pre class=\"text\">%3</pre></body></html>")
        .arg(QLatin1String(kStyle), Esc(reason).replace(QStringLiteral("\r\n"), QStringLiteral("<br>")), Esc(xml));
}
