#include "services/EValidator.h"

#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"

#include <QStringList>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
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

QString FirstExplanation(xmlXPathContext* ctx)
{
    std::unique_ptr<xmlXPathObject, TXPathObjectFree> result(xmlXPathEvalExpression(X("//rep:explanation"), ctx));
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

// The assessment sentences a report states: the text of every paragraph of the first
// explanation that begins with "Bewertung:", white space collapsed. The invoice's own
// contents, which the report lists as well, are never paragraphs of their own.
QStringList AssessmentSentences(xmlXPathContext* ctx)
{
    QStringList sentences;
    std::unique_ptr<xmlXPathObject, TXPathObjectFree> found(xmlXPathEvalExpression(
        X("(//rep:explanation)[1]//*[local-name()='p'][starts-with(normalize-space(.), 'Bewertung:')]"), ctx));
    if (!found || !found->nodesetval)
        return sentences;
    for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
        xmlChar* text = xmlNodeGetContent(found->nodesetval->nodeTab[i]);
        sentences << FromXml(text).simplified();
        xmlFree(text);
    }
    return sentences;
}

// "accept", "reject" or empty: the element the report's assessment holds.
QString AssessmentOf(xmlXPathContext* ctx)
{
    std::unique_ptr<xmlXPathObject, TXPathObjectFree> found(
        xmlXPathEvalExpression(X("/rep:report/rep:assessment/*[1]"), ctx));
    if (!found || !found->nodesetval || found->nodesetval->nodeNr == 0)
        return {};
    const xmlNode* node = found->nodesetval->nodeTab[0];
    if (!node->ns || xmlStrcmp(node->ns->href, X(kVarlNamespace)) != 0)
        return {};
    return FromXml(node->name);
}

// The findings the report lists: its messages, with their code, level and place.
std::vector<TReportMessage> MessagesOf(xmlXPathContext* ctx)
{
    std::vector<TReportMessage> messages;
    std::unique_ptr<xmlXPathObject, TXPathObjectFree> found(xmlXPathEvalExpression(X("//rep:message"), ctx));
    if (!found || !found->nodesetval)
        return messages;
    for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
        xmlNode* node = found->nodesetval->nodeTab[i];
        auto attribute = [node](const char* name) {
            xmlChar* value = xmlGetProp(node, X(name));
            const QString text = FromXml(value);
            xmlFree(value);
            return text;
        };
        TReportMessage m;
        m.Id = attribute("code");
        m.Level = attribute("level");
        m.Location = attribute("xpathLocation");
        if (m.Location.isEmpty() && !attribute("lineNumber").isEmpty())
            m.Location = QStringLiteral("Zeile %1, Spalte %2").arg(attribute("lineNumber"), attribute("columnNumber"));
        xmlChar* text = xmlNodeGetContent(node);
        m.Text = FromXml(text).simplified();
        xmlFree(text);
        messages.push_back(std::move(m));
    }
    return messages;
}

bool IsAcceptSentence(const QString& sentence)
{
    return sentence == QLatin1String(kAcceptSentence) || sentence == QLatin1String(kAcceptToleratedSentence);
}

// What the pane shows for an answer that is not a report: why it counts as a rejection,
// the status, and the answer itself as text (never as markup: it comes from anyone
// between us and the service).
QString NoReportHtml(int status, const QString& reason, const QString& answer)
{
    constexpr qsizetype kShown = 64 * 1024;
    QString shown = answer.left(kShown);
    if (answer.size() > kShown)
        shown += QStringLiteral("\n…");
    return QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\"><title>Kein Prüfbericht</title></head>"
                          "<body><h1>Kein Prüfbericht</h1>"
                          "<p class=\"important error\"><b>Die Antwort des Prüfdienstes ist kein Prüfbericht. "
                          "Die Rechnung gilt deshalb als abzulehnen.</b></p>"
                          "<p>HTTP-Status: %1<br>Grund: %2</p><p>Antwort des Dienstes:</p><pre>%3</pre></body></html>")
        .arg(QString::number(status), reason.toHtmlEscaped(), shown.toHtmlEscaped());
}

QString RejectNoteHtml(const QString& reason)
{
    return QStringLiteral("<p class=\"important error\" style=\"background:#ffd0d0;padding:4pt\"><b>Hinweis: %1 "
                          "Die Rechnung gilt deshalb als abzulehnen.</b></p>")
        .arg(reason.toHtmlEscaped());
}

} // namespace

