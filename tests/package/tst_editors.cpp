// SPDX-License-Identifier: MIT
// The two record editors through the real grids and the real server: the
// additions of both taxes and the net-profit items. Every refusal points at
// its column, keeps what was typed and sends nothing.
#include "screenfixture.h"

#include "host/grid/datasetmodel.h"
#include "host/grid/dbgrid.h"
#include "host/grid/griddelegates.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QTabBar>
#include <QToolButton>

using namespace erp;
using erp::host::TDBGrid;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
namespace demo = erp::testing::demo;
using erp::testing::clickTab;
using erp::testing::focused;
using B = erp::host::TfrmPadraoSimples;
using State = DataSet::State;

namespace {

// A table cell that the row leaves as it is.
const QString kKeep = QStringLiteral("=");

const QString NOME_DEV = QStringLiteral("Nome deve ser informado.");
const QString TIPO_DEV = QStringLiteral("Tipo deve ser informado.");
const QString TIPO_INV = QStringLiteral("Tipo informado inválido.");
const QString ADIC_JA = QStringLiteral("Item já cadastrado para o imposto selecionado.");
const QString PORCENT_DEV = QStringLiteral("Porcentagem do valor deve ser informada.");
const QString PORCENT_ENTRE = QStringLiteral("Valor da porcentagem deve ser um valor entre 1 e 100.");
const QString ID_INV = QStringLiteral("Receita ou Despesa deve ser selecionado.");
const QString OPER_DEV = QStringLiteral("Operacional ou Não Operacional deve ser selecionado.");
const QString OPER_INV = QStringLiteral("Valor informado para Operacional inválido.");
const QString ALIQ_DEV = QStringLiteral("Código da Alíquota de Presunção deve ser informada.");
const QString ALIQ_N = QStringLiteral("Alíquota de Presunção não cadastrada.");
const QString INFLUCRO_JA = QStringLiteral("Informação já cadastrada para apuração do Lucro Líquido.");


// The line edit of an open cell editor (plain, pick list or ellipsis).
QLineEdit* lineEditOf(QWidget* w)
{
    if (auto* line = qobject_cast<QLineEdit*>(w))
        return line;
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->lineEdit();
    if (auto* box = qobject_cast<host::EllipsisEditor*>(w))
        return box->lineEdit();
    return nullptr;
}

// One key, as the keyboard sends it (QTest's own table knows ASCII only).
void pressKey(QWidget* w, QChar ch)
{
    if (ch.unicode() < 0x80)
        QTest::keyClick(w, char(ch.unicode()));
    else
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
}

// Types a text key by key into whatever has the focus, accented letters included.
void typeKeys(const QString& s)
{
    for (const QChar ch : s)
        pressKey(focused(), ch);
}

QComboBox* comboAround(QWidget* w)
{
    for (; w; w = w->parentWidget())
        if (auto* combo = qobject_cast<QComboBox*>(w))
            return combo;
    return nullptr;
}

// One screen on company 01 with one editor grid in front: "IRPJ", "CSLL" or "Lucro".
struct Screen {
    ScreenFixture fx;
    TfrmParamIRPJ* f = nullptr;
    TDBGrid* grid = nullptr;
    DataSet* ds = nullptr;
    QString tab;

    bool open(const QString& front)
    {
        tab = front;
        f = fx.open();
        if (!f)
            return false;
        f->dbgAdicIRPJ->setFocus(); // leaving the company bar loads the IRPJ rows
        grid = f->dbgAdicIRPJ;
        ds = &f->data().cdsAdicIRPJ;
        if (tab == u"CSLL") {
            clickTab(f->pgcGeral, f->tshCSLL);
            grid = f->dbgAdicCSLL;
            ds = &f->data().cdsAdicCSLL;
        } else if (tab == u"Lucro") {
            clickTab(f->pgcGeral, f->tshLucro);
            grid = f->dbgRecDesp;
            ds = &f->data().cdsRecDesp;
        }
        return grid->hasFocus() && ds->recordCount() > 0 && fx.dialogs.errors.isEmpty();
    }
    bool items() const { return tab == u"Lucro"; }
    const char* nameField() const { return items() ? "NMRECDESPIRPJ" : "NMPARAMAPU"; }
    const char* seqField() const { return items() ? "NRSEQRECDESPIRPJ" : "NRSEQPARAMAPU"; }
    QString table() const { return items() ? QStringLiteral("RECDESPIRPJ") : QStringLiteral("PARAMAPUIRPJ"); }
    QString saveMethod() const { return items() ? QStringLiteral("setRecDesp") : QStringLiteral("SetParamIRPJ"); }

    Field& field(const char* name) const { return ds->fieldByName(QString::fromLatin1(name)); }
    QString text(const char* name) const { return field(name).asString(); }
    // What the grid shows in the field's column of the current row.
    QString cell(const char* name) const
    {
        const int col = grid->dataSetModel()->columnOf(field(name));
        return grid->model()->index(grid->currentIndex().row(), col).data().toString();
    }
    QString selected() const
    {
        const Field* s = grid->selectedField();
        return s ? s->fieldName() : QString();
    }
    bool row(const QString& name) { return ds->locate(QString::fromLatin1(nameField()), {name}); }
    void column(const char* name) { grid->setSelectedField(&field(name)); }
    State state() const { return ds->state(); }

    // Types into a cell as the user does: the first key on the grid starts
    // the row's edit and opens the editor, the others go to the editor.
    void type(const char* name, const QString& s)
    {
        column(name);
        grid->setFocus();
        typeKeys(s);
    }
    // Empties a cell: F2, select all, Backspace.
    bool clear(const char* name)
    {
        column(name);
        QTest::keyClick(grid, Qt::Key_F2);
        QLineEdit* line = lineEditOf(focused());
        if (!line)
            return false;
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Backspace);
        return line->text().isEmpty();
    }
    // Sets a cell either way: kKeep leaves it, an empty text clears it.
    bool enter(const char* name, const QString& s)
    {
        if (s == kKeep)
            return true;
        if (s.isEmpty())
            return clear(name);
        type(name, s);
        return true;
    }
    // Opens the cell's pick list and chooses the entry with the keyboard.
    bool choose(const char* name, const QString& entry)
    {
        column(name);
        QTest::keyClick(grid, Qt::Key_F2);
        QComboBox* combo = comboAround(focused());
        if (!combo || combo->findText(entry) < 0)
            return false;
        QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
        QAbstractItemView* list = combo->view();
        if (!QTest::qWaitFor([list] { return list->isVisible(); }))
            return false;
        list->setCurrentIndex(list->model()->index(combo->findText(entry), 0));
        QTest::keyClick(list, Qt::Key_Return);
        return QTest::qWaitFor([list] { return !list->isVisible(); });
    }
    // Pastes a text over the cell's whole text, as the editor's context menu does.
    bool paste(const char* name, const QString& s)
    {
        column(name);
        QTest::keyClick(grid, Qt::Key_F2);
        QLineEdit* line = lineEditOf(focused());
        if (!line)
            line = lineEditOf(comboAround(focused()));
        if (!line)
            return false;
        QGuiApplication::clipboard()->setText(s);
        line->selectAll();
        line->paste();
        return line->text() == s;
    }
    void confirm() { f->button(B::Confirmar)->click(); }
    void cancel()
    {
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
    }
    // Reloads the front tab from the server, as the toolbar's verify does.
    void reload() { f->button(B::Verificar)->click(); }

    // The row of the server's table with this sequence number.
    QStringList stored(const QString& seq, const QString& columns)
    {
        return fx.rows(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = %4").arg(columns, table(), QString::fromLatin1(seqField()), seq)).value(0);
    }
    // A change made to the database behind the server's back, as an older
    // program could have written it: the table's checks are not applied.
    bool write(const QString& sql)
    {
        const QString name = QStringLiteral("writer");
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QString::fromStdString(fx.dir.path() + "/erp.db"));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            if (db.open()) {
                QSqlQuery q(db);
                ok = q.exec(QStringLiteral("PRAGMA ignore_check_constraints = ON")) && q.exec(sql) && q.numRowsAffected() > 0;
                if (!ok)
                    qWarning("write failed: %s", qPrintable(q.lastError().text()));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return ok;
    }
};

QString letterOf(const QString& text)
{
    static const QHash<QString, QString> letters{{QStringLiteral("Adição"), QStringLiteral("A")},
                                                 {QStringLiteral("Exclusão"), QStringLiteral("E")},
                                                 {QStringLiteral("Compensação"), QStringLiteral("C")}};
    return letters.value(text);
}

// The text a coded column shows for a stored letter.
QString shownFor(const QString& column, const QString& letter)
{
    if (column == u"IDPARAMAPU")
        return letter == u"A" ? QStringLiteral("Adição") : letter == u"E" ? QStringLiteral("Exclusão") : QStringLiteral("Compensação");
    if (column == u"IDRECDESPIRPJ")
        return letter == u"R" ? QStringLiteral("Receita") : QStringLiteral("Despesa");
    return letter == u"S" ? QStringLiteral("Sim") : QStringLiteral("Não");
}

QString taxOf(const QString& tab)
{
    return tab == u"CSLL" ? QStringLiteral("C") : QStringLiteral("I");
}

// The presumption rates of the demo entries used here: IRPJ, CSLL.
std::pair<double, double> ratesOf(int code)
{
    return code == 5 ? std::pair{16.0, 12.0} : std::pair{8.0, 12.0}; // 2 and 3 share theirs
}

} // namespace

