// The name prompt: its design and its result.
#include <forms/diredit2.h>

#include <forms/design_scale.h>
#include <forms/form_texts.h>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

TDiredit* Diredit = nullptr;

namespace {

const QString Caption = QStringLiteral("Snellitore Web 2002");

QLabel* newLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

TDiredit::TDiredit(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Diredit"));
    setWindowTitle(Caption);
    const DesignScale scale(this);
    setFont(scale.font(13));

    Bevel1 = newBevel(this, scale, 18, 18, 369, 111);

    Label2 = newLabel(this, "Label2", QString::fromLatin1(FormText::CannotOverwriteSameFile));
    scale.placeLabel(Label2, 64, 32, 258, 16);
    Label2->hide();
    Label1 = newLabel(this, "Label1", QString::fromLatin1(FormText::FolderNamePrompt));
    scale.placeLabel(Label1, 120, 56, 142, 16);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFont(scale.font(QStringLiteral("Tahoma"), 15, true));
    QPalette palette = Edit1->palette();
    palette.setColor(QPalette::Text, Qt::black);
    Edit1->setPalette(palette);
    scale.place(Edit1, 120, 80, 161, 26);

    OKBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    scale.place(OKBtn, 87, 134, 95, 33);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    scale.place(CancelBtn, 230, 134, 95, 33);
    CancelBtn->setAutoDefault(false);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    QWidget::setTabOrder(Edit1, OKBtn);
    QWidget::setTabOrder(OKBtn, CancelBtn);
    scale.placeWindow(this, 331, 187, 420, 198);
}

int TDiredit::modalResult() const
{
    return m_modalResult;
}

void TDiredit::setModalResult(int result)
{
    m_modalResult = result;
}

void TDiredit::done(int result)
{
    m_modalResult = result == Accepted ? Ok : Cancel;
    QDialog::done(result);
}

void TDiredit::showEvent(QShowEvent* event)
{
    m_modalResult = None;
    Edit1->setFocus();
    QDialog::showEvent(event);
}
