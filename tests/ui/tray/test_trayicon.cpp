#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>
#include <stdexcept>

#include "platform/fake/faketrayshell.h"
#include "platform/iconfiles.h"
#include "ui/tray/trayicon.h"

using namespace kestrel;

namespace {

struct Rig {
    FakeTrayShell* shell = new FakeTrayShell;
    std::unique_ptr<TTrayIcon> tray{new TTrayIcon(nullptr, std::unique_ptr<ITrayShell>(shell))};
    QStringList events;

    Rig() {
        auto name = [](TMouseButton b) {
            return b == TMouseButton::Left ? "L" : b == TMouseButton::Right ? "R" : "M";
        };
        auto flags = [](TShiftState s) {
            QString f;
            f += s.testFlag(TShiftFlag::Shift) ? "S" : "";
            f += s.testFlag(TShiftFlag::Ctrl) ? "C" : "";
            f += s.testFlag(TShiftFlag::Double) ? "D" : "";
            return f;
        };
        tray->OnClick = [=, this](TTrayIcon*, TMouseButton b, TShiftState s, int x, int y) {
            events << QStringLiteral("click %1%2 %3,%4").arg(name(b), flags(s)).arg(x).arg(y);
        };
        tray->OnMouseDown = [=, this](TTrayIcon*, TMouseButton b, TShiftState s, int, int) {
            events << QStringLiteral("down %1%2").arg(name(b), flags(s));
        };
        tray->OnMouseUp = [=, this](TTrayIcon*, TMouseButton b, TShiftState s, int, int) {
            events << QStringLiteral("up %1%2").arg(name(b), flags(s));
        };
        tray->OnDblClick = [this](TTrayIcon*) { events << "dblclick"; };
    }
    void Send(std::initializer_list<TrayMouseMessage> messages) {
        for (const auto m : messages) {
            shell->Send(m);
        }
    }
};

const TIcon& Normal() {
    static const TIcon icon = IconFromResource(":/icons/tray-normal.svg");
    return icon;
}
const TIcon& Grey() {
    static const TIcon icon = IconFromResource(":/icons/tray-grey.svg");
    return icon;
}
const TIcon& Program() {
    static const TIcon icon = IconFromResource(":/icons/kestrel.svg");
    return icon;
}

using M = TrayMouseMessage;

}  // namespace

