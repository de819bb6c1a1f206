// SPDX-License-Identifier: MIT
#include "host/dialogs.h"
#include "host/grid/datasetmodel.h"
#include "host/grid/dbgrid.h"
#include "host/grid/griddelegates.h"
#include "host/hostapplication.h"
#include "host/services.h"
#include "platform/dataset.h"
#include "platform/datasource.h"
#include "platform/field.h"
#include "wire/errors.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace erp;
using namespace erp::host;

namespace {

enum Column { Nome, Tipo, Valor, Chave };

// A window with a grid over a small dataset, a line edit beside it to take
// the focus away, and scripted dialogs.
struct Fixture {
    ScriptedDialogs dialogs;
    DialogServiceScope scope{dialogs};
    HostApplication host; // its focus chain tells the grid when the focus leaves it
    DataSet ds{QStringLiteral("cdsTeste")};
    DataSource source{QStringLiteral("dtsTeste")};
    QWidget window;
    TDBGrid* grid = new TDBGrid(&window);
    QLineEdit* outside = new QLineEdit(&window);
    std::unique_ptr<QAbstractItemModelTester> tester;

    Fixture()
    {
        ds.setFieldDefs({{QStringLiteral("NOME"), FieldType::String, 20},
                         {QStringLiteral("TIPO"), FieldType::String, 1},
                         {QStringLiteral("VALOR"), FieldType::Float, 0},
                         {QStringLiteral("CHAVE"), FieldType::String, 6}});
        DataPacket p;
        p.fields = ds.fieldDefs();
        p.rows = {{QStringLiteral("Multa"), QStringLiteral("A"), 10.0, QVariant()},
                  {QStringLiteral("Brindes"), QStringLiteral("E"), 20.0, QVariant()},
                  {QStringLiteral("Prejuízo"), QStringLiteral("C"), 30.0, QVariant()}};
        ds.loadPacket(p);
        // The type shows as a word and is entered as one, as screens do.
        Field& tipo = ds.fieldByName(QStringLiteral("TIPO"));
        tipo.onGetText = [](Field& f, QString& text, bool) {
            const QString v = f.asString();
            text = v == u"A" ? QStringLiteral("Adição") : v == u"E" ? QStringLiteral("Exclusão") : QString();
        };
        tipo.onSetText = [](Field& f, const QString& text) {
            if (text == u"Adição")
                f.setAsString(QStringLiteral("A"));
            else if (text == u"Exclusão")
                f.setAsString(QStringLiteral("E"));
        };
        source.setDataSet(&ds);

        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(grid);
        layout->addWidget(outside);
        grid->setColumns({{QStringLiteral("NOME"), 200, {}, {}, false},
                          {QStringLiteral("TIPO"), 102, {}, {QStringLiteral("Adição"), QStringLiteral("Exclusão")}, false},
                          {QStringLiteral("VALOR"), -1, QStringLiteral("Valor %"), {}, false},
                          {QStringLiteral("CHAVE"), -1, {}, {}, true}});
        grid->setDataSource(&source);
        tester = std::make_unique<QAbstractItemModelTester>(grid->dataSetModel(),
                                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        window.resize(900, 300);
        window.show();
    }
    ~Fixture() { tester.reset(); }

    bool ready()
    {
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        grid->setFocus();
        return grid->hasFocus();
    }
    QWidget* focus() const { return QApplication::focusWidget(); }
    bool focusInGrid() const { return focus() == grid || grid->isAncestorOf(focus()); }
    QString text(int row, int column) const { return grid->model()->index(row, column).data().toString(); }
    QString nome() const { return ds.fieldByName(QStringLiteral("NOME")).asString(); }
    // Types into the cell: the first key on the grid opens the editor, the rest go to it.
    void type(const QString& s)
    {
        QTest::keyClick(grid, s.front().toLatin1());
        QTest::keyClicks(focus(), s.mid(1));
    }
};

} // namespace

class TestDBGrid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void showsFieldTextsAndTitles()
    {
        Fixture f;
        QCOMPARE(f.grid->model()->rowCount(), 3);
        QCOMPARE(f.text(0, Nome), QStringLiteral("Multa"));
        QCOMPARE(f.text(1, Tipo), QStringLiteral("Exclusão")); // the get-text rule
        QCOMPARE(f.grid->model()->headerData(Valor, Qt::Horizontal).toString(), QStringLiteral("Valor %"));
        QCOMPARE(f.grid->model()->headerData(Nome, Qt::Horizontal).toString(), QStringLiteral("NOME"));
        QCOMPARE(f.grid->columnWidth(Nome), 200);
        QVERIFY(f.grid->columnWidth(Chave) > 0);
        QVERIFY(f.grid->model()->index(0, Valor).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    }

