#include "platform/prompt.h"

#include <QMessageBox>
#include <QPushButton>

namespace fm {

namespace {

QMessageBox::StandardButton run(QWidget* owner, const QString& text,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton,
                                const QString& details = {}) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Fendlemark"), text, buttons, owner);
    box.setDefaultButton(defaultButton);
    box.setDetailedText(details);
    box.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void MessageBoxPrompt::ok(QWidget* owner, const QString& text, const QString& details) {
    run(owner, text, QMessageBox::Ok, QMessageBox::Ok, details);
}

bool MessageBoxPrompt::yesNo(QWidget* owner, const QString& text) {
    return run(owner, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

bool MessageBoxPrompt::noYes(QWidget* owner, const QString& text) {
    return run(owner, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

Existing MessageBoxPrompt::replaceSkipCancel(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Fendlemark"), text, QMessageBox::NoButton,
                    owner);
    QPushButton* replace = box.addButton(QStringLiteral("&Replace"), QMessageBox::AcceptRole);
    QPushButton* skip = box.addButton(QStringLiteral("&Skip"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(skip);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (box.clickedButton() == replace)
        return Existing::Replace;
    return box.clickedButton() == skip ? Existing::Skip : Existing::Cancel;
}

void ScriptedPrompt::ok(QWidget*, const QString& text, const QString& details) {
    shown << text;
    this->details << details;
}

bool ScriptedPrompt::yesNo(QWidget*, const QString& text) {
    shown << text;
    return answers.isEmpty() ? true : answers.takeFirst();
}

bool ScriptedPrompt::noYes(QWidget*, const QString& text) {
    shown << text;
    return answers.isEmpty() ? false : answers.takeFirst();
}

} // namespace fm

namespace fm {

Existing ScriptedPrompt::replaceSkipCancel(QWidget*, const QString& text) {
    shown << text;
    return choices.isEmpty() ? Existing::Replace : choices.takeFirst();
}

} // namespace fm
