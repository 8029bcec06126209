// Design measures of the windows: scaling, fonts and placing.
#include <forms/design_scale.h>

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QWidget>

namespace {

// The window manager tells the frame's extent only once the window is mapped; then the client area shrinks so
// that the frame keeps the design's outer size.
class OuterSizeKeeper : public QObject
{
public:
    OuterSizeKeeper(QWidget* window, QSize outer)
        : QObject(window)
        , m_outer(outer)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show || event->type() == QEvent::Move) {
            const QSize frame = window->frameGeometry().size() - window->geometry().size();
            if (!frame.isEmpty()) {
                if (window->frameGeometry().size() != m_outer)
                    window->resize(m_outer - frame);
                window->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }

private:
    QSize m_outer;
};

} // namespace

DesignScale::DesignScale(const QWidget* window)
    : m_dpi(window->logicalDpiX())
{
}

int DesignScale::operator()(int designPixels) const
{
    return qRound(designPixels * double(m_dpi) / DesignDpi);
}

QRect DesignScale::rect(int left, int top, int width, int height) const
{
    return { (*this)(left), (*this)(top), (*this)(width), (*this)(height) };
}

QFont DesignScale::font(int designPixelHeight, bool bold) const
{
    return font(QStringLiteral("MS Sans Serif"), designPixelHeight, bold);
}

QFont DesignScale::font(const QString& family, int designPixelHeight, bool bold) const
{
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qMax(1, (*this)(designPixelHeight)));
    font.setBold(bold);
    return font;
}

void DesignScale::placeWindow(QWidget* window, int left, int top, int outerWidth, int outerHeight) const
{
    const QSize outer((*this)(outerWidth), (*this)(outerHeight));
    window->move((*this)(left), (*this)(top));
    window->resize(outer);
    window->installEventFilter(new OuterSizeKeeper(window, outer));
}

void DesignScale::place(QWidget* control, int left, int top, int width, int height) const
{
    control->setGeometry(rect(left, top, width, height));
}

void DesignScale::placeLabel(QLabel* label, int left, int top, int width, int height) const
{
    QRect geometry = rect(left, top, width, height);
    geometry.setWidth(qMax(geometry.width(), label->sizeHint().width()));
    label->setGeometry(geometry);
}

QFrame* newBevel(QWidget* parent, const DesignScale& scale, int left, int top, int width, int height)
{
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    scale.place(bevel, left, top, width, height);
    return bevel;
}
