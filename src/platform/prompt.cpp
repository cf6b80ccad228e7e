#include "platform/prompt.h"

#include <QMessageBox>

namespace fm {

namespace {

QMessageBox::StandardButton run(QWidget* owner, const QString& text,
                                QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Fendlemark"), text, buttons, owner);
    box.setDefaultButton(defaultButton);
    box.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void MessageBoxPrompt::ok(QWidget* owner, const QString& text) {
    run(owner, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxPrompt::yesNo(QWidget* owner, const QString& text) {
    return run(owner, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void ScriptedPrompt::ok(QWidget*, const QString& text) {
    shown << text;
}

bool ScriptedPrompt::yesNo(QWidget*, const QString& text) {
    shown << text;
    return answers.isEmpty() ? true : answers.takeFirst();
}

} // namespace fm
