// The main window: source and destination panes, the four options, ">>", the gauge and the main menu.
#pragma once

#include <engine/compaction.h>
#include <shell/messages.h>

#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QMenu;
class QPushButton;
class DirectoryListBox;
class DriveComboBox;
class FileListBox;
class FilterComboBox;
class Gauge;

class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    // Builds the window from its design, then runs createdir; an error escaping it is shown and creation completes.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The options of the next compaction, as the four check boxes show them.
    CompactionOptions options() const;
    // True while "Compattazione sicura" is checked: ">>" then compacts safely and the four options do not apply.
    bool safeCompaction() const;
    // What a compaction drives: Gauge1, painted at once.
    ProgressSink& progressSink();

    // Rebuilds the folder lists and re-reads the file lists, destination side first.
    void refreshLists();

    QMenu* Gestione1 = nullptr;
    QAction* Creadirectory1 = nullptr;
    QAction* Statistiche1 = nullptr;
    QAction* Compattazionesicura1 = nullptr;
    QAction* Uscita1 = nullptr;
    QAction* About1 = nullptr;

    FileListBox* FileListBox1 = nullptr;
    DirectoryListBox* DirectoryListBox1 = nullptr;
    DriveComboBox* DriveComboBox1 = nullptr;
    FilterComboBox* FilterComboBox1 = nullptr;
    DirectoryListBox* DirectoryListBox2 = nullptr;
    FileListBox* FileListBox2 = nullptr;
    DriveComboBox* DriveComboBox2 = nullptr;
    FilterComboBox* FilterComboBox2 = nullptr;
    QCheckBox* Defaultdir = nullptr;
    QCheckBox* Apicidir = nullptr;
    QCheckBox* Maggioridir = nullptr;
    QCheckBox* Divcenter = nullptr;
    QPushButton* Button2 = nullptr;
    Gauge* Gauge1 = nullptr;

public slots:
    // Creation handler: with a file argument, compacts it into its ".big" sibling and ends the process.
    void createdir();
    void filselclick();
    void Dircompattaclick();
    void creadirclick();
    void Statclick();
    void Compattazionesicuraclick();
    void Uscita1click();
    void Aboutclick();

private:
    void buildMenu();
    void buildPanes();
    void buildOptions();
    void setTabOrder();
    // The four option boxes take no clicks while they do not apply; their checks stay as they are.
    void enableRuleOptions(bool enabled);

    // The steps of the command-line mode.
    static void deleteTestFile(const std::string& destination);
    void switchOnCommandLineOptions();
    static void finishCommandLine(const QString& text, MessageKind kind);

    std::unique_ptr<ProgressSink> m_progress;
};

extern TForm1* Form1;
