// Which windowing platform a run asks the toolkit for, and the toolkit's notes held back while it starts.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVersionNumber>

// What the environment says about displays, as far as the choice of a platform goes.
struct DisplayEnvironment
{
    QByteArray chosen; // QT_QPA_PLATFORM: the user's own choice, a ";"-separated list
    bool x11 = false; // DISPLAY names a display
    bool wayland = false; // WAYLAND_DISPLAY names a display
    QByteArray sessionType; // XDG_SESSION_TYPE
    bool gnome = false; // XDG_CURRENT_DESKTOP or XDG_SESSION_DESKTOP names GNOME

    static DisplayEnvironment current();
};

// The platform that shows nothing, last in every list: a display that cannot be opened leads there.
inline constexpr const char* ScreenlessPlatform = "offscreen";

// The list of platforms to try in turn: the user's choice, or on Linux the ones the toolkit (of the given
// version) would try by itself in its own order, and then the screenless platform, so that a display that
// cannot be opened ends in a run without one instead of an abort. Empty: leave the toolkit's choice alone.
QByteArray platformsToTry(const DisplayEnvironment& environment, const QVersionNumber& toolkit);

// Platforms that show no window to anyone: a run on one of them goes on as a run without a display.
bool showsNoWindow(const QString& platformName);

// The toolkit's notes while it starts are held back, so that a display that fails and leaves the run without
// one does not bury that run's own messages on standard error under the notes of the failure. Critical and
// fatal notes are never held (the ones held before a fatal one are passed on first, since they tell why).
namespace ToolkitNotes {
// Starts holding, in front of the message handler installed now.
void hold();
// Passes the held notes on and gives the handler back: a run with a display shows what the toolkit said.
void passAll();
// Drops the held notes; from now on only critical and fatal notes pass.
void passSeriousOnly();
} // namespace ToolkitNotes
