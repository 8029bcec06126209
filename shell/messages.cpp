// Message boxes and error display; the real boxes are built here and nowhere else.
#include <shell/messages.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <cstdio>

namespace {

// A box at the centre of the screen, whichever window is active, with its one button centred below the text.
// Qt would centre it over its parent; the parent is kept all the same, so the box stays above the main window.
class CentredMessageBox final : public QMessageBox
{
public:
    CentredMessageBox(Icon icon, const QString& caption, const QString& text, QWidget* parent)
        : QMessageBox(icon, caption, text, QMessageBox::NoButton, parent)
    {
        if (auto* buttons = findChild<QDialogButtonBox*>())
            buttons->setCenterButtons(true);
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event); // sizes the box to its text
        const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect frame = frameGeometry();
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - frame.width()) / 2, area.top() + (area.height() - frame.height()) / 2);
    }
};

class BoxDisplay final : public MessageDisplay
{
public:
    void showMessage(const QString& text, MessageKind kind) override
    {
        show(messageCaption(kind), text, iconFor(kind));
    }
    void showError(const QString& caption, const QString& text) override
    {
        show(caption, text, QMessageBox::Critical);
    }

private:
    static QMessageBox::Icon iconFor(MessageKind kind)
    {
        switch (kind) {
        case MessageKind::Warning: return QMessageBox::Warning;
        case MessageKind::Error: return QMessageBox::Critical;
        case MessageKind::Information: return QMessageBox::Information;
        }
        return QMessageBox::NoIcon;
    }

    static void show(const QString& caption, const QString& text, QMessageBox::Icon icon)
    {
        CentredMessageBox box(icon, caption, text, QApplication::activeWindow());
        // File names such as "<b>%1.htm" must appear exactly as they are.
        box.setTextFormat(Qt::PlainText);
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }
};

BoxDisplay boxDisplay;
QString title;
MessageDisplay* currentDisplay = &boxDisplay;

} // namespace

void ShowMessageBox(const QString& text, MessageKind kind)
{
    currentDisplay->showMessage(text, kind);
}

void ReportError(const std::exception& error)
{
    ReportError(QString::fromLocal8Bit(error.what()));
}

void ReportError(const QString& message)
{
    currentDisplay->showError(title, withFullStop(message));
}

QString messageCaption(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning: return QStringLiteral("Warning");
    case MessageKind::Error: return QStringLiteral("Error");
    case MessageKind::Information: return QStringLiteral("Information");
    }
    return {};
}

QString withFullStop(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString applicationTitleFor(const QString& programPath)
{
    QString name = programPath.mid(programPath.lastIndexOf(QLatin1Char('/')) + 1);
#ifdef Q_OS_WIN
    name = name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
#endif
    name = name.left(name.indexOf(QLatin1Char('.')));
    return name.left(1) + name.mid(1).toLower();
}

void setApplicationTitle(const QString& newTitle)
{
    title = newTitle;
}

QString applicationTitle()
{
    return title;
}

MessageDisplay* setMessageDisplay(MessageDisplay* display)
{
    MessageDisplay* previous = currentDisplay;
    currentDisplay = display ? display : &boxDisplay;
    return previous == &boxDisplay ? nullptr : previous;
}

void StandardErrorDisplay::showMessage(const QString& text, MessageKind kind)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(messageCaption(kind)), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void StandardErrorDisplay::showError(const QString& caption, const QString& text)
{
    std::fprintf(stderr, "%s: Error: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}
