#include "support/TestProgram.h"

#include "librarian/CompareWindow.h"
#include "librarian/Librarian.h"
#include "editors/BankHistory.h"
#include "editors/NormalEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

// The patch list as a librarian on the whole program: import, the clipboard, drops and
// their keys, and the compare window.
class TestLibrarian : public QObject {
    Q_OBJECT
private slots:
    void init();
    void importSysEx_data();
    void importSysEx();
    void paste_data();
    void paste();
    void textBoxKeepsItsClipboardKeys();
    void drops_data();
    void drops();
    void compareFollowsTheBank();

private:
    QTemporaryDir m_state;
};

namespace {
// The dump the program sends for a patch of a bank, on channel 1.
QByteArray dumpOf(const Bank& bank, int patch) {
    QuenlorCode code;
    code.InitPatchModel();
    code.PatchBank = bank;
    code.preparePatchDump(patch);
    return QByteArray(reinterpret_cast<const char*>(code.PatchDump.data()), 80);
}

// A bank whose patches all differ and are as the editors leave them: values in range,
// one octave and at most one wave per group.
Bank sourceBank() {
    Bank bank = variedBank(11);
    for (int n = kFirstPatch; n <= kLastPatch; ++n)
        for (const SwitchGroup& group : kSwitchGroups)
            for (int i = 0; i < group.Count; ++i)
                bank(n, group.FirstMember + i) = i == n % group.Count ? 1 : 0;
    return bank;
}

bool patchEquals(const Bank& a, int patchA, const Bank& b, int patchB) {
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        if (a(patchA, p) != b(patchB, p)) return false;
    return true;
}
} // namespace

void TestLibrarian::init() {
    QVERIFY(m_state.isValid());
    qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
}

void TestLibrarian::importSysEx_data() {
    QTest::addColumn<int>("selected"); // the target, 0 for none
    QTest::addColumn<int>("dumps");
    QTest::addColumn<int>("first"); // the patch the first dump goes into
    QTest::addColumn<QString>("file");
    QTest::newRow("whole bank") << 0 << 74 << 1 << "Choirs.syx";
    QTest::newRow("three from patch 73") << 73 << 3 << 73 << "Choirs.syx";
    QTest::newRow("one onto patch 9") << 9 << 1 << 9 << "Choirs.syx";
    QTest::newRow("whole bank, patch 5 selected") << 5 << 74 << 1 << "Choirs.syx";
    QTest::newRow("name as the system spells it") << 9 << 2 << 9 << "B\u00e4sse.syx";
}

// The dumps land from the target on, named after the file, and one Undo takes the
// whole import back.
void TestLibrarian::importSysEx() {
    QFETCH(int, selected);
    QFETCH(int, dumps);
    QFETCH(int, first);
    QFETCH(QString, file);
    QTemporaryDir dir;
    const Bank source = sourceBank();
    QByteArray bytes;
    for (int n = 1; n <= dumps; ++n)
        bytes += dumpOf(source, n) + "\x90\x3c\x40";
    const QString path = dir.filePath(file);
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    out.close();

    TestProgram p;
    p.start();
    if (selected)
        p.list().selectPatchRow(selected);
    else
        p.list().PatchList->selectionModel()->clear();
    const Bank before = p.code.PatchBank;
    const QStringList namesBefore = p.names();
    p.desktop.answerOpen(path);
    p.window.mnu_ImportSysEx->trigger();
    const int count = std::min(dumps, 74 - first + 1);
    for (int n = kFirstPatch; n <= kLastPatch; ++n) {
        const bool imported = n >= first && n < first + count;
        QVERIFY(imported ? patchEquals(p.code.PatchBank, n, source, n - first + 1)
                         : patchEquals(p.code.PatchBank, n, before, n));
        const QString stem = file.section('.', 0, 0);
        const QString name = dumps == 1 ? stem : stem + " " + QString::number(n - first + 1);
        QCOMPARE(p.list().PatchName(n), imported ? name : QString());
    }
    QCOMPARE(p.desktop.Messages.size(), count < dumps ? 1 : 0);
    QCOMPARE(p.window.mnu_Undo->text(), QString("&Undo Import SysEx"));
    p.window.mnu_Undo->trigger();
    QVERIFY(p.code.PatchBank == before);
    QCOMPARE(p.names(), namesBefore);
    QVERIFY(!p.window.mnu_Undo->isEnabled());
}