class TestTrayIcon : public QObject {
    Q_OBJECT
private slots:
    // The shell hands Qt the icon's file, to be drawn at whatever size the panel wants: from
    // the PNG renditions made at build time, each at its own size, not from the SVG.
    void iconsRenderAtEverySizeAndTheGreyOneIsGrey() {
        for (const TIcon* icon : {&Normal(), &Grey(), &Program()}) {
            const QIcon drawn = IconFromFile(icon->File());
            QVERIFY(drawn.availableSizes().contains(QSize(22, 22)));
            for (const int size : {16, 22, 24, 32, 48}) {
                const QImage image = drawn.pixmap(size).toImage();
                QCOMPARE(image.size(), QSize(size, size));
                QVERIFY(image.pixelColor(size / 2, size / 2).alpha() > 0);
            }
        }
        auto colourful = [](const TIcon& icon) {
            const QImage img = IconFromFile(icon.File()).pixmap(16).toImage();
            int coloured = 0;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    const QColor c = img.pixelColor(x, y);
                    coloured += c.alpha() > 0 && c.hsvSaturation() > 60;
                }
            }
            return coloured;
        };
        QVERIFY(colourful(Normal()) > 20);
        QCOMPARE(colourful(Grey()), 0);
        QVERIFY(IconFromResource(":/icons/missing.svg").Empty());
        QVERIFY(QIcon(":/icons/kestrel.svg").pixmap(32).toImage().pixelColor(16, 16).alpha() > 0);
    }

    void animationShowsTheFramesInOrder() {
        Rig rig;
        rig.tray->SetIcon(Program());
        rig.tray->Icons()->Add(Normal());
        rig.tray->Icons()->Add(Grey());
        rig.tray->SetInterval(700);
        QCOMPARE(rig.tray->ActiveIcon()->Data(), Program().Data());
        rig.tray->SetAnimated(true);
        QCOMPARE(rig.tray->ActiveIcon(), rig.tray->Icons()->Get(0));
        rig.shell->Calls.clear();
        QTRY_VERIFY_WITH_TIMEOUT(rig.shell->Calls.size() >= 3, 5000);
        rig.tray->SetAnimated(false);
        const QList<QByteArray> expected{Grey().Data(), Normal().Data(), Grey().Data()};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rig.shell->Calls[i].What, FakeTrayShell::Op::Modify);
            QCOMPARE(rig.shell->Calls[i].Data.Icon, expected[i]);
        }
        // Stopping shows the static icon again, and no frame of the stopped thread follows.
        QCOMPARE(rig.shell->Current.Icon, Program().Data());
        const auto calls = rig.shell->Calls.size();
        QTest::qWait(900);
        QCOMPARE(rig.shell->Calls.size(), calls);
    }

    void animationNeedsFrames() {
        Rig rig;
        rig.tray->SetIcon(Program());
        rig.tray->SetAnimated(true);
        QVERIFY(!rig.tray->Animated());
        rig.tray->Icons()->Add(Normal());
        rig.tray->SetAnimated(true);
        QVERIFY(rig.tray->Animated());
        QCOMPARE(rig.shell->Current.Icon, Normal().Data());
        rig.tray->Icons()->Delete(0);
        QVERIFY(!rig.tray->Animated());
        QCOMPARE(rig.shell->Current.Icon, Program().Data());
    }

    void doubleClickOrder_data() {
        QTest::addColumn<bool>("defaultItem");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no default item")
            << false
            << QStringList{"down L", "click L 10,20", "up L", "dblclick", "down LD", "up L"};
        QTest::newRow("default item takes it")
            << true << QStringList{"down L", "click L 10,20", "up L", "default", "down LD", "up L"};
    }
    void doubleClickOrder() {
        QFETCH(bool, defaultItem);
        QFETCH(QStringList, expected);
        Rig rig;
        QMenu menu;
        QAction* show = menu.addAction("显示");
        QObject::connect(show, &QAction::triggered, [&] { rig.events << "default"; });
        if (defaultItem) {
            menu.setDefaultAction(show);
        }
        rig.tray->SetPopupMenu(&menu);
        rig.Send({M::LButtonDown, M::LButtonUp, M::LButtonDblClk, M::LButtonUp});
        QCOMPARE(rig.events, expected);
    }

    void rightAndMiddleButtons() {
        Rig rig;
        rig.tray->SetIcon(Normal());
        rig.shell->Send(M::RButtonDown, {3, 4}, Qt::ShiftModifier | Qt::ControlModifier);
        rig.shell->Send(M::RButtonUp, {3, 4}, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(rig.events, QStringList({"down RSC", "click RSC 3,4", "up RSC"}));

        rig.events.clear();
        auto* menu = new QMenu;
        menu->addAction("退出");
        rig.tray->SetPopupMenu(menu);
        QCOMPARE(rig.shell->ContextMenu.data(), menu);
        rig.Send({M::RButtonDown, M::RButtonUp});
        QCOMPARE(rig.events, QStringList({"down R", "up R"}));
        QVERIFY(menu->isVisible());
        menu->hide();

        delete menu;
        QCOMPARE(rig.tray->PopupMenu(), nullptr);
        rig.events.clear();
        rig.Send({M::RButtonDown, M::RButtonUp, M::MButtonDown, M::MButtonUp});
        QCOMPARE(rig.events, QStringList({"down R", "click R 10,20", "up R", "down M", "up M"}));
        // A release without its press is no click.
        rig.events.clear();
        rig.Send({M::LButtonUp});
        QCOMPARE(rig.events, QStringList({"up L"}));
    }

    void whereNoMenuCanPopUpTheRightButtonClicks() {
        Rig rig;
        rig.tray->SetIcon(Normal());
        rig.shell->PopsUpMenus = false;
        QMenu menu;
        menu.addAction("退出");
        rig.tray->SetPopupMenu(&menu);
        QCOMPARE(rig.shell->ContextMenu.data(), &menu);  // hosts that draw menus still get it
        rig.Send({M::RButtonDown, M::RButtonUp});
        QVERIFY(!menu.isVisible());
        QCOMPARE(rig.events, QStringList({"down R", "click R 10,20", "up R"}));
    }

    void disabledFiresNothing() {
        Rig rig;
        QMenu menu;
        rig.tray->SetPopupMenu(&menu);
        rig.tray->SetEnabled(false);
        QCOMPARE(rig.shell->ContextMenu.data(), nullptr);
        rig.Send({M::MouseMove, M::LButtonDown, M::LButtonUp, M::LButtonDblClk, M::RButtonDown,
                  M::RButtonUp, M::MButtonDown, M::MButtonUp});
        QVERIFY(rig.events.isEmpty());
        QVERIFY(!menu.isVisible());
        rig.tray->SetEnabled(true);
        QCOMPARE(rig.shell->ContextMenu.data(), &menu);
    }

    void hintIsCutForTheShell_data() {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("tip");
        const QString sixtyTwo(62, QLatin1Char('a'));
        QTest::newRow("bar") << "外汇牌价|" + QString(80, 'x') << "外汇牌价";
        QTest::newRow("long") << QString(70, 'y') << QString(63, 'y');
        QTest::newRow("bar first") << "|rest"
                                   << "";
        QTest::newRow("no half character") << sixtyTwo + QString::fromUtf8("😀b") << sixtyTwo;
    }
    void hintIsCutForTheShell() {
        QFETCH(QString, hint);
        QFETCH(QString, tip);
        Rig rig;
        rig.tray->SetIcon(Normal());
        rig.tray->SetHint(hint);
        QCOMPARE(rig.tray->Hint(), hint);
        QCOMPARE(rig.shell->Current.Tip, tip);
    }

    void trayAppearsOnceThereIsAnIconAndAHost() {
        Rig rig;
        rig.shell->AcceptAdd = false;
        rig.tray->SetActive(true);
        QVERIFY(rig.shell->Calls.isEmpty());  // no icon yet: nothing to add
        rig.tray->SetIcon(Grey());
        QVERIFY(!rig.tray->Added());
        QCOMPARE(rig.shell->Calls.size(), 1);
        rig.shell->AcceptAdd = true;
        rig.tray->SetHint("Kestrel");
        QVERIFY(rig.tray->Added());
        QCOMPARE(rig.shell->Current.Icon, Grey().Data());
        rig.tray->SetIcon(Normal());
        QCOMPARE(rig.shell->Current.Icon, Normal().Data());
        rig.tray->SetIcon(TIcon());
        QVERIFY(!rig.shell->Shown);
        rig.tray->SetIcon(Normal());
        rig.tray->SetActive(false);
        QVERIFY(!rig.shell->Shown);
        rig.tray->SetActive(true);
        QVERIFY(rig.shell->Shown);
    }

    // A panel that comes up after the program, goes away, and comes back.
    void aHostChangeAddsTheIconAgain() {
        Rig rig;
        rig.shell->AcceptAdd = false;
        rig.tray->SetIcon(Normal());
        rig.tray->SetHint("Kestrel");
        QVERIFY(!rig.tray->Added());
        rig.shell->AcceptAdd = true;
        rig.shell->HostChanged();
        QVERIFY(rig.tray->Added());
        QCOMPARE(rig.shell->Current.Icon, Normal().Data());
        QCOMPARE(rig.shell->Current.Tip, QStringLiteral("Kestrel"));
        rig.shell->AcceptAdd = false;
        rig.shell->HostChanged();
        QVERIFY(!rig.tray->Added());
        // An icon switched off stays off whatever the desktop does.
        rig.shell->AcceptAdd = true;
        rig.tray->SetActive(false);
        rig.shell->HostChanged();
        QVERIFY(!rig.shell->Shown);
    }

    void handlerExceptionIsReportedAndHandlingGoesOn() {
        Rig rig;
        rig.tray->OnClick = [](TTrayIcon*, TMouseButton, TShiftState, int, int) {
            throw std::runtime_error("handler failed");
        };
        QString reported;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                reported = box->text();
                box->done(0);
            }
        });
        closer.start(20);
        rig.Send({M::LButtonDown, M::LButtonUp, M::MButtonDown});
        QCOMPARE(reported, QStringLiteral("handler failed"));
        QCOMPARE(rig.events, QStringList({"down L", "down M"}));
    }

    void destructionTakesTheIconOutWhileAnimating() {
        struct WatchedShell : FakeTrayShell {
            bool* shownAtEnd = nullptr;
            ~WatchedShell() override { *shownAtEnd = Shown; }
        };
        bool shownAtEnd = true;
        auto* shell = new WatchedShell;
        shell->shownAtEnd = &shownAtEnd;
        auto tray = std::make_unique<TTrayIcon>(nullptr, std::unique_ptr<ITrayShell>(shell));
        tray->Icons()->Add(Normal());
        tray->Icons()->Add(Grey());
        tray->SetInterval(0);
        tray->SetAnimated(true);
        QTRY_VERIFY(shell->Calls.size() > 5);
        QVERIFY(shell->Shown);
        tray.reset();  // joins the thread, then the shell goes with the component
        QVERIFY(!shownAtEnd);
        QTest::qWait(50);  // a frame still queued must find nobody
    }
};

QTEST_MAIN(TestTrayIcon)
#include "test_trayicon.moc"