TEValidator::TEValidator(QObject* AOwner, TServiceOptions options)
    : TEServiceClient(AOwner, QStringLiteral("/validate"), std::move(options))
{
}

QString TEValidator::Validate(const QString& xmlstr)
{
    FAccepted = false;
    FIsReport = false;
    FNoScenario = false;
    FMessages.clear();
    const QString answer = Call(xmlstr);
    TReading reading = ReadAnswer(Status(), answer);
    Html = reading.Html;
    FAccepted = reading.Accepted;
    FIsReport = reading.IsReport;
    FNoScenario = reading.NoScenario;
    FMessages = std::move(reading.Messages);
    return Html;
}

TEValidator::TReading TEValidator::ReadAnswer(int status, const QString& answer)
{
    if (answer.trimmed().isEmpty())
        throw Exception(QStringLiteral("Leere Antwort des Prüfdienstes (HTTP-Status %1)").arg(status));

    TReading reading;
    TDoc doc = ParseReport(answer.toUtf8());
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root) {
        reading.Html = NoReportHtml(status, QStringLiteral("Die Antwort ist kein wohlgeformtes XML."), answer);
        return reading;
    }
    if (xmlStrcmp(root->name, X("report")) != 0 || !root->ns || xmlStrcmp(root->ns->href, X(kVarlNamespace)) != 0) {
        reading.Html = NoReportHtml(
            status, QStringLiteral("Das Wurzelelement ist <%1>, kein Prüfbericht (rep:report).").arg(FromXml(root->name)), answer);
        return reading;
    }
    std::unique_ptr<xmlXPathContext, TXPathContextFree> ctx(xmlXPathNewContext(doc.get()));
    if (!ctx || xmlXPathRegisterNs(ctx.get(), X("rep"), X(kVarlNamespace)) != 0)
        throw Exception(QStringLiteral("Der Prüfbericht kann nicht gelesen werden (XPath)."));
    reading.IsReport = true;
    reading.Messages = MessagesOf(ctx.get());

    // The explanation goes through the ANSI code page and back, like every text the
    // program shows from the report.
    const QString explanation = AnsiDecode(AnsiEncode(FirstExplanation(ctx.get())));
    reading.Html = explanation.isEmpty() ? answer : explanation;

    const QString assessment = AssessmentOf(ctx.get());
    const QStringList sentences = AssessmentSentences(ctx.get());
    const bool sentencesAccept = !sentences.isEmpty() && std::all_of(sentences.begin(), sentences.end(), IsAcceptSentence);
    const bool anyAcceptSign = assessment == QLatin1String("accept")
        || std::any_of(sentences.begin(), sentences.end(), IsAcceptSentence);

    QString doubt;
    if (status != 200)
        doubt = QStringLiteral("Der Prüfdienst hat mit HTTP-Status %1 statt 200 geantwortet.").arg(status);
    else if (assessment != QLatin1String("accept"))
        doubt = assessment.isEmpty() ? QStringLiteral("Der Prüfbericht enthält keine Bewertung.")
                                     : QStringLiteral("Die Bewertung im Prüfbericht lautet „%1“.").arg(assessment);
    else if (!sentencesAccept)
        doubt = sentences.isEmpty() ? QStringLiteral("Der Prüfbericht nennt keinen Bewertungssatz.")
                                    : QStringLiteral("Die Bewertungssätze des Prüfberichts widersprechen einander.");
    reading.Accepted = doubt.isEmpty();
    // No scenario: the report's own element for it, or the assessment sentence that says so.
    std::unique_ptr<xmlXPathObject, TXPathObjectFree> unmatched(xmlXPathEvalExpression(X("/rep:report/rep:noScenarioMatched"), ctx.get()));
    reading.NoScenario = (unmatched && unmatched->nodesetval && unmatched->nodesetval->nodeNr > 0)
        || std::any_of(sentences.begin(), sentences.end(), [](const QString& sentence) {
               return sentence.contains(QLatin1String("kein Pruefszenario gegriffen"));
           });
    // A report that plainly rejects needs no note; one that looks like an acceptance but
    // does not count as one says why, above everything else.
    if (!reading.Accepted && anyAcceptSign)
        reading.Html = RejectNoteHtml(doubt) + reading.Html;
    return reading;
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
    return FirstExplanation(ctx.get());
}
