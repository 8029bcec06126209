// Design measures of the windows: sizes laid out at 120 pixels per inch, scaled to the screen at creation.
#pragma once

#include <QFont>
#include <QRect>

class QFrame;
class QLabel;
class QWidget;

class DesignScale
{
public:
    static constexpr int DesignDpi = 120;

    // The factor of the screen the window is created on.
    explicit DesignScale(const QWidget* window);

    int operator()(int designPixels) const;
    QRect rect(int left, int top, int width, int height) const;
    // The design's font (every window uses one family) at the design's pixel height; a system that lacks
    // the family shows its sans font.
    QFont font(int designPixelHeight, bool bold = false) const;
    // The same in another family.
    QFont font(const QString& family, int designPixelHeight, bool bold = false) const;

    // Places a window at its design position with its design outer size (frame included once it is known).
    void placeWindow(QWidget* window, int left, int top, int outerWidth, int outerHeight) const;
    // Gives a child its design rectangle inside its parent.
    void place(QWidget* control, int left, int top, int width, int height) const;
    // Labels size themselves to their text: never narrower than it, as the system's font may be wider.
    void placeLabel(QLabel* label, int left, int top, int width, int height) const;

private:
    int m_dpi;
};

// A lowered frame line around a group of controls, named and placed at its design rectangle.
QFrame* newBevel(QWidget* parent, const DesignScale& scale, int left, int top, int width, int height);
