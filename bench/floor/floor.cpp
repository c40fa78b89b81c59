// The floor the station's running costs are measured against: the smallest Qt Widgets
// program that does what the running station does at the least, a window with one label
// whose text a 100 ms timer changes.
#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("0"));
    label.setWindowTitle(QStringLiteral("floor"));
    label.resize(200, 60);
    label.show();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &label, [&] { label.setText(QString::number(++ticks)); });
    timer.start(100);
    return app.exec();
}
