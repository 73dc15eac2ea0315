// E-Rechnung Eingang: checks and files incoming electronic invoices.

#include "app/BrowserPane.h"
#include "app/CentralHandler.h"
#include "app/UnitAbout.h"
#include "app/UnitMain.h"
#include "invoice/PopplerPages.h"
#include "platform/QuitOnSignal.h"
#include "platform/UserPrompt.h"
#include "settings/UnitSettings.h"
#include "widgets/WidgetPrompts.h"

#include "BuildConfig.h"

#include <QIcon>

#include <cstdio>
#include <cstring>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("erechnung-eingang %s\n", ERECHNUNG_VERSION_TEXT);
            return 0;
        }
    }
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
    QApplication::setDesktopFileName(QStringLiteral("de.paludra.ErechnungEingang"));
    // The icon of the menu entry (the PNG sizes of the SVG: Qt draws no SVG without its
    // SVG module).
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/erechnung-eingang-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QuitOnTerminationSignals();
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
