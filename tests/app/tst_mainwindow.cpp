#include "app/BrowserPane.h"
#include "app/CentralHandler.h"
#include "app/Version.h"
#include "app/UnitMain.h"
#include "app/UnitVerlauf.h"
#include "invoice/ERechnung.h"
#include "services/EValidator.h"
#include "mail/EMailImport.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/UserPrompt.h"
#include "settings/UnitSettings.h"
#include "settings/ESettings.h"
#include "tests/support/DovecotFixture.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/InvoiceFolders.h"
#include "tests/support/InvoiceServices.h"
#include "tests/support/TlsTestServer.h"
#include "widgets/ClickPanel.h"
#include "widgets/WidgetPrompts.h"
#include "workflow/EHistory.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

// Takes the URLs the program asks the desktop to open.
class TUrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> Urls;

public Q_SLOTS:
    void Open(const QUrl& url) { Urls << url; }
};

QStringList ErrorMessages()
{
    return PromptTexts(QString::fromUtf8(kApplicationTitle));
}

// What a script evaluates to in the page a pane shows.
QString Evaluate(TBrowserPane* pane, const QString& script)
{
    QString text;
    bool done = false;
    pane->View()->page()->runJavaScript(script, [&](const QVariant& v) {
        text = v.toString();
        done = true;
    });
    QDeadlineTimer deadline(10000);
    while (!done && !deadline.hasExpired())
        QTest::qWait(20);
    return text;
}

// The text a pane shows, read from the page itself.
QString PageText(TBrowserPane* pane)
{
    return Evaluate(pane, QStringLiteral("document.body ? document.body.innerText : ''"));
}

// Counts the events of one type that reach the objects it watches.
class TEventCounter : public QObject
{
public:
    TEventCounter(QEvent::Type type, int* count)
        : FType(type)
        , FCount(count)
    {
    }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == FType)
            ++*FCount;
        return false;
    }

private:
    QEvent::Type FType;
    int* FCount;
};

} // namespace

// The main window with a TLS test service, real folders and a real history.
class TestMainWindow : public QObject
{
    Q_OBJECT

    TTlsTestServer server;
    std::unique_ptr<TSandboxHome> home;
    std::unique_ptr<TInvoiceFolders> folders;
    std::unique_ptr<TForm1> form;
    TFormEinstellungen* dialog = nullptr;

    TWebSiteOptions WebSite() const
    {
        TWebSiteOptions o;
        o.UpdateBase = server.BaseUrl();
        o.WebBase = server.BaseUrl();
        o.CaFile = server.CaFile();
        return o;
    }

    void Open(const TWebSiteOptions& webSite)
    {
        form = std::make_unique<TForm1>(nullptr, webSite);
        QVERIFY2(form->FatalError().isEmpty(), qPrintable(form->FatalError()));
        dialog = new TFormEinstellungen(form.get());
        form->SetSettingsForm(dialog);
        form->workflow->Rechnung()->SetServiceOptions(ServiceOptionsOf(server));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void Open() { Open(WebSite()); }

    // Opens the file as a double click on its row does.
    void DoubleClick(int row)
    {
        QTableWidget* grid = form->StringGrid1;
        const QRect cell = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }

    void Click(QWidget* panel) { QTest::mouseClick(panel, Qt::LeftButton); }

    QString Switch() const
    {
        const int id = form->rgAnzeigePdfItems->checkedId();
        return id < 0 ? QString() : form->rgAnzeigePdfItems->button(id)->text();
    }

private Q_SLOTS:
    void initTestCase()
    {
        InstallCentralHandler();
        ServeInvoiceServices(server);
        TTlsTestServer::TAnswer help;
        help.Body = "<html><body>Hilfe</body></html>";
        help.ContentType = "text/html";
        server.Answer("/de/Landing/ruzodaduz_evivarivi_dororiduz", help);
    }

    void init()
    {
        home = std::make_unique<TSandboxHome>();
        folders = std::make_unique<TInvoiceFolders>();
        QDir().mkpath(home->DataHome());
        WriteFileBytes(home->DataHome() + QStringLiteral("/erechnungseingang.ini"),
                       "[Main]\r\nHotfolderPfad=" + folders->Dir(QStringLiteral("hot")).toUtf8() + "\r\nDMSPfad=" + folders->Dir(QStringLiteral("dms")).toUtf8()
                           + "\r\nWeiterverarbeitungPfad=" + folders->Dir(QStringLiteral("weiter")).toUtf8()
                           + "\r\nProblemPfad=" + folders->Dir(QStringLiteral("problem")).toUtf8() + "\r\nMailDisabled=1\r\n");
        TUserPrompt::Reset();
        Open();
    }

    void cleanup()
    {
        form.reset();
        dialog = nullptr;
    }

    void layoutAsDesigned()
    {
        QVERIFY(form->windowTitle().startsWith(QStringLiteral("PALUDRA E-Rechnung Validator, Version ")));
        QCOMPARE(form->StringGrid1->horizontalHeaderItem(0)->text(), QStringLiteral("Hot-Folder Inhalt"));
        QCOMPARE(form->StringGrid1->horizontalHeader()->sectionSize(0), 690);
        QCOMPARE(form->StringGrid1->horizontalHeader()->sectionSize(1), 102);
        QCOMPARE(form->StringGrid1->verticalHeader()->width(), 40);
        QCOMPARE(form->StringGrid1->rowCount(), 4); // before the first rebuild
        QCOMPARE(form->StringGrid1->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(form->pAnnehmen->text(), QStringLiteral("Rechnung annehmen"));
        QCOMPARE(form->pVerwerfen->geometry(), QRect(1197, 138, 264, 41));
        QVERIFY(form->pVerwerfen->toolTip().startsWith(QStringLiteral("Damit wird die Rechnung in den Fehlerordner")));
        QVERIFY(!form->rgAnzeigePdf->isEnabled());
        QCOMPARE(form->rgAnzeigePdfItems->checkedId(), -1);
        QVERIFY(form->lUpdate->isVisible());
        QCOMPARE(form->pValidateHeader->Color(), ButtonFace());

        // Controls on the right keep their distance to the right edge.
        const int before = form->Panel1->width() - form->pAnnehmen->geometry().right();
        const int settingsBefore = form->Panel1->width() - form->Panel6->geometry().right();
        form->resize(form->width() - 300, form->height());
        QTRY_COMPARE(form->Panel1->width() - form->pAnnehmen->geometry().right(), before);
        QCOMPARE(form->Panel1->width() - form->Panel6->geometry().right(), settingsBefore);
    }

    void emptyHotfolder()
    {
        // The list is rebuilt when it changes: a file comes and goes.
        const QString file = folders->PutInvoice(QStringLiteral("kurz.xml"));
        form->workflow->HotfolderTimer();
        QCOMPARE(form->StringGrid1->rowCount(), 1);
        QFile::remove(file);
        form->workflow->HotfolderTimer();
        QCOMPARE(form->StringGrid1->rowCount(), 1);
        QVERIFY(form->StringGrid1->item(0, 0) == nullptr);
        DoubleClick(0);
        QCOMPARE(form->workflow->State(), wsNone);
        QVERIFY(ErrorMessages().isEmpty());
    }

    void aNewFileIsListedWithinATick()
    {
        const QString file = folders->PutInvoice(QStringLiteral("neu.xml"));
        QTRY_COMPARE_WITH_TIMEOUT(form->StringGrid1->rowCount() == 1 && form->StringGrid1->item(0, 0)
                                      ? form->StringGrid1->item(0, 0)->text() : QString(),
                                  file, 3000);
    }

    void validXmlInvoice()
    {
        folders->PutInvoice(QStringLiteral("gut.xml"));
        form->workflow->HotfolderTimer();
        DoubleClick(0);
        QCOMPARE(form->workflow->State(), wsShouldAccept);
        QCOMPARE(form->pValidateHeader->Color(), kLime);
        QCOMPARE(form->pValidateHeader->text(), QStringLiteral("Rechnung - Validierung (Prüfdienst)"));
        QCOMPARE(form->StatusBar1->currentMessage(), QString()); // "... wird geprüft ..." went with the verdict
        QCOMPARE(form->pAnnehmen->Color(), kLime);
        QCOMPARE(form->pVerwerfen->Color(), ButtonFace());
        QVERIFY(!form->rgAnzeigePdf->isEnabled());
        QCOMPARE(Switch(), QStringLiteral("XML"));
        QVERIFY(form->wbValidator->RequestedHtml().contains(QLatin1String(kAcceptSentence)));
        QVERIFY(form->wbRechnung->RequestedHtml().contains(QStringLiteral("Gesamtbetrag: 1.190,00 €")));
        // What the panes really show.
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbValidator).contains(QLatin1String(kAcceptSentence)), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbRechnung).contains(QStringLiteral("Müller & Söhne")), 15000);

