// SPDX-License-Identifier: MIT
// "Verificar parâmetros": the checks of the company's parameters against the
// law, listed in a dialog from which a double-click goes to the row.
#include "screenfixture.h"

#include "host/grid/dbgrid.h"
#include "host/tabledialog.h"

#include <QAction>
#include <QPushButton>
#include <QTableView>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::chooseCompany;
using erp::testing::clickTab;
using erp::testing::ScreenFixture;
using erp::testing::shown;
using erp::testing::typeInto;

namespace {

const QString kCompensacaoCSLL = QStringLiteral("Compensação de base de cálculo negativa");

host::TTableDialog* openChecks(TfrmParamIRPJ* f)
{
    f->mnuVerificarParam->trigger();
    host::TTableDialog* dialog = nullptr;
    const bool shownUp =
        QTest::qWaitFor([&] { return (dialog = f->findChild<host::TTableDialog*>(QStringLiteral("dlgVerificacao"))) && dialog->isVisible(); });
    return shownUp ? dialog : nullptr;
}

// The line of the dialog about the row, from the check whose reference it cites.
int lineOf(const QTableView* view, const QString& row, const QString& reference)
{
    const QList<QStringList> rows = shown(view);
    for (int r = 0; r < rows.size(); ++r)
        if (rows[r][2] == row && rows[r][4].contains(reference))
            return r;
    return -1;
}

// A window manager hands the activation back when a dialog closes; the offscreen platform does not.
bool reactivate(TfrmParamIRPJ* f)
{
    f->window()->activateWindow();
    return QTest::qWaitForWindowActive(f->window());
}

void doubleClick(QTableView* view, int row)
{
    // A click, then the second press: QTest's double-click sends only that.
    const QRect cell = view->visualRect(view->model()->index(row, 3));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
}

} // namespace

class TestLawChecks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A compensation above the legal cap, typed by the accountant, is listed
    // with its law; a double-click brings its row forward wherever the
    // screen was, and closes the list.
    void listsTheFindingsAndGoesToTheRow()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        clickTab(f->pgcGeral, f->tshCSLL);
        DataSet& csll = f->data().cdsAdicCSLL;
        QVERIFY(csll.locate(QStringLiteral("NMPARAMAPU"), {kCompensacaoCSLL}));
        const double number = erp::testing::field(csll, "NRSEQPARAMAPU").asFloat();
        typeInto(f, f->dbgAdicCSLL, {{"VRPORCENTAGEM", QStringLiteral("40")}});
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(erp::testing::field(csll, "VRPORCENTAGEM").asFloat(), 40.0);
        clickTab(f->pgcGeral, f->tshIRPJ);

        host::TTableDialog* dialog = openChecks(f);
        QVERIFY(dialog);
        QVERIFY(dialog->isModal());
        QTableView* view = dialog->view();
        QStringList titles;
        for (int c = 0; c < view->model()->columnCount(); ++c)
            titles << view->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"Gravidade", "Imposto", "Registro", "Mensagem", "Referência legal"}));
        const QList<QStringList> rows = shown(view);
        for (const QStringList& r : rows) {
            QVERIFY2(QStringList({"Erro", "Aviso"}).contains(r[0]), qPrintable(r.join(u'|')));
            QVERIFY2(QStringList({"IRPJ", "CSLL", "—"}).contains(r[1]), qPrintable(r.join(u'|')));
            QVERIFY2(!r[2].startsWith(QStringLiteral("nº")) && !r[3].isEmpty(), qPrintable(r.join(u'|'))); // every row named
        }
        const int line = lineOf(view, kCompensacaoCSLL, QStringLiteral("8.981"));
        QVERIFY2(line >= 0, qPrintable(QStringLiteral("%1 linhas").arg(rows.size())));
        QCOMPARE(rows[line].mid(0, 2), (QStringList{"Aviso", "CSLL"}));
        QVERIFY(rows[line][4].contains(QStringLiteral("9.065")));
        // Errors come first.
        QStringList severities;
        for (const QStringList& r : rows)
            severities << r[0];
        QVERIFY(!severities.mid(severities.indexOf(QStringLiteral("Aviso"))).contains(QStringLiteral("Erro")));

        // From the IRPJ tab to the CSLL row.
        QPointer<host::TTableDialog> alive(dialog);
        doubleClick(view, line);
        QTRY_VERIFY(!alive);
        QCOMPARE(f->pgcGeral->activePage(), f->tshCSLL);
        QCOMPARE(f->pgcCSLL->activePage(), f->tshAdicCSLL);
        QCOMPARE(erp::testing::field(csll, "NRSEQPARAMAPU").asFloat(), number);
        QCOMPARE(f->dbgAdicCSLL->currentIndex().row(), csll.recNo());
        // The grid has the window's focus (offscreen, the window is not made active again).
        QCOMPARE(f->window()->focusWidget(), f->dbgAdicCSLL);

        // From its own accounting information, another row current.
        QVERIFY(reactivate(f));
        QVERIFY(f->dbgAdicCSLL->hasFocus());
        csll.first();
        clickTab(f->pgcCSLL, f->tshInfCtbCSLL);
        QCOMPARE(f->pgcCSLL->activePage(), f->tshInfCtbCSLL);
        QVERIFY(erp::testing::field(csll, "NRSEQPARAMAPU").asFloat() != number);
        dialog = openChecks(f);
        QVERIFY(dialog);
        alive = dialog;
        doubleClick(dialog->view(), lineOf(dialog->view(), kCompensacaoCSLL, QStringLiteral("8.981")));
        QTRY_VERIFY(!alive);
        QCOMPARE(f->pgcGeral->activePage(), f->tshCSLL);
        QCOMPARE(f->pgcCSLL->activePage(), f->tshAdicCSLL);
        QCOMPARE(erp::testing::field(csll, "NRSEQPARAMAPU").asFloat(), number);
        QCOMPARE(fx.dialogs.errors, QStringList());

        // Closed without a choice, the screen stays as it was.
        QVERIFY(reactivate(f));
        clickTab(f->pgcGeral, f->tshLucro);
        QCOMPARE(f->pgcGeral->activePage(), f->tshLucro);
        dialog = openChecks(f);
        QVERIFY(dialog);
        alive = dialog;
        dialog->findChild<QPushButton*>(QStringLiteral("btnFechar"))->click();
        QTRY_VERIFY(!alive);
        QCOMPARE(f->pgcGeral->activePage(), f->tshLucro);
    }

    void aCompanyWithNothingToFindSaysSo()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, QStringLiteral("02"));
        QVERIFY(f->mnuVerificarParam->isEnabled());
        f->mnuVerificarParam->trigger();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(fx.dialogs.informations, QStringList{QStringLiteral("Nenhuma inconsistência encontrada.")});
        QVERIFY(!f->findChild<host::TTableDialog*>());
    }

    // A refusal is shown as any other: a message, and no dialog.
    void refusalShowsAMessage()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus();
        fx.server.reset();
        f->mnuVerificarParam->trigger();
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(!f->findChild<host::TTableDialog*>());
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestLawChecks t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_lawchecks.moc"
