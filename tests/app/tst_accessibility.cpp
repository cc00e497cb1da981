#include "support/TestProgram.h"
#include "librarian/CompareWindow.h"
#include "sound/SoundMenu.h"
#include "editors/LockedParameters.h"
#include "editors/Bit01Edit.h"
#include "editors/NormalEdit.h"
#include "editors/PlayWindow.h"
#include "settings/Options.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString describe(QAccessibleInterface* item) {
    const QObject* object = item->object();
    return QStringLiteral("%1 '%2' (role %3)")
        .arg(object ? QString::fromLatin1(object->metaObject()->className()) : QString("item"),
             object ? object->objectName() : QString(), QString::number(item->role()));
}

// What a value control tells a screen reader must be what it shows.
QString valueFault(QAccessibleInterface* item) {
    QObject* object = item->object();
    if (auto* slider = qobject_cast<QScrollBar*>(object)) {
        QAccessibleValueInterface* value = item->valueInterface();
        if (!value || value->currentValue().toInt() != slider->value())
            return "reports no value or another than it shows";
    } else if (auto* box = qobject_cast<QLineEdit*>(object)) {
        if (item->text(QAccessible::Value) != box->text()) return "reports another text";
    } else if (auto* list = qobject_cast<QComboBox*>(object)) {
        if (item->text(QAccessible::Value) != list->currentText()) return "reports another choice";
    } else if (auto* flag = qobject_cast<QCheckBox*>(object)) {
        if (!item->state().checkable || bool(item->state().checked) != flag->isChecked())
            return "reports another state";
    } else if (qobject_cast<PlayWindow*>(object)) {
        if (!item->text(QAccessible::Value).contains("note")) return "reports no note";
    }
    return QString();
}

