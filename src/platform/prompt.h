#pragma once

// The program's message boxes: caption "Fendlemark", no icon, OK, Yes/No with Yes or No the
// default, or
// Replace/Skip/Cancel with Skip the default (Enter keeps the user's files). Forms ask through this
// interface only, so tests can script the answers.

#include <QString>
#include <QStringList>

class QWidget;

namespace fm {

// The answer to "some files exist already".
enum class Existing { Replace, Skip, Cancel };

class Prompt {
public:
    virtual ~Prompt() = default;
    // A box with an OK button only; returns when it is dismissed. `details`, when given, is the
    // full account behind a "Show Details..." button, where it can be scrolled and copied.
    virtual void ok(QWidget* owner, const QString& text, const QString& details = {}) = 0;
    // A box with Yes and No, Yes the default; true for Yes.
    virtual bool yesNo(QWidget* owner, const QString& text) = 0;
    // The same with No the default, for a question where Enter should not set much going.
    virtual bool noYes(QWidget* owner, const QString& text) = 0;
    // A box with Replace, Skip and Cancel (also Esc and closing the box), Skip the default.
    virtual Existing replaceSkipCancel(QWidget* owner, const QString& text) = 0;
};

// The real boxes, modal over their owner.
class MessageBoxPrompt : public Prompt {
public:
    void ok(QWidget* owner, const QString& text, const QString& details = {}) override;
    bool yesNo(QWidget* owner, const QString& text) override;
    bool noYes(QWidget* owner, const QString& text) override;
    Existing replaceSkipCancel(QWidget* owner, const QString& text) override;
};

// Records every text (and the details of each OK box) and answers from queues: Yes/No from
// `answers` (the default when empty), the three-way question from `choices` (Replace when empty).
class ScriptedPrompt : public Prompt {
public:
    void ok(QWidget* owner, const QString& text, const QString& details = {}) override;
    bool yesNo(QWidget* owner, const QString& text) override;
    bool noYes(QWidget* owner, const QString& text) override;
    Existing replaceSkipCancel(QWidget* owner, const QString& text) override;

    QStringList shown;
    QStringList details;
    QList<bool> answers;
    QList<Existing> choices;
};

} // namespace fm
