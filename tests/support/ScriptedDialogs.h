#pragma once

#include "core/Dialogs.h"

#include <QQueue>
#include <QStringList>

// Answers prompts from a script and records every text shown.
class ScriptedDialogs : public Dialogs
{
public:
    QQueue<bool> yesNoAnswers; // empty queue answers No
    // Every question answered as Return answers it: with its default button.
    bool answerWithReturn = false;
    QQueue<std::optional<QString>> openFileAnswers; // empty queue cancels
    QQueue<std::optional<QString>> saveFileAnswers; // empty queue cancels
    QStringList questions;
    QStringList messages;

    bool askYesNo(const QString& text, Answer defaultAnswer) override
    {
        questions << text;
        if (answerWithReturn)
            return defaultAnswer == Answer::Yes;
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.dequeue();
    }
    void inform(const QString& text) override { messages << text; }
    std::optional<QString> chooseOpenFile(const QString&) override
    {
        return openFileAnswers.isEmpty() ? std::nullopt : openFileAnswers.dequeue();
    }
    // Name, filter and default extension of each save prompt, as one list each.
    QList<QStringList> saveFileRequests;

    std::optional<QString> chooseSaveFile(const QString& initialName, const QString& filter,
                                          const QString& defaultSuffix) override
    {
        saveFileRequests << QStringList{initialName, filter, defaultSuffix};
        return saveFileAnswers.isEmpty() ? std::nullopt : saveFileAnswers.dequeue();
    }
};
