#pragma once

#include <QDialog>
#include <QIcon>

class QFrame;
class QLabel;

// The splash panel: shown over the main window at start-up, and again by Help > About,
// where it stays until it is clicked.
class Splash : public QDialog {
    Q_OBJECT
public:
    explicit Splash(QWidget* parent = nullptr);

    QFrame* SSPanel1 = nullptr;
    QLabel* Picture1 = nullptr;
    QLabel* Picture2 = nullptr;
    QLabel* Picture3 = nullptr;
    QLabel* Picture4 = nullptr;
    QLabel* Picture5 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;

    // Centres the panel across the screen and somewhat above its middle.
    void Form_Load();

protected:
    // A click anywhere on the panel closes it; nothing else does.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_leftPressed = false;
};

// The program's window icon: the sawtooth picture of the splash panel.
QIcon programIcon();
