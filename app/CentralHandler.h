#pragma once

#include <QApplication>

// The application object: its notify() is the last net for exceptions that a handler let
// through, so that none crosses the event loop.
class TApplication : public QApplication
{
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The caption of the program's message boxes.
inline constexpr const char* kApplicationTitle = "PALUDRA E-Rechnung Validator";

// Installs the central handler: every failure is shown in a message box with its German
// message, and the program goes on. The same message is not stacked while its box is open.
void InstallCentralHandler();
