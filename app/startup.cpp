// Start-up and shutdown of the desktop program: the decision taken before the toolkit starts, then the windows.
#include <app/startup.h>

#include <shell/application.h>
#include <shell/command_line.h>
#include <shell/messages.h>
#include <shell/platform_choice.h>

#include <forms/aboutbox.h>
#include <forms/comp.h>
#include <forms/diredit2.h>
#include <forms/stati.h>

#include <QLibraryInfo>

#include <cstdio>
#include <cwchar>
#include <optional>
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
      "Without a display, or with one that cannot be opened, the sizes and any error go to standard error.\n"
      "A file named --help or --version is given with its folder: /path/to/--help.\n"
      "snellitore-cli compacts with a choice of options, never opening a window.\n";
// Filled in with why no window can be shown.
constexpr const char* NeedsDisplay
    = "snellitore: no display found (%s), so the window cannot open.\n"
      "To compact one file without a window: snellitore FILE (page.htm gives page.big beside it; see --help).\n"
      "For a choice of options: snellitore-cli --help\n";
constexpr const char* NoDisplayNamed = "neither DISPLAY nor WAYLAND_DISPLAY is set";
constexpr const char* DisplayNotOpened = "the display named by DISPLAY or WAYLAND_DISPLAY cannot be opened";
constexpr const char* StartupFailed
    = "snellitore: the file was not compacted, and without a display there is no window to go on with.\n";
} // namespace Text

enum class Run
{
    WithDisplay, // the windows, or the command-line mode with message boxes, if the display opens
    WithoutDisplay, // the command-line mode only, its messages on standard error
    NeedsDisplay, // nothing to do without a window
    Version,
    Help,
};

// Whether anything names a display to try; one that is named may still fail to open.
bool displayNamed()
{
#ifdef Q_OS_LINUX
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

int runWithoutDisplay()
{
    Form1 = new TForm1; // its createdir compacts the file, writes the sizes and ends the process with 0
    // Only an error that escaped createdir comes back here, and ReportError has written it already.
    std::fputs(Text::StartupFailed, stderr);
    destroyWindows();
    return StartupExit::StartupFailed;
}

int needsDisplay(const char* reason)
{
    std::fprintf(stderr, Text::NeedsDisplay, reason);
    return StartupExit::NeedsDisplay;
}

// Why the platform the toolkit took shows no window: the user chose it, or the display named failed.
std::string whyNoWindow(const QByteArray& chosen, const QString& taken)
{
    const QByteArray first = chosen.split(';').first().split(':').first();
    if (first.isEmpty() || QString::fromLocal8Bit(first) != taken)
        return Text::DisplayNotOpened;
    return "QT_QPA_PLATFORM chooses " + taken.toStdString() + ", which shows no window";
}

// Starts the toolkit on the platforms to try, with its notes held back until it is known whether the run
// shows windows; QT_QPA_PLATFORM is given back afterwards, for whatever the program may start.
void startToolkit(
    std::optional<Application>& application, char* programName, Run run, const DisplayEnvironment& environment)
{
    const QByteArray platforms = run == Run::WithoutDisplay ? QByteArray(ScreenlessPlatform)
                                                            : platformsToTry(environment, QLibraryInfo::version());
    if (!platforms.isEmpty())
        qputenv("QT_QPA_PLATFORM", platforms);
    ToolkitNotes::hold();
    // The toolkit sees only the program name: an argument is the user's file, never an option of Qt's.
    // Both must outlive the application.
    static int argc = 1;
    static char* argv[] = { programName, nullptr };
    application.emplace(argc, argv);
    if (environment.chosen.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    else
        qputenv("QT_QPA_PLATFORM", environment.chosen);
}

int runApplication(char* programName, Run run)
{
    // Outlives every message, also those of an error caught below.
    static StandardErrorDisplay standardError;
    const DisplayEnvironment environment = DisplayEnvironment::current();
    std::optional<Application> application;
    startToolkit(application, programName, run, environment);
    const QString taken = QGuiApplication::platformName();
    const bool withDisplay = !showsNoWindow(taken);
    if (withDisplay) {
        ToolkitNotes::passAll();
    } else {
        // Notes of a display that failed, or of the screenless platform itself (no runtime folder, no fonts),
        // would only bury the run's own messages.
        ToolkitNotes::passSeriousOnly();
        if (programArguments().empty())
            return needsDisplay(whyNoWindow(environment.chosen, taken).c_str());
        setMessageDisplay(&standardError);
    }
    try {
        return withDisplay ? runWithDisplay(*application) : runWithoutDisplay();
    } catch (const std::exception& error) {
        // A window that failed to build leaves nothing to run; say why instead of terminating.
        ReportError(error);
        destroyWindows();
        return StartupExit::StartupFailed;
    }
}

// The arguments after the program's name, as UTF-8 on Windows.
std::vector<std::string> argumentsAfterProgram([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
#ifdef Q_OS_WIN
    // Windows hands a program its command line as one string; argv holds it only in the ANSI code page, which
    // may not spell every name. The items are split from the string itself, converted to UTF-8.
    const wchar_t* const line = GetCommandLineW();
    const int wide = static_cast<int>(std::wcslen(line));
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, wide, utf8.data(), size, nullptr, nullptr);
    std::vector<std::string> items = splitCommandLine(utf8);
    items.erase(items.begin()); // the program's name, always the first item
    return items;
#else
    std::vector<std::string> items;
    for (int i = 1; i < argc; ++i)
        items.emplace_back(argv[i]);
    return items;
#endif
}

} // namespace

void createWindows()
{
    Form1 = new TForm1; // with a file argument, its createdir compacts the file and ends the process here
    About = new TAbout;
    Diredit = new TDiredit;
    forms::stat = new Tstat; // runs staticreate
}

void destroyWindows()
{
    delete forms::stat;
    forms::stat = nullptr;
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
    setProgramArguments(countedArguments(argumentsAfterProgram(argc, argv)));
    switch (const Run run = runFor(programArguments(), displayNamed())) {
    case Run::Version:
        std::fputs(Text::Version, stdout);
        return StartupExit::Normal;
    case Run::Help:
        std::fputs(Text::Help, stdout);
        return StartupExit::Normal;
    case Run::NeedsDisplay:
        return needsDisplay(Text::NoDisplayNamed);
    case Run::WithDisplay:
    case Run::WithoutDisplay:
        return runApplication(programName, run);
    }
    return StartupExit::Normal;
}
