#include "Dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
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

// A key still held from the press that opened a question repeats into the
// box; only a fresh press may answer it.
class HeldKeyFilter : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) &&
            static_cast<QKeyEvent*>(event)->isAutoRepeat())
            return true;
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

bool QtDialogs::askYesNo(const QString& text, Answer defaultAnswer)
{
    QMessageBox box(QMessageBox::Question, boxTitle(), displayed(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(defaultAnswer == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
    HeldKeyFilter heldKeys;
    box.installEventFilter(&heldKeys);
    for (QWidget* child : box.findChildren<QWidget*>())
        child->installEventFilter(&heldKeys);
    return box.exec() == QMessageBox::Yes;
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
