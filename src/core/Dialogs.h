#pragma once

#include <QString>

#include <optional>

// Every message box and file dialog goes through here, so tests can answer
// prompts without hunting for modal windows.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // The button Return presses in a Yes/No question.
    enum class Answer : bool
    {
        No,
        Yes,
    };
    // Yes/No question; true for Yes. A question whose Yes changes or erases
    // what the reader holds defaults to No.
    virtual bool askYesNo(const QString& text, Answer defaultAnswer) = 0;
    // Message with an OK button only.
    virtual void inform(const QString& text) = 0;
    // Existing file to open; nullopt when cancelled.
    virtual std::optional<QString> chooseOpenFile(const QString& filter) = 0;
    // File to save, overwrite confirmed; nullopt when cancelled.
    virtual std::optional<QString> chooseSaveFile(const QString& initialName, const QString& filter,
                                                  const QString& defaultSuffix) = 0;
};

class QWidget;

class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    bool askYesNo(const QString& text, Answer defaultAnswer) override;
    void inform(const QString& text) override;
    std::optional<QString> chooseOpenFile(const QString& filter) override;
    std::optional<QString> chooseSaveFile(const QString& initialName, const QString& filter,
                                          const QString& defaultSuffix) override;

private:
    QWidget* m_parent;
};
