#include "checks/Xml.h"

#include "model/Bindings.h"
#include "model/XmlPath.h"

#include <libxml/tree.h>

#include <QHash>
#include <QRegularExpression>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace xq {

namespace {

// Paths are literals of the rule tables: compiled once per thread and literal.
const TXmlPath& Compiled(const char* path)
{
    thread_local std::unordered_map<const char*, std::unique_ptr<TXmlPath>> cache;
    auto it = cache.find(path);
    if (it == cache.end())
        it = cache.emplace(path, std::make_unique<TXmlPath>(TXmlPath::Compile(path))).first;
    return *it->second;
}

// Where an element stands among its same-named siblings: its position and how many there are.
struct TSiblingPosition
{
    int Position = 1;
    int Same = 1;
};

struct TRootPaths
{
    std::unordered_map<const char*, std::vector<TXmlPath::TMatch>> ByPath;
    // The positions of the children of every parent asked about, found in one walk of its
    // children (a finding on each of a hundred thousand lines must not count the lines each).
    std::unordered_map<const xmlNode*, TSiblingPosition> Positions;
    std::unordered_set<const xmlNode*> PositionsOf;
    struct TNodePathHash
    {
        size_t operator()(const std::pair<const xmlNode*, const char*>& k) const
        {
            return std::hash<const void*>()(k.first) * 31 + std::hash<const void*>()(k.second);
        }
    };
    std::unordered_map<std::pair<const xmlNode*, const char*>, std::vector<QString>, TNodePathHash> Normalized;
};
thread_local TRootPaths* tRootPaths = nullptr;

// The cached matches of a path from the root element while a TRootPathScope lives, found
// at the first question; nullptr for any other path.
const std::vector<TXmlPath::TMatch>* FromRootCache(_xmlNode* context, const TXmlPath& compiled, const char* path)
{
    if (!tRootPaths || !compiled.IsFromRoot())
        return nullptr;
    auto it = tRootPaths->ByPath.find(path);
    if (it == tRootPaths->ByPath.end()) {
        it = tRootPaths->ByPath.emplace(path, std::vector<TXmlPath::TMatch>()).first;
        compiled.Evaluate(context, RootElement(context), false, it->second);
    }
    return &it->second;
}

// What path selects from context: a reference to the cached matches of a path from the
// root element, or to scratch filled with them.
const std::vector<TXmlPath::TMatch>& Matches(_xmlNode* context, const char* path, std::vector<TXmlPath::TMatch>& scratch)
{
    scratch.clear();
    if (!context)
        return scratch;
    const TXmlPath& compiled = Compiled(path);
    if (const std::vector<TXmlPath::TMatch>* cached = FromRootCache(context, compiled, path))
        return *cached;
    compiled.Evaluate(context, RootElement(context), false, scratch);
    return scratch;
}

QString ValueOf(const TXmlPath::TMatch& m)
{
    return m.Attribute ? XmlAttributeText(m.Attribute) : StringValue(m.Node);
}

bool IsXmlBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

QStringView TrimXml(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && IsXmlBlank(text[from].unicode()))
        ++from;
    while (to > from && IsXmlBlank(text[to - 1].unicode()))
        --to;
    return text.mid(from, to - from);
}

// The node after n in document order without leaving top (whose descendant n is):
// into n's children first, then its next sibling or an ancestor's; nullptr at the end.
const xmlNode* NextWithin(const xmlNode* n, const xmlNode* top)
{
    if (n->type == XML_ELEMENT_NODE && n->children)
        return n->children;
    while (n && n != top && !n->next)
        n = n->parent;
    return !n || n == top ? nullptr : n->next;
}

bool SameName(const _xmlNode* a, const _xmlNode* b)
{
    if (std::strcmp(reinterpret_cast<const char*>(a->name), reinterpret_cast<const char*>(b->name)) != 0)
        return false;
    const char* na = NamespaceUri(a);
    const char* nb = NamespaceUri(b);
    return (!na && !nb) || (na && nb && std::strcmp(na, nb) == 0);
}

} // namespace

TRootPathScope::TRootPathScope()
    : FOuter(tRootPaths)
    , FOwn(new TRootPaths)
{
    tRootPaths = static_cast<TRootPaths*>(FOwn);
}

TRootPathScope::~TRootPathScope()
{
    delete static_cast<TRootPaths*>(FOwn);
    tRootPaths = static_cast<TRootPaths*>(FOuter);
}

std::vector<_xmlNode*> Select(_xmlNode* context, const char* path)
{
    std::vector<TXmlPath::TMatch> scratch;
    const std::vector<TXmlPath::TMatch>& matches = Matches(context, path, scratch);
    std::vector<_xmlNode*> nodes;
    nodes.reserve(matches.size());
    for (const TXmlPath::TMatch& m : matches)
        nodes.push_back(m.Node);
    return nodes;
}

