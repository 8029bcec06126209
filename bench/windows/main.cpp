// The window benchmark: marking a long source list and the batch run over many small files, through the real
// main window on the offscreen platform, driven the way a person drives it (keys and the ">>" handler).
#include <bench/stopwatch.h>

#include <app/startup.h>
#include <forms/comp.h>
#include <forms/stati.h>
#include <widgets/directory_list_box.h>
#include <widgets/file_list_box.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTableWidget>
#include <QWindow>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr double MarkingTargetSeconds = 1.0; // marking every item of the long list, at most
constexpr double BatchTargetFilesPerSecond = 3000; // small files through ">>", at least
const char* const SmallPage = "<p>  a\tb</p>"; // 12 bytes

const char* const UsageText = "usage: snellitore-bench-windows [--items N] [--files N]\n"
                              "  --items N   items of the list marked and unmarked (default 100000)\n"
                              "  --files N   12-byte files compacted by one press of \">>\" (default 100000)\n"
                              "  SNELLITORE_BENCH_DIR  folder of the scratch files (default: bench-data/)\n";

struct Settings
{
    std::string folder = std::string(SNELLITORE_SOURCE_DIR) + "/bench-data";
    int items = 100000;
    int files = 100000;
};

bool readSettings(int argc, char** argv, Settings& settings)
{
    if (const char* folder = std::getenv("SNELLITORE_BENCH_DIR"); folder && *folder)
        settings.folder = folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--items" && i + 1 < argc)
            settings.items = std::atoi(argv[++i]);
        else if (arg == "--files" && i + 1 < argc)
            settings.files = std::atoi(argv[++i]);
        else
            return false;
    }
    return settings.items > 0 && settings.files > 0;
}

void progressNote(const std::string& text)
{
    std::fprintf(stderr, "snellitore-bench-windows: %s\n", text.c_str());
}

// A scratch folder that is removed with everything in it, also when the run fails.
class ScratchFolder
{
public:
    explicit ScratchFolder(const std::string& path)
        : m_path(path)
    {
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

void writeFiles(const std::string& folder, int count, const char* content)
{
    const std::size_t length = std::strlen(content);
    char name[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "/p%06d.htm", i);
        const std::string path = folder + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, content, length) != static_cast<ssize_t>(length) || ::close(fd) != 0)
            throw std::runtime_error(path + ": " + std::strerror(errno));
    }
}

int markedCount(const FileListBox& list)
{
    int marked = 0;
    for (int row = 0; row < list.count(); ++row)
        marked += list.isMarked(row);
    return marked;
}

// Ctrl+A selects every item, which toggles every mark: the list's own key handling and the window's handler.
void pressSelectAll(FileListBox& list)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
    QApplication::sendEvent(&list, &press);
    QApplication::sendEvent(&list, &release);
}

// Opens the folder in the source list (and the destination list, when given) as a double-click would.
void showFolders(const std::string& source, const std::string& destination)
{
    Form1->DirectoryListBox1->setDirectory(QString::fromStdString(source));
    Form1->DirectoryListBox2->setDirectory(QString::fromStdString(destination));
}

bool measureMarking(const Settings& settings)
{
    const ScratchFolder folder(settings.folder + "/windows-marking");
    progressNote("writing " + std::to_string(settings.items) + " files to list");
    writeFiles(folder.path(), settings.items, "");
    showFolders(folder.path(), folder.path());
    FileListBox& list = *Form1->FileListBox1;
    list.setFocus();
    progressNote("marking and unmarking every item");
    Stopwatch markWatch;
    pressSelectAll(list);
    const double markSeconds = markWatch.wallSeconds();
    const int marked = markedCount(list);
    Stopwatch unmarkWatch;
    pressSelectAll(list);
    const double unmarkSeconds = unmarkWatch.wallSeconds();
    const int left = markedCount(list);

    std::printf("\nMarking: Ctrl+A in the source list of %d items, through the window's selection handler\n",
                list.count());
    std::printf("  %-44s %10.3f s  (%d marked)\n", "mark every item", markSeconds, marked);
    std::printf("  %-44s %10.3f s  (%d still marked)\n", "unmark every item", unmarkSeconds, left);
    const bool correct = marked == list.count() && left == 0;
    const bool pass = correct && markSeconds <= MarkingTargetSeconds && unmarkSeconds <= MarkingTargetSeconds;
    std::printf("  %s marking %d items takes at most %.1f s each way%s\n", pass ? "PASS" : "FAIL", list.count(),
                MarkingTargetSeconds, correct ? "" : " (the marks came out wrong)");
    return pass;
}

int filesIn(const std::string& folder)
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

bool measureBatch(const Settings& settings)
{
    const ScratchFolder root(settings.folder + "/windows-batch");
    const std::string source = root.path() + "/src";
    const std::string destination = root.path() + "/dst";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(destination);
    progressNote("writing " + std::to_string(settings.files) + " small files");
    writeFiles(source, settings.files, SmallPage);
    showFolders(source, destination);
    FileListBox& list = *Form1->FileListBox1;
    pressSelectAll(list);
    const int marked = markedCount(list);
    const int rowsBefore = forms::stat->StringGrid1->rowCount();
    progressNote("compacting them with one press of >>");
    Stopwatch watch;
    Form1->Dircompattaclick();
    const double seconds = watch.wallSeconds();
    const double cpu = watch.cpuSeconds();
    const int written = filesIn(destination);
    const int rows = forms::stat->StringGrid1->rowCount() - rowsBefore;

    std::printf("\nBatch run: %d marked files of %zu bytes, \">>\" into an empty folder, all options as at start\n",
                marked, std::strlen(SmallPage));
    std::printf("  %-44s %10.3f s  cpu %.3f s  %8.0f files/s\n", "one press of >>", seconds, cpu,
                written / seconds);
    const bool correct = marked == settings.files && written == settings.files && rows == settings.files;
    const bool pass = correct && written / seconds >= BatchTargetFilesPerSecond;
    std::printf("  %s at least %.0f files a second%s\n", pass ? "PASS" : "FAIL", BatchTargetFilesPerSecond,
                correct ? "" : " (not every file was compacted, or the statistics rows are missing)");
    return pass;
}

// The gauge paints only on a window that is on screen; a benchmark on a window not shown yet would skip that cost.
bool waitUntilExposed(QWidget& window)
{
    QElapsedTimer waited;
    waited.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return window.windowHandle() && window.windowHandle()->isExposed();
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (!readSettings(argc, argv, settings)) {
        std::fputs(UsageText, stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = { argv[0], nullptr };
    QApplication application(qtArgc, qtArgv);
    try {
        const std::string start = std::filesystem::current_path().string();
        createWindows();
        Form1->show();
        if (!waitUntilExposed(*Form1))
            throw std::runtime_error("the main window did not appear on the screen");
        std::printf("Snellitore window benchmark on the %s platform\n", qPrintable(QApplication::platformName()));
        const bool marking = measureMarking(settings);
        std::filesystem::current_path(start); // the lists made the scratch folder current
        const bool batch = measureBatch(settings);
        std::filesystem::current_path(start);
        destroyWindows();
        return marking && batch ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "snellitore-bench-windows: %s\n", e.what());
        return 2;
    }
}
