#include "desktop/QtDesktop.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QScreen>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <functional>

namespace {
// Answers the modal windows the desktop opens, one step per window, in order: each step
// waits for a visible window of its kind and must close it.
class ModalScript : public QObject {
public:
    template <typename Window>
    void on(std::function<void(Window*)> act) {
        m_steps.push_back([act](QWidget* w) {
            auto* window = qobject_cast<Window*>(w);
            if (window)
                act(window);
            return window != nullptr;
        });
    }
    void start() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (m_steps.empty() || !modal || !modal->isVisible())
                return;
            if (m_steps.front()(modal))
                m_steps.erase(m_steps.begin());
        });
        m_timer.start(10);
    }
    bool done() const { return m_steps.empty(); }

private:
    std::vector<std::function<bool(QWidget*)>> m_steps;
    QTimer m_timer;
};

const FileDialogSetup kBanks{"Bit-01 banks (*.bbk)|*.bbk|All files|*.*", "bbk"};

void typeAndAccept(QFileDialog* dialog, const QString& path) {
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
    static_cast<QDialog*>(dialog)->accept(); // runs the file dialog's own checks
}

// The names the dialog lists in its folder, once it has read them.
QStringList listed(QFileDialog* dialog, int expected) {
    auto* view = dialog->findChild<QListView*>("listView");
    QStringList names;
    (void)QTest::qWaitFor([&] {
        names.clear();
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r)
            names << view->model()->index(r, 0, root).data().toString();
        return names.size() == expected;
    });
    names.sort();
    return names;
}
} // namespace

// The Qt side of the desktop: the file dialogs as the file commands set them up, and
// the message box.
class TestQtDesktop : public QObject {
    Q_OBJECT
private slots:
    void saveRefusesAMissingFolder();
    void allFilesListsEveryFile();
    void messagesArePlainText();
    void refusalFlashesTheBox_data();
    void refusalFlashesTheBox();
};

void TestQtDesktop::saveRefusesAMissingFolder() {
    QTemporaryDir dir;
    QtDesktop desktop;
    ModalScript script;
    QString refusal;
    script.on<QFileDialog>(
        [&](QFileDialog* d) { typeAndAccept(d, dir.filePath("nosuchfolder/x.bbk")); });
    script.on<QMessageBox>([&](QMessageBox* box) {
        refusal = box->text();
        box->accept();
    });
    script.on<QFileDialog>([&](QFileDialog* d) { typeAndAccept(d, dir.filePath("x.bbk")); });
    script.start();
    const auto chosen = desktop.showSave(kBanks);
    QVERIFY(script.done());
    QVERIFY(chosen);
    QCOMPARE(QFile::decodeName(chosen->Path.c_str()), dir.filePath("x.bbk"));
    QCOMPARE(chosen->FileName, std::string("x.bbk"));
    QVERIFY(refusal.contains(dir.filePath("nosuchfolder")));
}

// "All files" lists names without a dot too, and the choices read as the commands give
// their descriptions.
void TestQtDesktop::allFilesListsEveryFile() {
    QTemporaryDir dir;
    for (const char* name : {"README", "a.bbk", "b.txt"}) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QtDesktop desktop;
    ModalScript script;
    QStringList choices, banks, all;
    script.on<QFileDialog>([&](QFileDialog* d) {
        auto* types = d->findChild<QComboBox*>("fileTypeCombo");
        for (int i = 0; i < types->count(); ++i)
            choices << types->itemText(i);
        d->setDirectory(dir.path());
        banks = listed(d, 1);
        d->selectNameFilter(d->nameFilters().last());
        all = listed(d, 3);
        d->reject();
    });
    script.start();
    QVERIFY(!desktop.showOpen(kBanks));
    QVERIFY(script.done());
    QCOMPARE(choices, (QStringList{"Bit-01 banks (*.bbk)", "All files"}));
    QCOMPARE(banks, QStringList{"a.bbk"});
    QCOMPARE(all, (QStringList{"README", "a.bbk", "b.txt"}));
}

void TestQtDesktop::messagesArePlainText() {
    const QString text = "Error saving file '/banks/<b>live</b>.bbk'.";
    QtDesktop desktop;
    ModalScript script;
    int format = -1;
    QString shown;
    script.on<QMessageBox>([&](QMessageBox* box) {
        auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        format = label->textFormat();
        shown = label->text();
        box->accept();
    });
    script.start();
    desktop.showMessage(text);
    QVERIFY(script.done());
    QCOMPARE(format, int(Qt::PlainText));
    QCOMPARE(shown, text);
}

void TestQtDesktop::refusalFlashesTheBox_data() {
    QTest::addColumn<bool>("list");
    QTest::addColumn<bool>("named");
    QTest::addColumn<bool>("focused");
    QTest::newRow("the value box named") << false << true << false;
    QTest::newRow("the list named") << true << true << false;
    QTest::newRow("the box with the focus") << false << false << true;
    QTest::newRow("none named, none with the focus") << false << false << false;
}

// The box that refused is framed on the screen for a moment; a screen reader hears no change.
void TestQtDesktop::refusalFlashesTheBox() {
    QFETCH(bool, list);
    QFETCH(bool, named);
    QFETCH(bool, focused);
    QWidget window;
    QWidget* box = list ? static_cast<QWidget*>(new QListWidget(&window)) : new QLineEdit("12", &window);
    auto* other = new QLineEdit(&window);
    other->move(0, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    (focused ? box : other)->setFocus();
    if (!focused && !named) other->clearFocus();
    QAccessibleInterface* heard = QAccessible::queryAccessibleInterface(box);
    const QString value = heard->text(QAccessible::Value);
    const auto shown = [&] {
        QCoreApplication::processEvents();
        return window.screen()->grabWindow(window.winId(), 0, 0, box->width(), box->height()).toImage();
    };
    const QImage plain = shown();

    QtDesktop desktop;
    desktop.beep(named ? box : nullptr);
    QCOMPARE(shown() != plain, named || focused);
    QCOMPARE(heard->text(QAccessible::Value), value);
    QTRY_COMPARE_WITH_TIMEOUT(shown(), plain, 20 * RefusalFlash::kMilliseconds);
    // A box that goes while marked takes its mark with it.
    desktop.beep(other);
    delete other;
}

QTEST_MAIN(TestQtDesktop)
#include "tst_qtdesktop.moc"
