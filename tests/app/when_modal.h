// Drives a modal dialog from a timer: once it is the active modal widget, act on it; and a watchdog for hangs.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>

#include <memory>

// Polls until a Dialog is the active modal widget, then calls act(dialog) once. Gives up after timeoutMs;
// the test then finds its "acted" flag unset.
template <class Dialog, class Act> void whenModal(Act act, int timeoutMs = 5000)
{
    auto* timer = new QTimer(qApp);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, deadline]() mutable {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (dialog != nullptr)
            act(dialog);
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
