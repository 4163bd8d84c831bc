#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/widgets/spinedit.h"

using namespace kestrel;

namespace {
// Shows where the text cursor is drawn.
class Probe : public TSpinEdit {
public:
    using QLineEdit::cursorRect;
    using TSpinEdit::TSpinEdit;
};
}  // namespace

class TestSpinEdit : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void stepsAndEvents();
    void typingFilter();
    void leavingClamps_data();
    void leavingClamps();
    void dialogKeys_data();
    void dialogKeys();
    void buttonsTakeFocusAndStep();
    void decimalReformats();
    void textClearOfButtons();

private:
    QDialog* dialog_ = nullptr;
    Probe* edit_ = nullptr;
    TSpinEdit* other_ = nullptr;
    int changes_ = 0;
    int tops_ = 0;
    int bottoms_ = 0;
};

void TestSpinEdit::init() {
    dialog_ = new QDialog;
    auto* layout = new QVBoxLayout(dialog_);
    edit_ = new Probe(dialog_);
    other_ = new TSpinEdit(dialog_);
    layout->addWidget(edit_);
    layout->addWidget(other_);
    changes_ = tops_ = bottoms_ = 0;
    edit_->OnChange = [this](TSpinEdit* sender) {
        QCOMPARE(sender, static_cast<TSpinEdit*>(edit_));
        ++changes_;
    };
    edit_->OnTopClick = [this](TSpinEdit*) { ++tops_; };
    edit_->OnBottomClick = [this](TSpinEdit*) { ++bottoms_; };
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog_));
    edit_->setFocus();
}

void TestSpinEdit::cleanup() {
    delete dialog_;
}

void TestSpinEdit::stepsAndEvents() {
    edit_->SetValueType(TValueType::vtFloat);
    edit_->SetMinValue(0.5);
    edit_->SetMaxValue(3);
    edit_->SetIncrement(0.1);
    edit_->SetValue(2.9);
    changes_ = 0;
    QTest::keyClick(edit_, Qt::Key_Up);
    QCOMPARE(edit_->text(), QStringLiteral("3.00"));
    QCOMPARE(changes_, 1);
    QVERIFY(edit_->isModified());
    // At the bound the click still reports, but nothing changed.
    QTest::keyClick(edit_, Qt::Key_Up);
    QCOMPARE(edit_->text(), QStringLiteral("3.00"));
    QCOMPARE(changes_, 1);
    QCOMPARE(tops_, 2);
    QTest::keyClick(edit_, Qt::Key_Down);
    QCOMPARE(edit_->text(), QStringLiteral("2.90"));
    QCOMPARE(bottoms_, 1);

    edit_->SetArrowKeys(false);
    QTest::keyClick(edit_, Qt::Key_Up);
    QCOMPARE(edit_->text(), QStringLiteral("2.90"));
    edit_->SetArrowKeys(true);
    edit_->setReadOnly(true);
    QTest::keyClick(edit_, Qt::Key_Up);
    QCOMPARE(edit_->text(), QStringLiteral("2.90"));
    QCOMPARE(tops_, 2);
    // An input method would hand over text that the key filter never sees.
    edit_->setReadOnly(false);
    QVERIFY(!edit_->testAttribute(Qt::WA_InputMethodEnabled));
}

void TestSpinEdit::typingFilter() {
    edit_->SetValueType(TValueType::vtFloat);
    edit_->clear();
    QTest::keyClicks(edit_, "1.2.3e5Ex");
    QCOMPARE(edit_->text(), QStringLiteral("1.23e5"));
    // A separator in the selection goes with it, so typing over it may bring a new one.
    edit_->selectAll();
    QTest::keyClicks(edit_, ".5");
    QCOMPARE(edit_->text(), QStringLiteral(".5"));
    QTest::keyClick(edit_, Qt::Key_Backspace);
    QCOMPARE(edit_->text(), QStringLiteral("."));

    edit_->SetValueType(TValueType::vtInteger);
    edit_->SetValue(42);
    edit_->SetEditorEnabled(false);
    edit_->setCursorPosition(1);
    QTest::keyClicks(edit_, "7");
    QTest::keyClick(edit_, Qt::Key_Backspace);
    QTest::keyClick(edit_, Qt::Key_Delete);
    edit_->selectAll();
    QTest::keyClick(edit_, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit_->text(), QStringLiteral("42"));
    QTest::keyClick(edit_, Qt::Key_Up);
    QCOMPARE(edit_->text(), QStringLiteral("43"));
}

void TestSpinEdit::leavingClamps_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("above") << "700"
                           << "600";
    QTest::newRow("below") << "-3"
                           << "5";
    QTest::newRow("within keeps text") << "+20"
                                       << "+20";
    QTest::newRow("empty keeps text") << ""
                                      << "";
}

void TestSpinEdit::leavingClamps() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    edit_->SetMinValue(5);
    edit_->SetMaxValue(600);
    edit_->selectAll();
    QTest::keyClick(edit_, Qt::Key_Backspace);
    QTest::keyClicks(edit_, typed);
    QTest::keyClick(edit_, Qt::Key_Tab);
    QVERIFY(other_->hasFocus());
    QCOMPARE(edit_->text(), shown);
}

void TestSpinEdit::dialogKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("escape") << int(Qt::Key_Escape) << int(QDialog::Rejected);
}

void TestSpinEdit::dialogKeys() {
    QFETCH(int, key);
    QFETCH(int, result);
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog_);
    ok->setDefault(true);
    ok->show();
    connect(ok, &QPushButton::clicked, dialog_, &QDialog::accept);
    dialog_->setResult(-1);
    edit_->SetMinValue(5);
    edit_->SetMaxValue(600);
    edit_->selectAll();
    QTest::keyClicks(edit_, "700");
    QTest::keyClick(edit_, Qt::Key(key));
    QCOMPARE(dialog_->result(), result);
    QVERIFY(!dialog_->isVisible());
    // Closing the dialog is leaving the box: what it then reads is within the bounds.
    QCOMPARE(edit_->text(), QStringLiteral("600"));
}

void TestSpinEdit::buttonsTakeFocusAndStep() {
    other_->setFocus();
    edit_->SetValue(7);
    QTest::mouseClick(edit_->UpButton(), Qt::LeftButton);
    QVERIFY(edit_->hasFocus());
    QCOMPARE(edit_->Value(), 8.0);
    QTest::mouseClick(edit_->DownButton(), Qt::LeftButton);
    QTest::mouseClick(edit_->DownButton(), Qt::LeftButton);
    QCOMPARE(edit_->text(), QStringLiteral("6"));
    QCOMPARE(tops_, 1);
    QCOMPARE(bottoms_, 2);
    edit_->setEnabled(false);
    QVERIFY(!edit_->UpButton()->isEnabled());
}

void TestSpinEdit::decimalReformats() {
    edit_->SetValueType(TValueType::vtFloat);
    edit_->SetDecimal(4);
    edit_->SetValue(1.23456);
    QCOMPARE(edit_->text(), QStringLiteral("1.2346"));
    edit_->SetDecimal(2);
    QCOMPARE(edit_->text(), QStringLiteral("1.23"));
    QCOMPARE(edit_->Value(), 1.23);
}

void TestSpinEdit::textClearOfButtons() {
    edit_->SetValueType(TValueType::vtFloat);
    edit_->SetDecimal(15);
    edit_->SetValue(3.14159);
    edit_->end(false);
    QVERIFY2(edit_->cursorRect().right() < edit_->UpButton()->geometry().left(),
             "the text runs under the buttons");
}

QTEST_MAIN(TestSpinEdit)
#include "test_spinedit.moc"
