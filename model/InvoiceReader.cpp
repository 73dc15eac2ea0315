#include "model/InvoiceReader.h"

#include "model/Bindings.h"
#include "model/XmlPath.h"
#include "platform/Exception.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QHash>
#include <QRegularExpression>

#include <cstring>
#include <mutex>

namespace {

constexpr const char* kZugferd1Ns = "urn:ferd:CrossIndustryDocument:invoice:1p0";

// The bindings of one syntax, compiled, by the group they belong to.
struct TCompiledBinding
{
    const TTermDef* Term;
    TXmlPath Path;
    bool DropWhenEmpty;
};

struct TCompiledSyntax
{
    QHash<QString, std::vector<TCompiledBinding>> ByGroup; // "" for the invoice
};

const TCompiledSyntax& Compiled(TInvoiceSyntax syntax)
{
    static TCompiledSyntax compiled[3];
    static std::once_flag once;
    std::call_once(once, [] {
        auto compile = [](const std::vector<TBinding>& table, char only, TCompiledSyntax& into) {
            for (const TBinding& b : table) {
                if ((std::strchr(b.Flags, 'I') && only != 'I') || (std::strchr(b.Flags, 'C') && only != 'C'))
                    continue;
                const TTermDef* term = FindTerm(b.Term);
                if (!term)
                    throw std::invalid_argument(std::string("binding of an unknown term ") + b.Term);
                into.ByGroup[QLatin1String(b.Parent)].push_back({term, TXmlPath::Compile(b.Path), std::strchr(b.Flags, '?') != nullptr});
            }
        };
        compile(UblBindings(), 'I', compiled[int(TInvoiceSyntax::Ubl)]);
        compile(UblBindings(), 'C', compiled[int(TInvoiceSyntax::UblCreditNote)]);
        compile(CiiBindings(), '*', compiled[int(TInvoiceSyntax::Cii)]);
    });
    return compiled[int(syntax)];
}

int LineOf(const xmlNode* node)
{
    return int(xmlGetLineNo(node));
}

class TBuilder
{
public:
    TBuilder(const TCompiledSyntax& syntax, xmlNode* root)
        : FSyntax(syntax)
        , FRoot(root)
    {
    }

    // Fills group from the element context with the bindings of groupId.
    void Fill(TTermGroup& group, const QString& groupId, xmlNode* context)
    {
        // A sub-line carries the terms of a line.
        const QString bindingsOf = groupId == QLatin1String("BG-DEX-01") ? QStringLiteral("BG-25") : groupId;
        const auto it = FSyntax.ByGroup.constFind(bindingsOf);
        if (it == FSyntax.ByGroup.constEnd())
            return;
        for (const TCompiledBinding& b : *it) {
            FMatches.clear();
            const bool isGroup = b.Term->Type == TTermType::Group;
            b.Path.Evaluate(context, FRoot, isGroup, FMatches);
            if (FMatches.empty())
                continue;
            if (!isGroup) {
                for (const TXmlPath::TMatch& m : FMatches)
                    group.Values.push_back(ValueOf(b.Term, m));
                continue;
            }
            // The matches are reused by the nested fills: keep this group's own.
            const std::vector<TXmlPath::TMatch> matches = FMatches;
            for (const TXmlPath::TMatch& m : matches) {
                auto child = std::make_unique<TTermGroup>();
                child->Term = b.Term;
                child->Line = LineOf(m.Node);
                child->Path = group.Path + m.Location;
                Fill(*child, QLatin1String(b.Term->Id), m.Node);
                if (b.DropWhenEmpty && child->IsEmpty())
                    continue;
                group.Groups.push_back(std::move(child));
            }
        }
    }

private:
    static TTermValue ValueOf(const TTermDef* term, const TXmlPath::TMatch& m)
    {
        TTermValue v;
        v.Term = term;
        v.Line = LineOf(m.Node);
        if (m.Attribute) {
            v.Text = XmlAttributeText(m.Attribute);
        } else {
            v.Text = XmlText(m.Node);
            for (const xmlAttr* a = m.Node->properties; a; a = a->next)
                v.Attributes.emplace_back(QString::fromUtf8(reinterpret_cast<const char*>(a->name)), XmlAttributeText(a));
        }
        return v;
    }