std::vector<QString> Values(_xmlNode* context, const char* path)
{
    std::vector<TXmlPath::TMatch> scratch;
    const std::vector<TXmlPath::TMatch>& matches = Matches(context, path, scratch);
    std::vector<QString> values;
    values.reserve(matches.size());
    for (const TXmlPath::TMatch& m : matches)
        values.push_back(ValueOf(m));
    return values;
}

bool Exists(_xmlNode* context, const char* path)
{
    if (!context)
        return false;
    const TXmlPath& compiled = Compiled(path);
    if (const std::vector<TXmlPath::TMatch>* cached = FromRootCache(context, compiled, path))
        return !cached->empty();
    return compiled.Exists(context, RootElement(context));
}

int Count(_xmlNode* context, const char* path)
{
    std::vector<TXmlPath::TMatch> scratch;
    return int(Matches(context, path, scratch).size());
}

QString First(_xmlNode* context, const char* path)
{
    std::vector<TXmlPath::TMatch> scratch;
    const std::vector<TXmlPath::TMatch>& matches = Matches(context, path, scratch);
    return matches.empty() ? QString() : ValueOf(matches.front());
}

const std::vector<QString>& NormalizedValues(_xmlNode* context, const char* path)
{
    auto normalized = [&] {
        std::vector<QString> values = Values(context, path);
        for (QString& v : values)
            v = NormalizeSpace(v);
        return values;
    };
    if (!tRootPaths) {
        thread_local std::vector<QString> last;
        last = normalized();
        return last;
    }
    const auto key = std::make_pair(static_cast<const xmlNode*>(context), path);
    auto it = tRootPaths->Normalized.find(key);
    if (it == tRootPaths->Normalized.end())
        it = tRootPaths->Normalized.emplace(key, normalized()).first;
    return it->second;
}

bool NonBlank(_xmlNode* context, const char* path)
{
    for (const QString& v : Values(context, path)) {
        if (!TrimXml(v).isEmpty())
            return true;
    }
    return false;
}

bool AnyNormalizedIs(_xmlNode* context, const char* path, std::initializer_list<const char*> values)
{
    for (const QString& v : Values(context, path)) {
        const QString n = NormalizeSpace(v);
        for (const char* value : values) {
            if (n == QLatin1String(value))
                return true;
        }
    }
    return false;
}

bool AnyIs(_xmlNode* context, const char* path, const char* value)
{
    for (const QString& v : Values(context, path)) {
        if (v == QLatin1String(value))
            return true;
    }
    return false;
}

QString StringValue(const _xmlNode* node)
{
    if (!node)
        return QString();
    // The common case: one text child.
    const xmlNode* only = node->children;
    if (only && !only->next && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE))
        return only->content ? QString::fromUtf8(reinterpret_cast<const char*>(only->content)) : QString(u""_qs);
    QByteArray text;
    for (const xmlNode* n = node->children; n; n = NextWithin(n, node)) {
        if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content)
            text += reinterpret_cast<const char*>(n->content);
    }
    return QString::fromUtf8(text);
}

QString AttributeValue(const _xmlNode* node, const char* name)
{
    for (xmlAttr* a = node ? node->properties : nullptr; a; a = a->next) {
        if (!a->ns && std::strcmp(reinterpret_cast<const char*>(a->name), name) == 0)
            return XmlAttributeText(a);
    }
    return QString();
}

bool HasAttribute(const _xmlNode* node, const char* name)
{
    for (xmlAttr* a = node ? node->properties : nullptr; a; a = a->next) {
        if (!a->ns && std::strcmp(reinterpret_cast<const char*>(a->name), name) == 0)
            return true;
    }
    return false;
}

bool IsBlankValue(const _xmlNode* node)
{
    if (!node)
        return true;
    // As StringValue walks, but stops at the first character that is no blank, without
    // making a text of what may be megabytes of attachment.
    for (const xmlNode* n = node->children; n; n = NextWithin(n, node)) {
        if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content) {
            for (const xmlChar* c = n->content; *c; ++c) {
                if (!IsXmlBlank(char16_t(*c)))
                    return false;
            }
        }
    }
    return true;
}

QString NormalizeSpace(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool pendingBlank = false;
    for (QChar c : text) {
        if (IsXmlBlank(c.unicode())) {
            pendingBlank = !out.isEmpty();
            continue;
        }
        if (pendingBlank)
            out += u' ';
        pendingBlank = false;
        out += c;
    }
    return out;
}

