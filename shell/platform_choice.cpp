// The platform list handed to the toolkit, and the handler that holds the toolkit's notes back.
#include <shell/platform_choice.h>

#include <QList>
#include <QMessageLogContext>
#include <QtGlobal>

#include <mutex>
#include <vector>

namespace {

struct HeldNote
{
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

enum class Pass
{
    Held,
    All, // for a note already on its way in while the handler is given back
    SeriousOnly,
};

std::mutex notesMutex;
QtMessageHandler previousHandler = nullptr;
Pass pass = Pass::Held;
std::vector<HeldNote> heldNotes;

bool isSerious(QtMsgType type)
{
    return type == QtCriticalMsg || type == QtFatalMsg;
}

const char* orNull(const QByteArray& text)
{
    return text.isNull() ? nullptr : text.constData();
}

void passHeldNotes()
{
    for (const HeldNote& note : heldNotes) {
        const QMessageLogContext context(orNull(note.file), note.line, orNull(note.function), orNull(note.category));
        previousHandler(note.type, context, note.text);
    }
    heldNotes.clear();
}

void handleNote(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const std::lock_guard lock(notesMutex);
    if (pass == Pass::Held && !isSerious(type))
        return heldNotes.push_back({ type, context.file, context.line, context.function, context.category, text });
    if (pass == Pass::SeriousOnly && !isSerious(type))
        return;
    passHeldNotes();
    previousHandler(type, context, text);
}

} // namespace

DisplayEnvironment DisplayEnvironment::current()
{
    const auto names
        = [](const char* variable, const char* desktop) { return qgetenv(variable).toLower().contains(desktop); };
    DisplayEnvironment environment;
    environment.chosen = qgetenv("QT_QPA_PLATFORM");
    environment.x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    environment.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    environment.sessionType = qgetenv("XDG_SESSION_TYPE");
    environment.gnome = names("XDG_CURRENT_DESKTOP", "gnome") || names("XDG_SESSION_DESKTOP", "gnome");
    return environment;
}

QByteArray platformsToTry(const DisplayEnvironment& environment, const QVersionNumber& toolkit)
{
    QByteArray platforms = environment.chosen;
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    if (platforms.isEmpty()) {
        // The toolkit's own order: from 6.5 on Wayland first wherever it is named; before, only in a Wayland
        // session outside GNOME. The other one stays in the list, as the toolkit would fall back on it too.
        const bool waylandSession = environment.sessionType == "wayland";
        const bool waylandFirst = toolkit >= QVersionNumber(6, 5) ? waylandSession || environment.wayland
                                                                  : waylandSession && !environment.gnome;
        platforms = waylandFirst ? "wayland;xcb" : "xcb;wayland";
    }
#else
    Q_UNUSED(toolkit);
#endif
    if (platforms.isEmpty())
        return {};
    for (const QByteArray& platform : platforms.split(';'))
        if (platform.split(':').first() == ScreenlessPlatform)
            return platforms;
    return platforms + ';' + ScreenlessPlatform;
}

bool showsNoWindow(const QString& platformName)
{
    return platformName == QLatin1String(ScreenlessPlatform) || platformName == QLatin1String("minimal");
}

namespace ToolkitNotes {

void hold()
{
    const std::lock_guard lock(notesMutex);
    pass = Pass::Held;
    heldNotes.clear();
    previousHandler = qInstallMessageHandler(handleNote);
}

void passAll()
{
    const std::lock_guard lock(notesMutex);
    passHeldNotes();
    pass = Pass::All;
    qInstallMessageHandler(previousHandler);
}

void passSeriousOnly()
{
    const std::lock_guard lock(notesMutex);
    heldNotes.clear();
    pass = Pass::SeriousOnly;
}

} // namespace ToolkitNotes
