// A message display for tests: records what ShowMessageBox and ReportError would show, for as long as it lives.
#pragma once

#include <messages.h>

#include <QList>
#include <QString>

class MessageRecorder final : public MessageDisplay
{
public:
    struct Message
    {
        QString text;
        MessageKind kind;
    };
    struct Error
    {
        QString caption;
        QString text;
    };

    MessageRecorder()
        : m_previous(setMessageDisplay(this))
    {
    }
    ~MessageRecorder() override { setMessageDisplay(m_previous); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void showMessage(const QString& text, MessageKind kind) override { messages.append({ text, kind }); }
    void showError(const QString& caption, const QString& text) override { errors.append({ caption, text }); }

    QList<Message> messages;
    QList<Error> errors;

private:
    MessageDisplay* m_previous;
};
