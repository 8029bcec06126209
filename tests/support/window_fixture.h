// The window tests' fixture: the main window, the name prompt and the statistics window over a source and a
// destination folder of their own, with messages recorded and no command line. A test class derives from it
// after QObject, opens the windows in init() and closes them in cleanup().
#pragma once

#include <tests/support/gui_helpers.h>

#include <forms/comp.h>
#include <forms/diredit2.h>
#include <forms/stati.h>
#include <shell/command_line.h>
#include <widgets/directory_list_box.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>

class WindowFixture
{
protected:
    // Creates the folders and the windows; fillFolders, if given, puts entries in the folders before the lists
    // read them. False when a step fails: call it inside QVERIFY.
    bool openWindows(const std::function<bool()>& fillFolders = nullptr)
    {
        m_messages = std::make_unique<MessageRecorder>();
        m_source = std::make_unique<QTemporaryDir>();
        m_destination = std::make_unique<QTemporaryDir>();
        setProgramArguments({});
        m_window = std::make_unique<TForm1>();
        m_prompt = std::make_unique<TDiredit>();
        m_statistics = std::make_unique<Tstat>();
        Diredit = m_prompt.get();
        forms::stat = m_statistics.get();
        if (fillFolders && !fillFolders())
            return false;
        if (!m_window->DirectoryListBox1->setDirectory(m_source->path())
            || !m_window->DirectoryListBox2->setDirectory(m_destination->path()))
            return false;
        m_window->show();
        return QTest::qWaitForWindowExposed(m_window.get());
    }

    void closeWindows()
    {
        // The lists made a temporary folder the process's current one; it must outlive that role.
        QDir::setCurrent(QDir::tempPath());
        // QTemporaryDir cannot see names that are not UTF-8, so it could not remove them.
        for (const QTemporaryDir* folder : { m_source.get(), m_destination.get() }) {
            std::error_code ignored;
            const std::filesystem::path path = QFile::encodeName(folder->path()).toStdString();
            for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
                std::filesystem::remove_all(entry.path(), ignored);
        }
        Diredit = nullptr;
        forms::stat = nullptr;
        m_window.reset();
        m_prompt.reset();
        m_statistics.reset();
        m_destination.reset();
        m_source.reset();
        m_messages.reset();
    }

    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<QTemporaryDir> m_source;
    std::unique_ptr<QTemporaryDir> m_destination;
    std::unique_ptr<TForm1> m_window;
    std::unique_ptr<TDiredit> m_prompt;
    std::unique_ptr<Tstat> m_statistics;
};
