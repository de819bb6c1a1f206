// SPDX-License-Identifier: MIT
// Accounting information through the three real grids and the real server:
// its coded columns, the checks of the key column and of the post, the
// look-up dialogs, the detail rows following their parent, and the keys and
// focus moves that throw a pending row away.
#include "screenfixture.h"

#include "host/dbcontrols.h"
#include "host/grid/dbgrid.h"
#include "host/grid/griddelegates.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <QToolButton>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
namespace demo = erp::testing::demo;
using erp::testing::clickTab;
using erp::testing::field;
using erp::testing::focused;
using erp::testing::text;
using B = erp::host::TfrmPadraoSimples;

namespace {

enum Column { Origem = 0, Chave = 1, Apuracao = 2 };

const QString kOrigemDev = QStringLiteral("Origem do valor deve ser informada.");
const QString kInfCtbJa = QStringLiteral("Informação Contábil já cadastrada.");
const QString kContaDev = QStringLiteral("Conta Contábil deve ser informada.");
const QString kContaN = QStringLiteral("Conta Contábil não cadastrada.");
const QString kItemDev = QStringLiteral("Item de Estrutura deve ser informado.");
const QString kItemN = QStringLiteral("Item de Estrutura não cadastrado.");


// One outer tab: its parent grid and dataset, and its accounting page and grid.
struct Tab {
    QWidget* outer;
    host::TPageControl* inner;
    QWidget* detail;
    host::TDBGrid* parentGrid;
    host::TDBGrid* grid;
    DataSet* parent;
    DataSource* source;
    const char* seqField;
    const char* nameField;
};

Tab tab(TfrmParamIRPJ* f, const QString& name)
{
    auto& d = f->data();
    if (name == u"IRPJ")
        return {f->tshIRPJ, f->pgcIRPJ, f->tshInfCtbIRPJ, f->dbgAdicIRPJ, f->dbgInfCtbIRPJ, &d.cdsAdicIRPJ, &d.dtsAdicIRPJ, "NRSEQPARAMAPU", "NMPARAMAPU"};
    if (name == u"CSLL")
        return {f->tshCSLL, f->pgcCSLL, f->tshInfCtbCSLL, f->dbgAdicCSLL, f->dbgInfCtbCSLL, &d.cdsAdicCSLL, &d.dtsAdicCSLL, "NRSEQPARAMAPU", "NMPARAMAPU"};
    return {f->tshLucro, f->pgcLucro, f->tshInfCtbLucro, f->dbgRecDesp, f->dbgInfCtbLucro, &d.cdsRecDesp, &d.dtsRecDesp, "NRSEQRECDESPIRPJ", "NMRECDESPIRPJ"};
}

// The screen with company 01 loaded and the outer tab in front.
TfrmParamIRPJ* openOn(ScreenFixture& fx, const QString& outer)
{
    TfrmParamIRPJ* f = fx.open();
    if (!f)
        return nullptr;
    f->dbgAdicIRPJ->setFocus(); // leaving the company bar loads the IRPJ rows
    const Tab t = tab(f, outer);
    if (t.outer != f->tshIRPJ)
        clickTab(f->pgcGeral, t.outer);
    return f->pgcGeral->activePage() == t.outer && t.parent->recordCount() > 0 ? f : nullptr;
}

// Makes the named parent row current and shows its accounting information.
bool showDetailOf(const Tab& t, const QString& parentName)
{
    if (!t.parent->locate(QString::fromLatin1(t.nameField), {parentName}))
        return false;
    clickTab(t.inner, t.detail);
    t.grid->setFocus(); // the page change leaves the focus where it was
    return t.inner->activePage() == t.detail && t.grid->hasFocus();
}

qlonglong seqOf(const Tab& t)
{
    return qlonglong(field(*t.parent, t.seqField).asFloat());
}

// Types into whatever has the focus: on a grid cell the first character
// opens the cell editor, the rest go to the editor.
void type(const QString& s)
{
    for (const QChar c : s)
        QTest::keyClick(focused(), c.toLatin1());
}

void press(Qt::Key k, Qt::KeyboardModifiers mods = {})
{
    QTest::keyClick(focused(), k, mods);
}

// A new accounting row: Insert in the grid, then the origin letter typed
// (none for "") and Tab to the key column.
void newRow(host::TDBGrid* grid, const QString& origin)
{
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    if (!origin.isEmpty())
        type(origin);
    press(Qt::Key_Tab);
}

// Presses the "..." button of the key cell, opening its editor first if need be.
bool pressEllipsis(host::TDBGrid* grid)
{
    if (grid->selectedIndex() != Chave)
        return false;
    if (!grid->indexWidget(grid->currentIndex()))
        QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = qobject_cast<host::EllipsisEditor*>(grid->indexWidget(grid->currentIndex()));
    if (!editor)
        return false;
    QTest::mouseClick(editor->button(), Qt::LeftButton);
    return true;
}

// Statements run on a write connection of the test's own, as another program would.
bool writeDb(ScreenFixture& fx, const QStringList& statements)
{
    const QString name = QStringLiteral("writer");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QString::fromStdString(fx.dir.path() + "/erp.db"));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        ok = db.open();
        for (const QString& sql : statements) {
            QSqlQuery q(db);
            if (ok && !q.exec(sql)) {
                qWarning("write failed: %s", qPrintable(q.lastError().text()));
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QStringList column(const QList<QStringList>& rows)
{
    QStringList out;
    for (const QStringList& r : rows)
        out << r.value(0);
    return out;
}

QStringList keysOf(const DataSet& ds)
{
    QStringList out;
    const int c = field(ds, "CHAVE").index();
    for (int r = 0; r < ds.recordCount(); ++r)
        out << ds.rowValues(r).at(c).toString();
    out.sort();
    return out;
}

} // namespace

class TestInfCtb : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A row whose origin and key end as they began posts without any check
    // and keeps its stored codes, though its account or item is gone.
    void unchangedKeyPostsWithoutChecks_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("removal");
        QTest::addColumn<bool>("retype");
        const QString account = QStringLiteral("DELETE FROM CONTCTBL WHERE CDCONTCTBL = '311010001'");
        const QString item = QStringLiteral("DELETE FROM ITEMESTRUDRE WHERE CDTIPODEMO = '01' AND CDITEMSTRU = '0001'");
        QTest::newRow("account, apuração changed") << "C" << "311010001" << account << false;
        QTest::newRow("account, origin and key typed again") << "C" << "311010001" << account << true;
        QTest::newRow("item, apuração changed") << "I" << "010001" << item << false;
        QTest::newRow("item, origin and key typed again") << "I" << "010001" << item << true;
    }
    void unchangedKeyPostsWithoutChecks()
    {
        QFETCH(QString, origin);
        QFETCH(QString, key);
        QFETCH(QString, removal);
        QFETCH(bool, retype);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        QVERIFY(writeDb(fx, {removal}));
        const Tab t = tab(f, QStringLiteral("Lucro"));
        clickTab(f->pgcGeral, t.outer); // reloads the items too, now without the removed one
        QVERIFY(showDetailOf(t, demo::kReceitaBruta));
        auto& d = f->data();
        DataSet& inf = d.cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ;CHAVE"), {origin, key}));
        const QString seq = text(inf, "NRSEQINFCTBIRPJ");
        const QList<QStringList> stored =
            fx.rows(QStringLiteral("SELECT CDINFCTBIRPJ, COALESCE(CDTIPODEMO, '') FROM INFCTBIRPJ WHERE NRSEQINFCTBIRPJ = ") + seq);
        QCOMPARE(stored.size(), 1);
        // The checks would refuse the key now.
        if (origin == u"C") {
            f->abreQryContCtbl(key, QString());
            QVERIFY(d.qryContCtbl.isEmpty());
        } else {
            QVERIFY(!d.cdsItensDRE.locate(QStringLiteral("CDTIPODEMO;CDITEMSTRU"), {key.left(2), key.mid(2)}));
        }

        // The apuração takes part in no check; it makes the row worth sending.
        t.grid->setFocus();
        t.grid->setSelectedIndex(Apuracao);
        type(QStringLiteral("p"));
        if (retype) {
            t.grid->setSelectedIndex(Origem);
            type(origin.toLower());
            QVERIFY(text(inf, "CHAVE").isEmpty());
            press(Qt::Key_Tab);
            type(key);
            // Leaving the key column runs no check either.
            press(Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(fx.dialogs.errors, QStringList());
            QCOMPARE(t.grid->selectedIndex(), int(Origem));
        }
        QCOMPARE(inf.state(), DataSet::State::Edit);
        const std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(inf.state(), DataSet::State::Browse);
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("SetInfCtbIRPJ")});
        QCOMPARE(fx.rows(QStringLiteral("SELECT CDINFCTBIRPJ, COALESCE(CDTIPODEMO, ''), CHAVE, IDFORMAPURITEM FROM INFCTBIRPJ "
                                        "WHERE NRSEQINFCTBIRPJ = ")
                         + seq),
                 (QList<QStringList>{stored[0] + QStringList{key, QStringLiteral("P")}}));
    }

    // A refused post keeps the key recorded when the edit began: a row
    // corrected back to it posts without checks.
    void aRowCorrectedAfterARefusalIsStillComparedWithItsFormerKey()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        QVERIFY(writeDb(fx, {QStringLiteral("DELETE FROM CONTCTBL WHERE CDCONTCTBL = '%1'").arg(demo::kBrindesConta)}));
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, demo::kBrindes));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ;CHAVE"), {QStringLiteral("C"), demo::kBrindesConta}));
        t.grid->setSelectedIndex(Origem);
        type(QStringLiteral("c"));
        press(Qt::Key_Tab);
        type(QStringLiteral("9"));
        std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kContaN});
        QCOMPARE(inf.state(), DataSet::State::Edit);

        // The key typed again over the text of its cell.
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        if (!t.grid->indexWidget(t.grid->currentIndex()))
            QTest::keyClick(t.grid, Qt::Key_F2);
        auto* cell = qobject_cast<host::EllipsisEditor*>(t.grid->indexWidget(t.grid->currentIndex()));
        QVERIFY(cell);
        cell->lineEdit()->setFocus();
        cell->lineEdit()->selectAll();
        type(demo::kBrindesConta);
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kContaN});
        QCOMPARE(inf.state(), DataSet::State::Browse);
        QCOMPARE(text(inf, "CHAVE"), demo::kBrindesConta);
        QVERIFY(fx.callsSince(mark).isEmpty()); // nothing changed in the end: nothing to send
    }

    // Another origin makes the key mean something else: it is emptied, and
    // the post then asks for it.
    void changingTheOriginEmptiesTheKey_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("typed"); // empty: the pick list's other entry is chosen
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("IRPJ, i typed") << "IRPJ" << demo::kMultas << "C" << "423010001" << "i" << "I" << kItemDev;
        QTest::newRow("CSLL, item chosen in the list") << "CSLL" << demo::kBrindes << "C" << demo::kBrindesConta << "" << "I" << kItemDev;
        QTest::newRow("Lucro, c typed on an account") << "Lucro" << "Receita bruta de vendas" << "C" << "311010001" << "c" << "C" << kContaDev;
        QTest::newRow("Lucro, C typed on an item") << "Lucro" << "Receita bruta de vendas" << "I" << "010001" << "C" << "C" << kContaDev;
    }
    void changingTheOriginEmptiesTheKey()
    {
        QFETCH(QString, tabName);
        QFETCH(QString, parentName);
        QFETCH(QString, from);
        QFETCH(QString, key);
        QFETCH(QString, typed);
        QFETCH(QString, to);
        QFETCH(QString, message);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, tabName);
        QVERIFY(f);
        const Tab t = tab(f, tabName);
        QVERIFY(showDetailOf(t, parentName));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ;CHAVE"), {from, key}));
        const QString code = text(inf, "CDINFCTBIRPJ");
        t.grid->setSelectedIndex(Origem);
        if (typed.isEmpty()) {
            QTest::keyClick(t.grid, Qt::Key_F2);
            auto* combo = qobject_cast<QComboBox*>(focused());
            QVERIFY(combo);
            QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
            QTRY_VERIFY(combo->view()->isVisible());
            QTest::keyClick(combo->view(), Qt::Key_Down);
            QTest::keyClick(combo->view(), Qt::Key_Return);
            QTRY_VERIFY(!combo->view()->isVisible());
        } else {
            type(typed);
        }
        QCOMPARE(inf.state(), DataSet::State::Edit);
        QCOMPARE(text(inf, "IDINFCTBIRPJ"), to);
        QCOMPARE(text(inf, "CHAVE"), QString());
        QCOMPARE(text(inf, "CDINFCTBIRPJ"), code); // derived again only by a post that passes

        const std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{message});
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        QCOMPARE(inf.state(), DataSet::State::Edit);
        QVERIFY(fx.callsSince(mark).isEmpty());
    }

    // Duplicates are sought among the saved rows of the same parent, ignoring
    // letter case, when the key column is left and again at the post.
    void duplicatesIgnoreCaseUnderOneParentOnly_data()
    {
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QString>("typed"); // empty: the account is chosen in the dialog
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("message");
        QTest::newRow("typed, same parent") << demo::kBrindes << demo::kBrindesConta << "" << kInfCtbJa;
        QTest::newRow("typed, another parent") << demo::kMultas << demo::kBrindesConta << "" << "";
        QTest::newRow("other case, same parent") << demo::kBrindes << "" << "Conta em minúsculas" << kInfCtbJa;
        QTest::newRow("other case, another parent") << demo::kMultas << "" << "Conta em minúsculas" << "";
    }
    void duplicatesIgnoreCaseUnderOneParentOnly()
    {
        QFETCH(QString, parentName);
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        ScreenFixture fx;
        // Digits alone cannot differ in case: two accounts with letters, and
        // a saved row of "Brindes" holding the upper-case one.
        const QList<QStringList> brindes =
            fx.rows(QStringLiteral("SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE IDIMPOSTO = 'I' AND NMPARAMAPU = '%1'").arg(demo::kBrindes));
        QCOMPARE(brindes.size(), 1);
        QVERIFY(writeDb(fx, {QStringLiteral("INSERT INTO CONTCTBL (CDCONTCTBL, NMCONTCTBL) VALUES ('AB01', 'Conta em maiúsculas'), "
                                            "('ab01', 'Conta em minúsculas')"),
                             QStringLiteral("INSERT INTO INFCTBIRPJ (NRSEQINFCTBIRPJ, NRSEQPARAMAPU, IDINFCTBIRPJ, CHAVE, CDINFCTBIRPJ, "
                                            "CDTIPODEMO, CDINFCTBIRPJCHV, IDFORMAPURITEM) VALUES (9001, %1, 'C', 'AB01', 'AB01', NULL, "
                                            "'/AB01', 'C')")
                                 .arg(brindes[0][0])}));
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, parentName));
        const QString parentSeq = QString::number(seqOf(t));
        DataSet& inf = f->data().cdsInfCtb;
        const int rows = inf.recordCount();

        newRow(t.grid, QStringLiteral("c"));
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        const std::size_t mark = fx.logMark();
        if (typed.isEmpty()) {
            fx.dialogs.choices.push_back(chosen);
            QVERIFY(pressEllipsis(t.grid));
            QCOMPARE(fx.dialogs.lists.last().title, QStringLiteral("Conta Contábil"));
            QCOMPARE(text(inf, "CHAVE"), QStringLiteral("ab01"));
            QCOMPARE(fx.dialogs.errors, QStringList()); // an account is checked when the column is left
        } else {
            type(typed);
        }
        const QString chave = typed.isEmpty() ? QStringLiteral("ab01") : typed;
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        if (!message.isEmpty()) {
            QCOMPARE(fx.dialogs.errors, QStringList{message});
            QCOMPARE(t.grid->selectedIndex(), int(Chave));
            // The post finds it too.
            f->button(B::Confirmar)->click();
            QCOMPARE(fx.dialogs.errors, (QStringList{message, message}));
            QCOMPARE(t.grid->selectedIndex(), int(Chave));
            QCOMPARE(inf.state(), DataSet::State::Insert);
            QCOMPARE(text(inf, "CHAVE"), chave);
            QVERIFY(fx.callsSince(mark).isEmpty());
            return;
        }
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(t.grid->selectedIndex(), int(Origem));
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("SetInfCtbIRPJ")});
        QCOMPARE(inf.recordCount(), rows + 1);
        QCOMPARE(fx.rows(QStringLiteral("SELECT CHAVE, CDINFCTBIRPJ FROM INFCTBIRPJ WHERE IDINFCTBIRPJ = 'C' AND CHAVE = '%1' "
                                        "AND NRSEQPARAMAPU = %2")
                             .arg(chave, parentSeq)),
                 (QList<QStringList>{{chave, chave}}));
    }

    // The key recorded when an edit began counts for that edit only: after a
    // cancel, a new row with that very key is a duplicate.
    void aCancelledEditNoLongerCounts()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, demo::kBrindes));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ;CHAVE"), {QStringLiteral("C"), demo::kBrindesConta}));
        t.grid->setSelectedIndex(Origem);
        type(QStringLiteral("c"));
        QCOMPARE(inf.state(), DataSet::State::Edit);
        press(Qt::Key_Escape);
        QCOMPARE(inf.state(), DataSet::State::Browse);
        QCOMPARE(text(inf, "CHAVE"), demo::kBrindesConta);

        newRow(t.grid, QStringLiteral("c"));
        type(demo::kBrindesConta);
        const std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kInfCtbJa});
        QCOMPARE(inf.state(), DataSet::State::Insert);
        QVERIFY(fx.callsSince(mark).isEmpty());
    }

    // An item key is the type in characters 1-2 and the item in 3-6.
    void itemKeysAreSplitIntoTypeAndItem_data()
    {
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("leaveColumn"); // else posted with the key column selected
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("item");
        QTest::newRow("010001 posted") << demo::kMultas << "010001" << false << "" << "01" << "0001";
        QTest::newRow("020001 after leaving the column") << demo::kMultas << "020001" << true << "" << "02" << "0001";
        QTest::newRow("0100 posted") << demo::kMultas << "0100" << false << kItemN << "" << "";
        QTest::newRow("0100 leaving the column") << demo::kMultas << "0100" << true << kItemN << "" << "";
        QTest::newRow("020004 leaving the column") << demo::kMultas << "020004" << true << kItemN << "" << "";
        QTest::newRow("010001999 posted") << demo::kMultas << "010001999" << false << "" << "01" << "0001";
        QTest::newRow("saved item of the parent") << "Provisões não dedutíveis" << "010009" << true << kInfCtbJa << "" << "";
    }
    void itemKeysAreSplitIntoTypeAndItem()
    {
        QFETCH(QString, parentName);
        QFETCH(QString, typed);
        QFETCH(bool, leaveColumn);
        QFETCH(QString, message);
        QFETCH(QString, tipo);
        QFETCH(QString, item);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, parentName));
        DataSet& inf = f->data().cdsInfCtb;
        newRow(t.grid, QStringLiteral("i"));
        type(typed);
        const std::size_t mark = fx.logMark();
        if (leaveColumn)
            press(Qt::Key_Backtab, Qt::ShiftModifier);
        if (message.isEmpty()) {
            QCOMPARE(fx.dialogs.errors, QStringList());
            f->button(B::Confirmar)->click();
            QCOMPARE(fx.dialogs.errors, QStringList());
            QCOMPARE(inf.state(), DataSet::State::Browse);
            QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("SetInfCtbIRPJ")});
            QCOMPARE(fx.rows(QStringLiteral("SELECT IDINFCTBIRPJ, CHAVE, CDTIPODEMO, CDINFCTBIRPJ FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = %1 "
                                            "AND CHAVE = '%2'")
                                 .arg(seqOf(t))
                                 .arg(typed)),
                     (QList<QStringList>{{"I", typed, tipo, item}}));
            return;
        }
        if (!leaveColumn)
            f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{message});
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        QCOMPARE(inf.state(), DataSet::State::Insert);
        QCOMPARE(text(inf, "CHAVE"), typed);
        QVERIFY(text(inf, "CDTIPODEMO").isEmpty() && text(inf, "CDINFCTBIRPJ").isEmpty());
        QVERIFY(fx.callsSince(mark).isEmpty());
    }

    // Posting from the key column first leaves it: the key is checked as an
    // account before the missing origin is reported.
    void newRowWithAKeyAndNoOriginPostedFromTheKeyColumn_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byRowMove"); // else by the toolbar
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("column");
        QTest::newRow("no such account") << "999999999" << false << kContaN << int(Chave);
        QTest::newRow("existing account") << "423010001" << false << kOrigemDev << int(Origem);
        QTest::newRow("no such account, row left") << "999999999" << true << kContaN << int(Chave);
        QTest::newRow("existing account, row left") << "423010001" << true << kOrigemDev << int(Origem);
    }
    void newRowWithAKeyAndNoOriginPostedFromTheKeyColumn()
    {
        QFETCH(QString, typed);
        QFETCH(bool, byRowMove);
        QFETCH(QString, message);
        QFETCH(int, column);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("CSLL"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("CSLL"));
        QVERIFY(showDetailOf(t, demo::kBrindes));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.recordCount() > 0);
        newRow(t.grid, QString());
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        type(typed);
        const int row = t.grid->currentIndex().row();
        const std::size_t mark = fx.logMark();
        if (byRowMove)
            press(Qt::Key_Down);
        else
            f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{message});
        QCOMPARE(t.grid->selectedIndex(), column);
        QCOMPARE(t.grid->currentIndex().row(), row);
        QCOMPARE(inf.state(), DataSet::State::Insert);
        QCOMPARE(text(inf, "CHAVE"), typed);
        QVERIFY(text(inf, "IDINFCTBIRPJ").isEmpty());
        QVERIFY(fx.callsSince(mark).isEmpty());
    }

    // The item chosen in the dialog is checked as soon as the dialog closes.
    void itemDialogChoiceIsCheckedAtOnce_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QString>("typedFirst");
        QTest::addColumn<QString>("choice"); // empty: the dialog is given up
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("chave");
        QTest::newRow("saved under the parent") << "Lucro" << "Receita bruta de vendas" << "" << "Receita operacional bruta" << kInfCtbJa
                                                << "010001";
        QTest::newRow("new to the parent") << "IRPJ" << demo::kMultas << "0100" << "Receita operacional bruta" << ""
                                           << "010001";
        QTest::newRow("given up") << "CSLL" << demo::kBrindes << "0100" << "" << "" << "0100";
    }
    void itemDialogChoiceIsCheckedAtOnce()
    {
        QFETCH(QString, tabName);
        QFETCH(QString, parentName);
        QFETCH(QString, typedFirst);
        QFETCH(QString, choice);
        QFETCH(QString, message);
        QFETCH(QString, chave);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, tabName);
        QVERIFY(f);
        const Tab t = tab(f, tabName);
        QVERIFY(showDetailOf(t, parentName));
        DataSet& inf = f->data().cdsInfCtb;
        newRow(t.grid, QStringLiteral("i"));
        type(typedFirst); // the look-up itself tests nothing: a wrong key stays when it is given up
        fx.dialogs.choices.push_back(choice.isEmpty() ? std::nullopt : std::optional<QString>(choice));
        const std::size_t mark = fx.logMark();
        QVERIFY(pressEllipsis(t.grid));
        QCOMPARE(fx.dialogs.lists.size(), 1);
        QCOMPARE(fx.dialogs.lists[0].title, QStringLiteral("Itens de Estrutura dos DRE"));
        QCOMPARE(fx.dialogs.errors, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(text(inf, "CHAVE"), chave);
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        QCOMPARE(inf.state(), DataSet::State::Insert);
        QVERIFY(t.grid->hasFocus() || t.grid->isAncestorOf(focused()));
        QVERIFY(fx.callsSince(mark).isEmpty());
    }

    // The look-up needs an origin to know what to offer.
    void ellipsisWithoutAValidOriginOpensNothing()
    {
        ScreenFixture fx;
        const QList<QStringList> parent =
            fx.rows(QStringLiteral("SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE IDIMPOSTO = 'I' AND NMPARAMAPU = '%1'").arg(demo::kBrindes));
        QCOMPARE(parent.size(), 1);
        // A letter the table's own check would refuse, as from data written by another program.
        QVERIFY(writeDb(fx, {QStringLiteral("PRAGMA ignore_check_constraints = ON"),
                             QStringLiteral("INSERT INTO INFCTBIRPJ (NRSEQINFCTBIRPJ, NRSEQPARAMAPU, IDINFCTBIRPJ, CHAVE, CDINFCTBIRPJ, "
                                            "CDTIPODEMO, CDINFCTBIRPJCHV, IDFORMAPURITEM) VALUES (9002, %1, 'X', '423010003', "
                                            "'423010003', NULL, '/423010003', 'C')")
                                 .arg(parent[0][0])}));
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, demo::kBrindes));
        DataSet& inf = f->data().cdsInfCtb;
        const std::size_t mark = fx.logMark();

        // A new row has no origin yet.
        newRow(t.grid, QString());
        QVERIFY(pressEllipsis(t.grid));
        QCOMPARE(fx.dialogs.errors, QStringList{kOrigemDev});
        QCOMPARE(t.grid->selectedIndex(), int(Origem));
        QCOMPARE(inf.state(), DataSet::State::Insert);
        press(Qt::Key_Escape);
        QCOMPARE(inf.state(), DataSet::State::Browse);

        // A stored letter that is neither C nor I shows empty; the look-up
        // calls it invalid, the post calls it missing.
        QVERIFY(inf.locate(QStringLiteral("CHAVE"), {QStringLiteral("423010003")}));
        const QModelIndex origin = t.grid->model()->index(t.grid->currentIndex().row(), Origem);
        QCOMPARE(origin.data().toString(), QString());
        t.grid->setSelectedIndex(Chave);
        QVERIFY(pressEllipsis(t.grid));
        QCOMPARE(fx.dialogs.errors, (QStringList{kOrigemDev, QStringLiteral("Origem do valor inválida.")}));
        QCOMPARE(t.grid->selectedIndex(), int(Origem));
        QCOMPARE(inf.state(), DataSet::State::Edit);
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors.size(), 3);
        QCOMPARE(fx.dialogs.errors.last(), kOrigemDev);
        QCOMPARE(inf.state(), DataSet::State::Edit);
        QVERIFY(fx.dialogs.lists.isEmpty());
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("prxInfCtbIRPJ")}); // the new row's number only
    }

    // A ledger account is stored as digits and shown through the mask of
    // DBPict(2), in the grid, its cell editor and the look-up; an item key
    // is shown as stored.
    void accountKeysShowThroughTheirMask()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, QStringLiteral("Provisões não dedutíveis")));
        DataSet& inf = f->data().cdsInfCtb;
        QCOMPARE(field(inf, "CHAVE").editMask(), host::DBPict(2));
        const struct {
            QString origin, stored, shown;
        } rows[] = {{QStringLiteral("C"), QStringLiteral("423010004"), QStringLiteral("4.2.3.01.0004")},
                    {QStringLiteral("I"), QStringLiteral("010009"), QStringLiteral("010009")}};
        for (const auto& r : rows) {
            QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ;CHAVE"), {r.origin, r.stored}));
            QCOMPARE(text(inf, "CHAVE"), r.stored);
            t.grid->setSelectedIndex(Chave);
            QCOMPARE(t.grid->currentIndex().data().toString(), r.shown);
            press(Qt::Key_F2);
            auto* editor = qobject_cast<host::EllipsisEditor*>(t.grid->indexWidget(t.grid->currentIndex()));
            QVERIFY(editor);
            QCOMPARE(editor->lineEdit()->displayText(), r.shown);
            press(Qt::Key_Escape);
        }

        // A new account typed through the mask is stored as digits.
        newRow(t.grid, QStringLiteral("c"));
        type(QStringLiteral("423010003"));
        auto* editor = qobject_cast<host::EllipsisEditor*>(t.grid->indexWidget(t.grid->currentIndex()));
        QVERIFY(editor);
        QCOMPARE(editor->lineEdit()->displayText(), QStringLiteral("4.2.3.01.0003"));
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(text(inf, "CHAVE"), QStringLiteral("423010003"));
        QCOMPARE(text(inf, "CDINFCTBIRPJ"), QStringLiteral("423010003"));
        QCOMPARE(t.grid->currentIndex().data().toString(), QStringLiteral("4.2.3.01.0003"));

        // The account look-up lists the codes as the grid shows them.
        newRow(t.grid, QStringLiteral("c"));
        fx.dialogs.choices.push_back(QStringLiteral("4.2.3.01.0002"));
        QVERIFY(pressEllipsis(t.grid));
        QCOMPARE(fx.dialogs.lists.size(), 1);
        QCOMPARE(fx.dialogs.lists[0].rows.front(), (QStringList{QStringLiteral("1.1.1.01.0001"), QStringLiteral("Caixa")}));
        QCOMPARE(text(inf, "CHAVE"), demo::kBrindesConta);
    }

    // The apuração shows its letter as a catalogue text and takes only those texts.
    void apuracaoTexts()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("Lucro"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("Lucro"));
        DataSet& inf = f->data().cdsInfCtb;
        const auto shown = [&t] { return t.grid->model()->index(t.grid->currentIndex().row(), Apuracao).data().toString(); };
        QVERIFY(showDetailOf(t, demo::kReceitaBruta));
        QCOMPARE(text(inf, "IDFORMAPURITEM"), QStringLiteral("C"));
        QCOMPARE(shown(), QStringLiteral("Competência"));
        QVERIFY(showDetailOf(t, QStringLiteral("Receita de prestação de serviços")));
        QCOMPARE(text(inf, "IDFORMAPURITEM"), QStringLiteral("P"));
        QCOMPARE(shown(), QStringLiteral("Pagamento"));

        inf.edit();
        const struct {
            QString entered, stored;
        } entries[] = {{QStringLiteral("competência"), QStringLiteral("P")}, {QStringLiteral("Competência"), QStringLiteral("C")},
                       {QStringLiteral("C"), QStringLiteral("C")}, {QStringLiteral("Pagamento"), QStringLiteral("P")},
                       {QStringLiteral("PAGAMENTO"), QStringLiteral("P")}};
        for (const auto& e : entries) {
            field(inf, "IDFORMAPURITEM").setText(e.entered);
            QVERIFY2(text(inf, "IDFORMAPURITEM") == e.stored, qPrintable(e.entered));
        }
        QCOMPARE(text(inf, "CHAVE"), QStringLiteral("311010002")); // the apuração has no change rule
        QCOMPARE(fx.dialogs.errors, QStringList());
    }

    // A look-up with nothing to offer says so with its own catalogue text and opens no list.
    void lookUpWithNothingToOffer_data()
    {
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("emptied");
        QTest::addColumn<QString>("message");
        QTest::newRow("accounts") << "c" << "CONTCTBL" << "Conta Contábil não cadastrada.";
        QTest::newRow("income-statement items") << "i" << "ITEMESTRUDRE" << "Não existe um Demonstrativo de Resultado cadastrado.";
    }
    void lookUpWithNothingToOffer()
    {
        QFETCH(QString, origin);
        QFETCH(QString, emptied);
        QFETCH(QString, message);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(writeDb(fx, {QStringLiteral("DELETE FROM %1").arg(emptied)}));
        f->button(B::Verificar)->click(); // reloads the items; the accounts are read at each look-up
        QVERIFY(showDetailOf(t, demo::kBrindes));
        newRow(t.grid, origin);
        QVERIFY(pressEllipsis(t.grid));
        QCOMPARE(fx.dialogs.informations, QStringList{message});
        QVERIFY(fx.dialogs.lists.isEmpty());
        QVERIFY(field(f->data().cdsInfCtb, "CHAVE").isNull());
        QCOMPARE(f->data().cdsInfCtb.state(), DataSet::State::Insert);
        QCOMPARE(fx.dialogs.errors, QStringList());
    }

    // The account look-up given up changes nothing in the row it put in edit.
    void accountLookUpGivenUpKeepsTheKey()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, demo::kBrindes));
        DataSet& inf = f->data().cdsInfCtb;
        t.grid->setSelectedIndex(Chave);
        fx.dialogs.choices.push_back(std::nullopt);
        QVERIFY(pressEllipsis(t.grid));
        QCOMPARE(fx.dialogs.lists.size(), 1);
        QCOMPARE(inf.state(), DataSet::State::Edit);
        QCOMPARE(text(inf, "CHAVE"), demo::kBrindesConta);
        QCOMPARE(text(inf, "CDINFCTBIRPJ"), demo::kBrindesConta);
        QCOMPARE(fx.dialogs.errors, QStringList());
    }

    // Leaving the key column checks an account without writing the stored
    // code: only the post derives it; the item's type is emptied at once.
    void keyColumnExitWritesNoStoredCode()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, QStringLiteral("Provisões não dedutíveis")));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ;CHAVE"), {QStringLiteral("I"), QStringLiteral("010009")}));
        t.grid->setSelectedIndex(Origem);
        type(QStringLiteral("c"));
        press(Qt::Key_Tab);
        type(QStringLiteral("423010003"));
        press(Qt::Key_Backtab, Qt::ShiftModifier); // leaves the key column, within the row
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(t.grid->selectedIndex(), int(Origem));
        QCOMPARE(inf.state(), DataSet::State::Edit);
        QCOMPARE(text(inf, "CHAVE"), QStringLiteral("423010003"));
        QVERIFY(text(inf, "CDTIPODEMO").isEmpty());
        QCOMPARE(text(inf, "CDINFCTBIRPJ"), QStringLiteral("0009"));
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(text(inf, "CDINFCTBIRPJ"), QStringLiteral("423010003"));
    }

    // The key recorded when an edit began is compared with letter case: a
    // key changed in letter case only goes through every check, and its own
    // saved version (the search ignores case) makes it a duplicate.
    void preEditKeyIsComparedWithLetterCase()
    {
        ScreenFixture fx;
        const QList<QStringList> brindes =
            fx.rows(QStringLiteral("SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE IDIMPOSTO = 'I' AND NMPARAMAPU = '%1'").arg(demo::kBrindes));
        QCOMPARE(brindes.size(), 1);
        QVERIFY(writeDb(fx, {QStringLiteral("INSERT INTO ITEMESTRUDRE (CDTIPODEMO, CDITEMSTRU, NMITEMSTRU) VALUES ('01', '00AB', 'Item com letras')"),
                             QStringLiteral("INSERT INTO INFCTBIRPJ (NRSEQINFCTBIRPJ, NRSEQPARAMAPU, IDINFCTBIRPJ, CHAVE, CDINFCTBIRPJ, "
                                            "CDTIPODEMO, CDINFCTBIRPJCHV, IDFORMAPURITEM) VALUES (9003, %1, 'I', '0100AB', '00AB', '01', "
                                            "'01/00AB', 'C')")
                                 .arg(brindes[0][0])}));
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, demo::kBrindes));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("CHAVE"), {QStringLiteral("0100AB")}));
        t.grid->setSelectedIndex(Chave);
        type(QStringLiteral("0100ab"));
        const std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kInfCtbJa});
        QCOMPARE(inf.state(), DataSet::State::Edit);

        // Back to the key it had, letter for letter: no check, nothing to save.
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        if (!t.grid->indexWidget(t.grid->currentIndex()))
            press(Qt::Key_F2);
        auto* editor = qobject_cast<host::EllipsisEditor*>(t.grid->indexWidget(t.grid->currentIndex()));
        QVERIFY(editor);
        editor->lineEdit()->selectAll();
        type(QStringLiteral("0100AB"));
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kInfCtbJa});
        QCOMPARE(inf.state(), DataSet::State::Browse);
        QVERIFY(fx.callsSince(mark).isEmpty());
    }

    // Another saved key of the same parent is a duplicate for an edited row too.
    void anEditedRowTakingAnotherSavedKeyIsADuplicate()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("Lucro"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("Lucro"));
        QVERIFY(showDetailOf(t, demo::kReceitaBruta));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ;CHAVE"), {QStringLiteral("C"), QStringLiteral("311010001")}));
        t.grid->setSelectedIndex(Origem);
        type(QStringLiteral("i"));
        press(Qt::Key_Tab);
        type(QStringLiteral("010001"));
        const std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kInfCtbJa});
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        QCOMPARE(inf.state(), DataSet::State::Edit);
        press(Qt::Key_Tab);
        QCOMPARE(fx.dialogs.errors, (QStringList{kInfCtbJa, kInfCtbJa}));
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        QVERIFY(fx.callsSince(mark).isEmpty());
    }

    // The coded columns take only their letters; the origin's change empties the key.
    void typingInTheCodedColumns_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("apuracao");
        QTest::addColumn<bool>("keyKept");
        QTest::addColumn<QString>("cell"); // what the opened cell shows; empty: the character went nowhere
        QTest::newRow("IRPJ origin, x") << "IRPJ" << int(Origem) << "x" << "C" << "C" << true << "";
        QTest::newRow("IRPJ origin, i") << "IRPJ" << int(Origem) << "i" << "I" << "C" << false << "i";
        QTest::newRow("CSLL origin, c on an account") << "CSLL" << int(Origem) << "c" << "C" << "C" << false << "c";
        QTest::newRow("CSLL origin, digit") << "CSLL" << int(Origem) << "1" << "C" << "C" << true << "";
        QTest::newRow("Lucro origin, i in upper case") << "Lucro" << int(Origem) << "i" << "I" << "C" << false << "I";
        QTest::newRow("Lucro origin, p") << "Lucro" << int(Origem) << "p" << "C" << "C" << true << "";
        QTest::newRow("Lucro apuração, p") << "Lucro" << int(Apuracao) << "p" << "C" << "P" << true << "p";
        QTest::newRow("Lucro apuração, C") << "Lucro" << int(Apuracao) << "C" << "C" << "C" << true << "C";
        QTest::newRow("Lucro apuração, i") << "Lucro" << int(Apuracao) << "i" << "C" << "C" << true << "";
    }
    void typingInTheCodedColumns()
    {
        QFETCH(QString, tabName);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, origin);
        QFETCH(QString, apuracao);
        QFETCH(bool, keyKept);
        QFETCH(QString, cell);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, tabName);
        QVERIFY(f);
        const Tab t = tab(f, tabName);
        QVERIFY(showDetailOf(t, tabName == u"Lucro" ? demo::kReceitaBruta : demo::kBrindes));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.locate(QStringLiteral("IDINFCTBIRPJ"), {QStringLiteral("C")}));
        const QString chave = text(inf, "CHAVE");
        QVERIFY(!chave.isEmpty());
        t.grid->setSelectedIndex(column);
        QTest::keyClick(t.grid, typed.front().toLatin1());
        QCOMPARE(text(inf, "IDINFCTBIRPJ"), origin);
        QCOMPARE(text(inf, "IDFORMAPURITEM"), apuracao);
        QCOMPARE(text(inf, "CHAVE"), keyKept ? chave : QString());
        if (cell.isEmpty()) {
            QCOMPARE(inf.state(), DataSet::State::Browse);
            QCOMPARE(focused(), t.grid);
        } else {
            QCOMPARE(inf.state(), DataSet::State::Edit);
            auto* combo = qobject_cast<QComboBox*>(focused());
            QVERIFY(combo);
            QCOMPARE(combo->currentText(), cell);
        }
        QCOMPARE(t.grid->selectedIndex(), column);
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    // In a parent without accounting information an accepted letter starts
    // the first row, with its defaults, in the origin column; a letter
    // stored elsewhere is not typed into the origin as well.
    void aLetterTypedInAnEmptyGridStartsTheFirstRow_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("apuracao");
        QTest::addColumn<QString>("cell"); // the origin's cell editor; empty: none opened
        QTest::newRow("CSLL origin, i") << "CSLL" << demo::kBrindes << int(Origem) << "i" << "I" << "C" << "i";
        QTest::newRow("Lucro origin, i") << "Lucro" << "Receitas financeiras" << int(Origem) << "i" << "I" << "C" << "I";
        QTest::newRow("Lucro apuração, p") << "Lucro" << "Receitas financeiras" << int(Apuracao) << "p" << "" << "P" << "";
    }
    void aLetterTypedInAnEmptyGridStartsTheFirstRow()
    {
        QFETCH(QString, tabName);
        QFETCH(QString, parentName);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, origin);
        QFETCH(QString, apuracao);
        QFETCH(QString, cell);
        ScreenFixture fx;
        const QList<QStringList> parent = fx.rows(
            tabName == u"Lucro"
                ? QStringLiteral("SELECT NRSEQRECDESPIRPJ FROM RECDESPIRPJ WHERE NMRECDESPIRPJ = '%1'").arg(parentName)
                : QStringLiteral("SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE IDIMPOSTO = 'C' AND NMPARAMAPU = '%1'").arg(parentName));
        QCOMPARE(parent.size(), 1);
        QVERIFY(writeDb(fx, {QStringLiteral("DELETE FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ") + parent[0][0]}));
        TfrmParamIRPJ* f = openOn(fx, tabName);
        QVERIFY(f);
        const Tab t = tab(f, tabName);
        QVERIFY(showDetailOf(t, parentName));
        DataSet& inf = f->data().cdsInfCtb;
        QVERIFY(inf.isEmpty());
        t.grid->setSelectedIndex(column);
        QTest::keyClick(t.grid, 'x');
        QVERIFY(inf.isEmpty());
        QCOMPARE(inf.state(), DataSet::State::Browse);

        QTest::keyClick(t.grid, typed.front().toLatin1());
        QCOMPARE(inf.state(), DataSet::State::Insert);
        QCOMPARE(text(inf, "NRSEQPARAMAPU"), parent[0][0]);
        QVERIFY(field(inf, "NRSEQINFCTBIRPJ").asFloat() > 0);
        QCOMPARE(text(inf, "IDINFCTBIRPJ"), origin);
        QCOMPARE(text(inf, "IDFORMAPURITEM"), apuracao);
        QCOMPARE(t.grid->selectedIndex(), int(Origem));
        if (cell.isEmpty()) {
            QCOMPARE(focused(), t.grid);
        } else {
            auto* combo = qobject_cast<QComboBox*>(focused());
            QVERIFY(combo);
            QCOMPARE(combo->currentText(), cell);
        }
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    // A saved row being browsed is not checked when its key column is left
    // (it would find itself among the saved rows); the key column takes any character.
    void keyColumnOfARowNotBeingEdited()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        QVERIFY(showDetailOf(t, demo::kBrindes));
        t.grid->setSelectedIndex(Chave);
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(t.grid->selectedIndex(), int(Origem));
        press(Qt::Key_Tab);
        QCOMPARE(t.grid->selectedIndex(), int(Chave));
        QVERIFY(fx.dialogs.errors.isEmpty());
        QTest::keyClick(t.grid, '5');
        QCOMPARE(f->data().cdsInfCtb.state(), DataSet::State::Edit);
        auto* line = qobject_cast<QLineEdit*>(focused());
        QVERIFY(line);
        QVERIFY2(line->displayText().contains(u'5'), qPrintable(line->displayText()));
    }

    // While the detail page is shown, the footer walks the parent rows and
    // each move loads the new parent's accounting information.
    void detailRowsFollowTheFooterNavigator_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::newRow("IRPJ") << "IRPJ";
        QTest::newRow("CSLL") << "CSLL";
        QTest::newRow("Lucro") << "Lucro";
    }
    void detailRowsFollowTheFooterNavigator()
    {
        QFETCH(QString, tabName);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, tabName);
        QVERIFY(f);
        const Tab t = tab(f, tabName);
        auto& d = f->data();
        DataSet& inf = d.cdsInfCtb;
        const auto saved = [&fx](qlonglong parent, const QString& extra = {}) {
            return column(fx.rows(QStringLiteral("SELECT CHAVE FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = %1 %2 ORDER BY CHAVE").arg(parent).arg(extra)));
        };
        t.parent->first();
        QVERIFY(t.parent->recordCount() >= 2);
        clickTab(t.inner, t.detail);
        const qlonglong first = seqOf(t);
        QCOMPARE(keysOf(inf), saved(first));
        QCOMPARE(f->dbnRodape->dataSource(), t.source);

        f->dbnRodape->button(host::TDBNavigator::Next)->click();
        QCOMPARE(t.parent->recNo(), 1);
        QCOMPARE(t.inner->activePage(), t.detail);
        const qlonglong second = seqOf(t);
        QVERIFY(second != first);
        QCOMPARE(keysOf(inf), saved(second));
        QCOMPARE(keysOf(d.cdsInfEspelho), saved(second));

        // The new parent's own account is a duplicate now; the first parent's is not.
        const QString own = saved(second, QStringLiteral("AND IDINFCTBIRPJ = 'C'")).value(0);
        const QString previous = saved(first, QStringLiteral("AND IDINFCTBIRPJ = 'C'")).value(0);
        QVERIFY(!own.isEmpty() && !previous.isEmpty() && own != previous);
        newRow(t.grid, QStringLiteral("c"));
        type(own);
        std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kInfCtbJa});
        QVERIFY(fx.callsSince(mark).isEmpty());
        press(Qt::Key_Escape);
        QCOMPARE(inf.state(), DataSet::State::Browse);

        newRow(t.grid, QStringLiteral("c"));
        QCOMPARE(field(inf, "NRSEQPARAMAPU").asFloat(), double(second));
        type(previous);
        mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{kInfCtbJa});
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("SetInfCtbIRPJ")});
        QVERIFY(saved(second).contains(previous));

        // A half-entered row goes with the rows it was entered among.
        newRow(t.grid, QStringLiteral("c"));
        type(QStringLiteral("4230"));
        mark = fx.logMark();
        f->dbnRodape->button(host::TDBNavigator::Prior)->click();
        QCOMPARE(seqOf(t), first);
        QCOMPARE(inf.state(), DataSet::State::Browse);
        QCOMPARE(keysOf(inf), saved(first));
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("getInfCtbIRPJ")});
        QCOMPARE(fx.dialogs.errors, QStringList{kInfCtbJa});

        // Back on the parent page nothing is reloaded.
        mark = fx.logMark();
        clickTab(t.inner, t.inner->widget(0));
        QCOMPARE(keysOf(inf), saved(first));
        QVERIFY(fx.callsSince(mark).isEmpty());
        QVERIFY(f->button(B::Incluir)->isEnabled() && !f->button(B::Confirmar)->isEnabled());
    }

    // A reload the server cannot answer is reported; the page change stands
    // and the rows shown are those of the last reload.
    void aFailedReloadKeepsTheRowsItHad()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, QStringLiteral("IRPJ"));
        QVERIFY(f);
        const Tab t = tab(f, QStringLiteral("IRPJ"));
        auto& d = f->data();
        t.parent->first();
        clickTab(t.inner, t.detail);
        const QStringList loaded = keysOf(d.cdsInfCtb);
        QVERIFY(!loaded.isEmpty());
        clickTab(t.inner, t.inner->widget(0));
        t.parent->next();
        QCOMPARE(keysOf(d.cdsInfCtb), loaded); // no reload from the parent page

        QCOMPARE(fx.server->stop(), 0);
        clickTab(t.inner, t.detail);
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QCOMPARE(t.inner->activePage(), t.detail);
        QCOMPARE(keysOf(d.cdsInfCtb), loaded);
        QCOMPARE(keysOf(d.cdsInfEspelho), loaded);
        f->dbnRodape->button(host::TDBNavigator::Next)->click();
        QCOMPARE(fx.dialogs.errors.size(), 2);
        QCOMPARE(keysOf(d.cdsInfCtb), loaded);
    }

    // Leaving the tabs for the company code throws a half-entered row away,
    // silently, before the company bar's own rules run.
    void halfEnteredRowIsDiscardedForTheCompanyCode_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<bool>("accounting");
        QTest::newRow("IRPJ accounting row") << "IRPJ" << true;
        QTest::newRow("Lucro accounting row") << "Lucro" << true;
        QTest::newRow("net-profit item") << "Lucro" << false;
    }
    void halfEnteredRowIsDiscardedForTheCompanyCode()
    {
        QFETCH(QString, tabName);
        QFETCH(bool, accounting);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, tabName);
        QVERIFY(f);
        const Tab t = tab(f, tabName);
        DataSet& ds = accounting ? f->data().cdsInfCtb : *t.parent;
        if (accounting) {
            t.parent->first();
            clickTab(t.inner, t.detail);
        }
        const int rows = ds.recordCount();
        const std::size_t mark = fx.logMark();
        if (accounting) {
            newRow(t.grid, QStringLiteral("c"));
            type(QStringLiteral("4230"));
        } else {
            t.parentGrid->setFocus();
            QTest::keyClick(t.parentGrid, Qt::Key_Insert);
            type(QStringLiteral("Outra receita"));
        }
        QCOMPARE(ds.state(), DataSet::State::Insert);
        const QStringList callsWhileTyping = fx.callsSince(mark);

        QTest::mouseClick(f->medCdEmpresa, Qt::LeftButton);
        QVERIFY(f->medCdEmpresa->hasFocus());
        QCOMPARE(ds.state(), DataSet::State::Browse);
        QCOMPARE(ds.recordCount(), rows);
        QCOMPARE(ds.changeCount(), 0);
        QVERIFY(fx.dialogs.errors.isEmpty());
        QVERIFY(fx.dialogs.questions.isEmpty());
        QCOMPARE(fx.callsSince(mark), callsWhileTyping); // the new row's number only
    }

    // Keys with Ctrl never reach any of the six grids.
    void ctrlKeysReachNoGrid_data()
    {
        QTest::addColumn<QString>("tabName");
        QTest::addColumn<bool>("detail");
        for (const char* name : {"IRPJ", "CSLL", "Lucro"}) {
            QTest::addRow("%s parent grid", name) << QString::fromLatin1(name) << false;
            QTest::addRow("%s accounting grid", name) << QString::fromLatin1(name) << true;
        }
    }
    void ctrlKeysReachNoGrid()
    {
        QFETCH(QString, tabName);
        QFETCH(bool, detail);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOn(fx, tabName);
        QVERIFY(f);
        const Tab t = tab(f, tabName);
        // The parent with two accounting rows on the tabs that have one.
        const QString parentName = tabName == u"Lucro" ? demo::kReceitaBruta : demo::kMultas;
        QVERIFY(t.parent->locate(QString::fromLatin1(t.nameField), {parentName}));
        if (detail)
            clickTab(t.inner, t.detail);
        host::TDBGrid* grid = detail ? t.grid : t.parentGrid;
        DataSet& ds = detail ? f->data().cdsInfCtb : *t.parent;
        grid->setFocus();
        ds.first();
        const int rows = ds.recordCount();
        const std::size_t mark = fx.logMark();
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_Down, Qt::ControlModifier);
        QVERIFY(fx.dialogs.questions.isEmpty());
        QVERIFY(fx.dialogs.errors.isEmpty());
        QCOMPARE(ds.recordCount(), rows);
        QCOMPARE(ds.recNo(), 0);
        QCOMPARE(ds.state(), DataSet::State::Browse);
        QVERIFY(fx.callsSince(mark).isEmpty());

        // Without Ctrl the keys are the grid's.
        if (rows > 1) {
            QTest::keyClick(grid, Qt::Key_Down);
            QCOMPARE(ds.recNo(), 1);
        }
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestInfCtb t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_infctb.moc"
