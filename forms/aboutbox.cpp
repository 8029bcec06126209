// The about box: its design and its closing keys.
#include <forms/aboutbox.h>

#include <forms/design_scale.h>

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>

TAbout* About = nullptr;

namespace {

const QString Caption = QStringLiteral("About");
const QString ProductText = QStringLiteral("SNELLITORE WEB 2002");
const QString VersionText = QStringLiteral("Versione 5.0");
const QString AttributionText = QStringLiteral("Realizzato dal gruppo Snellitore");
const QString CommentsText = QStringLiteral("Commenti:  versione a 32 bit");
const QString PicturePath = QStringLiteral(":/snellitore/about.xpm");

} // namespace

TAbout::TAbout(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("About"));
    setWindowTitle(Caption);
    const DesignScale scale(this);
    setFont(scale.font(13));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setMidLineWidth(1);
    scale.place(Panel1, 2, 10, 351, 201);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(PicturePath));
    Image1->setScaledContents(true);
    scale.place(Image1, 10, 10, 81, 71);

    ProductName = addLabel("ProductName", ProductText);
    scale.placeLabel(ProductName, 110, 20, 200, 16);
    Version = addLabel("Version", VersionText);
    scale.placeLabel(Version, 110, 50, 87, 16);
    Label1 = addLabel("Label1", AttributionText);
    scale.placeLabel(Label1, 10, 100, 200, 16);
    Label2 = addLabel("Label2", CommentsText);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scale.place(Label2, 10, 130, 303, 39);

    OKButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setFont(scale.font(15, true));
    scale.place(OKButton, 131, 223, 96, 33);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    scale.placeWindow(this, 335, 116, 366, 285);
}

QLabel* TAbout::addLabel(const char* name, const QString& text)
{
    const DesignScale scale(this);
    auto* label = new QLabel(text, Panel1);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(scale.font(15, true));
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

void TAbout::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
