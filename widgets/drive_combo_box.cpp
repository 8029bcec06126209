// Drive selector: a drop-down list of the mounted volumes that leads a folder list to the chosen one.
#include <widgets/drive_combo_box.h>

#include <widgets/directory_list_box.h>
#include <widgets/folder_paths.h>

#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>

#include <winnetwk.h>
#endif

namespace {

bool isUnder(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

#ifndef Q_OS_WIN
// Kernel and runtime mounts hold no files a user would compact.
bool isUserVolume(const QStorageInfo& volume)
{
    static const QSet<QByteArray> pseudoTypes { "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs",
        "securityfs", "pstore", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "bpf",
        "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs", "ramfs" };
    const QString root = volume.rootPath();
    if (!volume.isValid() || pseudoTypes.contains(volume.fileSystemType()) || !QFileInfo(root).isDir())
        return false;
    static const QStringList systemFolders { QStringLiteral("/proc"), QStringLiteral("/sys"), QStringLiteral("/dev"),
        QStringLiteral("/run") };
    for (const QString& system : systemFolders) {
        if (isUnder(root, system) && !isUnder(root, QStringLiteral("/run/media")))
            return false;
    }
    return !(volume.fileSystemType() == "squashfs" && isUnder(root, QStringLiteral("/snap")));
}

QList<QStorageInfo> userVolumes()
{
    QList<QStorageInfo> volumes;
    QSet<QString> roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (isUserVolume(volume) && !roots.contains(volume.rootPath())) {
            roots.insert(volume.rootPath());
            volumes << volume;
        }
    }
    // "/" is a prefix of every other root, so path order puts it first; drive letters come in letter order.
    std::sort(volumes.begin(), volumes.end(),
        [](const QStorageInfo& a, const QStorageInfo& b) { return a.rootPath() < b.rootPath(); });
    return volumes;
}

QStyle::StandardPixmap driveIcon(const QStorageInfo& volume)
{
    static const QSet<QByteArray> networkTypes { "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p" };
    const QByteArray type = volume.fileSystemType();
    if (networkTypes.contains(type))
        return QStyle::SP_DriveNetIcon;
    if (type == "iso9660" || type == "udf")
        return QStyle::SP_DriveCDIcon;
    const QString root = volume.rootPath();
    if (isUnder(root, QStringLiteral("/media")) || isUnder(root, QStringLiteral("/run/media")))
        return QStyle::SP_DriveFDIcon;
    return QStyle::SP_DriveHDIcon;
}
#endif

#ifdef Q_OS_WIN
// The drives present, in letter order, by the kind the system reports; kinds a user does not work on are left out.
QList<DriveComboBox::Volume> windowsDrives()
{
    QList<DriveComboBox::Volume> drives;
    const DWORD present = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(present & (1u << i)))
            continue;
        const wchar_t device[] = { wchar_t(L'A' + i), L':', L'\0' };
        const wchar_t root[] = { wchar_t(L'A' + i), L':', L'\\', L'\0' };
        const UINT type = ::GetDriveTypeW(root);
        QStyle::StandardPixmap picture;
        switch (type) {
        case DRIVE_REMOVABLE: picture = QStyle::SP_DriveFDIcon; break;
        case DRIVE_FIXED:
        case DRIVE_RAMDISK: picture = QStyle::SP_DriveHDIcon; break;
        case DRIVE_CDROM: picture = QStyle::SP_DriveCDIcon; break;
        case DRIVE_REMOTE: picture = QStyle::SP_DriveNetIcon; break;
        default: continue;
        }
        DriveComboBox::Volume volume { QString::fromWCharArray(device) + u'/', {}, picture };
        // A removable drive shows no label: asking for one would wait for the medium.
        wchar_t label[MAX_PATH + 1];
        if (type != DRIVE_REMOVABLE
            && ::GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
            volume.label = QString::fromWCharArray(label);
        wchar_t remote[MAX_PATH + 1];
        DWORD size = MAX_PATH + 1;
        if (type == DRIVE_REMOTE && ::WNetGetConnectionW(device, remote, &size) == NO_ERROR)
            volume.remote = QString::fromWCharArray(remote);
        drives.push_back(volume);
    }
    return drives;
}
#endif

