#include "app/UnitAbout.h"

#include <QPushButton>

TAbout::TAbout(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About"));
    resize(624, 441);
    bUpdate = new QPushButton(QStringLiteral("Auf Update prüfen"), this);
    bUpdate->setGeometry(232, 280, 177, 25);
    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setGeometry(528, 400, 75, 25);
}
