// The main window: its design, the option and gauge adapters, the menu handlers and the command-line mode.
#include <forms/comp.h>

#include <forms/aboutbox.h>
#include <forms/batch_run.h>
#include <forms/design_scale.h>
#include <forms/diredit2.h>
#include <forms/form_texts.h>
#include <forms/gauge_progress.h>
#include <forms/path_text.h>
#include <forms/stati.h>

#include <engine/size_summary.h>
#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/io_error.h>
#include <shell/application.h>
#include <shell/command_line.h>
#include <widgets/directory_list_box.h>
#include <widgets/drive_combo_box.h>
#include <widgets/file_list_box.h>
#include <widgets/filter_combo_box.h>
#include <widgets/gauge.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

TForm1* Form1 = nullptr;

namespace {

const QString Caption = QStringLiteral("Snellitore Pagine Web 2002");
const QString Filter = QStringLiteral("All files (*.*)|*.*|htm|*.htm|html|*.html|script|*.js|vbs|*.vbs");
const QString FileMissingText = QStringLiteral("File non esite");
const QString NothingMarkedText = QStringLiteral("Nessun file selezionato");
const QString CannotCreateFolderText = QStringLiteral("Non posso creare directory");
const QString FolderCreatedText = QStringLiteral("Nuova directory creata");

template <class Control> Control* named(Control* control, const char* name)
{
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

QAction* menuCommand(QWidget* owner, const QString& text, const char* name)
{
    return named(new QAction(text, owner), name);
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption);
    const DesignScale scale(this);
    setFont(scale.font(13));
    setCentralWidget(new QWidget(this));
    buildMenu();
    buildPanes();
    buildOptions();
    setTabOrder();
    scale.placeWindow(this, 157, 111, 767, 406);
    runHandler([this] { createdir(); });
}

TForm1::~TForm1() = default;

void TForm1::buildMenu()
{
    Gestione1 = named(menuBar()->addMenu(QStringLiteral("Gestione")), "Gestione1");
    Creadirectory1 = menuCommand(this, QStringLiteral("Crea directory"), "Creadirectory1");
    Statistiche1 = menuCommand(this, QStringLiteral("Statistiche"), "Statistiche1");
    Compattazionesicura1
        = menuCommand(this, QString::fromLatin1(FormText::SafeCompactionCommand), "Compattazionesicura1");
    Compattazionesicura1->setCheckable(true);
    Uscita1 = menuCommand(this, QStringLiteral("Uscita"), "Uscita1");
    About1 = menuCommand(this, QStringLiteral("About"), "About1");
    // The commands keep their places. The mode stands apart from them, and from "Uscita", so that a click
    // meant for it cannot end the program.
    Gestione1->addActions({ Creadirectory1, Statistiche1 });
    Gestione1->addSeparator();
    Gestione1->addAction(Compattazionesicura1);
    Gestione1->addSeparator();
    Gestione1->addAction(Uscita1);
    menuBar()->addAction(About1);
    connect(Creadirectory1, &QAction::triggered, this, &TForm1::creadirclick);
    connect(Statistiche1, &QAction::triggered, this, &TForm1::Statclick);
    // Toggled, not triggered: the boxes follow the item however it is checked.
    connect(Compattazionesicura1, &QAction::toggled, this, &TForm1::Compattazionesicuraclick);
    connect(Uscita1, &QAction::triggered, this, &TForm1::Uscita1click);
    connect(About1, &QAction::triggered, this, &TForm1::Aboutclick);
}

void TForm1::buildPanes()
{
    const DesignScale scale(this);
    QWidget* client = centralWidget();
    FileListBox1 = named(new FileListBox(client), "FileListBox1");
    DirectoryListBox1 = named(new DirectoryListBox(client), "DirectoryListBox1");
    DriveComboBox1 = named(new DriveComboBox(client), "DriveComboBox1");
    FilterComboBox1 = named(new FilterComboBox(client), "FilterComboBox1");
    DirectoryListBox2 = named(new DirectoryListBox(client), "DirectoryListBox2");
    FileListBox2 = named(new FileListBox(client), "FileListBox2");
    DriveComboBox2 = named(new DriveComboBox(client), "DriveComboBox2");
    FilterComboBox2 = named(new FilterComboBox(client), "FilterComboBox2");
    scale.place(FileListBox1, 160, 8, 161, 337);
    scale.place(DirectoryListBox1, 8, 8, 145, 257);
    scale.place(DriveComboBox1, 8, 280, 145, 22);
    scale.place(FilterComboBox1, 8, 320, 145, 24);
    scale.place(DirectoryListBox2, 440, 8, 145, 257);
    scale.place(FileListBox2, 592, 8, 161, 337);
    scale.place(DriveComboBox2, 440, 280, 145, 22);
    scale.place(FilterComboBox2, 440, 320, 145, 24);

    FileListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileListBox2->setSelectionMode(QAbstractItemView::SingleSelection);
    DirectoryListBox1->setFileList(FileListBox1);
    DriveComboBox1->setDirList(DirectoryListBox1);
    DirectoryListBox2->setFileList(FileListBox2);
    DriveComboBox2->setDirList(DirectoryListBox2);
    FilterComboBox1->setFilter(Filter);
    FilterComboBox1->setFileList(FileListBox1);
    FilterComboBox2->setFilter(Filter);
    FilterComboBox2->setFileList(FileListBox2);
    connect(FileListBox1, &FileListBox::userSelectionChanged, this, &TForm1::filselclick);
}

void TForm1::buildOptions()
{
    const DesignScale scale(this);
    QWidget* client = centralWidget();
    Defaultdir = named(new QCheckBox(QStringLiteral("Default"), client), "Defaultdir");
    Apicidir = named(new QCheckBox(QStringLiteral("Apici"), client), "Apicidir");
    Maggioridir = named(new QCheckBox(QStringLiteral("<>"), client), "Maggioridir");
    Divcenter = named(new QCheckBox(QStringLiteral("Div"), client), "Divcenter");
    scale.place(Defaultdir, 336, 24, 97, 17);
    scale.place(Apicidir, 336, 56, 97, 17);
    scale.place(Maggioridir, 336, 88, 97, 17);
    scale.place(Divcenter, 336, 120, 97, 17);
    Defaultdir->setChecked(true);

    Button2 = named(new QPushButton(QStringLiteral(">>"), client), "Button2");
    scale.place(Button2, 352, 176, 57, 25);
    Button2->setAutoDefault(false);
    Button2->setDefault(false);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Dircompattaclick);