class TestEditors : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // ------------------------------------------------------------ keys typed in the grids

    void typedCharacterInACodedColumn_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");

        const QString brindes = demo::kBrindes;
        const QString equivalencia = QStringLiteral("Resultado positivo de equivalência patrimonial");
        const QString vendas = demo::kReceitaBruta;
        const QString devolucoes = QStringLiteral("Devoluções de vendas");
        QTest::newRow("type e lower case") << "IRPJ" << brindes << "IDPARAMAPU" << "e" << true << "E" << "Exclusão";
        QTest::newRow("type a on an exclusion") << "IRPJ" << equivalencia << "IDPARAMAPU" << "a" << true << "A" << "Adição";
        QTest::newRow("type C upper case, CSLL") << "CSLL" << brindes << "IDPARAMAPU" << "C" << true << "C" << "Compensação";
        QTest::newRow("type x") << "IRPJ" << brindes << "IDPARAMAPU" << "x" << false << "A" << "Adição";
        QTest::newRow("type 5") << "IRPJ" << brindes << "IDPARAMAPU" << "5" << false << "A" << "Adição";
        QTest::newRow("type blank") << "IRPJ" << brindes << "IDPARAMAPU" << " " << false << "A" << "Adição";
        QTest::newRow("type backspace") << "IRPJ" << brindes << "IDPARAMAPU" << "\b" << false << "A" << "Adição";
        QTest::newRow("type enter") << "IRPJ" << brindes << "IDPARAMAPU" << "\r" << false << "A" << "Adição";
        QTest::newRow("type é") << "IRPJ" << brindes << "IDPARAMAPU" << "é" << false << "A" << "Adição";
        QTest::newRow("type x, CSLL") << "CSLL" << brindes << "IDPARAMAPU" << "x" << false << "A" << "Adição";
        QTest::newRow("name takes anything") << "IRPJ" << brindes << "NMPARAMAPU" << "5" << true << "5" << "5";

        QTest::newRow("kind d lower case") << "Lucro" << vendas << "IDRECDESPIRPJ" << "d" << true << "D" << "Despesa";
        QTest::newRow("kind r lower case") << "Lucro" << devolucoes << "IDRECDESPIRPJ" << "r" << true << "R" << "Receita";
        QTest::newRow("kind e") << "Lucro" << vendas << "IDRECDESPIRPJ" << "e" << false << "R" << "Receita";
        QTest::newRow("kind s") << "Lucro" << vendas << "IDRECDESPIRPJ" << "s" << false << "R" << "Receita";
        QTest::newRow("kind 5") << "Lucro" << vendas << "IDRECDESPIRPJ" << "5" << false << "R" << "Receita";
        QTest::newRow("kind blank") << "Lucro" << vendas << "IDRECDESPIRPJ" << " " << false << "R" << "Receita";
        QTest::newRow("kind backspace") << "Lucro" << vendas << "IDRECDESPIRPJ" << "\b" << false << "R" << "Receita";
        QTest::newRow("operational n") << "Lucro" << vendas << "IDRECDESPIRPJOP" << "n" << true << "N" << "Não";
        QTest::newRow("operational d") << "Lucro" << vendas << "IDRECDESPIRPJOP" << "d" << false << "S" << "Sim";
        QTest::newRow("debit s") << "Lucro" << devolucoes << "IDCONSVRDEB" << "s" << true << "S" << "Sim";
        QTest::newRow("debit r") << "Lucro" << devolucoes << "IDCONSVRDEB" << "r" << false << "N" << "Não";
        QTest::newRow("debit enter") << "Lucro" << devolucoes << "IDCONSVRDEB" << "\r" << false << "N" << "Não";
        QTest::newRow("item name takes anything") << "Lucro" << vendas << "NMRECDESPIRPJ" << "x" << true << "x" << "x";
        QTest::newRow("rate takes digits") << "Lucro" << vendas << "NRSEQALIQIRPJ" << "7" << true << "7" << "7 - IRPJ: 32,00 - CSLL: 32,00";
    }
    void typedCharacterInACodedColumn()
    {
        QFETCH(QString, tab);
        QFETCH(QString, row);
        QFETCH(QString, column);
        QFETCH(QString, key);
        QFETCH(bool, taken);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Screen s;
        QVERIFY(s.open(tab));
        QVERIFY(s.row(row));
        const QByteArray col = column.toLatin1();
        s.column(col.constData());
        const QString before = s.text(col.constData());
        const QString seq = s.text(s.seqField());
        const std::size_t mark = s.fx.logMark();

        pressKey(s.grid, key.front());
        if (!taken) {
            QCOMPARE(s.state(), State::Browse);
            QCOMPARE(focused(), s.grid); // no cell editor opened
            QCOMPARE(s.text(col.constData()), before);
            QCOMPARE(s.text(col.constData()), stored);
            QCOMPARE(s.cell(col.constData()), shown);
            QVERIFY(s.fx.callsSince(mark).isEmpty());
            QVERIFY(s.fx.dialogs.errors.isEmpty());
            return;
        }
        QCOMPARE(s.state(), State::Edit);
        if (column.startsWith(u"ID"))
            QCOMPARE(s.text(col.constData()), stored); // stored by the key, before the cell is left
        // The cell editor holds the character; leaving it through the post keeps the stored code.
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.text(col.constData()), stored);
        QCOMPARE(s.cell(col.constData()), shown);
        QCOMPARE(s.fx.callsSince(mark), QStringList{s.saveMethod()});
        QCOMPARE(s.stored(seq, column), QStringList{stored});
    }

    // On a grid without rows an accepted letter starts the first row, with its
    // defaults; the new row's rule moves the cursor to the name, which the
    // letter must not be typed into.
    void typeLetterOnAnEmptyGridStartsARow_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("additions") << "IRPJ" << "IDPARAMAPU" << "c" << "C" << "Compensação";
        QTest::newRow("items") << "Lucro" << "IDRECDESPIRPJ" << "d" << "D" << "Despesa";
    }
    void typeLetterOnAnEmptyGridStartsARow()
    {
        QFETCH(QString, tab);
        QFETCH(QString, column);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Screen s;
        QVERIFY(s.open(tab));
        // Company 04 has no parameters.
        s.f->medCdEmpresa->setFocus();
        s.f->medCdEmpresa->selectAll();
        QTest::keyClick(s.f->medCdEmpresa, Qt::Key_Delete);
        QTest::keyClicks(s.f->medCdEmpresa, QStringLiteral("04"));
        QTest::keyClick(s.f->medCdEmpresa, Qt::Key_Tab);
        if (s.items())
            clickTab(s.f->pgcGeral, s.f->tshLucro);
        s.grid->setFocus();
        QVERIFY(s.ds->active() && s.ds->isEmpty());
        QVERIFY(s.grid->hasFocus());
        const QByteArray col = column.toLatin1();
        s.column(col.constData());

        QTest::keyClick(s.grid, key.front().toLatin1());
        QCOMPARE(s.state(), State::Insert);
        QCOMPARE(s.text(col.constData()), stored);
        QCOMPARE(s.cell(col.constData()), shown);
        QCOMPARE(s.text("CDEMPRESA"), QStringLiteral("04"));
        QVERIFY(s.field(s.seqField()).asFloat() > 0);
        if (s.items()) {
            QCOMPARE(s.text("IDRECDESPIRPJOP"), QStringLiteral("S"));
            QCOMPARE(s.text("IDCONSVRDEB"), QStringLiteral("S"));
        } else {
            QCOMPARE(s.text("IDIMPOSTO"), QStringLiteral("I"));
            QCOMPARE(s.field("VRPORCENTAGEM").asFloat(), 100.0);
        }
        QCOMPARE(s.selected(), QString::fromLatin1(s.nameField()));
        QCOMPARE(focused(), s.grid); // no cell editor holding the letter
        QVERIFY(s.field(s.nameField()).isNull());

        // The name typed next is the name; the post sends the letter typed first.
        typeKeys(QStringLiteral("Nova"));
        if (s.items())
            s.type("NRSEQALIQIRPJ", QStringLiteral("2"));
        const QString seq = s.text(s.seqField());
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.stored(seq, QString::fromLatin1(s.nameField()) + u',' + column), (QStringList{"Nova", stored}));
    }

    // ------------------------------------------------------------ texts written to the coded fields

    void codedTextMustMatchExactly_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<bool>("fromList");
        QTest::addColumn<QString>("stored");

        const QString equivalencia = QStringLiteral("Resultado positivo de equivalência patrimonial");
        const QString vendas = demo::kReceitaBruta;
        const QString devolucoes = QStringLiteral("Devoluções de vendas");
        QTest::newRow("adição lower case") << "IRPJ" << equivalencia << "IDPARAMAPU" << "adição" << false << "E";
        QTest::newRow("ADIÇÃO upper case") << "IRPJ" << equivalencia << "IDPARAMAPU" << "ADIÇÃO" << false << "E";
        QTest::newRow("Adição with a blank") << "IRPJ" << equivalencia << "IDPARAMAPU" << "Adição " << false << "E";
        QTest::newRow("the letter itself") << "IRPJ" << equivalencia << "IDPARAMAPU" << "A" << false << "E";
        QTest::newRow("Adição pasted") << "IRPJ" << equivalencia << "IDPARAMAPU" << "Adição" << false << "A";
        QTest::newRow("Adição from the list") << "IRPJ" << equivalencia << "IDPARAMAPU" << "Adição" << true << "A";
        QTest::newRow("compensação, CSLL") << "CSLL" << equivalencia << "IDPARAMAPU" << "compensação" << false << "E";
        QTest::newRow("Compensação from the list, CSLL") << "CSLL" << equivalencia << "IDPARAMAPU" << "Compensação" << true << "C";
        QTest::newRow("despesa lower case") << "Lucro" << vendas << "IDRECDESPIRPJ" << "despesa" << false << "R";
        QTest::newRow("DESPESA upper case") << "Lucro" << vendas << "IDRECDESPIRPJ" << "DESPESA" << false << "R";
        QTest::newRow("Despesa from the list") << "Lucro" << vendas << "IDRECDESPIRPJ" << "Despesa" << true << "D";
        QTest::newRow("Receita from the list") << "Lucro" << devolucoes << "IDRECDESPIRPJ" << "Receita" << true << "R";
        QTest::newRow("operational não") << "Lucro" << vendas << "IDRECDESPIRPJOP" << "não" << false << "S";
        QTest::newRow("operational N") << "Lucro" << vendas << "IDRECDESPIRPJOP" << "N" << false << "S";
        QTest::newRow("operational Não from the list") << "Lucro" << vendas << "IDRECDESPIRPJOP" << "Não" << true << "N";
        QTest::newRow("debit sim") << "Lucro" << devolucoes << "IDCONSVRDEB" << "sim" << false << "N";
        QTest::newRow("debit SIM") << "Lucro" << devolucoes << "IDCONSVRDEB" << "SIM" << false << "N";
        QTest::newRow("debit Sim pasted") << "Lucro" << devolucoes << "IDCONSVRDEB" << "Sim" << false << "S";
    }
    void codedTextMustMatchExactly()
    {
        QFETCH(QString, tab);
        QFETCH(QString, row);
        QFETCH(QString, column);
        QFETCH(QString, entered);
        QFETCH(bool, fromList);
        QFETCH(QString, stored);
        Screen s;
        QVERIFY(s.open(tab));
        QVERIFY(s.row(row));
        const QByteArray col = column.toLatin1();
        const std::size_t mark = s.fx.logMark();
        if (fromList)
            QVERIFY(s.choose(col.constData(), entered));
        else
            QVERIFY(s.paste(col.constData(), entered));
        QCOMPARE(s.state(), State::Edit);
        // Leaving the cell writes its text to the field; coded columns are never the first.
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(s.selected() != column);
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        QCOMPARE(s.text(col.constData()), stored);
        QCOMPARE(s.state(), State::Edit);
        s.column(col.constData());
        QCOMPARE(s.cell(col.constData()), shownFor(column, stored));
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    // ------------------------------------------------------------ additions: validation before the post

    void newAdditionIsCheckedColumnByColumn_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("message"); // empty: the row posts
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("shown"); // the percentage cell afterwards

        const QString nova = QStringLiteral("Nova adicao");
        QTest::newRow("name missing") << "IRPJ" << "" << "Adição" << kKeep << NOME_DEV << "NMPARAMAPU" << "100,00";
        QTest::newRow("name of blanks") << "IRPJ" << "   " << "Adição" << kKeep << NOME_DEV << "NMPARAMAPU" << "100,00";
        QTest::newRow("name first, then type") << "IRPJ" << "" << "" << "0" << NOME_DEV << "NMPARAMAPU" << "";
        QTest::newRow("type missing") << "IRPJ" << nova << "" << kKeep << TIPO_DEV << "IDPARAMAPU" << "100,00";
        QTest::newRow("type missing, CSLL") << "CSLL" << nova << "" << kKeep << TIPO_DEV << "IDPARAMAPU" << "100,00";
        QTest::newRow("duplicate in other letter case") << "IRPJ" << "bRINDES" << "Adição" << kKeep << ADIC_JA << "NMPARAMAPU" << "100,00";
        QTest::newRow("duplicate with accents in other case")
            << "IRPJ" << "MULTAS FISCAIS INDEDUTÍVEIS" << "Adição" << kKeep << ADIC_JA << "NMPARAMAPU" << "100,00";
        QTest::newRow("duplicate, CSLL") << "CSLL" << "brindes" << "Adição" << kKeep << ADIC_JA << "NMPARAMAPU" << "100,00";
        QTest::newRow("duplicate before a bad percentage") << "IRPJ" << demo::kBrindes << "Adição" << "0" << ADIC_JA << "NMPARAMAPU" << "";
        QTest::newRow("same name, other type") << "IRPJ" << demo::kBrindes << "Exclusão" << kKeep << "" << "" << "100,00";
        QTest::newRow("name of the other tax, CSLL")
            << "CSLL" << "Provisões não dedutíveis" << "Adição" << kKeep << "" << "" << "100,00";
        QTest::newRow("name of the other tax, IRPJ")
            << "IRPJ" << "Compensação de base de cálculo negativa" << "Compensação" << kKeep << "" << "" << "100,00";
        QTest::newRow("100") << "IRPJ" << nova << "Adição" << "100" << "" << "" << "100,00";
        QTest::newRow("100,01") << "IRPJ" << nova << "Adição" << "100,01" << PORCENT_ENTRE << "VRPORCENTAGEM" << "100,01";
        QTest::newRow("0,5") << "IRPJ" << nova << "Exclusão" << "0,5" << "" << "" << "0,50";
        QTest::newRow("100,004 shows 100,00") << "IRPJ" << nova << "Adição" << "100,004" << PORCENT_ENTRE << "VRPORCENTAGEM" << "100,00";
        QTest::newRow("-1") << "IRPJ" << nova << "Adição" << "-1" << PORCENT_ENTRE << "VRPORCENTAGEM" << "-1,00";
        QTest::newRow("-1, CSLL") << "CSLL" << nova << "Adição" << "-1" << PORCENT_ENTRE << "VRPORCENTAGEM" << "-1,00";
        QTest::newRow("1.000,5") << "IRPJ" << nova << "Adição" << "1.000,5" << PORCENT_ENTRE << "VRPORCENTAGEM" << "1.000,50";
        QTest::newRow("0") << "IRPJ" << nova << "Adição" << "0" << PORCENT_DEV << "VRPORCENTAGEM" << "";
        QTest::newRow("0,00") << "IRPJ" << nova << "Adição" << "0,00" << PORCENT_DEV << "VRPORCENTAGEM" << "";
        QTest::newRow("percentage emptied") << "IRPJ" << nova << "Adição" << "" << PORCENT_DEV << "VRPORCENTAGEM" << "";
        QTest::newRow("percentage emptied, CSLL") << "CSLL" << nova << "Adição" << "" << PORCENT_DEV << "VRPORCENTAGEM" << "";
    }
    void newAdditionIsCheckedColumnByColumn()
    {
        QFETCH(QString, tab);
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QString, percent);
        QFETCH(QString, message);
        QFETCH(QString, column);
        QFETCH(QString, shown);
        Screen s;
        QVERIFY(s.open(tab));
        s.f->button(B::Incluir)->click();
        QCOMPARE(s.state(), State::Insert);
        if (!name.isEmpty())
            s.type("NMPARAMAPU", name);
        if (!type.isEmpty())
            QVERIFY(s.choose("IDPARAMAPU", type));
        QVERIFY(s.enter("VRPORCENTAGEM", percent));
        // Away from the column the refusal must point at.
        s.column(column == u"NMPARAMAPU" ? "VRPORCENTAGEM" : "NMPARAMAPU");
        const QString seq = s.text("NRSEQPARAMAPU");
        const double value = percent == kKeep ? 100.0 : QLocale().toDouble(percent);
        const std::size_t mark = s.fx.logMark();

        s.confirm();
        if (message.isEmpty()) {
            QCOMPARE(s.fx.dialogs.errors, QStringList());
            QCOMPARE(s.state(), State::Browse);
            QCOMPARE(s.fx.callsSince(mark), QStringList{QStringLiteral("SetParamIRPJ")});
            QCOMPARE(s.stored(seq, QStringLiteral("NMPARAMAPU, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM")),
                     (QStringList{name, letterOf(type), taxOf(tab), QString::number(value)}));
            QCOMPARE(s.cell("VRPORCENTAGEM"), shown);
            return;
        }
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.selected(), column);
        QCOMPARE(s.state(), State::Insert);
        QCOMPARE(s.text("NMPARAMAPU"), name);
        QCOMPARE(s.text("IDPARAMAPU"), letterOf(type));
        if (percent.isEmpty())
            QVERIFY(s.field("VRPORCENTAGEM").isNull());
        else
            QCOMPARE(s.field("VRPORCENTAGEM").asFloat(), value);
        QCOMPARE(s.cell("VRPORCENTAGEM"), shown);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
        QVERIFY(s.f->button(B::Confirmar)->isEnabled());
        QVERIFY(s.stored(seq, QStringLiteral("NMPARAMAPU")).isEmpty());
    }

    // An edit is measured against the saved rows only when its key changed.
    void editedAdditionKeepsOrChangesItsKey_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("column");

        QTest::newRow("percentage only") << "IRPJ" << kKeep << "" << "50" << "" << "";
        QTest::newRow("percentage only, CSLL") << "CSLL" << kKeep << "" << "12,5" << "" << "";
        QTest::newRow("percentage only, above 100") << "IRPJ" << kKeep << "" << "100,01" << PORCENT_ENTRE << "VRPORCENTAGEM";
        QTest::newRow("percentage only, zero") << "IRPJ" << kKeep << "" << "0" << PORCENT_DEV << "VRPORCENTAGEM";
        QTest::newRow("name in other letter case") << "IRPJ" << "BRINDES" << "" << kKeep << ADIC_JA << "NMPARAMAPU";
        QTest::newRow("name in other letter case, CSLL") << "CSLL" << "brindes" << "" << kKeep << ADIC_JA << "NMPARAMAPU";
        QTest::newRow("name of another row") << "IRPJ" << demo::kMultas << "" << kKeep << ADIC_JA << "NMPARAMAPU";
        QTest::newRow("new name") << "IRPJ" << "Brindes e presentes" << "" << kKeep << "" << "";
        QTest::newRow("name emptied") << "IRPJ" << "" << "" << kKeep << NOME_DEV << "NMPARAMAPU";
        QTest::newRow("other type") << "IRPJ" << kKeep << "Exclusão" << kKeep << "" << "";
        QTest::newRow("other type, CSLL") << "CSLL" << kKeep << "Compensação" << kKeep << "" << "";
    }
    void editedAdditionKeepsOrChangesItsKey()
    {
        QFETCH(QString, tab);
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QString, percent);
        QFETCH(QString, message);
        QFETCH(QString, column);
        Screen s;
        QVERIFY(s.open(tab));
        QVERIFY(s.row(demo::kBrindes));
        QVERIFY(s.enter("NMPARAMAPU", name));
        if (!type.isEmpty())
            QVERIFY(s.choose("IDPARAMAPU", type));
        QVERIFY(s.enter("VRPORCENTAGEM", percent));
        QCOMPARE(s.state(), State::Edit);
        s.column(column == u"NMPARAMAPU" ? "VRPORCENTAGEM" : "NMPARAMAPU");
        const QString seq = s.text("NRSEQPARAMAPU");
        const QString typed = name == kKeep ? demo::kBrindes : name;
        const QString letter = type.isEmpty() ? QStringLiteral("A") : letterOf(type);
        const double value = percent == kKeep ? 100.0 : QLocale().toDouble(percent);
        const std::size_t mark = s.fx.logMark();

        s.confirm();
        if (message.isEmpty()) {
            QCOMPARE(s.fx.dialogs.errors, QStringList());
            QCOMPARE(s.state(), State::Browse);
            QCOMPARE(s.fx.callsSince(mark), QStringList{QStringLiteral("SetParamIRPJ")});
            QCOMPARE(s.stored(seq, QStringLiteral("NMPARAMAPU, IDPARAMAPU, VRPORCENTAGEM")),
                     (QStringList{typed, letter, QString::number(value)}));
            return;
        }
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.selected(), column);
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text("NMPARAMAPU"), typed);
        QCOMPARE(s.field("VRPORCENTAGEM").asFloat(), value);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
        QCOMPARE(s.stored(seq, QStringLiteral("NMPARAMAPU, VRPORCENTAGEM")), (QStringList{demo::kBrindes, QStringLiteral("100")}));
    }

    // A letter the service may hold but the screen does not offer.
    void storedLetterOutsideTheCodes_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("message");
        QTest::newRow("type X") << "IRPJ" << "IDPARAMAPU" << "X" << TIPO_INV;
        QTest::newRow("type a lower case") << "IRPJ" << "IDPARAMAPU" << "a" << TIPO_INV;
        QTest::newRow("type empty") << "IRPJ" << "IDPARAMAPU" << "" << TIPO_DEV;
        QTest::newRow("type X, CSLL") << "CSLL" << "IDPARAMAPU" << "X" << TIPO_INV;
        QTest::newRow("kind empty") << "Lucro" << "IDRECDESPIRPJ" << "" << ID_INV;
        QTest::newRow("kind X") << "Lucro" << "IDRECDESPIRPJ" << "X" << ID_INV;
        QTest::newRow("kind r lower case") << "Lucro" << "IDRECDESPIRPJ" << "r" << ID_INV;
        QTest::newRow("operational empty") << "Lucro" << "IDRECDESPIRPJOP" << "" << OPER_DEV;
        QTest::newRow("operational X") << "Lucro" << "IDRECDESPIRPJOP" << "X" << OPER_INV;
        QTest::newRow("operational s lower case") << "Lucro" << "IDRECDESPIRPJOP" << "s" << OPER_INV;
    }
    void storedLetterOutsideTheCodes()
    {
        QFETCH(QString, tab);
        QFETCH(QString, column);
        QFETCH(QString, stored);
        QFETCH(QString, message);
        Screen s;
        QVERIFY(s.open(tab));
        const QString name = s.items() ? demo::kReceitaBruta : demo::kBrindes;
        const QString where = s.items() ? QStringLiteral("NMRECDESPIRPJ = '%1'").arg(name)
                                        : QStringLiteral("NMPARAMAPU = '%1' AND IDIMPOSTO = '%2'").arg(name, taxOf(tab));
        QVERIFY(s.write(QStringLiteral("UPDATE %1 SET %2 = '%3' WHERE %4").arg(s.table(), column, stored, where)));
        s.reload();
        QVERIFY(s.row(name));
        const QByteArray col = column.toLatin1();
        QCOMPARE(s.text(col.constData()), stored);
        QCOMPARE(s.cell(col.constData()), QString());

        // Any other change starts the edit; the stored letter is checked at the post.
        if (s.items()) {
            s.column("IDCONSVRDEB");
            QTest::keyClick(s.grid, 'n');
        } else {
            s.type("VRPORCENTAGEM", QStringLiteral("50"));
        }
        QCOMPARE(s.state(), State::Edit);
        s.column(s.nameField());
        const std::size_t mark = s.fx.logMark();
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.selected(), column);
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text(col.constData()), stored);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    // Two faults in one row: the earlier check is the one reported (a rate
    // code is never emptied by typing, so a missing one is a new row's alone).
    void theEarlierCheckReportsFirst_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("stored"); // columns set behind the server's back, "COL = 'X', ..."
        QTest::addColumn<QString>("column"); // the column then typed into
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        // Renamed in letter case only, the row's own saved version makes it a duplicate.
        QTest::newRow("type invalid before duplicate") << "IRPJ" << "IDPARAMAPU = 'X'" << "NMPARAMAPU" << "BRINDES" << TIPO_INV << "IDPARAMAPU";
        QTest::newRow("type invalid before duplicate, CSLL") << "CSLL" << "IDPARAMAPU = 'X'" << "NMPARAMAPU" << "BRINDES" << TIPO_INV << "IDPARAMAPU";
        // The items' letters and rate code as another program could have stored them.
        QTest::newRow("kind before operational") << "Lucro" << "IDRECDESPIRPJ = 'X', IDRECDESPIRPJOP = 'X'" << "NMRECDESPIRPJ" << "Outro"
                                                 << ID_INV << "IDRECDESPIRPJ";
        QTest::newRow("kind missing before rate unknown") << "Lucro" << "IDRECDESPIRPJ = '', NRSEQALIQIRPJ = 99" << "NMRECDESPIRPJ" << "Outro"
                                                          << ID_INV << "IDRECDESPIRPJ";
        QTest::newRow("operational invalid before rate unknown") << "Lucro" << "IDRECDESPIRPJOP = 'X', NRSEQALIQIRPJ = 99" << "NMRECDESPIRPJ"
                                                                 << "Outro" << OPER_INV << "IDRECDESPIRPJOP";
        QTest::newRow("operational missing before rate unknown") << "Lucro" << "IDRECDESPIRPJOP = '', NRSEQALIQIRPJ = 99" << "NMRECDESPIRPJ"
                                                                 << "Outro" << OPER_DEV << "IDRECDESPIRPJOP";
        QTest::newRow("rate unknown before duplicate") << "Lucro" << "NRSEQALIQIRPJ = 99" << "NMRECDESPIRPJ" << "RECEITA BRUTA DE VENDAS"
                                                       << ALIQ_N << "NRSEQALIQIRPJ";
    }
    void theEarlierCheckReportsFirst()
    {
        QFETCH(QString, tab);
        QFETCH(QString, stored);
        QFETCH(QString, column);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        Screen s;
        QVERIFY(s.open(tab));
        const QString name = s.items() ? demo::kReceitaBruta : demo::kBrindes;
        if (!stored.isEmpty()) {
            const QString where = s.items() ? QStringLiteral("NMRECDESPIRPJ = '%1'").arg(name)
                                            : QStringLiteral("NMPARAMAPU = '%1' AND IDIMPOSTO = '%2'").arg(name, taxOf(tab));
            QVERIFY(s.write(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(s.table(), stored, where)));
            s.reload();
        }
        QVERIFY(s.row(name));
        const QByteArray col = column.toLatin1();
        s.type(col.constData(), typed);
        QCOMPARE(s.state(), State::Edit);
        const std::size_t mark = s.fx.logMark();
        s.confirm(); // from the open cell: no column is left before the post
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.selected(), focus);
        QCOMPARE(s.state(), State::Edit);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    // The rate look-up is titled by ALIQ and says ALIQ_N when there is no entry.
    void rateLookUpTitleAndNothingFound()
    {
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        QVERIFY(s.row(demo::kReceitaBruta));
        s.column("NRSEQALIQIRPJ");
        s.f->dbgRecDespEditButtonClick(*s.grid);
        QCOMPARE(s.fx.dialogs.lists.size(), 1);
        QCOMPARE(s.fx.dialogs.lists[0].title, QStringLiteral("Alíquota de Presunção"));
        QCOMPARE(s.fx.dialogs.lists[0].columns, (QStringList{"Código", "Alíquota CSLL", "Alíquota IRPJ"}));
        QCOMPARE(s.fx.dialogs.lists[0].rows[1], (QStringList{"2", "12,00", "8,00"}));
        QVERIFY(s.fx.dialogs.informations.isEmpty());

        s.cancel();
        QVERIFY(s.write(QStringLiteral("DELETE FROM ALIQIRPJ")));
        s.reload(); // the net-profit tab reloads the rate entries too
        QVERIFY(s.row(demo::kReceitaBruta));
        s.column("NRSEQALIQIRPJ");
        s.f->dbgRecDespEditButtonClick(*s.grid);
        QCOMPARE(s.fx.dialogs.lists.size(), 1);
        QCOMPARE(s.fx.dialogs.informations, QStringList{ALIQ_N});
        QCOMPARE(s.text("NRSEQALIQIRPJ"), QStringLiteral("2"));
    }

    // ------------------------------------------------------------ the pre-edit key across posts and cancels

    void refusedEditCorrectedPostsAgainstItsFirstKey_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("message");
        QTest::newRow("additions") << "IRPJ" << demo::kBrindes << ADIC_JA;
        QTest::newRow("additions, CSLL") << "CSLL" << demo::kBrindes << ADIC_JA;
        QTest::newRow("items") << "Lucro" << "Receita bruta de vendas" << INFLUCRO_JA;
    }
    void refusedEditCorrectedPostsAgainstItsFirstKey()
    {
        QFETCH(QString, tab);
        QFETCH(QString, row);
        QFETCH(QString, message);
        Screen s;
        QVERIFY(s.open(tab));
        QVERIFY(s.row(row));
        const QString seq = s.text(s.seqField());
        std::size_t mark = s.fx.logMark();
        s.type(s.nameField(), row.toUpper());
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text(s.nameField()), row.toUpper());

        // Back to the name it had, with another change: the same edit, the same key.
        s.type(s.nameField(), row);
        if (s.items()) {
            s.column("IDCONSVRDEB");
            QTest::keyClick(s.grid, 'n');
        } else {
            s.type("VRPORCENTAGEM", QStringLiteral("50"));
        }
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors.size(), 1);
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.fx.callsSince(mark), QStringList{s.saveMethod()});
        const QString changed = s.items() ? QStringLiteral("IDCONSVRDEB") : QStringLiteral("VRPORCENTAGEM");
        QCOMPARE(s.stored(seq, QString::fromLatin1(s.nameField()) + u',' + changed), (QStringList{row, s.items() ? "N" : "50"}));

        // The next edit of the row records its own key again.
        mark = s.fx.logMark();
        s.type(s.nameField(), row.toLower());
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, (QStringList{message, message}));
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    void cancelledEditThenNewRowWithItsKey_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::newRow("additions") << "IRPJ";
        QTest::newRow("additions, CSLL") << "CSLL";
        QTest::newRow("items") << "Lucro";
    }
    void cancelledEditThenNewRowWithItsKey()
    {
        QFETCH(QString, tab);
        Screen s;
        QVERIFY(s.open(tab));
        const QString name = s.items() ? demo::kReceitaBruta : demo::kBrindes;
        QVERIFY(s.row(name));
        const int rows = s.ds->recordCount();
        s.type(s.nameField(), QStringLiteral("Outro nome"));
        QCOMPARE(s.state(), State::Edit);
        s.cancel();
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.text(s.nameField()), name);

        s.f->button(B::Incluir)->click();
        s.type(s.nameField(), name);
        if (s.items()) {
            s.type("NRSEQALIQIRPJ", QStringLiteral("2"));
        } else {
            QVERIFY(s.choose("IDPARAMAPU", QStringLiteral("Adição")));
        }
        const std::size_t mark = s.fx.logMark();
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList{s.items() ? INFLUCRO_JA : ADIC_JA});
        QCOMPARE(s.selected(), QString::fromLatin1(s.nameField()));
        QCOMPARE(s.state(), State::Insert);
        QCOMPARE(s.text(s.nameField()), name);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
        s.cancel();
        QCOMPARE(s.ds->recordCount(), rows);
    }

    // The key recorded when a letter starts the edit is the row's key before
    // the letter: a letter that turns the row into another saved row's key is a duplicate.
    void letterOntoAnotherRowsKey_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("additions") << "IRPJ" << "IDPARAMAPU" << "a" << "e";
        QTest::newRow("additions, CSLL") << "CSLL" << "IDPARAMAPU" << "c" << "a";
        QTest::newRow("items, kind") << "Lucro" << "IDRECDESPIRPJ" << "r" << "d";
        QTest::newRow("items, operational") << "Lucro" << "IDRECDESPIRPJOP" << "n" << "s";
    }
    void letterOntoAnotherRowsKey()
    {
        QFETCH(QString, tab);
        QFETCH(QString, column);
        QFETCH(QString, first);
        QFETCH(QString, second);
        Screen s;
        QVERIFY(s.open(tab));
        const QByteArray col = column.toLatin1();
        for (const QString& key : {first, second}) {
            s.f->button(B::Incluir)->click();
            s.type(s.nameField(), QStringLiteral("Nova"));
            if (s.items())
                s.type("NRSEQALIQIRPJ", QStringLiteral("3"));
            s.column(col.constData());
            pressKey(s.grid, key.front());
            s.confirm();
            QCOMPARE(s.fx.dialogs.errors, QStringList());
            QCOMPARE(s.text(col.constData()), key.toUpper());
        }
        // The row of the second letter, with the first typed over it.
        const std::size_t mark = s.fx.logMark();
        pressKey(s.grid, first.front());
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text(col.constData()), first.toUpper());
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList{s.items() ? INFLUCRO_JA : ADIC_JA});
        QCOMPARE(s.selected(), QString::fromLatin1(s.nameField()));
        QCOMPARE(s.state(), State::Edit);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    // ------------------------------------------------------------ items: validation before the post

    void newItemIsCheckedColumnByColumn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("debit"); // a key typed in the debit column, or nothing
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("column");

        QTest::newRow("name missing") << "" << "2" << "" << NOME_DEV << "NMRECDESPIRPJ";
        QTest::newRow("name of blanks") << "  " << "2" << "" << NOME_DEV << "NMRECDESPIRPJ";
        QTest::newRow("name first, then rate") << "" << "" << "" << NOME_DEV << "NMRECDESPIRPJ";
        QTest::newRow("rate missing") << "Outras receitas" << "" << "" << ALIQ_DEV << "NRSEQALIQIRPJ";
        QTest::newRow("duplicate in other letter case") << "receita BRUTA de vendas" << "2" << "" << INFLUCRO_JA << "NMRECDESPIRPJ";
        QTest::newRow("duplicate differing in debit only") << "Receita bruta de vendas" << "2" << "n" << INFLUCRO_JA << "NMRECDESPIRPJ";
        QTest::newRow("same name, other rate") << "Receita bruta de vendas" << "5" << "" << "" << "";
        QTest::newRow("new item") << "Outras receitas" << "3" << "n" << "" << "";
    }
    void newItemIsCheckedColumnByColumn()
    {
        QFETCH(QString, name);
        QFETCH(QString, rate);
        QFETCH(QString, debit);
        QFETCH(QString, message);
        QFETCH(QString, column);
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        s.f->button(B::Incluir)->click();
        QCOMPARE(s.state(), State::Insert);
        if (!name.isEmpty())
            s.type("NMRECDESPIRPJ", name);
        if (!rate.isEmpty()) {
            s.type("NRSEQALIQIRPJ", rate);
            QTest::keyClick(focused(), Qt::Key_Tab); // the column exit resolves the code
            QCOMPARE(s.selected(), QStringLiteral("IDCONSVRDEB"));
        }
        if (!debit.isEmpty()) {
            s.column("IDCONSVRDEB");
            QTest::keyClick(s.grid, debit.front().toLatin1());
        }
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        s.column(column == u"NMRECDESPIRPJ" ? "IDRECDESPIRPJOP" : "NMRECDESPIRPJ");
        const QString seq = s.text("NRSEQRECDESPIRPJ");
        const std::size_t mark = s.fx.logMark();

        s.confirm();
        const QString debitLetter = debit.isEmpty() ? QStringLiteral("S") : debit.toUpper();
        if (message.isEmpty()) {
            QCOMPARE(s.fx.dialogs.errors, QStringList());
            QCOMPARE(s.state(), State::Browse);
            QCOMPARE(s.fx.callsSince(mark), QStringList{QStringLiteral("setRecDesp")});
            const auto [irpj, csll] = ratesOf(rate.toInt());
            QCOMPARE(s.stored(seq, QStringLiteral("NMRECDESPIRPJ, IDRECDESPIRPJ, IDRECDESPIRPJOP, NRSEQALIQIRPJ, VRALIQPRESIRPJ, "
                                                  "VRALIQPRESCSLL, IDCONSVRDEB")),
                     (QStringList{name, "R", "S", rate, QString::number(irpj), QString::number(csll), debitLetter}));
            return;
        }
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.selected(), column);
        QCOMPARE(s.state(), State::Insert);
        QCOMPARE(s.text("NMRECDESPIRPJ"), name);
        QCOMPARE(s.text("NRSEQALIQIRPJ"), rate);
        if (rate.isEmpty())
            QCOMPARE(s.cell("NRSEQALIQIRPJ"), QString());
        QCOMPARE(s.text("IDCONSVRDEB"), debitLetter);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    void editedItemKeepsOrChangesItsKey_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind"); // a key typed in the revenue/expense column, or nothing
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("debit");
        QTest::addColumn<QString>("message");

        QTest::newRow("debit only") << kKeep << "" << kKeep << "n" << "";
        QTest::newRow("name in other letter case") << "RECEITA BRUTA DE VENDAS" << "" << kKeep << "" << INFLUCRO_JA;
        QTest::newRow("name in other case, debit too") << "receita bruta de vendas" << "" << kKeep << "n" << INFLUCRO_JA;
        QTest::newRow("new name") << "Receita bruta de revendas" << "" << kKeep << "" << "";
        QTest::newRow("onto another item's key") << "Devoluções de vendas" << "d" << kKeep << "" << INFLUCRO_JA;
        QTest::newRow("other rate") << kKeep << "" << "5" << "" << "";
        QTest::newRow("other kind") << kKeep << "d" << kKeep << "" << "";
    }
    void editedItemKeepsOrChangesItsKey()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, rate);
        QFETCH(QString, debit);
        QFETCH(QString, message);
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        const QString original = demo::kReceitaBruta;
        QVERIFY(s.row(original));
        QVERIFY(s.enter("NMRECDESPIRPJ", name));
        if (!kind.isEmpty()) {
            s.column("IDRECDESPIRPJ");
            QTest::keyClick(s.grid, kind.front().toLatin1());
        }
        if (rate != kKeep) {
            s.type("NRSEQALIQIRPJ", rate);
            QTest::keyClick(focused(), Qt::Key_Tab);
        }
        if (!debit.isEmpty()) {
            s.column("IDCONSVRDEB");
            QTest::keyClick(s.grid, debit.front().toLatin1());
        }
        QCOMPARE(s.state(), State::Edit);
        s.column("IDRECDESPIRPJOP");
        const QString seq = s.text("NRSEQRECDESPIRPJ");
        const QString typed = name == kKeep ? original : name;
        const QString code = rate == kKeep ? QStringLiteral("2") : rate;
        const std::size_t mark = s.fx.logMark();

        s.confirm();
        if (message.isEmpty()) {
            QCOMPARE(s.fx.dialogs.errors, QStringList());
            QCOMPARE(s.state(), State::Browse);
            QCOMPARE(s.fx.callsSince(mark), QStringList{QStringLiteral("setRecDesp")});
            const auto [irpj, csll] = ratesOf(code.toInt());
            QCOMPARE(s.stored(seq, QStringLiteral("NMRECDESPIRPJ, IDRECDESPIRPJ, NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL, IDCONSVRDEB")),
                     (QStringList{typed, kind.isEmpty() ? "R" : kind.toUpper(), code, QString::number(irpj), QString::number(csll),
                                  debit.isEmpty() ? "S" : debit.toUpper()}));
            return;
        }
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.selected(), QStringLiteral("NMRECDESPIRPJ"));
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text("NMRECDESPIRPJ"), typed);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
        QCOMPARE(s.stored(seq, QStringLiteral("NMRECDESPIRPJ, IDCONSVRDEB")), (QStringList{original, "S"}));
    }

    // ------------------------------------------------------------ the presumption-rate column

    void rateCellIsResolvedWhenLeft_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("code");    // the field afterwards
        QTest::addColumn<QString>("shown");   // the cell afterwards, when it was left

        QTest::newRow("code") << "5" << "" << "5" << "5 - IRPJ: 16,00 - CSLL: 12,00";
        QTest::newRow("composed text with another code") << "1 - IRPJ: 99,00 - CSLL: 0,00" << "" << "1" << "1 - IRPJ: 1,60 - CSLL: 12,00";
        QTest::newRow("blanks keep the code") << "   " << "" << "2" << "2 - IRPJ: 8,00 - CSLL: 12,00";
        QTest::newRow("emptied keeps the code") << "" << "" << "2" << "2 - IRPJ: 8,00 - CSLL: 12,00";
        QTest::newRow("unknown code") << "99" << ALIQ_N << "99" << "";
        QTest::newRow("fractional code") << "2,5" << ALIQ_N << "2,5" << "";
    }
    void rateCellIsResolvedWhenLeft()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, code);
        QFETCH(QString, shown);
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        QVERIFY(s.row(demo::kReceitaBruta));
        QCOMPARE(s.cell("NRSEQALIQIRPJ"), QStringLiteral("2 - IRPJ: 8,00 - CSLL: 12,00"));
        s.column("NRSEQALIQIRPJ");
        QTest::keyClick(s.grid, Qt::Key_F2);
        QPointer<QLineEdit> line = lineEditOf(focused());
        QVERIFY(line);
        QCOMPARE(line->text(), QStringLiteral("2 - IRPJ: 8,00 - CSLL: 12,00")); // the cell editor shows the composed text too
        line->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(line, Qt::Key_Backspace);
        else
            typeKeys(typed);
        QCOMPARE(s.state(), State::Edit);
        const std::size_t mark = s.fx.logMark();

        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(s.text("NRSEQALIQIRPJ"), code);
        QCOMPARE(s.state(), State::Edit);
        if (message.isEmpty()) {
            QCOMPARE(s.fx.dialogs.errors, QStringList());
            QCOMPARE(s.selected(), QStringLiteral("IDCONSVRDEB"));
            s.column("NRSEQALIQIRPJ");
            QCOMPARE(s.cell("NRSEQALIQIRPJ"), shown);
            QVERIFY(s.fx.callsSince(mark).isEmpty());
            return;
        }
        QCOMPARE(s.fx.dialogs.errors, QStringList{message});
        QCOMPARE(s.selected(), QStringLiteral("NRSEQALIQIRPJ"));
        // The post refuses the unknown code the same way.
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, (QStringList{message, message}));
        QCOMPARE(s.selected(), QStringLiteral("NRSEQALIQIRPJ"));
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text("NRSEQALIQIRPJ"), code);
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    // A code without an entry: only an edit is checked, at the column exit and at the post.
    void unknownStoredCodeIsRefusedOnlyWhenEdited()
    {
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        QVERIFY(s.write(QStringLiteral("UPDATE RECDESPIRPJ SET NRSEQALIQIRPJ = 99 WHERE NMRECDESPIRPJ = 'Receitas financeiras'")));
        s.reload();
        QVERIFY(s.row(QStringLiteral("Receitas financeiras")));
        QCOMPARE(s.cell("NRSEQALIQIRPJ"), QStringLiteral("99 - IRPJ: 32,00 - CSLL: 32,00"));
        s.column("NRSEQALIQIRPJ");
        const std::size_t mark = s.fx.logMark();
        QTest::keyClick(s.grid, Qt::Key_Tab);
        QCOMPARE(s.selected(), QStringLiteral("IDCONSVRDEB"));
        QCOMPARE(s.state(), State::Browse);
        QVERIFY(s.fx.dialogs.errors.isEmpty());

        s.type("NMRECDESPIRPJ", QStringLiteral("Receitas financeiras diversas"));
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList{ALIQ_N});
        QCOMPARE(s.selected(), QStringLiteral("NRSEQALIQIRPJ"));
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text("NMRECDESPIRPJ"), QStringLiteral("Receitas financeiras diversas"));
        QCOMPARE(s.text("NRSEQALIQIRPJ"), QStringLiteral("99"));
        QVERIFY(s.fx.callsSince(mark).isEmpty());
    }

    void lookUpDialogFillsTheRate_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("entry chosen") << true;
        QTest::newRow("closed without a choice") << false;
    }
    void lookUpDialogFillsTheRate()
    {
        QFETCH(bool, chosen);
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        QVERIFY(s.row(demo::kReceitaBruta));
        s.column("NRSEQALIQIRPJ");
        QTest::keyClick(s.grid, Qt::Key_F2);
        auto* box = qobject_cast<host::EllipsisEditor*>(s.grid->indexWidget(s.grid->currentIndex()));
        QVERIFY(box);
        s.fx.dialogs.choices.push_back(chosen ? std::optional<QString>(QStringLiteral("5")) : std::nullopt);
        const std::size_t mark = s.fx.logMark();
        QTest::mouseClick(box->button(), Qt::LeftButton);
        QCOMPARE(s.fx.dialogs.lists.size(), 1);
        QCOMPARE(s.fx.dialogs.lists[0].rows.size(), s.f->data().cdsAliquotas.recordCount());
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text("NRSEQALIQIRPJ"), chosen ? QStringLiteral("5") : QStringLiteral("2"));
        QCOMPARE(box->lineEdit()->text(), chosen ? QStringLiteral("5 - IRPJ: 16,00 - CSLL: 12,00") : QStringLiteral("2 - IRPJ: 8,00 - CSLL: 12,00"));
        QVERIFY(s.fx.callsSince(mark).isEmpty());
        QVERIFY(s.fx.dialogs.errors.isEmpty());

        const QString seq = s.text("NRSEQRECDESPIRPJ");
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        QCOMPARE(s.stored(seq, QStringLiteral("NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL")),
                 chosen ? QStringList({"5", "16", "12"}) : QStringList({"2", "8", "12"}));
    }

    // Every post copies the rates the entry holds at that moment, even with the code unchanged.
    void ratesAreRefreshedAtEveryPost()
    {
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        const QString name = demo::kReceitaBruta;
        QVERIFY(s.row(name));
        const QString seq = s.text("NRSEQRECDESPIRPJ");
        const QString rates = QStringLiteral("VRALIQPRESIRPJ, VRALIQPRESCSLL");

        QVERIFY(s.write(QStringLiteral("UPDATE ALIQIRPJ SET VRALIQPRESIRPJ = 1234.5, VRALIQPRESCSLL = 13 WHERE NRSEQALIQIRPJ = 2")));
        s.reload();
        QVERIFY(s.row(name));
        QCOMPARE(s.cell("NRSEQALIQIRPJ"), QStringLiteral("2 - IRPJ: 8,00 - CSLL: 12,00")); // the item's own copy
        s.column("IDCONSVRDEB");
        QTest::keyClick(s.grid, 'n');
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.cell("NRSEQALIQIRPJ"), QStringLiteral("2 - IRPJ: 1.234,50 - CSLL: 13,00"));
        QCOMPARE(s.stored(seq, rates), (QStringList{"1234.5", "13"}));

        QVERIFY(s.write(QStringLiteral("UPDATE ALIQIRPJ SET VRALIQPRESIRPJ = 7.25, VRALIQPRESCSLL = 9 WHERE NRSEQALIQIRPJ = 2")));
        s.reload();
        QVERIFY(s.row(name));
        s.type("NMRECDESPIRPJ", QStringLiteral("Receita bruta"));
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        QCOMPARE(s.cell("NRSEQALIQIRPJ"), QStringLiteral("2 - IRPJ: 7,25 - CSLL: 9,00"));
        QCOMPARE(s.stored(seq, rates), (QStringList{"7.25", "9"}));

        // A post refused after the rates were copied keeps them in the row, and sends nothing.
        QVERIFY(s.write(QStringLiteral("UPDATE ALIQIRPJ SET VRALIQPRESIRPJ = 5, VRALIQPRESCSLL = 6 WHERE NRSEQALIQIRPJ = 2")));
        s.reload();
        QVERIFY(s.row(QStringLiteral("Receita bruta")));
        s.type("NMRECDESPIRPJ", QStringLiteral("RECEITA BRUTA"));
        const std::size_t mark = s.fx.logMark();
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors, QStringList{INFLUCRO_JA});
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.cell("NRSEQALIQIRPJ"), QStringLiteral("2 - IRPJ: 5,00 - CSLL: 6,00"));
        QVERIFY(s.fx.callsSince(mark).isEmpty());
        QCOMPARE(s.stored(seq, rates), (QStringList{"7.25", "9"}));
    }

    // ------------------------------------------------------------ numbers that are not numbers

    // A percentage or a rate code that is not a number is refused by the
    // conversion, whether the cell is left first or the toolbar posts at once.
    void typedNumberThatIsNotANumber_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("leaveFirst");
        QTest::addColumn<QString>("kept");
        QTest::newRow("percentage, letters") << "IRPJ" << "VRPORCENTAGEM" << "abc" << true << "100";
        QTest::newRow("percentage, letters, posted at once") << "IRPJ" << "VRPORCENTAGEM" << "abc" << false << "100";
        QTest::newRow("percentage, decimal point") << "IRPJ" << "VRPORCENTAGEM" << "12.5" << true << "100";
        QTest::newRow("percentage, percent sign, CSLL") << "CSLL" << "VRPORCENTAGEM" << "50%" << false << "100";
        QTest::newRow("rate, letters") << "Lucro" << "NRSEQALIQIRPJ" << "abc" << true << "2";
        QTest::newRow("rate, letters, posted at once") << "Lucro" << "NRSEQALIQIRPJ" << "abc" << false << "2";
        QTest::newRow("rate, decimal point") << "Lucro" << "NRSEQALIQIRPJ" << "2.5" << true << "2";
        QTest::newRow("rate, dash without blanks") << "Lucro" << "NRSEQALIQIRPJ" << "5-IRPJ" << false << "2";
    }
    void typedNumberThatIsNotANumber()
    {
        QFETCH(QString, tab);
        QFETCH(QString, column);
        QFETCH(QString, typed);
        QFETCH(bool, leaveFirst);
        QFETCH(QString, kept);
        Screen s;
        QVERIFY(s.open(tab));
        QVERIFY(s.row(s.items() ? demo::kReceitaBruta : demo::kBrindes));
        const QByteArray col = column.toLatin1();
        const QString shown = s.cell(col.constData());
        const std::size_t mark = s.fx.logMark();
        s.type(col.constData(), typed);
        QPointer<QLineEdit> line = lineEditOf(focused());
        QVERIFY(line);
        if (leaveFirst)
            QTest::keyClick(line, Qt::Key_Tab);
        s.confirm();
        QCOMPARE(s.fx.dialogs.errors.size(), 1); // once, however often the text is met
        const QString error = s.fx.dialogs.errors.front();
        QVERIFY2(error.contains(QStringLiteral("'%1'").arg(typed)) && error.contains(QStringLiteral("não é um valor numérico")), qPrintable(error));
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.text(col.constData()), kept);
        QCOMPARE(s.selected(), column);
        QVERIFY(line);
        QCOMPARE(line->text(), typed); // the cell keeps what was typed, to be corrected
        QVERIFY(s.fx.callsSince(mark).isEmpty());

        // Esc throws the text away with the edit: the row shows what it had.
        QTest::keyClick(line, Qt::Key_Escape);
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.cell(col.constData()), shown);
    }

    // Numbers are shown and read with the user's locale, whichever it is.
    void numbersFollowTheUserLocale_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("percentage, pt_BR") << "IRPJ" << "pt_BR" << "1.000,5" << 1000.5 << "1.000,50";
        QTest::newRow("percentage, en_US") << "IRPJ" << "en_US" << "1,000.5" << 1000.5 << "1,000.50";
        QTest::newRow("percentage, en_US, no grouping") << "CSLL" << "en_US" << "12.5" << 12.5 << "12.50";
        QTest::newRow("rate, pt_BR") << "Lucro" << "pt_BR" << "1" << 1.0 << "1 - IRPJ: 1,60 - CSLL: 12,00";
        QTest::newRow("rate, en_US") << "Lucro" << "en_US" << "1" << 1.0 << "1 - IRPJ: 1.60 - CSLL: 12.00";
        QTest::newRow("composed rate text, en_US") << "Lucro" << "en_US" << "5 - IRPJ: 1.60 - CSLL: 12.00" << 5.0 << "5 - IRPJ: 16.00 - CSLL: 12.00";
    }
    void numbersFollowTheUserLocale()
    {
        QFETCH(QString, tab);
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(double, value);
        QFETCH(QString, shown);
        const QLocale before;
        const auto restore = qScopeGuard([before] { QLocale::setDefault(before); });
        QLocale::setDefault(QLocale(locale));
        Screen s;
        QVERIFY(s.open(tab));
        QVERIFY(s.row(s.items() ? demo::kReceitaBruta : demo::kBrindes));
        const char* column = s.items() ? "NRSEQALIQIRPJ" : "VRPORCENTAGEM";
        s.type(column, typed);
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier); // left within the row: nothing is posted
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        QCOMPARE(s.state(), State::Edit);
        QCOMPARE(s.field(column).asFloat(), value);
        s.column(column);
        QCOMPARE(s.cell(column), shown);
    }

    // The rate table changed on the server after the tab was loaded: the
    // item carries the old rates, the server refuses it and says to reload,
    // and after F5 the same item is saved with the new rates.
    void aStaleRateTableIsRefusedUntilReloaded()
    {
        Screen s;
        QVERIFY(s.open(QStringLiteral("Lucro")));
        QVERIFY(s.write(QStringLiteral("UPDATE ALIQIRPJ SET VRALIQPRESIRPJ = 9.5 WHERE NRSEQALIQIRPJ = 2")));
        const int rows = s.ds->recordCount();
        const auto enterItem = [&s] {
            s.f->button(B::Incluir)->click();
            s.type("NMRECDESPIRPJ", QStringLiteral("Vendas a prazo"));
            s.type("NRSEQALIQIRPJ", QStringLiteral("2"));
            s.confirm();
        };
        enterItem();
        QCOMPARE(s.fx.dialogs.errors.size(), 1);
        QVERIFY2(s.fx.dialogs.errors[0].contains(QStringLiteral("Recarregue os dados (Verificar, F5)")), qPrintable(s.fx.dialogs.errors[0]));
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.ds->recordCount(), rows); // the refused row is undone

        QTest::keyClick(s.grid, Qt::Key_F5);
        QCOMPARE(s.fx.dialogs.errors.size(), 1);
        enterItem();
        QCOMPARE(s.fx.dialogs.errors.size(), 1);
        QCOMPARE(s.state(), State::Browse);
        QCOMPARE(s.ds->recordCount(), rows + 1);
        QCOMPARE(s.stored(s.text("NRSEQRECDESPIRPJ"), QStringLiteral("NRSEQALIQIRPJ, VRALIQPRESIRPJ, VRALIQPRESCSLL")),
                 (QStringList{"2", "9.5", "12"}));
    }

    // The toolbar's keys act from an open cell editor as its buttons do:
    // Ctrl+Z asks and cancels the row (it does not undo the typing), Ctrl+S posts it.
    void toolbarKeysActFromAnOpenCellEditor_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<State>("after");
        QTest::newRow("text cell, Ctrl+Z, yes") << "IRPJ" << "NMPARAMAPU" << "Outro" << "Ctrl+Z" << true << State::Browse;
        QTest::newRow("text cell, Ctrl+Z, no") << "CSLL" << "NMPARAMAPU" << "Outro" << "Ctrl+Z" << false << State::Edit;
        QTest::newRow("pick list, Ctrl+Z, yes") << "IRPJ" << "IDPARAMAPU" << "E" << "Ctrl+Z" << true << State::Browse;
        QTest::newRow("ellipsis cell, Ctrl+Z, yes") << "Lucro" << "NRSEQALIQIRPJ" << "5" << "Ctrl+Z" << true << State::Browse;
        QTest::newRow("text cell, Ctrl+S") << "IRPJ" << "NMPARAMAPU" << "Outro" << "Ctrl+S" << false << State::Browse;
        QTest::newRow("ellipsis cell, Ctrl+S") << "Lucro" << "NRSEQALIQIRPJ" << "5" << "Ctrl+S" << false << State::Browse;
    }
    void toolbarKeysActFromAnOpenCellEditor()
    {
        QFETCH(QString, tab);
        QFETCH(QString, column);
        QFETCH(QString, typed);
        QFETCH(QString, key);
        QFETCH(bool, yes);
        QFETCH(State, after);
        Screen s;
        QVERIFY(s.open(tab));
        QVERIFY(s.row(s.items() ? demo::kReceitaBruta : demo::kBrindes));
        const QByteArray col = column.toLatin1();
        const QString before = s.text(col.constData());
        const QString seq = s.text(s.seqField());
        s.type(col.constData(), typed);
        QWidget* editor = focused();
        QVERIFY(editor && editor != s.grid && s.grid->isAncestorOf(editor));
        QCOMPARE(s.state(), State::Edit);
        s.fx.dialogs.answers.push_back(yes);
        QTest::keyClick(editor, Qt::Key(QKeySequence(key)[0].key()), Qt::ControlModifier);
        QCOMPARE(s.state(), after);
        QCOMPARE(s.fx.dialogs.errors, QStringList());
        if (key == u"Ctrl+Z") {
            QCOMPARE(s.fx.dialogs.questions, QStringList{QStringLiteral("Confirma o cancelamento das alterações?")});
            if (yes)
                QCOMPARE(s.text(col.constData()), before);
            else
                QVERIFY(lineEditOf(focused()) && lineEditOf(focused())->text().startsWith(typed)); // the editor keeps its text
        } else {
            QVERIFY(s.fx.dialogs.questions.isEmpty());
            QVERIFY(s.text(col.constData()) != before);
            QCOMPARE(s.stored(seq, QString::fromLatin1(col)), QStringList{s.text(col.constData())});
        }
    }

    // A row posted now is a saved row for the next duplicate search.
    void rowPostedNowIsADuplicateAtOnce_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::newRow("additions") << "IRPJ";
        QTest::newRow("additions, CSLL") << "CSLL";
        QTest::newRow("items") << "Lucro";
    }
    void rowPostedNowIsADuplicateAtOnce()
    {
        QFETCH(QString, tab);
        Screen s;
        QVERIFY(s.open(tab));
        for (const QString& name : {QStringLiteral("Bonificações"), QStringLiteral("BONIFICAÇÕES")}) {
            s.f->button(B::Incluir)->click();
            s.type(s.nameField(), name);
            if (s.items())
                s.type("NRSEQALIQIRPJ", QStringLiteral("3"));
            else
                QVERIFY(s.choose("IDPARAMAPU", QStringLiteral("Exclusão")));
            s.confirm();
        }
        QCOMPARE(s.fx.dialogs.errors, QStringList{s.items() ? INFLUCRO_JA : ADIC_JA});
        QCOMPARE(s.state(), State::Insert);
        QCOMPARE(s.selected(), QString::fromLatin1(s.nameField()));
        QCOMPARE(s.fx.rows(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = 'Bonificações'").arg(s.table(), QString::fromLatin1(s.nameField()))),
                 (QList<QStringList>{{"1"}}));
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestEditors t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_editors.moc"