bool Is(const _xmlNode* node, const char* qualifiedName)
{
    if (!node || node->type != XML_ELEMENT_NODE)
        return false;
    const char* colon = std::strchr(qualifiedName, ':');
    if (!colon)
        return false;
    if (std::strcmp(reinterpret_cast<const char*>(node->name), colon + 1) != 0)
        return false;
    const char* uri = NamespaceUri(node);
    if (!uri)
        return false;
    const std::string prefix(qualifiedName, colon);
    const char* wanted = NamespaceOfPrefix(prefix.c_str());
    return wanted && std::strcmp(wanted, uri) == 0;
}

const char* LocalName(const _xmlNode* node)
{
    return reinterpret_cast<const char*>(node->name);
}

const char* NamespaceUri(const _xmlNode* node)
{
    return node->ns && node->ns->href ? reinterpret_cast<const char*>(node->ns->href) : nullptr;
}

_xmlNode* ParentElement(const _xmlNode* node)
{
    return node->parent && node->parent->type == XML_ELEMENT_NODE ? node->parent : nullptr;
}

bool HasAncestor(const _xmlNode* node, const char* qualifiedName)
{
    for (const _xmlNode* up = ParentElement(node); up; up = ParentElement(up)) {
        if (Is(up, qualifiedName))
            return true;
    }
    return false;
}

_xmlNode* RootElement(const _xmlNode* node)
{
    return node && node->doc ? xmlDocGetRootElement(node->doc) : nullptr;
}

std::vector<_xmlNode*> Descendants(const _xmlNode* node, const char* qualifiedName)
{
    std::vector<_xmlNode*> found;
    if (!node)
        return found;
    for (const xmlNode* n = node->children; n; n = NextWithin(n, node)) {
        if (n->type == XML_ELEMENT_NODE && Is(n, qualifiedName))
            found.push_back(const_cast<xmlNode*>(n));
    }
    return found;
}

std::vector<_xmlNode*> ChildElements(const _xmlNode* node)
{
    std::vector<_xmlNode*> children;
    for (xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE)
            children.push_back(c);
    }
    return children;
}

bool HasChildElements(const _xmlNode* node)
{
    for (xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE)
            return true;
    }
    return false;
}

const char* UsualPrefix(const _xmlNode* node)
{
    return PrefixOfNamespace(NamespaceUri(node));
}

namespace {

TSiblingPosition CountedPosition(const xmlNode* n)
{
    TSiblingPosition p;
    for (const xmlNode* s = n->prev; s; s = s->prev) {
        if (s->type == XML_ELEMENT_NODE && SameName(s, n)) {
            ++p.Position;
            ++p.Same;
        }
    }
    for (const xmlNode* s = n->next; s; s = s->next) {
        if (s->type == XML_ELEMENT_NODE && SameName(s, n))
            ++p.Same;
    }
    return p;
}

std::string NameKey(const xmlNode* n)
{
    const char* ns = NamespaceUri(n);
    return std::string(ns ? ns : "") + '|' + reinterpret_cast<const char*>(n->name);
}

TSiblingPosition PositionOf(const xmlNode* n)
{
    if (!tRootPaths || !n->parent)
        return CountedPosition(n);
    const xmlNode* parent = n->parent;
    if (tRootPaths->PositionsOf.insert(parent).second) {
        std::unordered_map<std::string, int> same;
        for (const xmlNode* c = parent->children; c; c = c->next) {
            if (c->type == XML_ELEMENT_NODE)
                tRootPaths->Positions[c].Position = ++same[NameKey(c)];
        }
        for (const xmlNode* c = parent->children; c; c = c->next) {
            if (c->type == XML_ELEMENT_NODE)
                tRootPaths->Positions[c].Same = same[NameKey(c)];
        }
    }
    return tRootPaths->Positions[n];
}

} // namespace

QString LocationOf(const _xmlNode* node)
{
    std::vector<QString> steps;
    for (const xmlNode* n = node; n && n->type == XML_ELEMENT_NODE; n = n->parent) {
        const char* prefix = PrefixOfNamespace(NamespaceUri(n));
        QString step = prefix ? QString::fromLatin1(prefix) + u':' : QStringLiteral("*:");
        step += QString::fromUtf8(LocalName(n));
        const TSiblingPosition p = PositionOf(n);
        if (p.Same > 1)
            step += u'[' + QString::number(p.Position) + u']';
        steps.push_back(step);
    }
    QString location;
    for (auto it = steps.rbegin(); it != steps.rend(); ++it)
        location += u'/' + *it;
    return location;
}

int LineOf(const _xmlNode* node)
{
    return node ? int(xmlGetLineNo(node)) : 0;
}

bool IsDecimal(QStringView text)
{
    const QStringView t = TrimXml(text);
    if (t.isEmpty())
        return false;
    qsizetype i = 0;
    if (t[0] == u'+' || t[0] == u'-')
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c == u'.' && !point)
            point = true;
        else if (c >= u'0' && c <= u'9')
            digits = true;
        else
            return false;
    }
    return digits;
}