    const TCompiledSyntax& FSyntax;
    xmlNode* FRoot;
    std::vector<TXmlPath::TMatch> FMatches;
};

bool IsElement(const xmlNode* n, const char* ns, const char* local)
{
    return n && n->type == XML_ELEMENT_NODE && n->ns && n->ns->href
        && std::strcmp(reinterpret_cast<const char*>(n->ns->href), ns) == 0
        && std::strcmp(reinterpret_cast<const char*>(n->name), local) == 0;
}

TTermGroup& GroupFor(TTermGroup& parent, const char* id, const QString& path)
{
    for (auto& g : parent.Groups) {
        if (std::strcmp(g->Term->Id, id) == 0)
            return *g;
    }
    auto g = std::make_unique<TTermGroup>();
    g->Term = FindTerm(id);
    g->Path = path;
    parent.Groups.push_back(std::move(g));
    return *parent.Groups.back();
}

// The VAT total in the invoice currency (BT-110) and in the accounting currency (BT-111)
// are told apart by their currency, in both syntaxes.
void ReadTaxTotals(TInvoice& invoice, xmlNode* root)
{
    const bool ubl = invoice.Syntax != TInvoiceSyntax::Cii;
    const TXmlPath path = TXmlPath::Compile(
        ubl ? "cac:TaxTotal/cbc:TaxAmount"
            : "rsm:SupplyChainTradeTransaction/ram:ApplicableHeaderTradeSettlement/"
              "ram:SpecifiedTradeSettlementHeaderMonetarySummation/ram:TaxTotalAmount");
    const QString invoiceCurrency = invoice.Root.Text(u"BT-5").trimmed();
    const QString accountingCurrency = invoice.Root.Text(u"BT-6").trimmed();
    bool haveInvoiceTotal = false;
    for (const TXmlPath::TMatch& m : path.Evaluate(root, root)) {
        TTermValue v;
        v.Line = LineOf(m.Node);
        v.Text = XmlText(m.Node);
        for (const xmlAttr* a = m.Node->properties; a; a = a->next)
            v.Attributes.emplace_back(QString::fromUtf8(reinterpret_cast<const char*>(a->name)), XmlAttributeText(a));
        const QString currency = v.Attribute(u"currencyID").trimmed();
        const bool accounting = !accountingCurrency.isEmpty() && accountingCurrency != invoiceCurrency
            && currency == accountingCurrency;
        if (!accounting && haveInvoiceTotal)
            continue;
        haveInvoiceTotal = haveInvoiceTotal || !accounting;
        v.Term = FindTerm(accounting ? u"BT-111" : u"BT-110");
        GroupFor(invoice.Root, "BG-22", invoice.Root.Path).Values.push_back(std::move(v));
    }
}

// UBL writes a note's subject code in front of its text: "#AAI#Text".
void SplitNoteSubjects(TTermGroup& root)
{
    static const QRegularExpression subject(QStringLiteral("^#([A-Za-z0-9]{3})#"));
    for (auto& g : root.Groups) {
        if (std::strcmp(g->Term->Id, "BG-1") != 0 || g->Values.empty())
            continue;
        TTermValue& note = g->Values.front();
        const QRegularExpressionMatch m = subject.match(note.Text);
        if (!m.hasMatch())
            continue;
        TTermValue code = note;
        code.Term = FindTerm(u"BT-21");
        code.Text = m.captured(1);
        note.Text = note.Text.mid(m.capturedLength());
        g->Values.insert(g->Values.begin(), std::move(code));
    }
}

} // namespace

