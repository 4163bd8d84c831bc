// The floor for the ticker's idle cost: a minimal Qt window that only runs a 100 ms timer which
// repaints a 3-pixel bar, as the countdown does.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace {

class Bar : public QWidget {
public:
    int tick = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(1, 1, (width() - 2) * (tick % 100) / 100, 1), Qt::gray);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(230, 250);
    auto* bar = new Bar;
    bar->setParent(&window);
    bar->setGeometry(0, 247, 230, 3);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [bar] {
        ++bar->tick;
        bar->update();
    });
    timer.start(100);
    window.show();
    return QApplication::exec();
}