    Gauge1 = named(new Gauge(client), "Gauge1");
    scale.place(Gauge1, 328, 224, 105, 33);
    Gauge1->setFocusPolicy(Qt::NoFocus);
    Gauge1->setBarColor(QColor(0, 128, 0));
    Gauge1->setProgress(0);
    Gauge1->hide();
    m_progress = std::make_unique<GaugeProgress>(Gauge1);
}

void TForm1::setTabOrder()
{
    const QWidget* order[] = { FileListBox1, DirectoryListBox1, DriveComboBox1, FilterComboBox1, DirectoryListBox2,
        FileListBox2, DriveComboBox2, FilterComboBox2, Defaultdir, Apicidir, Maggioridir, Divcenter, Button2 };
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
}

CompactionOptions TForm1::options() const
{
    return { Defaultdir->isChecked(), Apicidir->isChecked(), Maggioridir->isChecked(), Divcenter->isChecked() };
}

bool TForm1::safeCompaction() const
{
    return Compattazionesicura1->isChecked();
}

void TForm1::enableRuleOptions(bool enabled)
{
    for (QCheckBox* box : { Defaultdir, Apicidir, Maggioridir, Divcenter })
        box->setEnabled(enabled);
}

ProgressSink& TForm1::progressSink()
{
    return *m_progress;
}

void TForm1::refreshLists()
{
    DirectoryListBox2->rebuild();
    FileListBox2->read();
    DirectoryListBox1->rebuild();
    FileListBox1->read();
}

void TForm1::createdir()
{
    const std::vector<std::string>& arguments = programArguments();
    if (arguments.empty()) {
        refreshLists();
        return;
    }
    const std::string& source = arguments.front();
    if (!CanOpenFile(source))
        return finishCommandLine(FileMissingText, MessageKind::Error);
    const std::string destination = bigDestinationPath(source);
    // The test creation below would empty the source before anything was read from it.
    if (platform::sameFile(source, destination))
        return finishCommandLine(textFromPath(destination) + QStringLiteral(": ")
                                     + QString::fromLatin1(FormText::CannotOverwriteSameFile),
            MessageKind::Error);
    // The name is replaced, never written through: a link there may lead to any other file.
    if (platform::replaceWithTestFile(destination) != IoCode::Ok)
        return finishCommandLine(QString::fromLatin1(FormText::CannotCreateFile), MessageKind::Warning);
    deleteTestFile(destination);
    switchOnCommandLineOptions();
    // The name is free now; whatever takes it before the compaction is refused, not emptied.
    const CompactionResult result
        = CompactFile(source, destination, options(), progressSink(), DestinationCreation::MustNotExist);
    finishCommandLine(
        textFromPath(summaryText(source, result.sourceSize, destination, result.written)), MessageKind::Information);
}

void TForm1::deleteTestFile(const std::string& destination)
{
    if (const int code = platform::deleteFile(destination); code != IoCode::Ok)
        throw EInOutError(code);
}

void TForm1::switchOnCommandLineOptions()
{
    Defaultdir->setChecked(true);
    Divcenter->setChecked(true);
    Apicidir->setChecked(true);
}

void TForm1::finishCommandLine(const QString& text, MessageKind kind)
{
    ShowMessageBox(text, kind);
    endProcess(0);
}

void TForm1::filselclick()
{
    runHandler([this] { toggleSelectedMarks(*FileListBox1); });
}

void TForm1::Dircompattaclick()
{
    runHandler([this] {
        if (anyMarked(*FileListBox1))
            BatchRun(*this, *Diredit, *forms::stat).compactMarked();
        else
            ShowMessageBox(NothingMarkedText, MessageKind::Warning);
        refreshLists();
    });
}

void TForm1::creadirclick()
{
    runHandler([this] {
        prepareFolderPrompt(*Diredit);
        Diredit->exec();
        if (Diredit->modalResult() != TDiredit::Ok)
            return;
        // One level, the name exactly as typed: an empty, existing or nested-missing name fails.
        const std::string path = joinPath(*DirectoryListBox2, pathFromText(Diredit->Edit1->text()));
        if (platform::createFolder(path) != IoCode::Ok)
            return ShowMessageBox(CannotCreateFolderText, MessageKind::Warning);
        ShowMessageBox(FolderCreatedText, MessageKind::Information);
        refreshLists();
    });
}

void TForm1::Statclick()
{
    runHandler([] {
        if (forms::stat)
            forms::stat->exec();
    });
}

void TForm1::Compattazionesicuraclick()
{
    runHandler([this] { enableRuleOptions(!safeCompaction()); });
}

void TForm1::Uscita1click()
{
    runHandler([this] { close(); });
}

void TForm1::Aboutclick()
{
    runHandler([] {
        if (About)
            About->exec();
    });
}
