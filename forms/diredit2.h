// The name prompt: asks for a file or folder name and keeps how it was closed.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TDiredit : public QDialog
{
    Q_OBJECT

public:
    enum ModalResult
    {
        None = 0,
        Ok = 1,
        Cancel = 2,
    };

    explicit TDiredit(QWidget* parent = nullptr);

    // How the dialog was last closed; it stays readable after closing until the next showing or a caller sets it.
    int modalResult() const;
    void setModalResult(int result);

    QFrame* Bevel1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_modalResult = None;
};

extern TDiredit* Diredit;
