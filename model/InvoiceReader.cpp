#include "model/InvoiceReader.h"

#include "model/Bindings.h"
#include "model/XmlPath.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cctype>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

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
    bool FirstOfKindOnly;
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

void Compile(const std::vector<TBinding>& table, char only, TCompiledSyntax& into)
{
    for (const TBinding& b : table) {
        if ((std::strchr(b.Flags, 'I') && only != 'I') || (std::strchr(b.Flags, 'C') && only != 'C'))
            continue;
        const TTermDef* term = FindTerm(b.Term);
        if (!term)
            throw std::invalid_argument(std::string("binding of an unknown term ") + b.Term);
        TGroupBindings& group = into.ByGroup[b.Parent];
        const int index = int(group.Bindings.size());
        group.Bindings.push_back({term, TXmlPath::Compile(b.Path), std::strchr(b.Flags, '?') != nullptr,
                                  std::strchr(b.Flags, '1') != nullptr});
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
}

// The bindings of a syntax, compiled when a document of it is first read.
const TCompiledSyntax& Compiled(TInvoiceSyntax syntax)
{
    static TCompiledSyntax compiled[3];
    static std::once_flag once[3];
    const int i = int(syntax);
    std::call_once(once[i], [syntax, i] {
        switch (syntax) {
        case TInvoiceSyntax::Ubl:
            Compile(UblBindings(), 'I', compiled[i]);
            break;
        case TInvoiceSyntax::UblCreditNote:
            Compile(UblBindings(), 'C', compiled[i]);
            break;
        case TInvoiceSyntax::Cii:
            Compile(CiiBindings(), '*', compiled[i]);
            break;
        }
    });
    return compiled[i];
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

// Whether no earlier sibling element has the element's name (the nearest one is found
// first, so asking for every element of a long run costs one step each).
bool IsFirstOfKind(const xmlNode* node)
{
    for (const xmlNode* s = node->prev; s; s = s->prev) {
        if (s->type == XML_ELEMENT_NODE && s->ns && node->ns
            && std::strcmp(reinterpret_cast<const char*>(s->name), reinterpret_cast<const char*>(node->name)) == 0
            && std::strcmp(reinterpret_cast<const char*>(s->ns->href), reinterpret_cast<const char*>(node->ns->href)) == 0)
            return false;
    }
    return true;
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
            if (b.FirstOfKindOnly && !IsFirstOfKind(context))
                continue;
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
    thread_local const QRegularExpression subject(QStringLiteral("^#([A-Za-z0-9]{3})#"));
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

namespace {

QString NotWellFormed(const QString& why)
{
    return QStringLiteral("Die Rechnung ist kein wohlgeformtes XML: %1").arg(why);
}

bool StartsWith(const QByteArray& bytes, const char* prefix, qsizetype length)
{
    return bytes.size() >= length && std::memcmp(bytes.constData(), prefix, size_t(length)) == 0;
}

// The encoding the XML declaration names ("" when it names none), read from the
// declaration's bytes as ASCII.
QByteArray DeclaredEncoding(const QByteArray& ascii)
{
    if (!ascii.startsWith("<?xml"))
        return {};
    const qsizetype end = ascii.indexOf("?>");
    const QByteArray declaration = ascii.left(end < 0 ? ascii.size() : end);
    thread_local const QRegularExpression encoding(QStringLiteral("\\sencoding\\s*=\\s*(['\"])([^'\"]*)\\1"));
    const QRegularExpressionMatch m = encoding.match(QString::fromLatin1(declaration));
    return m.hasMatch() ? m.captured(2).toLatin1().toUpper() : QByteArray();
}

// An entity in UTF-16 that declares another encoding is a fatal error of XML 1.0, which
// libxml2 does not report (it reads on in UTF-16); likewise a UTF-8 byte-order mark in front
// of a declaration that names another encoding. Returns the reason, or a null text. For
// UTF-16 input also gives the text as UTF-8 for the scan below.
QString EncodingContradiction(const QByteArray& bytes, QByteArray& utf8ForScan)
{
    const bool utf16le = StartsWith(bytes, "\xFF\xFE", 2) || StartsWith(bytes, "<\0?\0", 4);
    const bool utf16be = StartsWith(bytes, "\xFE\xFF", 2) || StartsWith(bytes, "\0<\0?", 4);
    if (utf16le || utf16be) {
        const bool bom = bytes.size() >= 2 && (uchar(bytes[0]) == 0xFF || uchar(bytes[0]) == 0xFE);
        const qsizetype units = (bytes.size() - (bom ? 2 : 0)) / 2;
        const auto* data = reinterpret_cast<const uchar*>(bytes.constData()) + (bom ? 2 : 0);
        QString text(units, Qt::Uninitialized);
        for (qsizetype i = 0; i < units; ++i)
            text[i] = QChar(utf16le ? char16_t(data[2 * i] | data[2 * i + 1] << 8) : char16_t(data[2 * i] << 8 | data[2 * i + 1]));
        utf8ForScan = text.toUtf8();
        const QByteArray declared = DeclaredEncoding(utf8ForScan.left(256));
        if (!declared.isEmpty() && !declared.startsWith("UTF-16") && declared != "UTF16")
            return NotWellFormed(QStringLiteral("Die Datei ist in UTF-16 geschrieben, die XML-Deklaration nennt aber %1.")
                                     .arg(QString::fromLatin1(declared)));
        return {};
    }
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
        const QByteArray declared = DeclaredEncoding(bytes.mid(3, 256));
        if (!declared.isEmpty() && declared != "UTF-8" && declared != "UTF8")
            return NotWellFormed(QStringLiteral("Die Datei beginnt mit der Markierung für UTF-8, die XML-Deklaration nennt aber %1.")
                                     .arg(QString::fromLatin1(declared)));
    }
    return {};
}

// No invoice has more than a few dozen attributes or namespace declarations on one
// element, but libxml2 compares each with all earlier ones of its element (and looks up
// prefixes through all declarations in scope): a hostile document with a hundred thousand
// of them would take minutes. Counted here in one pass over the bytes, before libxml2
// parses; markup that is not a start tag (comments, CDATA, processing instructions, the
// document type) is passed over. Returns the reason for a refusal, or a null text.
constexpr int kMaxAttributes = 256;
constexpr int kMaxNamespaceDeclarations = 256;
constexpr int kMaxNamespacesInScope = 1024;

QString TooManyAttributes(const QByteArray& bytes)
{
    const char* b = bytes.constData();
    const qsizetype n = bytes.size();
    auto find = [&](qsizetype from, const char* what) -> qsizetype {
        const QByteArrayView rest(b + from, n - from);
        const qsizetype at = rest.indexOf(QByteArrayView(what));
        return at < 0 ? n : from + at + qsizetype(std::strlen(what));
    };
    auto lineAt = [&](qsizetype at) { return int(QByteArrayView(b, at).count('\n')) + 1; };
    std::vector<int> scope; // namespace declarations of each open element
    long long inScope = 0;
    qsizetype i = 0;
    while (i < n) {
        const void* lt = std::memchr(b + i, '<', size_t(n - i));
        if (!lt)
            break;
        i = static_cast<const char*>(lt) - b;
        const QByteArrayView at(b + i, n - i);
        if (at.startsWith("<!--")) {
            i = find(i + 4, "-->");
        } else if (at.startsWith("<![CDATA[")) {
            i = find(i + 9, "]]>");
        } else if (at.startsWith("<?")) {
            i = find(i + 2, "?>");
        } else if (at.startsWith("<!")) {
            // The document type, with an internal subset in brackets and quoted literals.
            int brackets = 0;
            char quote = 0;
            for (++i; i < n; ++i) {
                const char c = b[i];
                if (quote) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++brackets;
                } else if (c == ']') {
                    --brackets;
                } else if (c == '>' && brackets <= 0) {
                    ++i;
                    break;
                }
            }
        } else if (at.startsWith("</")) {
            if (!scope.empty()) {
                inScope -= scope.back();
                scope.pop_back();
            }
            i = find(i + 2, ">");
        } else {
            const qsizetype start = i;
            int attributes = 0;
            int declarations = 0;
            char quote = 0;
            bool empty = false;
            for (++i; i < n; ++i) {
                const char c = b[i];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                    continue;
                }
                if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    empty = b[i - 1] == '/';
                    ++i;
                    break;
                } else if (c == '=') {
                    // The name in front of it decides: a namespace declaration or an attribute.
                    qsizetype end = i;
                    while (end > start && std::isspace(uchar(b[end - 1])))
                        --end;
                    qsizetype from = end;
                    while (from > start && !std::isspace(uchar(b[from - 1])) && b[from - 1] != '"' && b[from - 1] != '\'')
                        --from;
                    const QByteArrayView name(b + from, end - from);
                    if (name == "xmlns" || name.startsWith("xmlns:"))
                        ++declarations;
                    else
                        ++attributes;
                }
            }
            if (attributes > kMaxAttributes)
                return QStringLiteral("Ein Element hat %1 Attribute (Zeile %2); eine Rechnung braucht nie mehr als %3 an einem "
                                      "Element.")
                    .arg(attributes).arg(lineAt(start)).arg(kMaxAttributes);
            if (declarations > kMaxNamespaceDeclarations)
                return QStringLiteral("Ein Element deklariert %1 Namensräume (Zeile %2); eine Rechnung braucht nie mehr als %3 an "
                                      "einem Element.")
                    .arg(declarations).arg(lineAt(start)).arg(kMaxNamespaceDeclarations);
            if (!empty) {
                scope.push_back(declarations);
                inScope += declarations;
                if (inScope > kMaxNamespacesInScope)
                    return QStringLiteral("In Zeile %1 gelten %2 Namensraum-Deklarationen zugleich; eine Rechnung braucht nie mehr "
                                          "als %3.")
                        .arg(lineAt(start)).arg(inScope).arg(kMaxNamespacesInScope);
            }
        }
    }
    return {};
}

