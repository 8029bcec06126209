// The statistics window: its design, the header row and the appending of rows.
#include <forms/stati.h>

#include <forms/design_scale.h>

#include <engine/size_summary.h>

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>

Tstat* forms::stat = nullptr;

namespace {

const QString Caption = QStringLiteral("snellitore Web 2002");
const QString Title = QStringLiteral("Statistiche");
const QStringList HeaderTexts
    = { QStringLiteral("Sorgente"), QStringLiteral("Dimensioni"), QStringLiteral("Destinazione"),
          QStringLiteral("Dimensioni"), QStringLiteral("Riduzione"), QStringLiteral("Ratio") };
const QString ByteSuffix = QStringLiteral(" byte ");
constexpr int ColumnWidths[] = { 151, 110, 146, 105, 90, 51 };
constexpr int RowHeight = 24;

QString sizeText(std::int64_t bytes)
{
    return QString::number(bytes) + ByteSuffix;
}

} // namespace

Tstat::Tstat(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("stat"));
    setWindowTitle(Caption);
    const DesignScale scale(this);
    setFont(scale.font(13));

    Bevel1 = newBevel(this, scale, 1, 0, 679, 329);

    Label1 = new QLabel(Title, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(scale.font(20));
    scale.placeLabel(Label1, 304, 8, 90, 25);

    StringGrid1 = new QTableWidget(2, int(std::size(ColumnWidths)), this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    scale.place(StringGrid1, 8, 40, 665, 273);
    buildGrid();

    OKBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    scale.place(OKBtn, 305, 338, 96, 33);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    QWidget::setTabOrder(StringGrid1, OKBtn);
    scale.placeWindow(this, 197, 116, 696, 402);
    staticreate();
}

void Tstat::buildGrid()
{
    const DesignScale scale(this);
    // Row 0 holds the header texts, as the grid's fixed row; it is shown by the grid's own header, which
    // stays in place while the rows scroll and lets the user drag a column's border.
    QHeaderView* header = StringGrid1->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setFixedHeight(scale(RowHeight));
    header->setStyleSheet(QStringLiteral("QHeaderView::section { background: white; border: none;"
                                         " border-bottom: 1px solid #a0a0a0; padding-left: 2px; }"));
    StringGrid1->setRowHidden(0, true);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(scale(RowHeight));
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    for (int column = 0; column < int(std::size(ColumnWidths)); ++column)
        StringGrid1->setColumnWidth(column, scale(ColumnWidths[column]));
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The grid is one stop of the window's Tab order; the arrows move between its cells.
    StringGrid1->setTabKeyNavigation(false);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void Tstat::staticreate()
{
    for (int column = 0; column < HeaderTexts.size(); ++column) {
        auto* cell = new QTableWidgetItem(HeaderTexts.at(column));
        // The header row is fixed: it is neither selected nor edited.
        cell->setFlags(Qt::ItemIsEnabled);
        cell->setBackground(Qt::white);
        StringGrid1->setItem(0, column, cell);
        StringGrid1->setHorizontalHeaderItem(column, new QTableWidgetItem(HeaderTexts.at(column)));
    }
    // The cursor starts on the first cell below the header, never on the header itself.
    StringGrid1->setCurrentCell(1, 0, QItemSelectionModel::NoUpdate);
}

void Tstat::appendRow(
    const QString& sourceName, std::int64_t sourceSize, const QString& destinationName, std::int64_t written)
{
    const int row = StringGrid1->rowCount() - 1;
    setCell(row, 0, sourceName);
    setCell(row, 1, sizeText(sourceSize));
    setCell(row, 2, destinationName);
    setCell(row, 3, sizeText(written));
    setCell(row, 4, sizeText(written - sourceSize));
    setCell(row, 5, QString::fromStdString(ratioText(sourceSize, written)));
    StringGrid1->setRowCount(row + 2);
}

void Tstat::setCell(int row, int column, const QString& text)
{
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    StringGrid1->setItem(row, column, cell);
}

void Tstat::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tstat::showEvent(QShowEvent* event)
{
    // The window system's own show, after a restore for instance, leaves the focus where the user put it.
    if (!event->spontaneous())
        StringGrid1->setFocus(Qt::OtherFocusReason);
    QDialog::showEvent(event);
}
