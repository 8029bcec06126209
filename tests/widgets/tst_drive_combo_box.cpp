// Tests of DriveComboBox: the volumes it offers and how it leads its folder list.
#include "directory_list_box.h"
#include "drive_combo_box.h"
#include "file_list_box.h"

#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

class TestDriveComboBox : public QObject
{
    Q_OBJECT

private slots:
    void listsRealVolumesRootFirst();
    void choosingAVolumeReturnsToItsLastFolder();
};

void TestDriveComboBox::listsRealVolumesRootFirst()
{
    DriveComboBox drives;

    QVERIFY(!drives.isEditable());
    QVERIFY(drives.itemText(0) == "/" || drives.itemText(0).startsWith("/ ["));
    for (int i = 0; i < drives.count(); ++i) {
        const QString root = drives.itemData(i).toString();
        QVERIFY2(QFileInfo(root).isDir() && !root.startsWith("/proc") && !root.startsWith("/sys"), qPrintable(root));
    }
}

// Both panes share the process: a volume chosen in one opens on the folder last entered on it in either.
void TestDriveComboBox::choosingAVolumeReturnsToItsLastFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkdir("sub"));
    const QString sub = dir.filePath("sub");
    const QString root = QStorageInfo(sub).rootPath();
    DirectoryListBox sourceFolders;
    DirectoryListBox targetFolders;
    FileListBox targetFiles;
    targetFolders.setFileList(&targetFiles);
    DriveComboBox targetDrives;
    targetDrives.setDirList(&targetFolders);
    QVERIFY(targetFolders.setDirectory(root));
    QVERIFY(sourceFolders.setDirectory(sub));
    const int index = targetDrives.findData(root);
    QVERIFY2(index >= 0, qPrintable(root));
    QSignalSpy spy(&targetDrives, &DriveComboBox::driveChanged);

    emit targetDrives.activated(index);

    QCOMPARE(targetFolders.directory(), sub);
    QCOMPARE(targetFiles.directory(), sub);
    QCOMPARE(targetDrives.currentIndex(), index);
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestDriveComboBox)
#include "tst_drive_combo_box.moc"
