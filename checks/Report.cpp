#include "checks/Check.h"

namespace {

QString Escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString LevelHeading(TCheckLevel level, int count)
{
    switch (level) {
    case TCheckLevel::Error:
        return count == 1 ? QStringLiteral("1 Fehler") : QStringLiteral("%1 Fehler").arg(count);
    case TCheckLevel::Warning:
        return count == 1 ? QStringLiteral("1 Warnung") : QStringLiteral("%1 Warnungen").arg(count);
    case TCheckLevel::Information:
        break;
    }
    return count == 1 ? QStringLiteral("1 Hinweis") : QStringLiteral("%1 Hinweise").arg(count);
}

} // namespace

QString LevelName(TCheckLevel level)
{
    switch (level) {
    case TCheckLevel::Error:
        return QStringLiteral("error");
    case TCheckLevel::Warning:
        return QStringLiteral("warning");
    case TCheckLevel::Information:
        break;
    }
    return QStringLiteral("information");
}

QString CheckReportTitle(const QString& rules)
{
    return QStringLiteral("Eingebaute Prüfung (Stand %1)").arg(rules);
}

QString FacturXRules(const QString& profile)
{
    QString name = profile;
    name.replace(u'-', u' ');
    return QStringLiteral("%1, Profil %2").arg(QString::fromLatin1(kFacturXRulesVersion), name);
}

QString TCheckResult::Title() const
{
    return CheckReportTitle(Rules.isEmpty() ? QString::fromLatin1(kCheckRulesVersion) : Rules);
}

QString CheckReportHtml(const TCheckResult& result)
{
    // A part of a page (the report pane puts it into its own page), its style scoped to it.
    QString html;
    html += QStringLiteral(
        "<style>"
        "div.eingebaut{font-family:sans-serif;font-size:10pt}"
        "div.eingebaut h1{font-size:13pt;margin:0 0 4px 0}div.eingebaut h2{font-size:11pt;margin:14px 0 4px 0}"
        "div.eingebaut p.szenario{color:#444;margin:0 0 8px 0}"
        "div.eingebaut p.bewertung{font-weight:bold;padding:6px;border:1px solid #999}"
        "div.eingebaut p.accept{background:#e3f4e3}div.eingebaut p.reject{background:#f8e0e0}"
        "div.eingebaut table{border-collapse:collapse;width:100%}"
        "div.eingebaut td{border-top:1px solid #ccc;padding:3px 4px;vertical-align:top}"
        "div.eingebaut td.id{white-space:nowrap;font-weight:bold}"
        "div.eingebaut span.ort{color:#555;font-size:8.5pt;word-break:break-all}"
        "div.eingebaut span.note{color:#7a4a00}"
        "</style><div class=\"eingebaut\">");
    html += QStringLiteral("<h1>%1</h1>").arg(Escaped(result.Title()));
    if (!result.Scenario.isEmpty())
        html += QStringLiteral("<p class=\"szenario\">Prüfszenario: %1</p>").arg(Escaped(result.Scenario));
    html += QStringLiteral("<p class=\"bewertung %1\">%2</p>")
                .arg(result.Accepted() ? QStringLiteral("accept") : QStringLiteral("reject"), Escaped(result.Sentence()));
    if (result.Verdict == TCheckVerdict::NoScenario)
        html += QStringLiteral(
            "<p>Die Rechnung nennt als Regelwerk (BT-24) keines, nach dem geprüft wird: XRechnung 3.0 (auch "
            "Extension und CVD) oder EN 16931, als UBL-Rechnung, UBL-Gutschrift oder CII.</p>");
    for (TCheckLevel level : {TCheckLevel::Error, TCheckLevel::Warning, TCheckLevel::Information}) {
        const int count = result.Count(level);
        if (count == 0)
            continue;
        html += QStringLiteral("<h2>%1</h2><table>").arg(LevelHeading(level, count));
        for (const TCheckFinding& f : result.Findings) {
            if (f.Level != level)
                continue;
            QString text = Escaped(f.Text);
            if (f.Tolerated)
                text += QStringLiteral(" <span class=\"note\">(wird in diesem Prüfszenario toleriert)</span>");
            if (f.Lowered)
                text += QStringLiteral(" <span class=\"note\">(in diesem Prüfszenario nur ein Hinweis)</span>");
            if (f.Raised && f.Level != TCheckLevel::Error)
                text += QStringLiteral(" <span class=\"note\">(gilt in diesem Prüfszenario als Fehler)</span>");
            QString where = Escaped(f.Location);
            if (f.Line > 0)
                where += QStringLiteral(" (Zeile %1)").arg(f.Line);
            html += QStringLiteral("<tr><td class=\"id\">%1</td><td>%2<br><span class=\"ort\">%3</span></td></tr>")
                        .arg(Escaped(f.Id), text, where);
        }
        html += QStringLiteral("</table>");
    }
    html += QStringLiteral("</div>");
    return html;
}
