// E-Rechnung Eingang: checks and files incoming electronic invoices.

#include "app/BrowserPane.h"
#include "app/CentralHandler.h"
#include "app/UnitAbout.h"
#include "app/UnitMain.h"
#include "invoice/PopplerPages.h"
#include "platform/UserPrompt.h"
#include "settings/UnitSettings.h"
#include "widgets/WidgetPrompts.h"

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

int main(int argc, char* argv[])
{
#ifndef Q_OS_WIN
    // Chromium refuses to run its sandbox as root.
    if (geteuid() == 0 && !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox")))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --no-sandbox");
#endif
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterBrowserScheme();
    UsePopplerPages();
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("E-Rechnung Eingang"));
    InstallWidgetPrompts();
    InstallCentralHandler();

    TForm1 form1;
    if (!form1.FatalError().isEmpty()) {
        TUserPrompt::Ask({QString::fromUtf8(kApplicationTitle), form1.FatalError(), TPromptIcon::Error, TPromptButtons::Ok});
        return 1;
    }
    TAbout about(&form1);
    TFormEinstellungen settings(&form1);
    form1.SetSettingsForm(&settings);
    form1.show();
    return app.exec();
}