void TestLibrarian::paste_data() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("name"); // of patch 5 afterwards
    QTest::newRow("our own type") << "own" << true << "Bells";
    QTest::newRow("record as text") << "record" << true << "Bells";
    QTest::newRow("record with line feeds") << "record lf" << true << "Bells";
    QTest::newRow("hex dump") << "hex" << true << "";
    QTest::newRow("hex dump, 0x and commas") << "hex 0x" << true << "";
    QTest::newRow("foreign text") << "foreign" << false << "";
    QTest::newRow("hex of a bad dump") << "bad hex" << false << "";
    QTest::newRow("empty clipboard") << "empty" << false << "";
}

// Copy puts the patch on the clipboard, Paste replaces the target with any of the forms
// a patch can come in, as one step; anything else beeps and changes nothing.
void TestLibrarian::paste() {
    QFETCH(QString, form);
    QFETCH(bool, pasted);
    QFETCH(QString, name);
    TestProgram p;
    p.start();
    const Bank source = sourceBank();
    p.code.PatchBank = source;
    p.list().SetPatchName(2, "Bells");
    p.window.history().reset();

    p.list().selectPatchRow(2);
    p.window.mnu_CopyPatch->trigger();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    QVERIFY(copied->hasFormat(Librarian::kMimeType));
    const QString record = copied->text();
    QVERIFY(record.startsWith("Name\r\nBells\r\nData\r\n"));
    QByteArray hex;
    for (char byte : dumpOf(source, 2))
        hex += QByteArray::number(uchar(byte), 16).rightJustified(2, '0').toUpper() + " ";
    auto* data = new QMimeData;
    if (form == "own") {
        data->setData(Librarian::kMimeType, copied->data(Librarian::kMimeType));
    } else if (form == "record") {
        data->setText(record);
    } else if (form == "record lf") {
        data->setText(QString(record).replace("\r\n", "\n"));
    } else if (form == "hex") {
        data->setText(QString::fromLatin1(hex));
    } else if (form == "hex 0x") {
        data->setText(QString::fromLatin1("0x" + hex.trimmed().replace(" ", ",\n0x").toLower()));
    } else if (form == "foreign") {
        data->setText("Dear Sir,\nplease find the patch attached.");
    } else if (form == "bad hex") {
        data->setText(QString::fromLatin1(hex.replace(0, 2, "F1")));
    }
    QGuiApplication::clipboard()->setMimeData(data);

    p.list().selectPatchRow(5);
    const int beeps = p.desktop.Beeps;
    p.window.mnu_PastePatch->trigger();
    QVERIFY(patchEquals(p.code.PatchBank, 5, source, pasted ? 2 : 5));
    QCOMPARE(p.list().PatchName(5), name);
    QCOMPARE(p.desktop.Beeps, beeps + (pasted ? 0 : 1));
    QCOMPARE(p.window.history().count(), pasted ? 1 : 0);
    QVERIFY(patchEquals(p.code.PatchBank, 2, source, 2));
}

// In a text box, Ctrl+C and Ctrl+V copy and paste text, not patches.
void TestLibrarian::textBoxKeepsItsClipboardKeys() {
    TestProgram p;
    p.start();
    p.code.SelectedPatch = 3;
    p.list().OpenPatchEditor(3, Patch::NormalEditor);
    QLineEdit* box = p.list().normalEditWindow(3)->NameText;
    QGuiApplication::clipboard()->setText("Strings");
    box->setFocus();
    box->clear();
    const Bank before = p.code.PatchBank;
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), QString("Strings"));
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("Strings"));
    QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasFormat(Librarian::kMimeType));
    QVERIFY(p.code.PatchBank == before);
}

void TestLibrarian::drops_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("copy");
    QTest::newRow("drop swaps") << "drop" << 3 << 40 << false;
    QTest::newRow("drop with Ctrl copies") << "drop" << 40 << 3 << true;
    QTest::newRow("Alt+Down swaps") << "Alt+Down" << 7 << 8 << false;
    QTest::newRow("Alt+Up swaps") << "Alt+Up" << 7 << 6 << false;
}

