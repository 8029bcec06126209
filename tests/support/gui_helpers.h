// Helpers of the window tests: driving modal dialogs, recording messages and the process exit.
#pragma once

#include <shell/command_line.h>
#include <shell/messages.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

// Acts once on the first modal dialog of type Dialog, from a timer that polls while exec() runs.
// Assert on a flag after exec() returns: a QVERIFY inside the action only leaves the lambda.
template <class Dialog> void whenModal(std::function<void(Dialog*)> act, int timeoutMs = 5000)
{
    auto* timer = new QTimer(qApp);
    auto* waited = new int(0);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        *waited += timer->interval();
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            delete waited;
            act(dialog);
        } else if (*waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete waited;
        }
    });
    timer->start(10);
}

// Ends a modal dialog that an action failed to close, so that a failing test reports instead of hanging.
class ModalWatchdog
{
public:
    explicit ModalWatchdog(int timeoutMs = 3000)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                m_fired = true;
                dialog->done(QDialog::Rejected);
            }
        });
        m_timer.start(timeoutMs);
    }
    bool fired() const { return m_fired; }

private:
    QTimer m_timer;
    bool m_fired = false;
};

// Sends a key to whatever has the focus inside the dialog, as the keyboard would.
inline void pressKey(QWidget* dialog, Qt::Key key)
{
    QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, key);
}

struct RecordedMessage
{
    QString text;
    MessageKind kind;
};

// Replaces the message boxes for its lifetime and records what would have been shown.
class MessageRecorder final : public MessageDisplay
{
public:
    MessageRecorder() { m_previous = setMessageDisplay(this); }
    ~MessageRecorder() override { setMessageDisplay(m_previous); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void showMessage(const QString& text, MessageKind kind) override { messages.push_back({ text, kind }); }
    void showError(const QString& caption, const QString& text) override
    {
        errorCaptions.push_back(caption);
        errors.push_back(text);
    }

    std::vector<RecordedMessage> messages;
    QStringList errors;
    QStringList errorCaptions;

private:
    MessageDisplay* m_previous = nullptr;
};

// Records endProcess() calls instead of ending the test, for its lifetime.
class ExitRecorder
{
public:
    ExitRecorder()
    {
        codes().clear();
        m_previous = setExitFunction([](int code) { codes().push_back(code); });
    }
    ~ExitRecorder() { setExitFunction(m_previous); }
    ExitRecorder(const ExitRecorder&) = delete;
    ExitRecorder& operator=(const ExitRecorder&) = delete;

    static std::vector<int>& codes()
    {
        static std::vector<int> recorded;
        return recorded;
    }

private:
    ExitFunction m_previous = nullptr;
};

// The design scale of the test screen: what a design measure should become.
inline int scaled(const QWidget* window, int designPixels)
{
    return qRound(designPixels * window->logicalDpiX() / 120.0);
}

inline QRect scaledRect(const QWidget* window, int left, int top, int width, int height)
{
    return { scaled(window, left), scaled(window, top), scaled(window, width), scaled(window, height) };
}
