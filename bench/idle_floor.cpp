// The floor for the ticker's costs: a bare Qt window that draws the quote lines it is given
// (a UTF-8 file, one line each, as `kestrel --print` writes them) in the Chinese face the ticker
// falls back to, bold as its quote lines are by default, and runs a 100 ms timer that repaints a
// 3-pixel bar, as the countdown does.
//   idle_floor [LINES_FILE]
#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace {

class Floor : public QWidget {
public:
    QStringList lines;
    int tick = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int lineHeight = painter.fontMetrics().height();
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(2, 2 + i * lineHeight + painter.fontMetrics().ascent(), lines[i]);
        painter.fillRect(QRect(1, height() - 2, (width() - 2) * (tick % 100) / 100, 1), Qt::gray);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Floor window;
    if (argc > 1) {
        QFile file(QString::fromLocal8Bit(argv[1]));
        if (file.open(QIODevice::ReadOnly))
            window.lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    QFont font(QStringLiteral("Noto Sans Mono CJK SC"));
    font.setPixelSize(12);
    font.setBold(true);
    window.setFont(font);
    window.resize(230, qMax(250, 8 + window.lines.size() * window.fontMetrics().height()));
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&window] {
        ++window.tick;
        window.update(0, window.height() - 3, window.width(), 3);
    });
    timer.start(100);
    window.show();
    return QApplication::exec();
}
