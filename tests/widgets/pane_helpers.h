// Small helpers shared by the pane widget tests: making files and folders, and reading list texts.
#pragma once

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTest>

#include <filesystem>
#include <fstream>

// A name ending in "/" makes a folder; files are made read-only, which must not hide them.
inline void makeEntries(const QString& folder, const QStringList& names)
{
    for (const QString& name : names) {
        const QString path = QDir(folder).filePath(name);
        QFile file(path);
        const bool made = name.endsWith(u'/')
            ? QDir().mkpath(path)
            : file.open(QIODevice::WriteOnly) && file.setPermissions(QFile::ReadOwner);
        QVERIFY2(made, qPrintable(path));
    }
}

// The same for names given as bytes, which need not be valid UTF-8; files are left writable.
inline void makeByteEntries(const QString& folder, const QList<QByteArray>& names)
{
    for (const QByteArray& name : names) {
        const std::string path = (QFile::encodeName(folder) + '/' + name).toStdString();
        const bool made = name.endsWith('/') ? std::filesystem::create_directories(path)
                                             : std::ofstream(path, std::ios::binary).good();
        QVERIFY2(made, path.c_str());
    }
}

// QTemporaryDir cannot see names that are not UTF-8, so it leaves them behind; this removes everything.
inline void removeContents(const QString& folder)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(QFile::encodeName(folder).toStdString(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

inline QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int i = 0; i < list.count(); ++i)
        result << list.item(i)->text();
    return result;
}
