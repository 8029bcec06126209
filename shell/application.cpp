// The application object.
#include <shell/application.h>

#include <QIcon>

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("snellitore"));
    setApplicationVersion(QStringLiteral(SNELLITORE_VERSION));
    // Not the display name: Qt would append it to every window caption.
    setApplicationTitle(applicationTitleFor(applicationFilePath()));
    setWindowIcon(QIcon(QStringLiteral(":/snellitore/icon.png")));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    runHandler([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
