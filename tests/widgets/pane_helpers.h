// Small helpers shared by the pane widget tests: making files and folders, and reading list texts.
#pragma once

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTest>

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

inline QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int i = 0; i < list.count(); ++i)
        result << list.item(i)->text();
    return result;
}
