#include "QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QProgressDialog>
#include <QPrinter>

namespace tarnvale {

namespace {

QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Message texts use CR LF line breaks; Qt's plain-text label wants LF.
QString forDisplay(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

} // namespace

QWidget *QtDialogs::parentWindow()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void QtDialogs::notify(const QString &title, const QString &text, MessageIcon icon)
{
    QMessageBox box(toQt(icon), title, forDisplay(text), QMessageBox::Ok, parentWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

Answer QtDialogs::ask(const QString &title, const QString &text, MessageIcon icon)
{
    return askYesNo(title, text, icon, QMessageBox::Yes);
}

Answer QtDialogs::askDefaultNo(const QString &title, const QString &text, MessageIcon icon)
{
    return askYesNo(title, text, icon, QMessageBox::No);
}

Answer QtDialogs::askYesNo(const QString &title, const QString &text, MessageIcon icon,
                           int defaultButton)
{
    QMessageBox box(toQt(icon), title, forDisplay(text), QMessageBox::Yes | QMessageBox::No,
                    parentWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::StandardButton(defaultButton));
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

Answer QtDialogs::askYesNoCancel(const QString &title, const QString &text, MessageIcon icon)
{
    QMessageBox box(toQt(icon), title, forDisplay(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parentWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

std::optional<QString> QtDialogs::inputText(const QString &title, const QString &prompt,
                                            const QString &initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parentWindow(), title, forDisplay(prompt),
                                               QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtDialogs::chooseOpenFile(const QString &title, const QString &startDir,
                                  const QString &filter)
{
    return QFileDialog::getOpenFileName(parentWindow(), title, startDir, filter);
}

QString QtDialogs::chooseSaveFile(const QString &title, const QString &startPath,
                                  const QString &filter)
{
    return QFileDialog::getSaveFileName(parentWindow(), title, startPath, filter);
}

QString QtDialogs::chooseFolder(const QString &title, const QString &startDir)
{
    return QFileDialog::getExistingDirectory(parentWindow(), title, startDir);
}

bool QtDialogs::choosePrinter(QPrinter &printer)
{
    QPrintDialog dialog(&printer, parentWindow());
    return dialog.exec() == QDialog::Accepted;
}

QtDialogs::QtDialogs() = default;
QtDialogs::~QtDialogs() = default;

void QtDialogs::progress(const QString &title, const QString &text, qint64 done, qint64 total)
{
    if (done >= total) {
        m_progress.reset();
        return;
    }
    if (!m_progress) {
        m_progress = std::make_unique<QProgressDialog>(text, QString(), 0, 1000, parentWindow());
        m_progress->setWindowTitle(title);
        m_progress->setWindowModality(Qt::ApplicationModal);
        m_progress->setMinimumDuration(500);
    }
    m_progress->setValue(total > 0 ? int(done * 1000 / total) : 0);
}

} // namespace tarnvale
