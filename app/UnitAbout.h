#pragma once

#include <QDialog>

class QPushButton;

// The about dialog. Nothing in the program shows it; its buttons have no action.
class TAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TAbout(QWidget* parent = nullptr);

    QPushButton* bUpdate;
    QPushButton* bOK;
};