        // Accepting a valid invoice asks nothing.
        Click(form->pAnnehmen);
        QCOMPARE(form->workflow->State(), wsNone);
        QCOMPARE(PromptTexts(QStringLiteral("Warnung")).size(), 0);
        QCOMPARE(QDir(folders->Dir(QStringLiteral("dms"))).entryList(QDir::Files).size(), 1);
        QCOMPARE(form->StringGrid1->rowCount(), 1);
        QVERIFY(form->StringGrid1->item(0, 0) == nullptr || form->StringGrid1->item(0, 0)->text().isEmpty());
    }

    void validHybridPdfWithAnAwkwardPath()
    {
        const QString pdf = folders->PutPdf(QStringLiteral("Rechnung Nr #12.pdf"), ReadTestData(QStringLiteral("invoice-utf8.xml")));
        form->SetFile(pdf);
        QCOMPARE(form->workflow->State(), wsShouldAccept);
        QVERIFY(form->rgAnzeigePdf->isEnabled());
        QCOMPARE(Switch(), QStringLiteral("PDF"));
        QCOMPARE(form->wbRechnung->RequestedUrl(), QUrl::fromLocalFile(pdf));
        QCOMPARE(form->wbRechnung->RequestedUrl().toLocalFile(), pdf); // nothing cut at the blank or "#"

        // The user switches to the rendering and back.
        QTest::mouseClick(form->rgAnzeigePdfItems->button(1), Qt::LeftButton);
        QVERIFY(form->wbRechnung->RequestedHtml().contains(QStringLiteral("Gesamtbetrag")));
        QTest::mouseClick(form->rgAnzeigePdfItems->button(0), Qt::LeftButton);
        QCOMPARE(form->wbRechnung->RequestedUrl(), QUrl::fromLocalFile(pdf));

    }

    // The switch always names what the invoice pane shows, whatever was open before.
    void switchShowsWhatThePaneShows_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("shown"); // "PDF" or "XML"
        QTest::addColumn<bool>("enabled");
        QTest::newRow("plain PDF, then a rejected XML") << QStringLiteral("papier.pdf") << QStringLiteral("falsch.xml")
                                                        << QStringLiteral("XML") << false;
        QTest::newRow("plain PDF, then a good XML") << QStringLiteral("papier.pdf") << QStringLiteral("gut.xml")
                                                    << QStringLiteral("XML") << false;
        QTest::newRow("hybrid, then a rejected XML") << QStringLiteral("hybrid.pdf") << QStringLiteral("falsch.xml")
                                                     << QStringLiteral("XML") << false;
        QTest::newRow("good XML, then a plain PDF") << QStringLiteral("gut.xml") << QStringLiteral("papier.pdf")
                                                    << QStringLiteral("PDF") << false;
        QTest::newRow("rejected XML, then a rejected hybrid") << QStringLiteral("falsch.xml") << QStringLiteral("falsch.pdf")
                                                              << QStringLiteral("PDF") << true;
        QTest::newRow("good XML, then a hybrid named .PDF") << QStringLiteral("gut.xml") << QStringLiteral("GROSS.PDF")
                                                            << QStringLiteral("PDF") << true;
    }

    void switchShowsWhatThePaneShows()
    {
        QFETCH(QString, before);
        QFETCH(QString, file);
        QFETCH(QString, shown);
        QFETCH(bool, enabled);
        auto put = [&](const QString& name) {
            if (name == QLatin1String("papier.pdf"))
                return folders->PutPdf(name, {});
            if (name.endsWith(QLatin1String(".xml")))
                return folders->PutInvoice(name, name != QLatin1String("falsch.xml"));
            QByteArray xml = SampleInvoice(name, name != QLatin1String("falsch.pdf"));
            return folders->PutPdf(name, xml);
        };
        form->SetFile(put(before));
        const QString path = put(file);
        form->SetFile(path);
        QCOMPARE(Switch(), shown);
        QCOMPARE(form->rgAnzeigePdf->isEnabled(), enabled);
        if (shown == QLatin1String("PDF"))
            QCOMPARE(form->wbRechnung->RequestedUrl(), QUrl::fromLocalFile(path));
        else
            QVERIFY(form->wbRechnung->RequestedHtml().contains(QStringLiteral("Gesamtbetrag")));
    }

    // Nothing to decide without a verdict: the panels and the switch are off from the
    // start, while an invoice is checked and after it was filed.
    void decisionsNeedAVerdict()
    {
        QVERIFY(!form->pAnnehmen->isEnabled() && !form->pVerwerfen->isEnabled() && !form->rgAnzeigePdf->isEnabled());
        Click(form->pAnnehmen);
        QVERIFY(TUserPrompt::Asked().isEmpty()); // no question, no "Pfad ist leer"

        bool enabledWhileChecking = true;
        TTlsTestServer::TAnswer slow;
        slow.Body = ReadTestData(QStringLiteral("report-accept.xml")).toStdString();
        slow.ContentType = "application/xml";
        slow.DelayMs = 1000;
        server.Answer("/validate", slow);
        QTimer::singleShot(500, form.get(), [&] { enabledWhileChecking = form->pAnnehmen->isEnabled() || form->pVerwerfen->isEnabled(); });
        form->SetFile(folders->PutPdf(QStringLiteral("h.pdf"), SampleInvoice(QStringLiteral("1"))));
        ServeInvoiceServices(server);
        QVERIFY(!enabledWhileChecking);
        QVERIFY(form->pAnnehmen->isEnabled() && form->pVerwerfen->isEnabled() && form->rgAnzeigePdf->isEnabled());
        Click(form->pAnnehmen);
        QCOMPARE(form->workflow->State(), wsNone);
        QVERIFY(!form->pAnnehmen->isEnabled() && !form->pVerwerfen->isEnabled() && !form->rgAnzeigePdf->isEnabled());
        QCOMPARE(form->rgAnzeigePdfItems->checkedId(), -1);
    }

    // Enter and Escape in a question that goes against the verdict mean "Nein" (real boxes).
    void hastyKeysNeverOverrideTheVerdict_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    void hastyKeysNeverOverrideTheVerdict()
    {
        QFETCH(int, key);
        const QString bad = folders->PutInvoice(QStringLiteral("falsch.xml"), false);
        form->SetFile(bad);
        InstallWidgetPrompts();
        QString question;
        QTimer::singleShot(200, form.get(), [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            question = box->text();
            QTest::keyClick(box, Qt::Key(key));
        });
        Click(form->pAnnehmen);
        TUserPrompt::SetBackend({});
        QVERIFY(question.startsWith(QStringLiteral("Die Rechnung ist offenbar nicht korrekt")));
        QVERIFY(QFile::exists(bad));
        QCOMPARE(form->workflow->State(), wsShouldDeny);
        QVERIFY(QDir(folders->Dir(QStringLiteral("weiter"))).isEmpty());
    }

    // A slow service does not freeze the window: the list goes on, the wait cursor stays,
    // a second invoice and a decision are refused until the verdict is there.
    void windowGoesOnWhileTheServiceIsSlow()
    {
        TTlsTestServer::TAnswer slow;
        slow.Body = ReadTestData(QStringLiteral("report-accept.xml")).toStdString();
        slow.ContentType = "application/xml";
        slow.DelayMs = 2500;
        server.Answer("/validate", slow);
        const QString first = folders->PutInvoice(QStringLiteral("langsam.xml"));
        form->workflow->HotfolderTimer();

        int paints = 0;
        TEventCounter counter(QEvent::Paint, &paints);
        form->StringGrid1->viewport()->installEventFilter(&counter);
        QString listed, status, waiting;
        bool waitCursor = false;
        QTimer::singleShot(300, form.get(), [&] {
            folders->PutInvoice(QStringLiteral("neu.xml"));
            waiting = form->StatusBar1->currentMessage();
        });
        QTimer::singleShot(2000, form.get(), [&] {
            for (int row = 0; row < form->StringGrid1->rowCount(); ++row)
                listed += form->StringGrid1->item(row, 0) ? form->StringGrid1->item(row, 0)->text() + QLatin1Char(';') : QString();
            waitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            form->SetFile(folders->Hot(QStringLiteral("neu.xml")));
            status = form->StatusBar1->currentMessage();
            Click(form->pAnnehmen);
        });
        QElapsedTimer clock;
        clock.start();
        form->SetFile(first);
        ServeInvoiceServices(server);

        QVERIFY(clock.elapsed() >= 2400);
        QVERIFY2(listed.contains(QStringLiteral("neu.xml")), qPrintable(listed));
        QVERIFY(paints > 0);
        QVERIFY(waitCursor);
        QCOMPARE(waiting, QStringLiteral("%1 wird geprüft ...").arg(first)); // what the wait is for
        QCOMPARE(status, QStringLiteral("Bitte warten: %1 wird noch geprüft.").arg(first));
        QVERIFY(form->StatusBar1->currentMessage() != waiting); // gone with the verdict
        QCOMPARE(form->workflow->Rechnung()->OriginalFilePath(), first);
        QCOMPARE(form->workflow->State(), wsShouldAccept);
        QVERIFY(QDir(folders->Dir(QStringLiteral("dms"))).isEmpty()); // the click during the check filed nothing
        QVERIFY(QFile::exists(first));
    }

    // Closing the window while a check runs cancels it; the window closes when it ended.
    void closingWhileTheServiceIsSlow()
    {
        TTlsTestServer::TAnswer slow;
        slow.Body = ReadTestData(QStringLiteral("report-accept.xml")).toStdString();
        slow.ContentType = "application/xml";
        slow.DelayMs = 30000;
        server.Answer("/validate", slow);
        bool closedAtOnce = true;
        QTimer::singleShot(500, form.get(), [&] { closedAtOnce = form->close(); });
        QElapsedTimer clock;
        clock.start();
        form->SetFile(folders->PutInvoice(QStringLiteral("abbruch.xml")));
        ServeInvoiceServices(server);
        QVERIFY(!closedAtOnce);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!form->isVisible());
        QVERIFY(ErrorMessages().isEmpty());
    }

    // A name that is not UTF-8 is listed readably and goes the whole way under its bytes.
    void nameThatIsNotUtf8()
    {
        const QString made = folders->PutPdf(QStringLiteral("made.pdf"), ReadTestData(QStringLiteral("invoice-utf8.xml")));
        const QString pdf = WriteFileNamedBytes(folders->Dir(QStringLiteral("hot")), "Beleg \xe4\xff.pdf", ReadFileBytes(made));
        QFile::remove(made);
        form->workflow->HotfolderTimer();
        QCOMPARE(form->StringGrid1->item(0, 0)->text(), folders->Dir(QStringLiteral("hot")) + QStringLiteral("/Beleg äÿ.pdf"));
        DoubleClick(0);
        QCOMPARE(form->workflow->State(), wsShouldAccept);
        QCOMPARE(form->workflow->Rechnung()->OriginalFilePath(), pdf);
        QVERIFY2(form->wbRechnung->RequestedUrl().toEncoded().endsWith("/Beleg%20%E4%FF.pdf"),
                 form->wbRechnung->RequestedUrl().toEncoded().constData());
        Click(form->pAnnehmen);
        QCOMPARE(form->workflow->State(), wsNone);
        QVERIFY(ErrorMessages().isEmpty());
        const QStringList filed = ListFileNames(folders->Dir(QStringLiteral("dms")));
        QCOMPARE(filed.size(), 1);
        QVERIFY(EncodeFileName(filed.front()).endsWith("_Beleg \xe4\xff.pdf"));
        QVERIFY(ListFileNames(folders->Dir(QStringLiteral("hot"))).isEmpty());
    }

    // Each label of the report header and its value sit on one line: in the report's own
    // font, in a much wider one, and in a narrow pane.
    void reportLabelsStayWithTheirValues()
    {
        const QString report = CorpusPath(QStringLiteral("validator-reports/mustang__invalidXRV30.xml.report.xml"));
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        TTlsTestServer::TAnswer real;
        real.Status = 406;
        real.Body = ReadFileBytes(report).toStdString();
        real.ContentType = "application/xml";
        server.Answer("/validate", real);
        form->SetFile(folders->PutInvoice(QStringLiteral("bericht.xml")));
        ServeInvoiceServices(server);
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbValidator).contains(QStringLiteral("Erkannter Rechnungssteller")), 15000);

        // The labels whose value does not start on the label's line, and how many pairs.
        const QString misplaced = QStringLiteral(
            "(function(){var bad=[],n=0;document.querySelectorAll('.metadata dt').forEach(function(dt){"
            "var dd=dt.nextElementSibling;if(!dd||dd.tagName!=='DD')return;++n;"
            "if(Math.abs(dt.getBoundingClientRect().top-dd.getBoundingClientRect().top)>2)bad.push(dt.textContent);});"
            "return n+':'+bad.join('|');})()");
        auto run = [&](const QString& script) { return Evaluate(form->wbValidator, script); };
        QCOMPARE(run(misplaced), QStringLiteral("6:"));
        run(QStringLiteral("document.body.style.fontFamily='DejaVu Sans Mono';document.body.style.fontSize='24px';''"));
        QCOMPARE(run(misplaced), QStringLiteral("6:"));
        form->Splitter1->setSizes({1400, 300});
        QTest::qWait(300);
        QCOMPARE(run(misplaced), QStringLiteral("6:"));

        // Without our layout the report's own one slides the values up in that font.
        run(QStringLiteral("document.querySelector('style').remove();''"));
        form->Splitter1->setSizes({873, 923});
        QTest::qWait(300);
        QVERIFY(run(misplaced) != QStringLiteral("6:"));
    }

    int RenderRequests() const
    {
        const auto requests = server.Requests();
        return int(std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.Path == "/renderhtml"; }));
    }

    // Without the rendering service the pane shows the built-in view and says so; the user
    // can choose it at any time, and that costs no request.
    void builtInViewOfTheInvoice()
    {
        server.Answer("/renderhtml", {502, {}, "<html>Bad Gateway</html>", "text/html", 0});
        form->SetFile(folders->Put(QStringLiteral("gutschrift.xml"), ReadTestData(QStringLiteral("model/ubl-gutschrift.xml"))));
        ServeInvoiceServices(server);
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: eingebaut"));
        QVERIFY2(form->lAnsicht->toolTip().contains(QStringLiteral("HTTP-Status 502")), qPrintable(form->lAnsicht->toolTip()));
        QVERIFY(form->wbRechnung->RequestedHtml().contains(QStringLiteral("<h1>Gutschrift GS-2026-0042</h1>")));
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbRechnung).contains(QStringLiteral("Lieferant & Söhne GmbH")), 15000);

        form->SetFile(folders->PutInvoice(QStringLiteral("gut.xml")));
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: Prüfdienst"));
        const int asked = RenderRequests();
        form->cbEingebaut->click();
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: eingebaut"));
        QVERIFY(form->wbRechnung->RequestedHtml().contains(QStringLiteral("Eingebaute Ansicht")));
        form->cbEingebaut->click();
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: Prüfdienst"));
        QVERIFY(form->wbRechnung->RequestedHtml().contains(QStringLiteral("Gesamtbetrag")));
        QCOMPARE(RenderRequests(), asked);

        // With the built-in view chosen, opening an invoice asks the rendering service nothing.
        form->cbEingebaut->click();
        form->SetFile(folders->PutInvoice(QStringLiteral("noch.xml")));
        QCOMPARE(RenderRequests(), asked);
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: eingebaut"));
        form->SetFile(folders->PutPdf(QStringLiteral("hybrid.pdf"), SampleInvoice(QStringLiteral("9"))));
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: PDF"));
        QTest::mouseClick(form->rgAnzeigePdfItems->button(1), Qt::LeftButton);
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: eingebaut"));
        form->cbEingebaut->click();
    }

    // An attachment of the built-in view is saved where the user says, byte for byte.
    // The program saves the attachment itself: a page cannot hand on more than 2 MB in an
    // address, and the name the invoice suggests must not lead anywhere.
    void attachmentSavedFromTheBuiltInView_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("suggested");
        QTest::newRow("small") << QStringLiteral("aufmass.csv") << QByteArray("Pos;Menge\n1;3\n") << QStringLiteral("aufmass.csv");
        QByteArray big(3 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char((i * 7919) >> 3);
        QTest::newRow("3 MB, folders in the name") << QStringLiteral("../../etc/plan.pdf") << big << QStringLiteral("etcplan.pdf");
        QTest::newRow("no name") << QString() << QByteArray("x") << QStringLiteral("Anhang");
    }

    void attachmentSavedFromTheBuiltInView()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, suggested);
        QByteArray xml = ReadTestData(QStringLiteral("model/ubl-gutschrift.xml"));
        xml.replace("filename=\"aufmass.csv\"", "filename=\"" + name.toUtf8() + "\"");
        xml.replace("UG9zO01lbmdlCjE7Mwo=", content.toBase64(QByteArray::Base64Encoding));
        TTempFolder target;
        const QString saved = target.filePath(QStringLiteral("gespeichert.bin"));
        QString suggestion;
        TUserPrompt::SetBackend({{}, {}, {}, [&](const QString& s) {
                                     suggestion = s;
                                     return saved;
                                 }});
        form->cbEingebaut->click();
        form->SetFile(folders->Put(QStringLiteral("gutschrift.xml"), xml));
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbRechnung).contains(QStringLiteral("Speichern")), 15000);
        Evaluate(form->wbRechnung, QStringLiteral("document.querySelector('a.speichern').click(); ''"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(saved), 15000);
        QCOMPARE(suggestion, suggested);
        QCOMPARE(ReadFileBytes(saved), content);
        QVERIFY(form->StatusBar1->currentMessage().contains(QStringLiteral("Anhang gespeichert")));
        TUserPrompt::SetBackend({});
        form->cbEingebaut->click();
    }

    void pdfWithoutXml()
    {
        const QString pdf = folders->PutPdf(QStringLiteral("papier.pdf"), {});
        form->SetFile(pdf);
        QCOMPARE(form->workflow->State(), wsWaveThrough);
        QCOMPARE(form->pValidateHeader->Color(), kYellow);
        QCOMPARE(form->pValidateHeader->text(), QStringLiteral("Rechnung - Validierung")); // nobody checked
        QCOMPARE(form->pAnnehmen->Color(), ButtonFace());
        QCOMPARE(form->pVerwerfen->Color(), ButtonFace());
        QVERIFY(!form->rgAnzeigePdf->isEnabled());
        QCOMPARE(Switch(), QStringLiteral("PDF"));
        QCOMPARE(form->wbRechnung->RequestedUrl(), QUrl::fromLocalFile(pdf));
        Click(form->pVerwerfen);
        QCOMPARE(form->workflow->State(), wsNone);
        QCOMPARE(PromptTexts(QStringLiteral("Warnung")).size(), 0);
        QCOMPARE(QDir(folders->Dir(QStringLiteral("problem"))).entryList(QDir::Files).size(), 1);
    }

    // A booking aid (MINIMUM) is waved through with its reason; accepting it asks nothing.
    // A hybrid PDF of each ZUGFeRD / Factur-X kind: the colour its verdict gives, what the
    // status bar says, the report's heading. A booking aid is waved through, never accepted.
    void profilePdfsThroughTheWindow_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("state");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QString>("status"); // how the status bar starts
        QTest::addColumn<QString>("shown");  // a text of the report pane
        const QString builtIn = QStringLiteral("Eingebaute Prüfung: Sie haben die eingebaute Prüfung gewählt.");
        QTest::newRow("MINIMUM") << "zf-corpus__zugferd_2p1_MINIMUM_Buchungshilfe.pdf" << int(wsWaveThrough) << kYellow
                                 << "Keine E-Rechnung nach § 14 UStG (Profil MINIMUM: Buchungshilfe) – bitte wie eine sonstige Rechnung prüfen"
                                 << "Eingebaute Prüfung (Stand Factur-X 1.09, Profil MINIMUM)";
        QTest::newRow("BASIC") << "zf-corpus__zugferd_2p1_BASIC_Rechnungskorrektur.pdf" << int(wsShouldAccept) << kLime << builtIn
                               << "Eingebaute Prüfung (Stand Factur-X 1.09, Profil BASIC)";
        // Its pages are a lorem-ipsum sample: the status bar says that they show nothing of it.
        QTest::newRow("BASIC, its rules broken") << "tiime__basic_facturx.pdf" << int(wsShouldDeny) << kRed
                                                 << "Die PDF-Ansicht zeigt die Rechnungsnummer F20220023 der XML nicht" << "CII-SR-470";
        QTest::newRow("EXTENDED") << "zf-corpus__zugferd_2p1_EXTENDED_Kostenrechnung.pdf" << int(wsShouldAccept) << kLime << builtIn
                                  << "Eingebaute Prüfung (Stand Factur-X 1.09, Profil EXTENDED)";
        QTest::newRow("EXTENDED, ZUGFeRD 2.0, its rules broken")
            << "zf-corpus__zugferd_2p0_EXTENDED_Rechnungskorrektur.pdf" << int(wsShouldDeny) << kRed << builtIn << "FX-SCH-A-001084";
    }

    void profilePdfsThroughTheWindow()
    {
        QFETCH(QString, file);
        QFETCH(int, state);
        QFETCH(QColor, colour);
        QFETCH(QString, status);
        QFETCH(QString, shown);
        if (ProfileSamplesDir().isEmpty())
            QSKIP("the profile samples are not there");
        dialog->Settings()->Pruefung = QString::fromLatin1(kPruefungEingebaut);
        form->SetFile(folders->Put(QStringLiteral("rechnung.pdf"), ReadFileBytes(ProfileSamplesDir() + u'/' + file)));
        QCOMPARE(int(form->workflow->State()), state);
        QCOMPARE(form->pValidateHeader->Color(), colour);
        QVERIFY2(form->StatusBar1->currentMessage().startsWith(status), qPrintable(form->StatusBar1->currentMessage()));
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbValidator).contains(shown), 30000);
        if (state != int(wsWaveThrough))
            return;
        QVERIFY(!PageText(form->wbValidator).contains(QStringLiteral("zurückzuweisen"))); // no word against the colour
        QCOMPARE(form->pAnnehmen->Color(), ButtonFace());
        Click(form->pAnnehmen);
        QCOMPARE(form->workflow->State(), wsNone);
        QCOMPARE(PromptTexts(QStringLiteral("Warnung")).size(), 0);
    }

    // The verdict label says which check decided; the built-in one says why it did.
    void verdictLabelNamesTheCheck_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("serviceDown");
        QTest::addColumn<QString>("why");
        QTest::newRow("built-in chosen") << QString::fromLatin1(kPruefungEingebaut) << false
                                         << "Sie haben die eingebaute Prüfung gewählt.";
        QTest::newRow("service down") << QString::fromLatin1(kPruefungDienstOderEingebaut) << true
                                      << "Der Prüfdienst war nicht erreichbar";
    }

    void verdictLabelNamesTheCheck()
    {
        QFETCH(QString, choice);
        QFETCH(bool, serviceDown);
        QFETCH(QString, why);
        dialog->Settings()->Pruefung = choice;
        if (serviceDown)
            dialog->Settings()->PruefdienstUrl = QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort());
        form->SetFile(folders->Put(QStringLiteral("positionen.xml"), ReadTestData(QStringLiteral("model/cii-positionen.xml"))));
        QCOMPARE(form->workflow->State(), wsShouldAccept);
        QCOMPARE(form->pValidateHeader->Color(), kLime);
        QCOMPARE(form->pValidateHeader->text(), QStringLiteral("Rechnung - Validierung (eingebaute Prüfung)"));
        QVERIFY2(form->pValidateHeader->toolTip().startsWith(why), qPrintable(form->pValidateHeader->toolTip()));
        QVERIFY(form->StatusBar1->currentMessage().startsWith(QStringLiteral("Eingebaute Prüfung: ") + why));
        QVERIFY(ErrorMessages().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbValidator).contains(QStringLiteral("Eingebaute Prüfung (Stand XRechnung 3.0.2)")), 15000);
        QCOMPARE(PageText(form->wbValidator).contains(why), serviceDown); // the reason above the report, where it is no choice
        QCOMPARE(form->lAnsicht->text(), QStringLiteral("Ansicht: eingebaut"));

        // Back to nothing loaded: the label names no check.
        Click(form->pAnnehmen);
        QCOMPARE(form->workflow->State(), wsNone);
        QCOMPARE(form->pValidateHeader->text(), QStringLiteral("Rechnung - Validierung"));
    }

    void invalidHybridPdf()
    {
        QByteArray xml = ReadTestData(QStringLiteral("invoice-utf8.xml"));
        xml.replace("RE-2026-0815", "UNGUELTIG-1");
        form->SetFile(folders->PutPdf(QStringLiteral("falsch.pdf"), xml));
        QCOMPARE(form->workflow->State(), wsShouldDeny);
        QVERIFY(form->rgAnzeigePdf->isEnabled());
        QCOMPARE(Switch(), QStringLiteral("PDF"));
    }

    void knownInvoice()
    {
        const QString file = folders->PutInvoice(QStringLiteral("doppelt.xml"));
        const QByteArray bytes = ReadFileBytes(file);
        form->SetFile(file);
        Click(form->pAnnehmen);
        WriteFileBytes(file, bytes);

        // The notice comes while the engine is still inside Start, before the switch is set.
        TWorkflowState stateAtNotice = wsNone;
        bool switchSetAtNotice = true;
        form->rgAnzeigePdfItems->setExclusive(false);
        form->rgAnzeigePdfItems->button(1)->setChecked(false);
        form->rgAnzeigePdfItems->setExclusive(true);
        TUserPrompt::SetBackend({[&](const TPrompt&) {
                                     stateAtNotice = form->workflow->State();
                                     switchSetAtNotice = form->rgAnzeigePdfItems->checkedId() >= 0;
                                     return TPromptAnswer::Ok;
                                 },
                                 {}, {}, {}});
        form->SetFile(file);
        TUserPrompt::SetBackend({});
        QCOMPARE(PromptTexts(QStringLiteral("Achtung")).size(), 1);
        const QString notice = TUserPrompt::Asked().last().Text;
        QVERIFY2(QRegularExpression(QStringLiteral("^Diese Rechnung wurde bereits schon einmal verarbeitet:\r\n\r\n"
                                                   "Am \\d\\d\\.\\d\\d\\.\\d{4} um \\d\\d:\\d\\d Uhr Akzeptiert von .+\\.\r\n"
                                                   "Abgelegt als: [0-9a-f]{8}_doppelt\\.xml$"))
                     .match(notice)
                     .hasMatch(),
                 qPrintable(notice));
        QCOMPARE(stateAtNotice, wsDuplicate);
        QVERIFY(!switchSetAtNotice);
        QCOMPARE(Switch(), QStringLiteral("XML"));
        QCOMPARE(form->pVerwerfen->Color(), kRed);
        QCOMPARE(form->pValidateHeader->Color(), kLime); // the verdict's colour stays

        Click(form->pVerwerfen); // a duplicate is rejected without a question
        QCOMPARE(PromptTexts(QStringLiteral("Warnung")).size(), 0);
        QCOMPARE(form->workflow->State(), wsNone);
    }

    // The history knows more than hashes: the hybrid PDF accepted, its XML alone comes as the
    // same invoice in other bytes; a later invoice of the seller with another account gets
    // the warning above the report and a question before it is accepted.
    void historyKnowsTheInvoiceInOtherBytes()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        dialog->Settings()->Pruefung = QString::fromLatin1(kPruefungEingebaut);
        const QString pdf = folders->Put(QStringLiteral("rechnung.pdf"),
                                         ReadFileBytes(CorpusPath(QStringLiteral("zf-corpus__MustangGnuaccountingBeispielRE-20201121_508.pdf"))));
        form->SetFile(pdf);
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes); // whatever the verdict: filed
        Click(form->pAnnehmen);
        QCOMPARE(form->workflow->State(), wsNone);

        QByteArray xml = ReadFileBytes(CorpusPath(QStringLiteral("mustang__cii.xml")));
        const QByteArray otherBytes = xml + "\n<!-- vom Portal -->\n";
        TUserPrompt::Reset();
        form->SetFile(folders->Put(QStringLiteral("portal.xml"), otherBytes));
        QVERIFY(form->workflow->State() != wsDuplicate); // not the same bytes
        QCOMPARE(PromptTexts(QStringLiteral("Achtung")).size(), 1);
        const QString notice = TUserPrompt::Asked().last().Text;
        QVERIFY2(QRegularExpression(QStringLiteral("^Diese Rechnung \\(Nr\\. RE-20201121/508 von .+ vom 21\\.11\\.2020\\) wurde am "
                                                   "\\d\\d\\.\\d\\d\\.\\d{4} um \\d\\d:\\d\\d Uhr bereits akzeptiert \\(Benutzer .+, "
                                                   "abgelegt als [0-9a-f]{8}_rechnung\\.pdf\\) – in anderer Form\\.\r\n\r\n"
                                                   "Gesamtbetrag, Zahlbetrag, Bankverbindung und Rechnungsdatum sind dieselben\\.$"))
                     .match(notice)
                     .hasMatch(),
                 qPrintable(notice));
        Click(form->pVerwerfen);
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes);
        if (form->workflow->State() != wsNone)
            Click(form->pVerwerfen);

        // The seller's next invoice asks for payment to another account.
        xml.replace("RE-20201121/508", "RE-20201121/509");
        xml.replace("DE88200800000970375700", "DE02120300000000202051");
        TUserPrompt::Reset();
        const QString next = folders->Put(QStringLiteral("neu.xml"), xml);
        form->SetFile(next);
        QCOMPARE(PromptTexts(QStringLiteral("Achtung")).size(), 0);
        const QString warning = QStringLiteral("Achtung: neue Bankverbindung für ");
        QVERIFY2(form->StatusBar1->currentMessage().startsWith(warning), qPrintable(form->StatusBar1->currentMessage()));
        QVERIFY(form->StatusBar1->currentMessage().endsWith(QStringLiteral(": bisher DE88 2008 0000 0970 3757 00, jetzt DE02 1203 0000 0000 2020 51")));
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbValidator).contains(QStringLiteral("bisher DE88 2008 0000 0970 3757 00")), 15000);
        TUserPrompt::QueueAnswer(TPromptAnswer::No);
        Click(form->pAnnehmen);
        QCOMPARE(PromptTexts(QStringLiteral("Warnung")).size(), 1);
        QVERIFY(TUserPrompt::Asked().last().Text.startsWith(warning));
        QVERIFY(TUserPrompt::Asked().last().Text.endsWith(QStringLiteral("Soll die Rechnung trotzdem angenommen werden?")));
        QVERIFY(TUserPrompt::Asked().last().DefaultNo);
        QVERIFY(QFile::exists(next)); // "Nein": nothing filed
        QVERIFY(form->workflow->State() != wsNone);
    }

    // The history window: every decision with its facts, searched and filtered, a double
    // click opens the filed copy, the export is a CSV file.
    void historyWindow()
    {
        form->SetFile(folders->PutInvoice(QStringLiteral("gut.xml")));
        Click(form->pAnnehmen);
        form->SetFile(folders->PutInvoice(QStringLiteral("falsch.xml"), false));
        Click(form->pVerwerfen);
        QCOMPARE(form->workflow->State(), wsNone);

        form->bVerlauf->click();
        TFormVerlauf* verlauf = form->FormVerlauf;
        QVERIFY(verlauf && verlauf->isVisible());
        QCOMPARE(verlauf->windowTitle(), QStringLiteral("Verlauf"));
        QCOMPARE(verlauf->Model->rowCount(), 2);
        QCOMPARE(verlauf->lAnzahl->text(), QStringLiteral("2 Entscheidungen"));
        auto cell = [&](int row, int column) { return verlauf->Model->index(row, column).data().toString(); };
        QCOMPARE(cell(0, 1), QStringLiteral("Abgelehnt")); // newest first
        QVERIFY(cell(0, 4).endsWith(QStringLiteral("_falsch.xml")));
        QVERIFY(!cell(1, 7).isEmpty()); // the invoice number of the accepted one
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d$")).match(cell(1, 0)).hasMatch());

        verlauf->eSuche->setText(QStringLiteral("gut.x"));
        QTRY_COMPARE(verlauf->Model->rowCount(), 1);
        QVERIFY(cell(0, 4).endsWith(QStringLiteral("_gut.xml")));
        verlauf->eSuche->clear();
        verlauf->cbEntscheidung->setCurrentIndex(2); // "Abgelehnt"
        QTRY_COMPARE(verlauf->Model->rowCount(), 1);
        QCOMPARE(cell(0, 1), QStringLiteral("Abgelehnt"));

        // The filed copy: the rejected one in the problem folder.
        QString opened;
        verlauf->Opener = [&](const QString& path) { opened = path; };
        verlauf->OpenRow(0);
        QVERIFY(opened.startsWith(folders->Dir(QStringLiteral("problem"))));
        QVERIFY(QFile::exists(opened));
        QFile::remove(opened);
        opened.clear();
        QCOMPARE(ErrorOf([&] { verlauf->OpenRow(0); }), QStringLiteral("Die abgelegte Datei %1 ist in keinem der Ablageordner mehr.").arg(cell(0, 4)));
        QVERIFY(opened.isEmpty());

        // The export holds what is shown: the rejected one.
        const QString csv = folders->Dir(QStringLiteral("dms")) + QStringLiteral("/../verlauf.csv");
        QString suggestedName;
        TUserPrompt::SetBackend({{}, {}, {}, [&](const QString& suggested) -> QString {
                                     suggestedName = suggested;
                                     return csv;
                                 }});
        verlauf->bExport->click();
        TUserPrompt::SetBackend({});
        QCOMPARE(suggestedName, QStringLiteral("verlauf.csv"));
        const QByteArray exported = ReadFileBytes(csv);
        QVERIFY(exported.startsWith("\xEF\xBB\xBFZeitpunkt;Entscheidung;"));
        QCOMPARE(exported.count("\r\n"), 2);
        QVERIFY(exported.contains(";Abgelehnt;"));
        verlauf->bSchliessen->click();
        QVERIFY(!verlauf->isVisible());
    }

    // A hybrid PDF whose XML asks for payment to another account than its pages show: the
    // warning stands above the report and in the status bar; the verdict stays.
    void pagesThatShowOtherFiguresThanTheXml()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        dialog->Settings()->Pruefung = QString::fromLatin1(kPruefungEingebaut);
        QByteArray xml = ReadFileBytes(CorpusPath(QStringLiteral("mustang__cii.xml")));
        xml.replace("DE88200800000970375700", "DE02120300000000202051");
        const QString changed = folders->Dir(QStringLiteral("dms")) + QStringLiteral("/../factur-x.xml");
        WriteFileBytes(changed, xml);
        const QString pdf = folders->Dir(QStringLiteral("dms")) + QStringLiteral("/../geaendert.pdf");
        ReplaceAttachment(CorpusPath(QStringLiteral("zf-corpus__MustangGnuaccountingBeispielRE-20201121_508.pdf")), pdf,
                          QStringLiteral("factur-x.xml"), changed);
        form->SetFile(folders->Put(QStringLiteral("geaendert.pdf"), ReadFileBytes(pdf)));
        const QString warning = QStringLiteral("Die PDF-Ansicht zeigt die IBAN DE02 1203 0000 0000 2020 51 der XML nicht");
        QCOMPARE(form->StatusBar1->currentMessage(), warning);
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbValidator).startsWith(warning), 30000);
        QVERIFY(form->workflow->State() == wsShouldAccept || form->workflow->State() == wsShouldDeny);

        // The unchanged PDF: a quiet note, no warning.
        form->SetFile(folders->Put(QStringLiteral("echt.pdf"),
                                   ReadFileBytes(CorpusPath(QStringLiteral("zf-corpus__MustangGnuaccountingBeispielRE-20201121_508.pdf")))));
        // A second page right after the first: under a loaded machine (the sanitizer build
        // running two suites at once) the pane takes its time.
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbValidator).contains(QStringLiteral("Die PDF-Ansicht stimmt überein")), 30000);
        QVERIFY(!form->StatusBar1->currentMessage().startsWith(QStringLiteral("Die PDF-Ansicht")));
    }

    void decisionsAgainstTheVerdictAsk()
    {
        const QString bad = folders->PutInvoice(QStringLiteral("falsch.xml"), false);
        form->SetFile(bad);
        TUserPrompt::QueueAnswer(TPromptAnswer::No);
        Click(form->pAnnehmen);
        QCOMPARE(PromptTexts(QStringLiteral("Warnung")).size(), 1);
        QCOMPARE(TUserPrompt::Asked().last().Text,
                 QStringLiteral("Die Rechnung ist offenbar nicht korrekt ausgestellt worden. Soll sie trotzdem weiter verarbeitet werden?"));
        QCOMPARE(TUserPrompt::Asked().last().Buttons, TPromptButtons::YesNo);
        QVERIFY(QFile::exists(bad));
        QCOMPARE(form->workflow->State(), wsShouldDeny);
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes);
        Click(form->pAnnehmen);
        QVERIFY(!QFile::exists(bad));
        QCOMPARE(QDir(folders->Dir(QStringLiteral("weiter"))).entryList(QDir::Files).size(), 1);

        form->SetFile(folders->PutInvoice(QStringLiteral("gut.xml")));
        TUserPrompt::QueueAnswer(TPromptAnswer::No);
        Click(form->pVerwerfen);
        QCOMPARE(TUserPrompt::Asked().last().Text,
                 QStringLiteral("Die Rechnung ist offenbar korrekt. Soll sie trotzdem in den Fehlerordner verschoben werden?"));
        QCOMPARE(form->workflow->State(), wsShouldAccept);
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes);
        Click(form->pVerwerfen);
        QCOMPARE(QDir(folders->Dir(QStringLiteral("problem"))).entryList(QDir::Files).size(), 1);
    }

    void settingsButtonHandsTheSettingsOver()
    {
        QCOMPARE(form->workflow->Settings(), dialog->Settings()); // at the first showing
        form->workflow->SetSettings(nullptr);
        QTimer::singleShot(0, dialog, [&] {
            dialog->eDmsOrdner->setText(folders->Dir(QStringLiteral("problem")));
            dialog->bbOK->click();
        });
        form->MailImport->tImap->setInterval(10000);
        Click(form->bEinstellungen);
        QCOMPARE(form->workflow->Settings(), dialog->Settings());
        QCOMPARE(form->workflow->Settings()->DMSPfad, folders->Dir(QStringLiteral("problem")));
        QCOMPARE(form->MailImport->tImap->interval(), 1000); // the mail import reconnects a second later
        QVERIFY(form->MailImport->tImap->isActive());

        form->workflow->SetSettings(nullptr);
        QTimer::singleShot(0, dialog, [&] { dialog->BitBtn2->click(); });
        Click(form->bEinstellungen);
        QCOMPARE(form->workflow->Settings(), nullptr); // Cancel hands nothing over
    }

    void mailStatusGoesToTheStatusBar()
    {
        QCOMPARE(form->MailImport->tImap->parent(), form.get());
        form->MailImport->OnStatus(QStringLiteral("Messages: 3"));
        QCOMPARE(form->StatusBar1->currentMessage(), QStringLiteral("Messages: 3"));
    }

    // Against a real server without a trash folder, the status bar says why no mail
    // arrives, and keeps saying it after every poll.
    void mailStatusWithoutTrashFolder()
    {
        const QString unavailable = TDovecot::Unavailable();
        if (!unavailable.isEmpty())
            QSKIP(qPrintable(unavailable));
        TDovecot dovecot({true, {}, {}});
        dovecot.Deliver(BuildMail("Rechnung", {{"filename=\"r.pdf\"", "application/pdf", "%PDF"}}));
        TESettings* s = dialog->Settings();
        s->MailType = QStringLiteral("IMAP");
        s->MailServer = QStringLiteral("127.0.0.1");
        s->MailPort = dovecot.ImapPort();
        s->MailTLS = 0;
        s->MailUser = TDovecot::User();
        s->MailPass = TDovecot::Password();
        s->MailDisabled = false;
        form->MailImport->tImap->stop();
        const QString expected =
            QStringLiteral("Messages: 1 - kein Papierkorb-Ordner im Postfach gefunden, die Mails bleiben im Posteingang");
        for (int poll = 0; poll < 3; ++poll) {
            form->MailImport->Tick();
            if (poll > 0)
                QCOMPARE(form->StatusBar1->currentMessage(), expected);
        }
        QCOMPARE(dovecot.Messages(QStringLiteral("INBOX")).size(), 1);
        QVERIFY(ErrorMessages().isEmpty());
        s->MailDisabled = true;
        form->MailImport->Tick();
    }

    void loadButton()
    {
        const QString file = folders->PutInvoice(QStringLiteral("anderswo.xml"));
        TUserPrompt::QueuePick(file);
        Click(form->bLoad);
        QCOMPARE(form->workflow->State(), wsShouldAccept);
        QCOMPARE(form->workflow->Rechnung()->OriginalFilePath(), file);
        TUserPrompt::QueuePick(QString()); // cancelled
        Click(form->bLoad);
        QCOMPARE(form->workflow->Rechnung()->OriginalFilePath(), file);
    }

    void failuresEndInTheCentralHandler()
    {
        // A failing service: its message, the state stays at wsLoaded.
        TServiceOptions o = form->workflow->Rechnung()->ServiceOptions();
        o.BaseUrl = QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort());
        form->workflow->Rechnung()->SetServiceOptions(o);
        folders->PutInvoice(QStringLiteral("r.xml"));
        form->workflow->HotfolderTimer();
        DoubleClick(0);
        QCOMPARE(form->workflow->State(), wsLoaded);
        QVERIFY(ErrorMessages().last().startsWith(QStringLiteral("Fehler beim Senden der Daten: (7) ")));

        // A file that vanished before it was opened.
        QFile::remove(folders->Hot(QStringLiteral("r.xml")));
        DoubleClick(0);
        QVERIFY(ErrorMessages().last().startsWith(QStringLiteral("Datei %1 kann nicht geöffnet werden.").arg(folders->Hot(QStringLiteral("r.xml")))));
        QCOMPARE(form->workflow->State(), wsNone);

        // What did not load cannot be decided: the panels are off.
        const int before = ErrorMessages().size();
        QVERIFY(!form->pAnnehmen->isEnabled() && !form->pVerwerfen->isEnabled());
        Click(form->pAnnehmen);
        Click(form->pVerwerfen);
        QCOMPARE(ErrorMessages().size(), before);
        QVERIFY(form->isVisible());
    }

    void largeHtmlIsShown()
    {
        QString big = QStringLiteral("<p>Anfang</p>");
        while (big.size() < 3 * 1024 * 1024)
            big += QStringLiteral("<div>Position mit etwas Text, damit die Seite gross wird.</div>");
        big += QStringLiteral("<p id=\"ende\">Ende der Rechnung</p>");
        TTlsTestServer::TAnswer a;
        a.Body = big.toStdString();
        server.Answer("/renderhtml", a);
        form->SetFile(folders->PutInvoice(QStringLiteral("gross.xml")));
        TTlsTestServer::TAnswer rendering;
        rendering.Body = ReadTestData(QStringLiteral("rendering.html")).toStdString();
        server.Answer("/renderhtml", rendering);
        QTRY_VERIFY_WITH_TIMEOUT(PageText(form->wbRechnung).endsWith(QStringLiteral("Ende der Rechnung")), 20000);
    }

    void updateLabel_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<bool>("visible");
        const QByteArray own = GetVersionString().toLatin1();
        QTest::newRow("own version") << "<div id=\"quorvant\"><span class=\"version\">" + own + "</span></div>" << QByteArray("text/html") << false;
        QTest::newRow("a longer version") << "<p id=\"quorvant\" class=\"version\">" + own + ".1</p>" << QByteArray("text/html") << true;
        QTest::newRow("an older version") << QByteArray("<p id=\"quorvant\" class=\"version\">0.9</p>") << QByteArray("text/html") << true;
        QTest::newRow("version on the next line") << "<div id=\"quorvant\">\n<span class=\"version\">" + own + "</span>" << QByteArray("text/html") << true;
        QTest::newRow("two elements: the first counts")
            << "<i id=\"quorvant\" class=\"version\">9.9</i><i id=\"quorvant\" class=\"version\">" + own + "</i>" << QByteArray("text/html") << true;
        QTest::newRow("id in other case") << QByteArray("<i id=\"Quorvant\" class=\"version\">9.9</i>") << QByteArray("text/html") << true;
        QTest::newRow("no match") << QByteArray("<html>Wartung</html>") << QByteArray("text/html") << true;
        const QString utf16 = QStringLiteral("<i id=\"quorvant\" class=\"version\">") + GetVersionString() + QStringLiteral("</i>");
        QTest::newRow("declared charset") << QByteArray(reinterpret_cast<const char*>(utf16.utf16()), utf16.size() * 2)
                                          << QByteArray("text/html; charset=UTF-16LE") << false;
    }

    void updateLabel()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, contentType);
        QFETCH(bool, visible);
        TTlsTestServer::TAnswer answer;
        answer.Body = page.toStdString();
        answer.ContentType = contentType.toStdString();
        server.Answer("/", answer);
        server.ClearRequests();
        form.reset();
        Open();
        QTRY_VERIFY_WITH_TIMEOUT(!form->NetHTTPClient1->Running(), 15000);
        QTest::qWait(50); // the completion is queued to the window
        QCOMPARE(!form->lUpdate->isHidden(), visible);
        QVERIFY(ErrorMessages().isEmpty());

        const auto requests = server.Requests();
        const auto update = std::find_if(requests.begin(), requests.end(), [](const auto& r) { return r.Path == "/"; });
        QVERIFY(update != requests.end());
        QCOMPARE(update->Method, std::string("GET"));
        QCOMPARE(update->Header("accept"), std::string("text/html"));
        QCOMPARE(update->Header("accept-language"), std::string("de"));
        QVERIFY(!update->HasHeader("cookie"));
        QVERIFY(QRegularExpression(QStringLiteral("^rand=\\d+$")).match(QString::fromStdString(update->Query)).hasMatch());
        server.Answer("/", {404, {}, "not found", "text/plain", 0});
    }

    void updateRequestFailuresAreSilent_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("no server") << QStringLiteral("closed");
        QTest::newRow("time-out") << QStringLiteral("slow");
        QTest::newRow("redirect") << QStringLiteral("redirect");
    }

    void updateRequestFailuresAreSilent()
    {
        QFETCH(QString, failure);
        TWebSiteOptions o = WebSite();
        const QByteArray page = "<i id=\"quorvant\" class=\"version\">" + GetVersionString().toLatin1() + "</i>";
        if (failure == QLatin1String("closed")) {
            o.UpdateBase = QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort());
        } else if (failure == QLatin1String("slow")) {
            o.TimeoutMs = 500;
            server.Answer("/", {200, {}, page.toStdString(), "text/html", 4000});
        } else {
            server.Answer("/", {302, {{"Location", "/neu"}}, "", "text/html", 0});
            server.Answer("/neu", {200, {}, page.toStdString(), "text/html", 0});
        }
        form.reset();
        Open(o);
        QTRY_VERIFY_WITH_TIMEOUT(!form->NetHTTPClient1->Running(), 15000);
        QTest::qWait(50);
        QVERIFY(!form->lUpdate->isHidden());
        QVERIFY(ErrorMessages().isEmpty());
        QVERIFY(form->windowTitle().endsWith(QStringLiteral(", Version ") + GetVersionString()));
        server.Answer("/", {404, {}, "not found", "text/plain", 0});
    }

    void updateLabelOpensTheUpdateSite()
    {
        QVERIFY(form->lUpdate->toolTip() == QStringLiteral("Es steht ein Update zur Verfügung"));
        QVERIFY(form->lUpdate->font().underline());
        QCOMPARE(form->lUpdate->cursor().shape(), Qt::PointingHandCursor);
        TUrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
        Click(form->lUpdate);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.Urls, QList<QUrl>{QUrl(server.BaseUrl())});
    }

    void helpPageOnTheFirstShowingOnly()
    {
        const QUrl help = form->wbRechnung->RequestedUrl();
        QCOMPARE(help.path(), QStringLiteral("/de/Landing/ruzodaduz_evivarivi_dororiduz"));
        QCOMPARE(help.host(), QStringLiteral("127.0.0.1"));
        QVERIFY(QRegularExpression(QStringLiteral("^rand=\\d+$")).match(help.query()).hasMatch());
        QCOMPARE(form->wbValidator->RequestedUrl(), QUrl(QStringLiteral("about:blank")));
        QVERIFY(form->paludraInfosGezeigt);
        form->hide();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->wbRechnung->RequestedUrl(), help);
    }

    void noWindowWithoutEngine()
    {
        form.reset();
        {
            // A second copy of the program that has decided shares the history.
            TEHistory other(TEHistory::DefaultPath());
            other.WriteHistory(QStringLiteral("x.xml"), QStringLiteral("h"), QStringLiteral("Akzeptiert"));
            TForm1 second(nullptr, WebSite());
            QVERIFY(second.FatalError().isEmpty());
            QVERIFY(second.workflow != nullptr);
        }
        // A history that is no database leaves no window to work in.
        WriteFileBytes(TEHistory::DefaultPath(), QByteArray(4096, 'x'));
        TForm1 third(nullptr, WebSite());
        QCOMPARE(third.FatalError(), QStringLiteral("file is not a database"));
        QVERIFY(third.workflow == nullptr);
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterBrowserScheme();
    TApplication app(argc, argv);
    TestMainWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
