#pragma once

#include "model/Decimal.h"

#include <QString>
#include <QStringView>

#include <vector>

struct _xmlNode;
struct _xmlAttr;

// What the checks need of an XML tree: the nodes a path selects, their text, and numbers
// read the way the published rules read them (XPath 2.0 on a document without a schema:
// every value is untyped; a comparison with a number turns it into a double; xs:decimal()
// makes it an exact decimal). Paths are those of the model's bindings (see Bindings.h),
// compiled once per literal.

namespace xq {

// While one lives on a thread, a path from the root element ("/rsm:.../ram:X") is evaluated
// once per document and path, however many elements ask for it: a rule on each of a
// hundred thousand lines that asks about the document as a whole must not walk all lines
// each time. Set up around the check of one document (nodes of another document must not
// be looked at while it lives).
class TRootPathScope
{
public:
    TRootPathScope();
    ~TRootPathScope();
    TRootPathScope(const TRootPathScope&) = delete;
    TRootPathScope& operator=(const TRootPathScope&) = delete;

private:
    void* FOuter;
    void* FOwn;
};

// A value the rule's expression cannot evaluate (a cast of "12,50" to a number): XPath
// raises a dynamic error there, and a check that raises never passes.
struct TEvalError
{
    QString Why;
};

// The elements (or, for a path ending in @name, the attributes' elements) that path
// selects from context, in document order per alternative.
std::vector<_xmlNode*> Select(_xmlNode* context, const char* path);
// The string values of what path selects (an element's text, or an attribute's value).
std::vector<QString> Values(_xmlNode* context, const char* path);
bool Exists(_xmlNode* context, const char* path);
int Count(_xmlNode* context, const char* path);
// normalize-space() of each value path selects. While a TRootPathScope lives, found once
// per node and path: rules over the whole document ask the same of every tax category for
// each of twenty category codes.
const std::vector<QString>& NormalizedValues(_xmlNode* context, const char* path);
// The string value of the first node path selects, or a null text.
QString First(_xmlNode* context, const char* path);
// Whether some node path selects has a value that is not blank.
bool NonBlank(_xmlNode* context, const char* path);
// Whether some node path selects has the value (after normalize-space) one of values.
bool AnyNormalizedIs(_xmlNode* context, const char* path, std::initializer_list<const char*> values);
// The same without normalizing (XPath's "path = 'v'" on untyped values).
bool AnyIs(_xmlNode* context, const char* path, const char* value);

// XPath's string value of an element: all its descendant text, in document order.
QString StringValue(const _xmlNode* node);
QString AttributeValue(const _xmlNode* node, const char* name); // null text when absent
bool HasAttribute(const _xmlNode* node, const char* name);
// Whether normalize-space() of the element's string value is empty.
bool IsBlankValue(const _xmlNode* node);
// XPath's normalize-space(): blanks (space, tab, CR, LF) at both ends dropped, runs of them
// made one space. Other white space (no-break space) stays, as in XPath.
QString NormalizeSpace(QStringView text);

// Whether the element is name in the namespace of prefix ("cbc:ID").
bool Is(const _xmlNode* node, const char* qualifiedName);
const char* LocalName(const _xmlNode* node);
const char* NamespaceUri(const _xmlNode* node);
// The parent element, or nullptr at the root element.
_xmlNode* ParentElement(const _xmlNode* node);
// Whether an ancestor of the node is that element ("cac:PayeeParty").
bool HasAncestor(const _xmlNode* node, const char* qualifiedName);
// The document's root element.
_xmlNode* RootElement(const _xmlNode* node);
// The descendant elements of that name, in document order ("//ram:ParentLineID").
std::vector<_xmlNode*> Descendants(const _xmlNode* node, const char* qualifiedName);
// Child elements in order.
std::vector<_xmlNode*> ChildElements(const _xmlNode* node);
bool HasChildElements(const _xmlNode* node);
// The element's name with the usual prefix ("cac:Party"); nullptr as the prefix of a
// namespace the checks know no prefix for (such a name matches no path of theirs).
const char* UsualPrefix(const _xmlNode* node);
// Where the element stands: "/ubl:Invoice/cac:InvoiceLine[3]/cbc:ID" (the usual prefixes,
// the position among same-named siblings when there are several).
QString LocationOf(const _xmlNode* node);
int LineOf(const _xmlNode* node);

// xs:decimal(text): raises TEvalError for a text that is no decimal.
TDecimal Decimal(const QString& text);
// xs:double(text) as a general comparison casts an untyped value: raises TEvalError.
double Double(const QString& text);
// number(text): NaN for a text that is no number.
double Number(const QString& text);
// XPath's round() of a double: the nearest integer, a tie towards positive infinity.
double Round(double value);
// xs:date(text) as a point in time for comparisons (minutes; a date without time zone is
// taken as UTC): raises TEvalError for a text that is no date.
long long Date(const QString& text);
// Whether the text is a valid xs:decimal / xs:double lexical form (blanks around allowed).
bool IsDecimal(QStringView text);
bool IsDouble(QStringView text);

// XPath's regular expression match (matches($input, $pattern)) for the patterns the
// rules use; the input is searched, not anchored, as in XPath.
bool Matches(const QString& input, const char* pattern);
// That pattern in PCRE's dialect (for the tests).
QString XPathToPcre(const char* pattern);

} // namespace xq