// Drive letters ignore case, so they read in lower case ("c: [system]", "a:", "x: \\server\share"); elsewhere
// a path is shown as it is spelt on disk.
QString driveText(const DriveComboBox::Volume& volume)
{
    QString text = QDir::toNativeSeparators(volume.root);
#ifdef Q_OS_WIN
    if (text.size() == 3 && text.endsWith(QStringLiteral(":\\")))
        text.chop(1);
#endif
    if (!volume.remote.isEmpty())
        text += u' ' + volume.remote;
    else if (!volume.label.isEmpty())
        text += QStringLiteral(" [%1]").arg(volume.label);
#ifdef Q_OS_WIN
    text = text.toLower();
#endif
    return text;
}

} // namespace

DriveComboBox::DriveComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(false);
    // In the open list too, the end of a long entry is what tells it apart.
    view()->setTextElideMode(Qt::ElideLeft);
    refresh();
    setDrive(QDir::currentPath());
    connect(this, &QComboBox::activated, this, &DriveComboBox::chooseDrive);
}

QString DriveComboBox::drive() const
{
    return QDir::toNativeSeparators(m_root);
}

void DriveComboBox::setDrive(const QString& folderPath)
{
    // A folder on a volume left out of the list belongs to the listed volume that contains it.
    const QString folder = folders::absoluteFolder(folderPath);
    const QString ownRoot = QStorageInfo(folder).rootPath();
    if (findData(ownRoot) >= 0) {
        showRoot(ownRoot);
        return;
    }
    QString best;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (isUnder(folder, root) && root.size() > best.size())
            best = root;
    }
    showRoot(best);
}

void DriveComboBox::refresh()
{
    const QSignalBlocker blocker(this);
    clear();
    for (const Volume& volume : volumes()) {
        const QString text = driveText(volume);
        addItem(style()->standardIcon(volume.picture, nullptr, this), text, volume.root);
        setItemData(count() - 1, text, Qt::ToolTipRole);
    }
    showRoot(m_root);
}

QList<DriveComboBox::Volume> DriveComboBox::volumes() const
{
#ifdef Q_OS_WIN
    return windowsDrives();
#else
    QList<Volume> list;
    for (const QStorageInfo& volume : userVolumes())
        list.push_back({ volume.rootPath(), volume.name(), driveIcon(volume) });
    return list;
#endif
}

DirectoryListBox* DriveComboBox::dirList() const
{
    return m_dirList;
}

void DriveComboBox::setDirList(DirectoryListBox* list)
{
    if (m_dirList)
        disconnect(m_dirList, nullptr, this, nullptr);
    m_dirList = list;
    if (!m_dirList)
        return;
    connect(m_dirList, &DirectoryListBox::directoryChanged, this, &DriveComboBox::setDrive);
    setDrive(m_dirList->directory());
}

QString DriveComboBox::shownText() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    // The room the style's label leaves for the text: the edit field less the picture and a pixel each side.
    int room = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).width() - 2;
    if (!option.currentIcon.isNull())
        room -= option.iconSize.width() + 4;
    return fontMetrics().elidedText(option.currentText, Qt::ElideLeft, std::max(room, 0));
}

void DriveComboBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void DriveComboBox::showPopup()
{
    // Volumes come and go while the program runs; the list is read afresh each time it opens.
    refresh();
    QComboBox::showPopup();
}

void DriveComboBox::chooseDrive(int index)
{
    const QString root = itemData(index).toString();
    const QStorageInfo volume(root);
    const bool ready = volume.isValid() && volume.isReady() && QFileInfo(root).isReadable();
    if (ready && !m_dirList) {
        showRoot(root);
    } else if (ready
        && (m_dirList->setDirectoryBytes(folders::lastVisitedFolder(root)) || m_dirList->setDirectory(root))) {
        setDrive(m_dirList->directory());
    } else {
        // The volume cannot be entered: the selector goes back to the one shown before, and nothing changed.
        showRoot(m_root);
        return;
    }
    emit driveChanged(drive());
}

void DriveComboBox::showRoot(const QString& root)
{
    const int index = findData(root);
    setCurrentIndex(index >= 0 ? index : 0);
    m_root = itemData(currentIndex()).toString();
    setToolTip(currentText());
}
