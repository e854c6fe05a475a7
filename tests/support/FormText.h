// Reads and types the text of a named control of a form, whatever kind of box it is.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QWidget>

namespace tarnvale::test {

inline QLineEdit *edit(QWidget *form, const QString &name) { return form->findChild<QLineEdit *>(name); }

inline QString text(QWidget *form, const QString &name)
{
    if (auto *line = edit(form, name))
        return line->text();
    if (auto *box = form->findChild<QComboBox *>(name))
        return box->currentText();
    if (auto *notes = form->findChild<QPlainTextEdit *>(name))
        return notes->toPlainText();
    return QStringLiteral("<no control %1>").arg(name);
}

inline void setText(QWidget *form, const QString &name, const QString &value)
{
    if (auto *line = edit(form, name))
        line->setText(value);
    else if (auto *box = form->findChild<QComboBox *>(name))
        box->setEditText(value);
    else if (auto *notes = form->findChild<QPlainTextEdit *>(name))
        notes->setPlainText(value);
    else
        QFAIL(qPrintable("no control " + name));
}

// The texts of several controls, in the order named.
inline QStringList texts(QWidget *form, const QStringList &names)
{
    QStringList values;
    for (const QString &name : names)
        values << text(form, name);
    return values;
}

} // namespace tarnvale::test
