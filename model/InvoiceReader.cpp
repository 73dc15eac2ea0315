#include "model/InvoiceReader.h"

#include "model/Bindings.h"
#include "model/XmlPath.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cctype>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QHash>
#include <QRegularExpression>

#include <cstring>
#include <deque>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace {

constexpr const char* kZugferd1Ns = "urn:ferd:CrossIndustryDocument:invoice:1p0";

// The bindings of one syntax, compiled, by the group they belong to.
struct TCompiledBinding
{
    const TTermDef* Term;
    TXmlPath Path;
    bool DropWhenEmpty;
};

struct TStringHash
{
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

// The bindings of one group. Those that start at a child of the group's element are found
// by that child's name, so the children are walked once for all of them.
struct TGroupBindings
{
    std::vector<TCompiledBinding> Bindings;
    // Local name of a first step -> (binding, alternative).
    std::unordered_map<std::string, std::vector<std::pair<int, int>>, TStringHash, std::equal_to<>> ByFirstStep;
    std::vector<int> Others; // the bindings that start elsewhere (".", "..", "/", "@")
    int ValueBindings = 0;   // for reserving room
    int GroupBindings = 0;
};

struct TCompiledSyntax
{
    std::unordered_map<std::string, TGroupBindings, TStringHash, std::equal_to<>> ByGroup; // "" for the invoice
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
                TGroupBindings& group = into.ByGroup[b.Parent];
                const int index = int(group.Bindings.size());
                group.Bindings.push_back({term, TXmlPath::Compile(b.Path), std::strchr(b.Flags, '?') != nullptr});
                ++(term->Type == TTermType::Group ? group.GroupBindings : group.ValueBindings);
                const TXmlPath& path = group.Bindings.back().Path;
                if (path.StartsWithChildSteps()) {
                    int alternative = 0;
                    for (const TXmlPath::TStep* first : path.FirstSteps())
                        group.ByFirstStep[first->Local].emplace_back(index, alternative++);
                } else {
                    group.Others.push_back(index);
                }
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

// Attribute names repeat on every amount and quantity: each is made a QString once (the
// first few hundred: a document cannot make the list grow without end).
QString AttributeName(const xmlChar* name)
{
    thread_local std::unordered_map<std::string, QString, TStringHash, std::equal_to<>> names;
    const std::string_view key(reinterpret_cast<const char*>(name));
    if (const auto it = names.find(key); it != names.end())
        return it->second;
    QString text = QString::fromUtf8(key.data(), qsizetype(key.size()));
    if (names.size() < 512)
        names.emplace(std::string(key), text);
    return text;
}

void TakeAttributes(const xmlNode* node, TTermValue& v)
{
    for (const xmlAttr* a = node->properties; a; a = a->next)
        v.Attributes.emplace_back(AttributeName(a->name), XmlAttributeText(a));
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
    void Fill(TTermGroup& group, std::string_view groupId, xmlNode* context, int depth = 0)
    {
        // A sub-line carries the terms of a line.
        const auto it = FSyntax.ByGroup.find(groupId == "BG-DEX-01" ? std::string_view("BG-25") : groupId);
        if (it == FSyntax.ByGroup.end())
            return;
        const TGroupBindings& g = it->second;
        group.Values.reserve(size_t(g.ValueBindings));
        group.Groups.reserve(size_t(g.GroupBindings));
        if (FMatches.size() <= size_t(depth))
            FMatches.resize(depth + 1);
        // The children once, in document order, each handed to the bindings that start with it.
        std::vector<std::pair<const xmlChar*, int>> counts; // same-named elements so far, for locations
        for (xmlNode* child = context->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE || !child->ns || !child->ns->href)
                continue;
            const auto found = g.ByFirstStep.find(std::string_view(reinterpret_cast<const char*>(child->name)));
            if (found == g.ByFirstStep.end())
                continue;
            int index = 0;
            for (auto& [name, count] : counts) {
                if (name == child->name) {
                    index = ++count;
                    break;
                }
            }
            if (index == 0)
                counts.emplace_back(child->name, index = 1);
            for (const auto& [bindingIndex, alternative] : found->second) {
                const TCompiledBinding& b = g.Bindings[size_t(bindingIndex)];
                const bool isGroup = b.Term->Type == TTermType::Group;
                std::vector<TXmlPath::TMatch>& matches = FMatches[size_t(depth)];
                matches.clear();
                std::string location;
                if (isGroup)
                    location = '/' + b.Path.FirstSteps()[size_t(alternative)]->Qualified + '[' + std::to_string(index) + ']';
                b.Path.ContinueFrom(size_t(alternative), child, location, FRoot, isGroup, matches);
                Take(group, b, matches, depth);
            }
        }
        for (int bindingIndex : g.Others) {
            const TCompiledBinding& b = g.Bindings[size_t(bindingIndex)];
            std::vector<TXmlPath::TMatch>& matches = FMatches[size_t(depth)];
            matches.clear();
            b.Path.Evaluate(context, FRoot, b.Term->Type == TTermType::Group, matches);
            Take(group, b, matches, depth);
        }
    }

private:
    void Take(TTermGroup& group, const TCompiledBinding& b, std::vector<TXmlPath::TMatch>& matches, int depth)
    {
        if (b.Term->Type != TTermType::Group) {
            for (const TXmlPath::TMatch& m : matches)
                group.Values.push_back(ValueOf(b.Term, m));
            return;
        }
        // The nested fills use deeper match buffers: these stay as they are.
        for (size_t i = 0; i < matches.size(); ++i) {
            const TXmlPath::TMatch m = matches[i];
            auto child = std::make_unique<TTermGroup>();
            child->Term = b.Term;
            child->Line = LineOf(m.Node);
            child->Parent = &group;
            child->Location = m.Location;
            Fill(*child, b.Term->Id, m.Node, depth + 1);
            if (b.DropWhenEmpty && child->IsEmpty())
                continue;
            group.Groups.push_back(std::move(child));
        }
    }