// A row dropped on another (through the list's own drag data and drop handling), and
// the keys that do the same: the patches swap or the dragged one is copied, open editors
// show it, the target row is selected and sent, and Undo takes it back in one step.
void TestLibrarian::drops() {
    QFETCH(QString, how);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, copy);
    TestProgram p;
    p.start();
    const Bank source = sourceBank();
    p.code.PatchBank = source;
    p.list().SetPatchName(from, "Dragged");
    p.list().SetPatchName(to, "Target");
    p.window.history().reset();
    p.code.SelectedPatch = int16_t(to);
    p.list().OpenPatchEditor(to, Patch::NormalEditor);
    QListWidget* list = p.list().PatchList;
    list->setFocus();
    p.list().selectPatchRow(from);
    const int dumpsBefore = p.dumps();

    if (how == "drop") {
        std::unique_ptr<QMimeData> data(p.window.patchLibrarian().rowDragData(from));
        list->scrollToItem(list->item(to - 1));
        const QPoint at = list->visualItemRect(list->item(to - 1)).center();
        const Qt::KeyboardModifiers keys = copy ? Qt::ControlModifier : Qt::NoModifier;
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                              keys);
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                        keys);
        QCoreApplication::sendEvent(list->viewport(), &drop);
        QVERIFY(drop.isAccepted());
    } else {
        QTest::keyClick(list, how == "Alt+Up" ? Qt::Key_Up : Qt::Key_Down, Qt::AltModifier);
    }

    QVERIFY(patchEquals(p.code.PatchBank, to, source, from));
    QVERIFY(patchEquals(p.code.PatchBank, from, source, copy ? from : to));
    QCOMPARE(p.list().PatchName(to), QString("Dragged"));
    QCOMPARE(p.list().PatchName(from), QString(copy ? "Dragged" : "Target"));
    QCOMPARE(list->count(), 74);
    QCOMPARE(list->item(to - 1)->text(), Patch::PatchRowText(to, "Dragged"));
    QCOMPARE(p.list().selectedRowPatch(), to);
    QCOMPARE(p.dumps(), dumpsBefore + 1);
    QCOMPARE(p.list().normalEditWindow(to)->NameText->text(), QString("Dragged"));
    QCOMPARE(p.window.history().count(), 1);
    p.window.mnu_Undo->trigger();
    QVERIFY(p.code.PatchBank == source);
    QCOMPARE(p.list().PatchName(to), QString("Target"));
}

// The compare window shows both patches parameter by parameter, marks the rows that
// differ in words, follows the bank and sends either patch.
void TestLibrarian::compareFollowsTheBank() {
    TestProgram p;
    p.start();
    p.code.PatchBank(8, 10) = 40;
    p.code.PatchBank(8, 23) = 1;
    p.list().SetPatchName(8, "Brass");
    p.window.history().reset();
    p.list().selectPatchRow(8);
    p.window.mnu_Compare->trigger();
    CompareWindow* compare = p.window.compare();
    QVERIFY(compare);
    QCOMPARE(compare->windowTitle(), QString("Compare"));
    QCOMPARE(compare->PatchA->currentIndex(), 7);
    QCOMPARE(compare->PatchA->currentText(), Patch::PatchRowText(8, "Brass"));
    compare->PatchB->setCurrentIndex(0);
    QCOMPARE(compare->DifferLabel->text(), QString("2 parameters differ"));
    QCOMPARE(compare->Table->rowCount(), 63);
    const auto row = [&](int parameter) {
        QStringList cells;
        for (int c = 0; c < compare->Table->columnCount(); ++c)
            cells << compare->Table->item(parameter - 1, c)->text();
        return cells;
    };
    QCOMPARE(row(10), (QStringList{"10", "LFO1", "[Rate]", "40", "0", "differs"}));
    QCOMPARE(row(23), (QStringList{"23", "VCF", "Invert", "1", "0", "differs"}));
    QCOMPARE(row(24), (QStringList{"24", "DCO1", "Octave", "1", "1", ""}));

    // A swap in the list shows at once, names included.
    p.window.patchLibrarian().swapPatches(8, 1);
    QCOMPARE(compare->DifferLabel->text(), QString("2 parameters differ"));
    QCOMPARE(row(10).mid(3), (QStringList{"0", "40", "differs"}));
    QCOMPARE(compare->PatchB->currentText(), Patch::PatchRowText(1, "Brass"));
    p.window.mnu_Undo->trigger();
    QCOMPARE(row(10).mid(3), (QStringList{"40", "0", "differs"}));

    const int dumps = p.dumps();
    compare->SendA->click();
    compare->SendB->click();
    QCOMPARE(p.dumps(), dumps + 2);
    const auto& sent = p.backend.sentBytes();
    QByteArray lastDumps;
    for (const auto& m : sent)
        if (!m.empty() && m[0] == 0xF0)
            lastDumps += QByteArray(reinterpret_cast<const char*>(m.data()), int(m.size()));
    QCOMPARE(lastDumps.right(160), dumpOf(p.code.PatchBank, 8) + dumpOf(p.code.PatchBank, 1));

    // A second Compare Patches shows the same window.
    p.window.mnu_Compare->trigger();
    QCOMPARE(p.window.compare(), compare);
}

QTEST_MAIN(TestLibrarian)
#include "tst_librarian.moc"
