// Start-up and shutdown of the desktop program: the decision taken before the toolkit starts, then the windows.
#include "startup.h"

#include "application.h"
#include "command_line.h"
#include "messages.h"

#include <aboutbox.h>
#include <comp.h>
#include <diredit2.h>
#include <stati.h>

#include <cstdio>
#include <string>
#include <vector>

#ifdef Q_OS_WIN
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

namespace Text {
constexpr const char* Version = "snellitore " SNELLITORE_VERSION "\n";
constexpr const char* Help
    = "usage: snellitore [FILE]\n"
      "\n"
      "Without FILE, opens the window that compacts the marked web pages of one folder into another.\n"
      "With FILE, compacts it with the options Default, Apici and Div, shows the sizes and ends without\n"
      "opening the window. The copy is written beside FILE, named after FILE's own name up to its first \".\"\n"
      "(a leading \".\" does not count) followed by \".big\": page.htm and page.min.js give page.big,\n"
      "docs/README gives docs/README.big, .htaccess gives .htaccess.big.\n"
      "Without a display the sizes and any error go to standard error.\n"
      "A file named --help or --version is given with its folder: /path/to/--help.\n"
      "snellitore-cli compacts with a choice of options, never opening a window.\n";
constexpr const char* NeedsDisplay
    = "snellitore: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open.\n"
      "To compact one file without a window: snellitore FILE (page.htm gives page.big beside it; see --help).\n"
      "For a choice of options: snellitore-cli --help\n";
constexpr const char* StartupFailed
    = "snellitore: the file was not compacted, and without a display there is no window to go on with.\n";
} // namespace Text

enum class Run
{
    WithDisplay, // the windows, or the command-line mode with message boxes
    WithoutDisplay, // the command-line mode only, its messages on standard error
    NeedsDisplay, // nothing to do without a window
    Version,
    Help,
};

bool displayAvailable()
{
#ifdef Q_OS_LINUX
    // A platform the user chose is taken at its word; otherwise X11 or Wayland must name a display, or Qt
    // would abort before the command-line mode could run.
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

Run runFor(const std::vector<std::string>& arguments, bool display)
{
    if (arguments.size() == 1 && arguments.front() == "--version")
        return Run::Version;
    if (arguments.size() == 1 && arguments.front() == "--help")
        return Run::Help;
    if (display)
        return Run::WithDisplay;
    return arguments.empty() ? Run::NeedsDisplay : Run::WithoutDisplay;
}

// Shows the main window in the state the program was started with. Only Windows hands a program such a
// request; elsewhere the window manager places the window.
void showMainWindow(QWidget& window)
{
#ifdef Q_OS_WIN
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    if (startup.dwFlags & STARTF_USESHOWWINDOW) {
        switch (startup.wShowWindow) {
        case SW_SHOWMAXIMIZED:
            window.showMaximized();
            return;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            window.showMinimized();
            return;
        }
    }
#endif
    window.show();
}

int runWithDisplay(Application& application)
{
    createWindows();
    showMainWindow(*Form1);
    application.exec(); // until the main window is closed
    destroyWindows();
    return StartupExit::Normal;
}

// Without a display, standard error carries the run's messages alone: Qt's notes about the platform that
// this run chose for itself (no runtime folder, no fonts) would only bury them. Critical and fatal ones stay.
void keepQtNotesOffStandardError()
{
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            previous(type, context, text);
    });
}

int runWithoutDisplay()
{
    Form1 = new TForm1; // its createdir compacts the file, writes the sizes and ends the process with 0
    // Only an error that escaped createdir comes back here, and ReportError has written it already.
    std::fputs(Text::StartupFailed, stderr);
    destroyWindows();
    return StartupExit::StartupFailed;
}

int runApplication(char* programName, Run run)
{
    // Outlives every message, also those of an error caught below.
    static StandardErrorDisplay standardError;
    if (run == Run::WithoutDisplay) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        keepQtNotesOffStandardError();
        setMessageDisplay(&standardError);
    }
    // The toolkit sees only the program name: an argument is the user's file, never an option of Qt's.
    int argc = 1;
    char* argv[] = { programName, nullptr };
    Application application(argc, argv);
    try {
        return run == Run::WithDisplay ? runWithDisplay(application) : runWithoutDisplay();
    } catch (const std::exception& error) {
        // A window that failed to build leaves nothing to run; say why instead of terminating.
        ReportError(error);
        destroyWindows();
        return StartupExit::StartupFailed;
    }
}

} // namespace

void createWindows()
{
    Form1 = new TForm1; // with a file argument, its createdir compacts the file and ends the process here
    About = new TAbout;
    Diredit = new TDiredit;
    stat = new Tstat; // runs staticreate
}

void destroyWindows()
{
    delete stat;
    stat = nullptr;
    delete Diredit;
    Diredit = nullptr;
    delete About;
    About = nullptr;
    delete Form1;
    Form1 = nullptr;
}

int runProgram(int argc, char** argv)
{
    // A program may be started without even argv[0].
    static char fallbackName[] = "snellitore";
    char* programName = argc > 0 ? argv[0] : fallbackName;
    std::vector<std::string> afterProgram;
    for (int i = 1; i < argc; ++i)
        afterProgram.emplace_back(argv[i]);
    setProgramArguments(countedArguments(afterProgram));
    switch (const Run run = runFor(programArguments(), displayAvailable())) {
    case Run::Version:
        std::fputs(Text::Version, stdout);
        return StartupExit::Normal;
    case Run::Help:
        std::fputs(Text::Help, stdout);
        return StartupExit::Normal;
    case Run::NeedsDisplay:
        std::fputs(Text::NeedsDisplay, stderr);
        return StartupExit::NeedsDisplay;
    case Run::WithDisplay:
    case Run::WithoutDisplay:
        return runApplication(programName, run);
    }
    return StartupExit::Normal;
}
