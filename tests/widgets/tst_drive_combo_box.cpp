// Tests of DriveComboBox: the volumes it offers and how it leads its folder list.
#include <widgets/directory_list_box.h>
#include <widgets/drive_combo_box.h>
#include <widgets/file_list_box.h>

#include <QSignalSpy>
#include <QStorageInfo>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A selector over volumes made up by the test: long mount points need no real mount.
class FakeDrives : public DriveComboBox
{
public:
    explicit FakeDrives(QList<Volume> volumes)
        : m_volumes(std::move(volumes))
    {
        refresh();
    }

protected:
    QList<Volume> volumes() const override { return m_volumes; }

private:
    QList<Volume> m_volumes;
};

const QString LongMount = QStringLiteral("/media/somebody/external-backup-disk-of-the-office/archive-2023");
const QString LongMountToo = QStringLiteral("/media/somebody/external-backup-disk-of-the-office/archive-2024");

} // namespace

class TestDriveComboBox : public QObject
{
    Q_OBJECT

private slots:
    void listsRealVolumesRootFirst();
    void choosingAVolumeReturnsToItsLastFolder();
    void longMountPoints_data();
    void longMountPoints();
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

void TestDriveComboBox::longMountPoints_data()
{
    QTest::addColumn<QString>("folder"); // the folder shown, on one of the volumes
    QTest::addColumn<QString>("text"); // the entry, whole
    QTest::addColumn<QString>("end"); // what the closed selector must show of it

    QTest::newRow("root, short") << "/home" << "/ [system]"
                                 << "/ [system]";
    QTest::newRow("long mount point") << LongMount + "/site" << LongMount << "-2023";
    QTest::newRow("its neighbour") << LongMountToo << LongMountToo << "-2024";
    QTest::newRow("long mount point with a label") << "/mnt/a-mount-point-with-a-rather-long-path/x"
                                                   << "/mnt/a-mount-point-with-a-rather-long-path [Backup]"
                                                   << "[Backup]";
}

// The closed selector shows the end of a long entry, which tells mount points apart; the whole is the tooltip.
void TestDriveComboBox::longMountPoints()
{
    QFETCH(QString, folder);
    QFETCH(QString, text);
    QFETCH(QString, end);
    FakeDrives drives({ { "/", "system", QStyle::SP_DriveHDIcon }, { LongMount, "", QStyle::SP_DriveFDIcon },
        { LongMountToo, "", QStyle::SP_DriveFDIcon },
        { "/mnt/a-mount-point-with-a-rather-long-path", "Backup", QStyle::SP_DriveNetIcon } });
    drives.resize(qRound(145 * drives.logicalDpiX() / 120.0), drives.sizeHint().height());

    drives.setDrive(folder);

    QCOMPARE(drives.currentText(), text);
    QCOMPARE(drives.toolTip(), text);
    for (int i = 0; i < drives.count(); ++i)
        QCOMPARE(drives.itemData(i, Qt::ToolTipRole).toString(), drives.itemText(i));
    const QString shown = drives.shownText();
    QVERIFY2(shown.endsWith(end), qPrintable(shown));
    QVERIFY2(shown == text || shown.startsWith(QChar(0x2026)), qPrintable(shown));
    QStyleOptionComboBox option;
    option.initFrom(&drives);
    const QStyle::SubControl field = QStyle::SC_ComboBoxEditField;
    QVERIFY(drives.fontMetrics().horizontalAdvance(shown)
        <= drives.style()->subControlRect(QStyle::CC_ComboBox, &option, field, &drives).width());
}

QTEST_MAIN(TestDriveComboBox)
#include "tst_drive_combo_box.moc"