    void typingStartsAnEditAndLeavingTheRowPostsIt()
    {
        Fixture f;
        QVERIFY(f.ready());
        QCOMPARE(f.grid->currentIndex().row(), 0);
        QTest::keyClick(f.grid, 'X');
        QCOMPARE(f.ds.state(), DataSet::State::Edit);
        auto* editor = qobject_cast<QLineEdit*>(f.focus());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("X"));
        QTest::keyClicks(editor, QStringLiteral("yz"));
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.ds.recNo(), 1);
        QCOMPARE(f.grid->currentIndex().row(), 1);
        QCOMPARE(f.text(0, Nome), QStringLiteral("Xyz"));
        QCOMPARE(f.ds.changeCount(), 1);

        // The dataset's own moves carry the grid along.
        f.ds.last();
        QCOMPARE(f.grid->currentIndex().row(), 2);
        QCOMPARE(f.grid->currentIndex().column(), Nome);
    }

    void refusedPostKeepsTheRowTheTextAndTheFocus()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.ds.beforePost = [](DataSet& ds) {
            ds.fieldByName(QStringLiteral("VALOR")).focusControl(); // as screens point at the bad column
            MensErro(QStringLiteral("Nome já cadastrado."));
        };
        f.type(QStringLiteral("Novo"));
        QPointer<QWidget> editor = f.focus();
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(f.dialogs.errors, QStringList{QStringLiteral("Nome já cadastrado.")});
        QCOMPARE(f.ds.state(), DataSet::State::Edit);
        QCOMPARE(f.ds.recNo(), 0);
        QCOMPARE(f.grid->currentIndex(), f.grid->model()->index(0, Valor));
        QCOMPARE(f.nome(), QStringLiteral("Novo"));
        QCOMPARE(f.text(0, Nome), QStringLiteral("Novo"));
        QVERIFY(f.focusInGrid());

        // Without the column change the editor stays open with the text.
        f.grid->setSelectedIndex(Nome);
        QTest::keyClick(f.grid, Qt::Key_F2);
        editor = f.focus();
        QTest::keyClicks(editor, QStringLiteral("s"));
        f.ds.beforePost = [](DataSet&) { MensErro(QStringLiteral("Nome já cadastrado.")); };
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(f.dialogs.errors.size(), 2);
        QVERIFY(editor);
        QCOMPARE(qobject_cast<QLineEdit*>(editor.data())->text(), QStringLiteral("Novos"));
        QCOMPARE(f.focus(), editor.data());
        QCOMPARE(f.nome(), QStringLiteral("Novos"));

        // A click on another row is refused the same way.
        const QRect other = f.grid->visualRect(f.grid->model()->index(2, Valor));
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, other.center());
        QCOMPARE(f.dialogs.errors.size(), 3);
        QCOMPARE(f.grid->currentIndex().row(), 0);
        QCOMPARE(f.ds.recNo(), 0);
        QCOMPARE(f.ds.state(), DataSet::State::Edit);
        QVERIFY(f.grid->selectionModel()->isSelected(f.grid->currentIndex()));
        QVERIFY(!f.grid->selectionModel()->isSelected(f.grid->model()->index(2, Valor)));

        f.ds.beforePost = nullptr;
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, other.center());
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.grid->currentIndex(), f.grid->model()->index(2, Valor));
        QCOMPARE(f.ds.recNo(), 2);
        QCOMPARE(f.text(0, Nome), QStringLiteral("Novos"));
    }

    void typingInAnEmptyGridStartsTheFirstRow()
    {
        Fixture f;
        DataPacket empty;
        empty.fields = f.ds.fieldDefs();
        f.ds.loadPacket(empty);
        QVERIFY(f.ready());
        QCOMPARE(f.grid->model()->rowCount(), 0);
        f.type(QStringLiteral("Primeiro"));
        QCOMPARE(f.ds.state(), DataSet::State::Insert);
        QCOMPARE(f.grid->model()->rowCount(), 1);
        QTest::keyClick(f.focus(), Qt::Key_Down);
        QCOMPARE(f.ds.recordCount(), 1);
        QCOMPARE(f.text(0, Nome), QStringLiteral("Primeiro"));
    }

    void failingDisplayRuleIsReportedOnceAndLater()
    {
        Fixture f;
        f.ds.fieldByName(QStringLiteral("NOME")).onGetText = [](Field&, QString&, bool) {
            throw ConversionError(QStringLiteral("Texto ilegível."));
        };
        QVERIFY(f.ready());
        QCOMPARE(f.text(0, Nome), QString());
        QCOMPARE(f.text(1, Nome), QString());
        QVERIFY(f.dialogs.errors.isEmpty()); // never from inside a paint
        QTRY_COMPARE(f.dialogs.errors, QStringList{QStringLiteral("Texto ilegível.")});
        QTest::qWait(50);
        QCOMPARE(f.dialogs.errors.size(), 1);
    }

    void escCancelsTheRow()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.type(QStringLiteral("Outro"));
        QPointer<QWidget> editor = f.focus();
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!editor);
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.nome(), QStringLiteral("Multa"));
        QCOMPARE(f.text(0, Nome), QStringLiteral("Multa"));

        // A new row goes away with Esc.
        QTest::keyClick(f.grid, Qt::Key_Insert);
        QCOMPARE(f.ds.state(), DataSet::State::Insert);
        QCOMPARE(f.grid->model()->rowCount(), 4);
        QCOMPARE(f.grid->currentIndex().row(), 0);
        QCOMPARE(f.text(1, Nome), QStringLiteral("Multa"));
        QTest::keyClick(f.grid, Qt::Key_Escape);
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.grid->model()->rowCount(), 3);
        QCOMPARE(f.text(0, Nome), QStringLiteral("Multa"));
    }

    void downOnTheLastRowAppends()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.ds.last();
        QCOMPARE(f.grid->currentIndex(), f.grid->model()->index(2, Nome));
        QTest::keyClick(f.grid, Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSet::State::Insert);
        QCOMPARE(f.grid->model()->rowCount(), 4);
        QCOMPARE(f.grid->currentIndex().row(), 3);

        // Not again while the new row is untouched.
        QTest::keyClick(f.grid, Qt::Key_Down);
        QCOMPARE(f.grid->model()->rowCount(), 4);
        QCOMPARE(f.ds.recordCount(), 3);

        f.type(QStringLiteral("Quarto"));
        QTest::keyClick(f.focus(), Qt::Key_Down);
        QCOMPARE(f.ds.recordCount(), 4);
        QCOMPARE(f.grid->model()->rowCount(), 5);
        QCOMPARE(f.ds.state(), DataSet::State::Insert);
        QCOMPARE(f.text(3, Nome), QStringLiteral("Quarto"));

        // Up from the untouched row drops it.
        QTest::keyClick(f.grid, Qt::Key_Up);
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.grid->model()->rowCount(), 4);
        QCOMPARE(f.grid->currentIndex().row(), 3);
        QCOMPARE(f.ds.recNo(), 3);
    }

    void leavingANewRowInTheMiddle_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("reached");
        QTest::addColumn<int>("records");
        QTest::newRow("down, untouched") << int(Qt::Key_Down) << QString() << "Brindes" << 3;
        QTest::newRow("up, untouched") << int(Qt::Key_Up) << QString() << "Multa" << 3;
        QTest::newRow("down, typed") << int(Qt::Key_Down) << "Novo" << "Brindes" << 4;
        QTest::newRow("up, typed") << int(Qt::Key_Up) << "Novo" << "Multa" << 4;
    }
    void leavingANewRowInTheMiddle()
    {
        QFETCH(int, key);
        QFETCH(QString, typed);
        QFETCH(QString, reached);
        QFETCH(int, records);
        Fixture f;
        QVERIFY(f.ready());
        f.ds.next();
        QTest::keyClick(f.grid, Qt::Key_Insert);
        QCOMPARE(f.grid->currentIndex().row(), 1);
        QCOMPARE(f.text(2, Nome), QStringLiteral("Brindes"));
        if (!typed.isEmpty())
            f.type(typed);
        QTest::keyClick(f.focus(), Qt::Key(key));
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.ds.recordCount(), records);
        QCOMPARE(f.grid->model()->rowCount(), records);
        QCOMPARE(f.nome(), reached);
        QCOMPARE(f.text(f.grid->currentIndex().row(), Nome), reached);
        if (!typed.isEmpty())
            QCOMPARE(f.text(1, Nome), typed);
    }

    void untouchedNewRowIsCancelledWhenTheFocusLeaves()
    {
        Fixture f;
        QVERIFY(f.ready());
        QTest::keyClick(f.grid, Qt::Key_Insert);
        QCOMPARE(f.ds.state(), DataSet::State::Insert);
        f.outside->setFocus();
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.grid->model()->rowCount(), 3);

        // A row with something typed in it stays.
        f.grid->setFocus();
        QTest::keyClick(f.grid, Qt::Key_Insert);
        f.type(QStringLiteral("Novo"));
        f.outside->setFocus();
        QCOMPARE(f.ds.state(), DataSet::State::Insert);
        QCOMPARE(f.nome(), QStringLiteral("Novo"));
        f.ds.cancel();

        // And any new row stays when the option is off.
        f.grid->setCancelOnExit(false);
        f.grid->setFocus();
        QTest::keyClick(f.grid, Qt::Key_Insert);
        f.outside->setFocus();
        QCOMPARE(f.ds.state(), DataSet::State::Insert);
    }

    void keyPressRewritesOrDiscardsTheCharacter()
    {
        Fixture f;
        QVERIFY(f.ready());
        QList<QChar> seen;
        f.grid->onKeyPress = [&seen](TDBGrid& g, QChar& ch) {
            QVERIFY(g.selectedField());
            seen.append(ch);
            if (ch.isDigit())
                ch = QChar();
            else
                ch = ch.toUpper();
        };
        QTest::keyClick(f.grid, '5');
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.focus(), f.grid);

        QTest::keyClick(f.grid, 'a');
        QCOMPARE(f.ds.state(), DataSet::State::Edit);
        QLineEdit* editor = qobject_cast<QLineEdit*>(f.focus());
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("b7c"));
        QCOMPARE(editor->text(), QStringLiteral("ABC"));
        QCOMPARE(seen, (QList<QChar>{u'5', u'a', u'b', u'7', u'c'}));
        QTest::keyClick(editor, Qt::Key_Tab);
        QCOMPARE(f.nome(), QStringLiteral("ABC"));
    }

    void keyPressRuleThatWritesTheFieldKeepsItsValue()
    {
        // A type column takes a letter: the rule writes the field itself and
        // lets the character through; the cell's leftover text changes nothing.
        Fixture f;
        QVERIFY(f.ready());
        f.grid->onKeyPress = [&f](TDBGrid& g, QChar& ch) {
            if (g.selectedField()->fieldName() != u"TIPO")
                return;
            const QChar up = ch.toUpper();
            if (up != u'A' && up != u'E') {
                ch = QChar();
                return;
            }
            if (f.ds.state() == DataSet::State::Browse)
                f.ds.edit();
            g.selectedField()->setAsString(QString(up));
        };
        f.grid->setSelectedIndex(Tipo);
        QTest::keyClick(f.grid, 'x');
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QTest::keyClick(f.grid, 'e');
        QCOMPARE(f.ds.state(), DataSet::State::Edit);
        QCOMPARE(f.text(0, Tipo), QStringLiteral("Exclusão"));
        QTest::keyClick(f.focus(), Qt::Key_Tab);
        QCOMPARE(f.grid->selectedIndex(), int(Valor));
        QCOMPARE(f.ds.fieldByName(QStringLiteral("TIPO")).asString(), QStringLiteral("E"));
        QVERIFY(f.dialogs.errors.isEmpty());
    }

    void keyDownDiscardsKeys()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.grid->onKeyDown = [](TDBGrid&, int& key, Qt::KeyboardModifiers mods) {
            if (mods & Qt::ControlModifier)
                key = 0;
        };
        f.dialogs.answers = {true};
        QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(f.dialogs.questions.isEmpty());
        QCOMPARE(f.ds.recordCount(), 3);

        f.grid->onKeyDown = nullptr;
        QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.dialogs.questions, QStringList{QStringLiteral("Excluir o registro?")});
        QCOMPARE(f.ds.recordCount(), 2);
        QCOMPARE(f.grid->model()->rowCount(), 2);
        QCOMPARE(f.text(0, Nome), QStringLiteral("Brindes"));

        // No is no.
        QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.ds.recordCount(), 2);
        f.grid->setConfirmDelete(false);
        QTest::keyClick(f.grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.ds.recordCount(), 1);
        QCOMPARE(f.dialogs.questions.size(), 2);
    }

    void columnExitCanKeepTheColumn()
    {
        Fixture f;
        QVERIFY(f.ready());
        QList<int> left;
        bool veto = true;
        f.grid->onColExit = [&](TDBGrid& g) {
            left.append(g.selectedIndex());
            if (veto)
                throw Abort();
        };
        QTest::keyClick(f.grid, Qt::Key_Tab);
        QCOMPARE(f.grid->selectedIndex(), int(Nome));
        QCOMPARE(left, QList<int>{Nome});

        // From an open editor too: the typed text is in the field before the exit runs.
        f.type(QStringLiteral("Taxa"));
        QTest::keyClick(f.focus(), Qt::Key_Tab);
        QCOMPARE(f.grid->selectedIndex(), int(Nome));
        QCOMPARE(f.nome(), QStringLiteral("Taxa"));
        QVERIFY(f.dialogs.errors.isEmpty());

        veto = false;
        QList<Qt::KeyboardModifiers> keyDowns;
        f.grid->onKeyDown = [&](TDBGrid&, int& key, Qt::KeyboardModifiers mods) {
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
                keyDowns.append(mods);
        };
        QTest::keyClick(f.grid, Qt::Key_Tab);
        QCOMPARE(f.grid->selectedIndex(), int(Tipo));
        QTest::keyClick(f.grid, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(f.grid->selectedIndex(), int(Nome));
        QCOMPARE(keyDowns, (QList<Qt::KeyboardModifiers>{Qt::NoModifier, Qt::ShiftModifier}));
        QTest::keyClick(f.grid, Qt::Key_Tab);
        QCOMPARE(f.grid->selectedField(), &f.ds.fieldByName(QStringLiteral("TIPO")));
        QCOMPARE(left, (QList<int>{Nome, Nome, Nome, Tipo, Nome}));
        QCOMPARE(f.ds.state(), DataSet::State::Edit); // a column move does not post
    }

    void columnExitRaisedFromCode()
    {
        Fixture f;
        QVERIFY(f.ready());
        QList<int> left;
        bool veto = false;
        f.grid->onColExit = [&](TDBGrid& g) {
            left.append(g.selectedIndex());
            if (veto)
                throw Abort();
        };
        f.grid->setSelectedIndex(Valor);
        QCOMPARE(left, QList<int>{Nome});
        QCOMPARE(f.grid->selectedIndex(), int(Valor));
        f.grid->setSelectedIndex(Valor);
        QCOMPARE(left.size(), 1);

        veto = true;
        QVERIFY_THROWS_EXCEPTION(Abort, f.grid->setSelectedIndex(Nome));
        QCOMPARE(f.grid->selectedIndex(), int(Valor));
        QCOMPARE(left, (QList<int>{Nome, Valor}));

        veto = false;
        f.grid->setSelectedField(&f.ds.fieldByName(QStringLiteral("TIPO")));
        QCOMPARE(f.grid->selectedIndex(), int(Tipo));
    }

    void focusControlSelectsTheColumn()
    {
        Fixture f;
        QVERIFY(f.ready());
        int exits = 0;
        f.grid->onColExit = [&](TDBGrid&) { ++exits; };
        f.outside->setFocus();
        f.ds.fieldByName(QStringLiteral("VALOR")).focusControl();
        QVERIFY(f.grid->hasFocus());
        QCOMPARE(f.grid->selectedIndex(), int(Valor));
        QCOMPARE(exits, 1);
    }

    void pickListChoiceGoesThroughSetText()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.grid->setSelectedIndex(Tipo);
        QTest::keyClick(f.grid, Qt::Key_F2);
        auto* combo = qobject_cast<QComboBox*>(f.focus());
        QVERIFY(combo);
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("Adição"));
        QCOMPARE(f.ds.state(), DataSet::State::Browse); // opening the editor changes nothing

        QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
        QAbstractItemView* list = combo->view();
        QTRY_VERIFY(list->isVisible());
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(f.ds.state(), DataSet::State::Edit);
        QCOMPARE(f.ds.fieldByName(QStringLiteral("TIPO")).asString(), QStringLiteral("E"));
        QCOMPARE(f.text(0, Tipo), QStringLiteral("Exclusão"));

        // Up and Down move rows, not through the list; leaving the row posts.
        QTest::keyClick(combo, Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.grid->currentIndex().row(), 1);
        QCOMPARE(f.text(0, Tipo), QStringLiteral("Exclusão"));
    }

    void ellipsisButtonRaisesTheEventAndSurvivesADialog()
    {
        Fixture f;
        QVERIFY(f.ready());
        int clicks = 0;
        f.grid->onEditButtonClick = [&](TDBGrid& g) {
            ++clicks;
            QCOMPARE(g.selectedField(), &f.ds.fieldByName(QStringLiteral("CHAVE")));
            // A modal dialog takes the focus while it is open.
            QDialog dialog(&f.window);
            QTimer::singleShot(50, &dialog, &QDialog::accept);
            dialog.exec();
            f.ds.edit();
            f.ds.fieldByName(QStringLiteral("CHAVE")).setAsString(QStringLiteral("010001"));
        };
        f.grid->setSelectedIndex(Chave);

        // The current cell shows the button before any editor is open.
        const QRect cell = f.grid->visualRect(f.grid->currentIndex());
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 3, cell.center().y()));
        QCOMPARE(clicks, 1);
        QCOMPARE(f.text(0, Chave), QStringLiteral("010001"));
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.ds.cancel();

        QTest::keyClick(f.grid, Qt::Key_Return); // Enter opens the editor as F2 does
        QPointer<EllipsisEditor> editor = qobject_cast<EllipsisEditor*>(f.grid->indexWidget(f.grid->currentIndex()));
        QVERIFY(editor);
        QCOMPARE(f.focus(), editor->lineEdit());
        QCOMPARE(editor->lineEdit()->maxLength(), 6);
        QCOMPARE(editor->lineEdit()->text(), QString());
        QTest::mouseClick(editor->button(), Qt::LeftButton);
        QCOMPARE(clicks, 2);
        QVERIFY(editor);
        QCOMPARE(editor->lineEdit()->text(), QStringLiteral("010001"));
        // Back in the window, the focus is in the cell again.
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTRY_COMPARE(f.focus(), editor->lineEdit());

        // Ctrl+Enter is the keyboard's way to the button.
        QTest::keyClick(editor->lineEdit(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(clicks, 3);
    }

    void conversionErrorKeepsTheValueAndTheCell()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.grid->setSelectedIndex(Valor);
        f.type(QStringLiteral("abc"));
        QPointer<QWidget> editor = f.focus();
        QTest::keyClick(editor, Qt::Key_Tab);
        QCOMPARE(f.dialogs.errors.size(), 1);
        QVERIFY(f.dialogs.errors.front().contains(QStringLiteral("abc")));
        QCOMPARE(f.ds.fieldByName(QStringLiteral("VALOR")).asFloat(), 10.0);
        QVERIFY(editor);
        QCOMPARE(f.grid->selectedIndex(), int(Valor));

        // Leaving the row with the same text is refused without a second message.
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(f.dialogs.errors.size(), 1);
        QCOMPARE(f.grid->currentIndex().row(), 0);

        QCOMPARE(qobject_cast<QLineEdit*>(editor.data())->text(), QStringLiteral("abc"));
        qobject_cast<QLineEdit*>(editor.data())->selectAll();
        QTest::keyClicks(editor, QStringLiteral("12,5"));
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(f.dialogs.errors.size(), 1);
        QCOMPARE(f.grid->currentIndex().row(), 1);
        QCOMPARE(f.ds.data().rows[0][Valor].toDouble(), 12.5);
    }

    void toolbarPostTakesTheOpenEditorsText()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.type(QStringLiteral("Digitado"));
        f.ds.post(); // as a toolbar button does, with the editor still open
        QCOMPARE(f.ds.state(), DataSet::State::Browse);
        QCOMPARE(f.text(0, Nome), QStringLiteral("Digitado"));
        QVERIFY(!qobject_cast<QLineEdit*>(f.focus()));
    }

    void maskedCellStoresWhatTheMaskSaves()
    {
        Fixture f;
        f.ds.fieldByName(QStringLiteral("CHAVE")).setEditMask(QStringLiteral("99.9999;0;_"));
        f.grid->setColumns({{QStringLiteral("NOME")}, {QStringLiteral("CHAVE")}});
        QVERIFY(f.ready());
        f.grid->setSelectedIndex(1);
        QTest::keyClick(f.grid, '0');
        auto* editor = qobject_cast<QLineEdit*>(f.focus());
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("10001"));
        QCOMPARE(editor->displayText(), QStringLiteral("01.0001"));
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(f.ds.data().rows[0][3].toString(), QStringLiteral("010001"));
    }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