// The first error (not warning) the parser reports: namespace errors do not stop it, and
// a later warning would take the place of the last error.
void KeepFirstError(void* userData, xmlErrorPtr error)
{
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    auto* first = static_cast<xmlError*>(context->_private);
    if (!error || error->level < XML_ERR_ERROR || !first || first->code != XML_ERR_OK)
        return;
    xmlCopyError(error, first);
}

// libxml2 writes some errors (of the encoding conversion) to stderr on its own, past the
// parser's error handling: the reason reaches the user through the parser's error anyway.
void NoGenericError(void*, const char*, ...) {}

} // namespace

TXmlDocument::TXmlDocument(const QByteArray& bytes)
{
    thread_local const bool quiet = [] {
        xmlSetGenericErrorFunc(nullptr, NoGenericError);
        return true;
    }();
    (void)quiet;
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
        throw Exception(QStringLiteral("Die Datei enthält kein XML: sie ist leer."));
    QByteArray utf8ForScan;
    if (const QString why = EncodingContradiction(bytes, utf8ForScan); !why.isNull())
        throw Exception(why);
    if (const QString why = TooManyAttributes(utf8ForScan.isNull() ? bytes : utf8ForScan); !why.isNull())
        throw Exception(QStringLiteral("Die Rechnung wird nicht gelesen: %1").arg(why));
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context)
        throw Exception(QStringLiteral("Der XML-Parser kann nicht angelegt werden."));
    xmlError first;
    std::memset(&first, 0, sizeof first);
    context->_private = &first;
    context->sax->serror = KeepFirstError;
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES | XML_PARSE_NOCDATA;
    FDoc = xmlCtxtReadMemory(context, bytes.constData(), int(bytes.size()), "rechnung.xml", nullptr, options);
    // A document that is well-formed XML but breaks the rules of namespaces (a prefix that
    // is not declared, an attribute twice under two prefixes of one namespace, the xml
    // prefix bound elsewhere) is no well-formed document for a namespace-aware reader.
    if (!FDoc || !context->wellFormed || !context->nsWellFormed) {
        const xmlError* error = first.code != XML_ERR_OK ? &first : xmlCtxtGetLastError(context);
        const QString where = error ? QStringLiteral(" (Zeile %1, Spalte %2)").arg(error->line).arg(error->int2) : QString();
        const QString detail = error && error->message ? QString::fromUtf8(error->message).trimmed() : QString();
        xmlResetError(&first);
        if (FDoc)
            xmlFreeDoc(FDoc);
        FDoc = nullptr;
        xmlFreeParserCtxt(context);
        throw Exception(WithReason(QStringLiteral("Die Rechnung ist kein wohlgeformtes XML%1.").arg(where),
                                   QStringLiteral("Meldung des XML-Parsers"), detail));
    }
    xmlResetError(&first);
    xmlFreeParserCtxt(context);
}