    static TTermValue ValueOf(const TTermDef* term, const TXmlPath::TMatch& m)
    {
        TTermValue v;
        v.Term = term;
        v.Line = LineOf(m.Node);
        if (m.Attribute) {
            v.Text = XmlAttributeText(m.Attribute);
        } else {
            v.Text = XmlText(m.Node);
            TakeAttributes(m.Node, v);
        }
        return v;
    }

    const TCompiledSyntax& FSyntax;
    xmlNode* FRoot;
    std::deque<std::vector<TXmlPath::TMatch>> FMatches; // one buffer per nesting depth; growing keeps them in place
};

bool IsElement(const xmlNode* n, const char* ns, const char* local)
{
    return n && n->type == XML_ELEMENT_NODE && n->ns && n->ns->href
        && std::strcmp(reinterpret_cast<const char*>(n->ns->href), ns) == 0
        && std::strcmp(reinterpret_cast<const char*>(n->name), local) == 0;
}

TTermGroup& GroupFor(TTermGroup& parent, const char* id)
{
    for (auto& g : parent.Groups) {
        if (std::strcmp(g->Term->Id, id) == 0)
            return *g;
    }
    auto g = std::make_unique<TTermGroup>();
    g->Term = FindTerm(id);
    g->Parent = &parent;
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
        TakeAttributes(m.Node, v);
        const QString currency = v.Attribute(u"currencyID").trimmed();
        const bool accounting = !accountingCurrency.isEmpty() && accountingCurrency != invoiceCurrency
            && currency == accountingCurrency;
        if (!accounting && haveInvoiceTotal)
            continue;
        haveInvoiceTotal = haveInvoiceTotal || !accounting;
        v.Term = FindTerm(accounting ? u"BT-111" : u"BT-110");
        GroupFor(invoice.Root, "BG-22").Values.push_back(std::move(v));
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
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
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
        invoice.Root.Location = "/ubl:Invoice";
        break;
    case TXmlKind::UblCreditNote:
        invoice.Syntax = TInvoiceSyntax::UblCreditNote;
        invoice.Root.Location = "/cn:CreditNote";
        break;
    case TXmlKind::Cii:
        invoice.Syntax = TInvoiceSyntax::Cii;
        invoice.Root.Location = "/rsm:CrossIndustryInvoice";
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
    TBuilder(Compiled(invoice.Syntax), root).Fill(invoice.Root, "", root);
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