bool IsDouble(QStringView text)
{
    const QStringView t = TrimXml(text);
    if (t == u"INF" || t == u"-INF" || t == u"+INF" || t == u"NaN")
        return true;
    qsizetype e = t.indexOf(u'e');
    if (e < 0)
        e = t.indexOf(u'E');
    if (e < 0)
        return IsDecimal(t);
    const QStringView mantissa = t.left(e);
    QStringView exponent = t.mid(e + 1);
    if (!IsDecimal(mantissa) || exponent.isEmpty())
        return false;
    if (exponent[0] == u'+' || exponent[0] == u'-')
        exponent = exponent.mid(1);
    if (exponent.isEmpty())
        return false;
    for (QChar c : exponent) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

TDecimal Decimal(const QString& text)
{
    if (!IsDecimal(text))
        throw TEvalError{QStringLiteral("„%1“ ist keine Dezimalzahl").arg(text)};
    const std::optional<TDecimal> d = TDecimal::Parse(TrimXml(text));
    if (!d)
        throw TEvalError{QStringLiteral("„%1“ hat zu viele Stellen").arg(text)};
    return *d;
}

double Double(const QString& text)
{
    if (!IsDouble(text))
        throw TEvalError{QStringLiteral("„%1“ ist keine Zahl").arg(text)};
    const QStringView t = TrimXml(text);
    if (t == u"INF" || t == u"+INF")
        return std::numeric_limits<double>::infinity();
    if (t == u"-INF")
        return -std::numeric_limits<double>::infinity();
    if (t == u"NaN")
        return std::numeric_limits<double>::quiet_NaN();
    return t.toString().toDouble();
}

double Number(const QString& text)
{
    const QStringView t = TrimXml(text);
    if (t == u"INF" || t == u"-INF" || t == u"+INF" || !IsDouble(t))
        return std::numeric_limits<double>::quiet_NaN();
    return Double(text);
}

long long Date(const QString& text)
{
    thread_local const QRegularExpression form(
        QStringLiteral("^(-?)([0-9]{4,})-([0-9]{2})-([0-9]{2})(Z|([+-])([0-9]{2}):([0-9]{2}))?$"));
    const QRegularExpressionMatch m = form.match(TrimXml(text));
    if (!m.hasMatch())
        throw TEvalError{QStringLiteral("„%1“ ist kein Datum").arg(text)};
    long long year = m.captured(2).toLongLong();
    if (!m.captured(1).isEmpty())
        year = -year;
    const int month = m.captured(3).toInt();
    const int day = m.captured(4).toInt();
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || (month == 2 && day == 29 && !leap))
        throw TEvalError{QStringLiteral("„%1“ ist kein Datum").arg(text)};
    // Days from a fixed origin (proleptic Gregorian calendar).
    const long long y = month <= 2 ? year - 1 : year;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long mp = (month + 9) % 12;
    const long long doy = (153 * mp + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = era * 146097 + doe;
    long long offset = 0;
    if (!m.captured(6).isEmpty()) {
        offset = m.captured(7).toLongLong() * 60 + m.captured(8).toLongLong();
        if (m.captured(6) == u"-")
            offset = -offset;
    }
    return days * 1440 - offset;
}

double Round(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return value;
    const double down = std::floor(value);
    return value - down >= 0.5 ? down + 1.0 : down;
}

QString XPathToPcre(const char* pattern)
{
    // XPath regular expressions differ from PCRE's in what \s, "." and "$" match: \s is
    // only the XML blanks, "." matches anything but CR and LF, "$" only the very end.
    QString out;
    bool inClass = false;
    for (const char* p = pattern; *p; ++p) {
        const char c = *p;
        if (c == '\\' && p[1]) {
            ++p;
            if (*p == 's')
                out += inClass ? QStringLiteral(" \\t\\r\\n") : QStringLiteral("[ \\t\\r\\n]");
            else if (*p == 'S')
                out += inClass ? QStringLiteral("\\S") : QStringLiteral("[^ \\t\\r\\n]");
            else
                out += u'\\' + QChar::fromLatin1(*p);
            continue;
        }
        if (inClass) {
            if (c == ']')
                inClass = false;
            out += QChar::fromLatin1(c);
            continue;
        }
        if (c == '[')
            inClass = true;
        if (c == '.')
            out += QStringLiteral("[^\\r\\n]");
        else if (c == '$')
            out += QStringLiteral("\\z");
        else
            out += QChar::fromLatin1(c);
    }
    return out;
}

bool Matches(const QString& input, const char* pattern)
{
    thread_local QHash<const char*, QRegularExpression> cache;
    auto it = cache.find(pattern);
    if (it == cache.end())
        it = cache.insert(pattern, QRegularExpression(XPathToPcre(pattern)));
    return it->match(input).hasMatch();
}

} // namespace xq
