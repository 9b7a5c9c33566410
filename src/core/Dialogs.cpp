#include "Dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {
// The boxes carry no title of their own: the application's name stands there.
QString boxTitle()
{
    return QCoreApplication::applicationName();
}

// Texts break lines with a lone CR; the box needs LF to show the break.
QString displayed(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

bool QtDialogs::askYesNo(const QString& text)
{
    return QMessageBox::question(m_parent, boxTitle(), displayed(text),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void QtDialogs::inform(const QString& text)
{
    QMessageBox::information(m_parent, boxTitle(), displayed(text), QMessageBox::Ok);
}

std::optional<QString> QtDialogs::chooseOpenFile(const QString& filter)
{
    const QString path = QFileDialog::getOpenFileName(m_parent, QString(), QString(), filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> QtDialogs::chooseSaveFile(const QString& initialName, const QString& filter,
                                                 const QString& defaultSuffix)
{
    QFileDialog dialog(m_parent, QString(), initialName, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
