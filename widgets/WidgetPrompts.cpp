#include "widgets/WidgetPrompts.h"

#include "platform/UserPrompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

TPromptAnswer ShowBox(const TPrompt& prompt)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(prompt.Caption);
    box.setText(prompt.Text);
    switch (prompt.Icon) {
    case TPromptIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case TPromptIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case TPromptIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case TPromptIcon::None:
        break;
    }
    if (prompt.Buttons == TPromptButtons::YesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
        box.setEscapeButton(no);
        box.setDefaultButton(prompt.DefaultNo ? no : yes);
        box.exec();
        return box.clickedButton() == no ? TPromptAnswer::No : TPromptAnswer::Yes;
    }
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
    return TPromptAnswer::Ok;
}

QString PickFolder(const QString& current)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Auswählen"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    dialog.setDirectory(current);
    dialog.selectFile(current);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString PickFile(const QString& folder)
{
    const QString file = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(), folder);
    return file.isEmpty() ? QString() : QDir::toNativeSeparators(file);
}

QString PickSaveFile(const QString& suggestedName)
{
    const QString file = QFileDialog::getSaveFileName(QApplication::activeWindow(), QStringLiteral("Anhang speichern"),
                                                      QDir::home().filePath(suggestedName));
    return file.isEmpty() ? QString() : QDir::toNativeSeparators(file);
}

} // namespace

void InstallWidgetPrompts()
{
    TUserPrompt::SetBackend({&ShowBox, &PickFolder, &PickFile, &PickSaveFile});
}
