// The about box: product name, version, attribution and comments, closed with OK.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TAbout(QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    // The box has no cancel button, so Escape leaves it open; Enter, OK and the close box close it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* addLabel(const char* name, const QString& text);
};

extern TAbout* About;
