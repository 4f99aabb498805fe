// The yardstick for start-up: a minimal Qt Widgets window with a menu bar.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.menuBar()->addMenu(QStringLiteral("&Meny"));
    auto *client = new QWidget;
    client->setFixedSize(307, 191);
    window.setCentralWidget(client);
    window.show();
    return app.exec();
}