// The name a listener hears: a list on Linux is named by its label, its own name being
// its choice.
QString heardName(QAccessibleInterface* item) {
    if (item->role() == QAccessible::ComboBox) {
        const auto labels = item->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return item->text(QAccessible::Name);
}

// Every focusable control below `item` is named, by a name no sibling shares, and a
// control that shows a value reports it.
void walk(QAccessibleInterface* item, QStringList& faults) {
    QHash<QString, QString> seen;
    for (int i = 0; i < item->childCount(); ++i) {
        QAccessibleInterface* child = item->child(i);
        if (!child) continue;
        const QAccessible::State state = child->state();
        // A table's cells are read with their row and column, not by a name of their own.
        const bool cell = child->role() == QAccessible::Cell ||
                          child->role() == QAccessible::ColumnHeader ||
                          child->role() == QAccessible::RowHeader;
        if (state.focusable && !state.invisible && !cell) {
            const QString name = heardName(child);
            if (name.trimmed().isEmpty())
                faults << describe(child) + " has no name";
            else if (seen.contains(name))
                faults << describe(child) + " shares its name '" + name + "' with " + seen[name];
            else
                seen.insert(name, describe(child));
            if (const QString fault = valueFault(child); !fault.isEmpty())
                faults << describe(child) + " " + fault;
        }
        walk(child, faults);
    }
}

QStringList faultsBelow(QWidget* widget) {
    QStringList faults;
    walk(QAccessible::queryAccessibleInterface(widget), faults);
    return faults;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyFocusableControlIsNamed();
    void editorNamesSayWhatTheControlIs();
    void playWindowPlaysFromTheKeyboard_data();
    void playWindowPlaysFromTheKeyboard();
    void ctrlTabMovesBetweenChildWindows();
    void editorsKeepTheirLayout();
    void compareOpensBesideTheList();

private:
    QTemporaryDir m_state;
};

void TestAccessibility::initTestCase() {
    QVERIFY(m_state.isValid());
    qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
}

void TestAccessibility::everyFocusableControlIsNamed() {
    TestProgram p;
    p.start();
    p.list().PatchList->setCurrentRow(2);
    p.list().NormalEditButton->click();
    p.list().Bit01EditButton->click();
    p.window.mnu_Compare->trigger();
    p.window.sound().mnu_Morph->trigger();
    p.window.sound().mnu_Breed->trigger();
    QStringList faults = faultsBelow(&p.window);
    Options options(p.code, p.world.midi(), p.ports, p.store);
    options.show();
    faults << faultsBelow(&options);
    if (!faults.isEmpty()) qWarning().noquote() << faults.join('\n');
    QVERIFY(faults.isEmpty());
}

void TestAccessibility::editorNamesSayWhatTheControlIs() {
    TestProgram p;
    p.start();
    p.list().NormalEditButton->click();
    p.list().Bit01EditButton->click();
    const auto name = [](QWidget* w) { return heardName(QAccessible::queryAccessibleInterface(w)); };
    const auto* normal = p.window.findChild<NormalEdit*>();
    const auto* table = p.window.findChild<Bit01Edit*>();
    QVERIFY(normal && table);
    QCOMPARE(name(normal->Slider[19]), QString("VCF CutOff"));
    QCOMPARE(name(normal->Text[19]), QString("VCF CutOff value"));
    QCOMPARE(name(normal->LFO_Type[53]), QString("LFO2 Type"));
    QCOMPARE(name(normal->DCO_Octave[35]), QString("DCO2 Octave"));
    QCOMPARE(name(normal->Flag[57]), QString("LFO2 DCO2"));
    QCOMPARE(name(normal->NameText), QString("Patch name"));
    QCOMPARE(name(table->PT[37]), QString("Parameter 37"));
    QCOMPARE(QAccessible::queryAccessibleInterface(table->PT[37])->text(QAccessible::Description),
             QString("DCO2 Octave"));
    QCOMPARE(name(table->NameText), QString("Patch name"));
}

// Each key press sends what a click at the pad's point sends; letting the key go ends
// the note, and a held key's repeats play on without ending it.
void TestAccessibility::playWindowPlaysFromTheKeyboard_data() {
    QTest::addColumn<QList<int>>("keys"); // key codes; Shift is added to negative ones
    QTest::addColumn<QList<QByteArray>>("sent");
    const auto on = [](int note, int velocity) {
        return QByteArray::fromRawData("\x90", 1) + char(note) + char(velocity);
    };
    const auto off = [](int note) { return QByteArray("\x90", 1) + char(note) + char(0); };
    // Each release ends its note; nothing ends a note that does not sound.
    QTest::newRow("space plays the point") << QList<int>{Qt::Key_Space}
                                           << QList<QByteArray>{on(60, 100), off(60)};
    QTest::newRow("right and up move it by one")
        << QList<int>{Qt::Key_Right, Qt::Key_Up}
        << QList<QByteArray>{on(61, 100), off(61), on(61, 101), off(61)};
    QTest::newRow("shift moves by an octave and a coarse step")
        << QList<int>{-Qt::Key_Left, -Qt::Key_Down}
        << QList<QByteArray>{on(48, 100), off(48), on(48, 84), off(48)};
}

void TestAccessibility::playWindowPlaysFromTheKeyboard() {
    QFETCH(QList<int>, keys);
    QFETCH(QList<QByteArray>, sent);
    TestProgram p;
    p.start();
    auto* pad = p.window.findChild<PlayWindow*>();
    QVERIFY(pad);
    QCOMPARE(pad->focusPolicy(), Qt::StrongFocus);
    p.backend.clearRecord();
    for (int key : keys) {
        const auto modifiers = key < 0 ? Qt::ShiftModifier : Qt::NoModifier;
        QTest::keyClick(pad, Qt::Key(std::abs(key)), modifiers);
    }
    QList<QByteArray> got;
    for (const auto& message : p.backend.sentBytes())
        got << QByteArray(reinterpret_cast<const char*>(message.data()), qsizetype(message.size()));
    QCOMPARE(got, sent);

    // A held key: its repeats play on, each ending the note before, one release ends the note.
    p.backend.clearRecord();
    QKeyEvent first(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(pad, &first);
    QApplication::sendEvent(pad, &repeatRelease);
    QApplication::sendEvent(pad, &press);
    QCOMPARE(p.backend.sentBytes().size(), std::size_t(3)); // a note, its end, the new note
}

void TestAccessibility::ctrlTabMovesBetweenChildWindows() {
    TestProgram p;
    p.start();
    p.list().NormalEditButton->click();
    QMdiArea* mdi = p.window.Mdi;
    QMdiSubWindow* first = mdi->activeSubWindow();
    QVERIFY(first);
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, Qt::Key_Tab, Qt::ControlModifier);
    QMdiSubWindow* second = mdi->activeSubWindow();
    QVERIFY(second != first);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                    Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(mdi->activeSubWindow(), first);
}

// At whatever scale the test runs (the test command runs it at several), no control of
// an editor lies outside its parent or over a sibling, and no caption is cut.
void TestAccessibility::editorsKeepTheirLayout() {
    TestProgram p;
    p.start();
    p.list().NormalEditButton->click();
    p.list().Bit01EditButton->click();
    // Lock marks frame their controls, over their edges, at every scale.
    p.window.sound().locks().setLocked({19, 24, 60}, true);
    auto* normal = p.window.findChild<NormalEdit*>();
    auto* table = p.window.findChild<Bit01Edit*>();
    QVERIFY(!normal->lockMark(19)->isHidden() && table->lockMark(27)->isVisible());
    QVERIFY(normal->lockMark(19)->geometry().contains(normal->Slider[19]->geometry()));
    QVERIFY(normal->lockMark(24)->geometry().contains(normal->DCO_Octave[24]->geometry()));
    QVERIFY(table->lockMark(27)->geometry().contains(table->PT[27]->geometry()));
    QStringList faults;
    for (QWidget* editor : {static_cast<QWidget*>(p.window.findChild<NormalEdit*>()),
                            static_cast<QWidget*>(p.window.findChild<Bit01Edit*>())}) {
        QVERIFY(editor);
        QList<QWidget*> parents = editor->findChildren<QWidget*>();
        parents << editor;
        for (QWidget* parent : parents) {
            QList<QWidget*> children;
            for (QObject* o : parent->children())
                if (auto* w = qobject_cast<QWidget*>(o); w && w->isVisible()) children << w;
            for (int i = 0; i < children.size(); ++i) {
                const QRect r = children[i]->geometry();
                const QString what = children[i]->objectName() + " in " + parent->objectName();
                if (!parent->rect().contains(r)) faults << what + " lies outside it";
                for (int j = i + 1; j < children.size(); ++j)
                    if (r.intersects(children[j]->geometry()) &&
                        children[i]->objectName() != "LockMark" &&
                        children[j]->objectName() != "LockMark")
                        faults << what + " overlaps " + children[j]->objectName();
                if (auto* label = qobject_cast<QLabel*>(children[i]))
                    if (label->fontMetrics().horizontalAdvance(label->text()) > r.width())
                        faults << what + ": its caption is cut";
            }
        }
    }
    if (!faults.isEmpty()) qWarning().noquote() << faults.join('\n');
    QVERIFY(faults.isEmpty());
}

// Beside the patch list and inside the main window, every column in view, all in bold.
void TestAccessibility::compareOpensBesideTheList() {
    TestProgram p;
    p.start();
    p.code.PatchBank = variedBank(7);
    p.window.mnu_Compare->trigger();
    const QRect frame = p.window.compare()->parentWidget()->geometry();
    QVERIFY(p.window.Mdi->viewport()->rect().contains(frame));
    QCOMPARE(frame.topLeft(), p.list().parentWidget()->geometry().topRight() + QPoint(1, 0));
    QVERIFY(!p.window.compare()->Table->horizontalScrollBar()->isVisible());
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