TXmlDocument::TXmlDocument(const QByteArray& bytes)
{
    if (bytes.trimmed().isEmpty())
        throw Exception(QStringLiteral("Die Datei enthält kein XML: sie ist leer."));
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context)
        throw Exception(QStringLiteral("Der XML-Parser kann nicht angelegt werden."));
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES | XML_PARSE_NOCDATA;
    FDoc = xmlCtxtReadMemory(context, bytes.constData(), int(bytes.size()), "rechnung.xml", nullptr, options);
    if (!FDoc || !context->wellFormed) {
        const xmlError* error = xmlCtxtGetLastError(context);
        const QString where = error ? QStringLiteral(" (Zeile %1, Spalte %2)").arg(error->line).arg(error->int2) : QString();
        const QString detail = error && error->message ? QString::fromUtf8(error->message).trimmed() : QString();
        if (FDoc)
            xmlFreeDoc(FDoc);
        FDoc = nullptr;
        xmlFreeParserCtxt(context);
        throw Exception(WithReason(QStringLiteral("Die Rechnung ist kein wohlgeformtes XML%1.").arg(where),
                                   QStringLiteral("Meldung des XML-Parsers"), detail));
    }
    xmlFreeParserCtxt(context);
}

TXmlDocument::~TXmlDocument()
{
    if (FDoc)
        xmlFreeDoc(FDoc);
}

xmlNode* TXmlDocument::Root() const
{
    return xmlDocGetRootElement(FDoc);
}

TXmlKind KindOfDocument(const TXmlDocument& document)
{
    const xmlNode* root = document.Root();
    if (IsElement(root, kUblInvoiceNs, "Invoice"))
        return TXmlKind::UblInvoice;
    if (IsElement(root, kUblCreditNoteNs, "CreditNote"))
        return TXmlKind::UblCreditNote;
    if (IsElement(root, kCiiNs, "CrossIndustryInvoice"))
        return TXmlKind::Cii;
    if (IsElement(root, kZugferd1Ns, "CrossIndustryDocument"))
        return TXmlKind::Zugferd1;
    return TXmlKind::Unknown;
}

TInvoice ReadInvoice(const TXmlDocument& document)
{
    xmlNode* root = document.Root();
    TInvoice invoice;
    switch (KindOfDocument(document)) {
    case TXmlKind::UblInvoice:
        invoice.Syntax = TInvoiceSyntax::Ubl;
        invoice.Root.Path = QStringLiteral("/ubl:Invoice");
        break;
    case TXmlKind::UblCreditNote:
        invoice.Syntax = TInvoiceSyntax::UblCreditNote;
        invoice.Root.Path = QStringLiteral("/cn:CreditNote");
        break;
    case TXmlKind::Cii:
        invoice.Syntax = TInvoiceSyntax::Cii;
        invoice.Root.Path = QStringLiteral("/rsm:CrossIndustryInvoice");
        break;
    case TXmlKind::Zugferd1:
        throw Exception(QStringLiteral("Die Rechnung ist im Format ZUGFeRD 1.0 (CrossIndustryDocument) geschrieben. "
                                       "Gelesen werden Rechnungen nach EN 16931 in UBL (Invoice, CreditNote) oder CII "
                                       "(CrossIndustryInvoice)."));
    case TXmlKind::Unknown: {
        const QString name = root && root->name ? QString::fromUtf8(reinterpret_cast<const char*>(root->name)) : QString();
        const QString ns = root && root->ns && root->ns->href ? QString::fromUtf8(reinterpret_cast<const char*>(root->ns->href))
                                                                : QStringLiteral("ohne Namensraum");
        throw Exception(QStringLiteral("Das Dokument ist keine Rechnung in UBL oder CII: Das Wurzelelement ist <%1> (%2).")
                            .arg(name, ns));
    }
    }
    invoice.Root.Line = LineOf(root);
    TBuilder(Compiled(invoice.Syntax), root).Fill(invoice.Root, QString(), root);
    ReadTaxTotals(invoice, root);
    if (invoice.Syntax != TInvoiceSyntax::Cii)
        SplitNoteSubjects(invoice.Root);
    return invoice;
}

TInvoice ReadInvoice(const QByteArray& bytes)
{
    const TXmlDocument document(bytes);
    return ReadInvoice(document);
}
