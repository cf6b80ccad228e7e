#pragma once

// The program's message boxes: caption "Fendlemark", no icon, OK or Yes/No with Yes the default.
// Forms ask through this interface only, so tests can script the answers.

#include <QString>
#include <QStringList>

class QWidget;

namespace fm {

class Prompt {
public:
    virtual ~Prompt() = default;
    // A box with an OK button only; returns when it is dismissed.
    virtual void ok(QWidget* owner, const QString& text) = 0;
    // A box with Yes and No, Yes the default; true for Yes.
    virtual bool yesNo(QWidget* owner, const QString& text) = 0;
};

// The real boxes, modal over their owner.
class MessageBoxPrompt : public Prompt {
public:
    void ok(QWidget* owner, const QString& text) override;
    bool yesNo(QWidget* owner, const QString& text) override;
};

// Records every text and answers Yes/No from a queue (Yes when the queue is empty).
class ScriptedPrompt : public Prompt {
public:
    void ok(QWidget* owner, const QString& text) override;
    bool yesNo(QWidget* owner, const QString& text) override;

    QStringList shown;
    QList<bool> answers;
};

} // namespace fm