void InitXmlReading()
{
    xmlInitParser();
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

QString ProfileOfGuideline(const QString& guideline)
{
    const QString id = guideline.trimmed();
    struct TKnown
    {
        const char* Id;
        const char* Profile;
    };
    static const TKnown kKnown[] = {
        {"urn:cen.eu:en16931:2017", "EN16931"},
        {"urn:factur-x.eu:1p0:minimum", "MINIMUM"},
        {"urn:zugferd.de:2p0:minimum", "MINIMUM"},
        {"urn:factur-x.eu:1p0:basicwl", "BASIC-WL"},
        {"urn:zugferd.de:2p0:basicwl", "BASIC-WL"},
        {"urn:cen.eu:en16931:2017#compliant#urn:factur-x.eu:1p0:basic", "BASIC"},
        {"urn:cen.eu:en16931:2017#compliant#urn:zugferd.de:2p0:basic", "BASIC"},
        {"urn:cen.eu:en16931:2017#conformant#urn:factur-x.eu:1p0:extended", "EXTENDED"},
        {"urn:cen.eu:en16931:2017#conformant#urn:zugferd.de:2p0:extended", "EXTENDED"},
    };
    for (const TKnown& k : kKnown) {
        if (id == QLatin1String(k.Id))
            return QString::fromLatin1(k.Profile);
    }
    // XRechnung in every version, with or without its extension.
    if (id.startsWith(QLatin1String("urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_"))
        || id.startsWith(QLatin1String("urn:cen.eu:en16931:2017#conformant#urn:xeinkauf.de:kosit:extension:xrechnung_")))
        return QStringLiteral("XRECHNUNG");
    return {};
}

QString NoEInvoiceNotice(const QString& profile)
{
    const char* what = profile == QLatin1String("MINIMUM")    ? "Profil MINIMUM: Buchungshilfe"
                       : profile == QLatin1String("BASIC-WL") ? "Profil BASIC WL: Buchungshilfe"
                       : profile == QLatin1String("ZUGFERD-1") ? "ZUGFeRD 1.0"
                                                               : nullptr;
    if (!what)
        return {};
    return QStringLiteral("Keine E-Rechnung nach § 14 UStG (%1) – bitte wie eine sonstige Rechnung prüfen").arg(QString::fromUtf8(what));
}

QString InvoiceProfile(const TXmlDocument& document)
{
    xmlNode* root = document.Root();
    auto child = [](xmlNode* parent, const char* ns, const char* local) -> xmlNode* {
        for (xmlNode* c = parent ? parent->children : nullptr; c; c = c->next) {
            if (IsElement(c, ns, local))
                return c;
        }
        return nullptr;
    };
    switch (KindOfDocument(document)) {
    case TXmlKind::Zugferd1:
        return QStringLiteral("ZUGFERD-1");
    case TXmlKind::UblInvoice:
    case TXmlKind::UblCreditNote: {
        const xmlNode* id = child(root, NamespaceOfPrefix("cbc"), "CustomizationID");
        return id ? ProfileOfGuideline(XmlText(id)) : QString();
    }
    case TXmlKind::Cii: {
        const char* ram = NamespaceOfPrefix("ram");
        const xmlNode* id = child(child(child(root, kCiiNs, "ExchangedDocumentContext"), ram, "GuidelineSpecifiedDocumentContextParameter"),
                                  ram, "ID");
        return id ? ProfileOfGuideline(XmlText(id)) : QString();
    }
    case TXmlKind::Unknown:
        break;
    }
    return {};
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
