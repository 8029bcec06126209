// The statistics window: one grid row per compacted file, sizes, difference and ratio.
#pragma once

#include <QDialog>

#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;
class QTableWidget;

class Tstat : public QDialog
{
    Q_OBJECT

public:
    explicit Tstat(QWidget* parent = nullptr);

    // Fills the last, empty row and adds a new empty one below it.
    void appendRow(
        const QString& sourceName, std::int64_t sourceSize, const QString& destinationName, std::int64_t written);

    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QTableWidget* StringGrid1 = nullptr;
    QPushButton* OKBtn = nullptr;

public slots:
    // Creation handler: writes the header row.
    void staticreate();

protected:
    // There is no cancel button: Escape leaves the window open.
    void keyPressEvent(QKeyEvent* event) override;
    // The one window is shown again and again, and keeps the focus it had when it closed: each opening puts it
    // back on the grid, so that Tab then Space always reaches OK.
    void showEvent(QShowEvent* event) override;

private:
    void buildGrid();
    void setCell(int row, int column, const QString& text);
};

// The instance lives in a namespace and is always named with it: a global stat would clash with the C library's
// stat() in every file that also includes <sys/stat.h>.
namespace forms {
extern Tstat* stat;
}
