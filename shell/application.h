// The application object, and the one place where errors that escape a handler are caught.
#pragma once

#include <shell/messages.h>

#include <QApplication>

#include <exception>

class Application : public QApplication
{
public:
    Application(int& argc, char** argv);

    // Exceptions must not cross Qt's event loop: an error that escapes a handler ends here, is shown by
    // ReportError, and the loop goes on with the next event.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs a piece of work the way an event handler runs: an error that escapes it is shown, not thrown.
template <class Work>
void runHandler(Work&& work)
{
    try {
        work();
    } catch (const std::exception& error) {
        ReportError(error);
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
}
