#include "services/EValidator.h"

#include "platform/AnsiCodePage.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>

namespace {

struct TDocFree
{
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct TXPathContextFree
{
    void operator()(xmlXPathContext* c) const { xmlXPathFreeContext(c); }
};
struct TXPathObjectFree
{
    void operator()(xmlXPathObject* o) const { xmlXPathFreeObject(o); }
};
struct TBufferFree
{
    void operator()(xmlBuffer* b) const { xmlBufferFree(b); }
};

using TDoc = std::unique_ptr<xmlDoc, TDocFree>;

const xmlChar* X(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}

QString FromXml(const xmlChar* s)
{
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}

bool IsBlankText(const xmlNode* node)
{
    if (node->type != XML_TEXT_NODE || !node->content)
        return false;
    for (const xmlChar* p = node->content; *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            return false;
    }
    return true;
}

// The report is read without network access, without loading a DTD and without
// substituting entities: it comes from outside.
TDoc ParseReport(const QByteArray& utf8)
{
    const int options = XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    return TDoc(xmlReadMemory(utf8.constData(), int(utf8.size()), "report.xml", "UTF-8", options));
}

QString SerialiseText(const xmlNode* node)
{
    QString text = FromXml(node->content);
    text.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    return text;
}

// An element is copied into a document of its own first: serialised in place it would
// lose the namespace declarations it inherits from the report.
QString SerialiseNode(xmlNode* node)
{
    std::unique_ptr<xmlBuffer, TBufferFree> buffer(xmlBufferCreate());
    if (node->type == XML_ELEMENT_NODE) {
        TDoc copy(xmlNewDoc(X("1.0")));
        xmlNode* root = xmlDocCopyNode(node, copy.get(), 1);
        if (!root)
            return {};
        xmlDocSetRootElement(copy.get(), root);
        xmlReconciliateNs(copy.get(), root);
        xmlNodeDump(buffer.get(), copy.get(), root, 0, 0);
    } else {
        xmlNodeDump(buffer.get(), node->doc, node, 0, 0);
    }
    return FromXml(xmlBufferContent(buffer.get()));
}

} // namespace

TEValidator::TEValidator(QObject* AOwner, TServiceOptions options)
    : TEServiceClient(AOwner, QStringLiteral("/validate"), std::move(options))
{
}

QString TEValidator::Validate(const QString& xmlstr)
{
    RequestCompleted(Call(xmlstr));
    return Html;
}

void TEValidator::RequestCompleted(const QString& answer)
{
    // The explanation goes through the ANSI code page and back, like every text the
    // program shows from the report.
    const QString explanation = AnsiDecode(AnsiEncode(ExtractExplanation(answer)));
    Html = explanation.isEmpty() ? answer : explanation;
}

QString TEValidator::ExtractExplanation(const QString& report)
{
    if (report.isEmpty())
        return {};
    TDoc doc = ParseReport(report.toUtf8());
    if (!doc)
        return {};
    std::unique_ptr<xmlXPathContext, TXPathContextFree> ctx(xmlXPathNewContext(doc.get()));
    if (!ctx || xmlXPathRegisterNs(ctx.get(), X("rep"), X(kVarlNamespace)) != 0)
        return {};
    std::unique_ptr<xmlXPathObject, TXPathObjectFree> result(
        xmlXPathEvalExpression(X("//rep:explanation"), ctx.get()));
    if (!result || !result->nodesetval || result->nodesetval->nodeNr == 0)
        return {};

    xmlNode* child = result->nodesetval->nodeTab[0]->children;
    while (child && IsBlankText(child))
        child = child->next;
    if (!child)
        return {};
    if (child->type == XML_TEXT_NODE)
        return SerialiseText(child);
    return SerialiseNode(child);
}
