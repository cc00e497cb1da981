// The floor the start-up bench measures the program against: the least a Qt program of
// the same shape does before its main window maps, a bare main window with an MDI area
// holding a list of 74 rows, nothing read, no MIDI, no splash.
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    auto* area = new QMdiArea;
    window.setCentralWidget(area);
    auto* list = new QListWidget;
    for (int row = 1; row <= 74; ++row)
        list->addItem(QStringLiteral("%1  Untitled").arg(row));
    area->addSubWindow(list)->show();
    window.resize(800, 600);
    window.show();
    return app.exec();
}
