// SPDX-License-Identifier: MIT
// The screen shell through the real widgets and the real server: set-up,
// the company bar, loading, toolbar enabling, page lock and footer.
#include "screenfixture.h"

#include "host/busy.h"
#include "host/dbcontrols.h"
#include "host/grid/datasetmodel.h"
#include "host/grid/dbgrid.h"
#include "host/grid/griddelegates.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/search.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>
#include <QTabBar>
#include <QToolButton>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
namespace demo = erp::testing::demo;
using erp::testing::chooseCompany;
using erp::testing::clickTab;
using B = erp::host::TfrmPadraoSimples;

namespace {

QStringList enabledButtons(TfrmParamIRPJ* f)
{
    static const std::pair<host::TfrmPadraoSimples::Button, const char*> seven[] = {
        {host::TfrmPadraoSimples::Incluir, "incluir"},     {host::TfrmPadraoSimples::Alterar, "alterar"},
        {host::TfrmPadraoSimples::Excluir, "excluir"},     {host::TfrmPadraoSimples::Procurar, "procurar"},
        {host::TfrmPadraoSimples::Verificar, "verificar"}, {host::TfrmPadraoSimples::Confirmar, "confirmar"},
        {host::TfrmPadraoSimples::Cancelar, "cancelar"}};
    QStringList out;
    for (const auto& [b, name] : seven) {
        // The menu entry and the button share the action; both must agree.
        if (f->button(b)->isEnabled() != f->action(b)->isEnabled())
            out << QStringLiteral("mismatch");
        if (f->button(b)->isEnabled())
            out << QString::fromLatin1(name);
    }
    return out;
}

} // namespace

class TestScreen : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensWithTheHostCompanyAndTheReferenceTables()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("Parametrização da Apuração do IRPJ e CSLL"));
        QCOMPARE(f->medCdEmpresa->storedText(), QStringLiteral("01"));
        QCOMPARE(f->medNmEmpresa->text(), QStringLiteral("Comercial Serra Azul de Alimentos Ltda"));
        QVERIFY(f->data().cdsItensDRE.recordCount() >= 10);
        QVERIFY(f->data().cdsAliquotas.recordCount() >= 4);
        QVERIFY(!host::BusyAnimation::visibleOver(host::HostApplication::mainWindow()));
        QVERIFY(fx.dialogs.errors.isEmpty());
        // The focus entered the company bar: IRPJ in front, its additions grid empty while choosing.
        QVERIFY(f->medCdEmpresa->hasFocus());
        QCOMPARE(f->pgcGeral->activePage(), f->tshIRPJ);
        QCOMPARE(f->pgcIRPJ->activePage(), f->tshAdicIRPJ);
        QVERIFY(f->data().cdsAdicIRPJ.isEmpty());
        QCOMPARE(f->dbgAdicIRPJ->model()->columnCount(), 3);
        QVERIFY(enabledButtons(f).isEmpty());
        QVERIFY(f->data().cdsInfEspelho.active());
    }

    void missingHostCompanyStillOpensTheScreen()
    {
        ScreenFixture fx;
        fx.host.settings().company = QStringLiteral("99");
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QVERIFY(boIdCriado);
        QCOMPARE(fx.dialogs.errors, QStringList{QStringLiteral("Não existe empresa cadastrada no sistema!")});
        QVERIFY(f->medCdEmpresa->storedText().isEmpty());
        QVERIFY(f->medNmEmpresa->text().isEmpty());
        QVERIFY(!f->data().cdsItensDRE.active());
        QVERIFY(!f->data().cdsAliquotas.active());
        QVERIFY(!host::BusyAnimation::visibleOver(host::HostApplication::mainWindow()));
    }

    void unreachableServerEndsSetUpWithAClearError()
    {
        ScreenFixture fx(false);
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY2(fx.dialogs.errors[0].contains(QStringLiteral("servidor")), qPrintable(fx.dialogs.errors[0]));
        QVERIFY(!f->data().cdsItensDRE.active());
        QVERIFY(!host::BusyAnimation::visibleOver(host::HostApplication::mainWindow()));
        QVERIFY(f->isVisible());
    }

    void typingOneAndLeavingLoadsCompanyZeroOne()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, QStringLiteral("1"));
        QCOMPARE(f->medCdEmpresa->storedText(), QStringLiteral("01"));
        QCOMPARE(f->medNmEmpresa->text(), QStringLiteral("Comercial Serra Azul de Alimentos Ltda"));
        QVERIFY(!f->panEmpresa->isAncestorOf(QApplication::focusWidget()));
        const DataSet& adic = f->data().cdsAdicIRPJ;
        QVERIFY(adic.recordCount() > 0);
        QCOMPARE(f->data().cdsAdicEspelho.recordCount(), adic.recordCount());
        QCOMPARE(f->dbgAdicIRPJ->model()->rowCount(), adic.recordCount());
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void badCodesKeepTheFocusInTheCodeBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kept");
        QTest::newRow("unregistered") << "77" << "Empresa não cadastrada." << "77";
        QTest::newRow("empty") << "" << "Empresa deve ser informada." << "";
    }
    void badCodesKeepTheFocusInTheCodeBox()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, kept);
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, typed);
        QCOMPARE(fx.dialogs.errors, QStringList{message});
        QVERIFY(f->medCdEmpresa->hasFocus());
        QCOMPARE(f->medCdEmpresa->storedText(), kept);
        QVERIFY(f->medNmEmpresa->text().isEmpty());
        QVERIFY(!f->data().cdsAdicIRPJ.active());
    }

    void searchChoosesACompanyWithItsName()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        fx.dialogs.choices.push_back(QStringLiteral("03"));
        f->btpEmpresa->click();
        QCOMPARE(fx.dialogs.lists.size(), 1);
        QStringList codes;
        for (const QStringList& row : fx.dialogs.lists[0].rows)
            codes << row.value(0);
        QCOMPARE(codes, (QStringList{"01", "02", "03", "04"}));
        QCOMPARE(f->medCdEmpresa->storedText(), QStringLiteral("03"));
        QCOMPARE(f->medNmEmpresa->text(), QStringLiteral("Horizonte Serviços de Engenharia Ltda"));
    }

    void outerTabsReloadTheirRowsAndMirrors()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, QStringLiteral("01"));
        auto& data = f->data();
        data.cdsAliquotas.close();

        clickTab(f->pgcGeral, f->tshCSLL);
        QCOMPARE(f->pgcGeral->activePage(), f->tshCSLL);
        QVERIFY(data.cdsAdicCSLL.recordCount() > 0);
        QCOMPARE(data.cdsAdicEspelho.recordCount(), data.cdsAdicCSLL.recordCount());
        for (data.cdsAdicEspelho.first(); !data.cdsAdicEspelho.eof(); data.cdsAdicEspelho.next())
            QCOMPARE(data.cdsAdicEspelho.fieldByName(QStringLiteral("IDIMPOSTO")).asString(), QStringLiteral("C"));
        QVERIFY(f->dbgAdicCSLL->hasFocus());
        QVERIFY(!data.cdsAliquotas.active()); // the rates are only reloaded on the net-profit tab

        clickTab(f->pgcGeral, f->tshLucro);
        QCOMPARE(f->pgcLucro->activePage(), f->tshRecDesp);
        QVERIFY(data.cdsRecDesp.recordCount() > 0);
        QCOMPARE(data.cdsRecDespEspelho.recordCount(), data.cdsRecDesp.recordCount());
        QVERIFY(data.cdsAliquotas.recordCount() >= 4);
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void toolbarAndPageLockFollowTheState()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QVERIFY(enabledButtons(f).isEmpty()); // inactive while the company is chosen
        chooseCompany(f, QStringLiteral("01"));
        DataSet& adic = f->data().cdsAdicIRPJ;
        QCOMPARE(enabledButtons(f), (QStringList{"incluir", "alterar", "excluir", "procurar", "verificar"}));
        QVERIFY(f->pgcIRPJ->pageEnabled(f->tshInfCtbIRPJ));

        adic.edit();
        QCOMPARE(enabledButtons(f), (QStringList{"confirmar", "cancelar"}));
        QVERIFY(!f->pgcGeral->pageEnabled(f->tshCSLL));
        QVERIFY(!f->pgcGeral->pageEnabled(f->tshLucro));
        QVERIFY(!f->pgcIRPJ->pageEnabled(f->tshInfCtbIRPJ));
        adic.cancel();
        QCOMPARE(enabledButtons(f), (QStringList{"incluir", "alterar", "excluir", "procurar", "verificar"}));
        QVERIFY(f->pgcGeral->pageEnabled(f->tshCSLL));
        QVERIFY(f->pgcIRPJ->pageEnabled(f->tshInfCtbIRPJ));

        // A company without parameters: insert and verify only, no detail page.
        chooseCompany(f, QStringLiteral("04"));
        QVERIFY(adic.active() && adic.isEmpty());
        QCOMPARE(enabledButtons(f), (QStringList{"incluir", "verificar"}));
        QVERIFY(!f->pgcIRPJ->pageEnabled(f->tshInfCtbIRPJ));
    }

    // Every grid's columns as laid out: field, title, width (-1 for the
    // default one), the choices of its pick list, the ellipsis button, and the
    // cells' font height (0 for the screen's font). A title cut by its width
    // keeps its start and shows whole as a tooltip.
    void gridColumnsAsLaidOut_data()
    {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<bool>("ellipsis");
        QTest::addColumn<int>("font");
        const QStringList tipos{"Adição", "Exclusão", "Compensação"};
        const QStringList origens{"Conta Contábil", "Item do DRE"};
        const QStringList simNao{"Sim", "Não"};
        for (const char* g : {"dbgAdicIRPJ", "dbgAdicCSLL"}) {
            const int font = QByteArray(g) == "dbgAdicIRPJ" ? 9 : 0;
            QTest::addRow("%s name", g) << g << 0 << "NMPARAMAPU" << "Nome" << 200 << QStringList() << false << font;
            QTest::addRow("%s type", g) << g << 1 << "IDPARAMAPU" << "Tipo" << 102 << tipos << false << font;
            QTest::addRow("%s percentage", g) << g << 2 << "VRPORCENTAGEM" << "% do valor" << -1 << QStringList() << false << font;
        }
        for (const char* g : {"dbgInfCtbIRPJ", "dbgInfCtbCSLL", "dbgInfCtbLucro"}) {
            const int font = QByteArray(g) == "dbgInfCtbIRPJ" ? 11 : 0;
            QTest::addRow("%s origin", g) << g << 0 << "IDINFCTBIRPJ" << "Origem do Valor" << 121 << origens << false << font;
            QTest::addRow("%s key", g) << g << 1 << "CHAVE" << "Código" << -1 << QStringList() << true << font;
        }
        QTest::newRow("dbgInfCtbLucro apuração") << "dbgInfCtbLucro" << 2 << "IDFORMAPURITEM" << "Apuração" << 83
                                                 << QStringList{"Competência", "Pagamento"} << false << 0;
        QTest::newRow("dbgRecDesp name") << "dbgRecDesp" << 0 << "NMRECDESPIRPJ" << "Nome" << 241 << QStringList() << false << 0;
        QTest::newRow("dbgRecDesp revenue/expense") << "dbgRecDesp" << 1 << "IDRECDESPIRPJ" << "Receita/Despesa" << 89
                                                    << QStringList{"Receita", "Despesa"} << false << 0;
        QTest::newRow("dbgRecDesp operational") << "dbgRecDesp" << 2 << "IDRECDESPIRPJOP" << "Operacional" << -1 << simNao << false << 0;
        QTest::newRow("dbgRecDesp rate") << "dbgRecDesp" << 3 << "NRSEQALIQIRPJ" << "Alíq. de Presunção" << 148 << QStringList() << true << 0;
        QTest::newRow("dbgRecDesp debit") << "dbgRecDesp" << 4 << "IDCONSVRDEB" << "Considera Vr.Débito" << 107 << simNao << false << 0;
    }
    void gridColumnsAsLaidOut()
    {
        QFETCH(QString, grid);
        QFETCH(int, column);
        QFETCH(QString, field);
        QFETCH(QString, title);
        QFETCH(int, width);
        QFETCH(QStringList, choices);
        QFETCH(bool, ellipsis);
        QFETCH(int, font);
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus(); // loads the IRPJ rows
        // Shows the grid's page as the user does, its rows loaded.
        const bool lucro = grid.endsWith(u"Lucro") || grid == u"dbgRecDesp";
        const bool csll = grid.endsWith(u"CSLL");
        if (lucro)
            clickTab(f->pgcGeral, f->tshLucro);
        else if (csll)
            clickTab(f->pgcGeral, f->tshCSLL);
        if (grid.startsWith(u"dbgInfCtb"))
            clickTab(lucro ? f->pgcLucro : csll ? f->pgcCSLL : f->pgcIRPJ, lucro ? f->tshInfCtbLucro : csll ? f->tshInfCtbCSLL : f->tshInfCtbIRPJ);
        auto* g = f->findChild<host::TDBGrid*>(grid);
        QVERIFY(g && g->isVisible() && g->model()->rowCount() > 0);

        QCOMPARE(g->dataSetModel()->field(column)->fieldName(), field);
        QHeaderView* header = g->horizontalHeader();
        QCOMPARE(g->model()->headerData(column, Qt::Horizontal).toString(), title);
        if (width > 0)
            QCOMPARE(header->sectionSize(column), width);
        QCOMPARE(g->font().pixelSize(), font > 0 ? font : f->font().pixelSize());
        QVERIFY(header->defaultAlignment() & Qt::AlignLeft); // a cut title keeps its start

        // A cut title shows whole as a tooltip; one that fits shows none.
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QHelpEvent help(QEvent::ToolTip, at, header->viewport()->mapToGlobal(at));
        QApplication::sendEvent(header->viewport(), &help);
        const bool cut = header->fontMetrics().horizontalAdvance(title)
                         > header->sectionSize(column) - 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        if (cut) {
            QTRY_VERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(), title);
        } else {
            QTest::qWait(50);
            QVERIFY(!QToolTip::isVisible());
        }

        // The cell editor: a pick list with the choices, or an ellipsis button.
        g->setFocus();
        g->setSelectedIndex(column);
        QTest::keyClick(g, Qt::Key_F2);
        QWidget* editor = g->indexWidget(g->currentIndex());
        QVERIFY(editor);
        QStringList offered;
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            for (int i = 0; i < combo->count(); ++i)
                offered << combo->itemText(i);
        QCOMPARE(offered, choices);
        QCOMPARE(qobject_cast<host::EllipsisEditor*>(editor) != nullptr, ellipsis);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }

    // A cell cut by its column shows its whole text as a tooltip.
    void cutCellShowsItsWholeText()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus();
        host::TDBGrid* g = f->dbgAdicIRPJ;
        const auto pointAt = [g](const QString& name) {
            for (int r = 0; r < g->model()->rowCount(); ++r) {
                const QModelIndex i = g->model()->index(r, 0);
                if (i.data().toString() == name) {
                    const QPoint at = g->visualRect(i).center();
                    QHelpEvent help(QEvent::ToolTip, at, g->viewport()->mapToGlobal(at));
                    QApplication::sendEvent(g->viewport(), &help);
                    return true;
                }
            }
            return false;
        };
        const QString longName = QStringLiteral("Resultado positivo de equivalência patrimonial");
        QVERIFY(g->fontMetrics().horizontalAdvance(longName) > g->columnWidth(0));
        QVERIFY(pointAt(longName));
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), longName);
        QVERIFY(pointAt(demo::kBrindes));
        QTRY_VERIFY(!QToolTip::isVisible());
    }

    // The page lock of every edited dataset: while a row is edited, the
    // other outer tabs and the sibling page are closed; afterwards open again.
    void pageLockWhileEditing_data()
    {
        QTest::addColumn<QString>("outer");
        QTest::addColumn<bool>("detail"); // the row edited is accounting information
        QTest::newRow("CSLL additions") << "tshCSLL" << false;
        QTest::newRow("net-profit items") << "tshLucro" << false;
        QTest::newRow("accounting information, IRPJ") << "tshIRPJ" << true;
        QTest::newRow("accounting information, CSLL") << "tshCSLL" << true;
        QTest::newRow("accounting information, net profit") << "tshLucro" << true;
    }
    void pageLockWhileEditing()
    {
        QFETCH(QString, outer);
        QFETCH(bool, detail);
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, QStringLiteral("01"));
        auto& d = f->data();
        QWidget* front = f->findChild<QWidget*>(outer);
        host::TPageControl* inner = front == f->tshIRPJ ? f->pgcIRPJ : front == f->tshCSLL ? f->pgcCSLL : f->pgcLucro;
        QWidget* first = inner->widget(0);
        QWidget* second = inner->widget(1);
        if (front != f->tshIRPJ)
            clickTab(f->pgcGeral, front);
        if (detail)
            clickTab(inner, second);
        DataSet& ds = detail ? d.cdsInfCtb : front == f->tshCSLL ? d.cdsAdicCSLL : d.cdsRecDesp;
        QVERIFY(ds.recordCount() > 0);
        const QList<QWidget*> others = [&] {
            QList<QWidget*> out;
            for (QWidget* p : {f->tshIRPJ, f->tshCSLL, f->tshLucro})
                if (p != front)
                    out << p;
            return out;
        }();
        QWidget* sibling = detail ? first : second;

        f->button(B::Alterar)->click();
        QCOMPARE(ds.state(), DataSet::State::Edit);
        for (QWidget* p : others)
            QVERIFY2(!f->pgcGeral->pageEnabled(p), qPrintable(p->objectName()));
        QVERIFY(!inner->pageEnabled(sibling));
        QCOMPARE(enabledButtons(f), (QStringList{"confirmar", "cancelar"}));

        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        for (QWidget* p : others)
            QVERIFY2(f->pgcGeral->pageEnabled(p), qPrintable(p->objectName()));
        QVERIFY(inner->pageEnabled(sibling));
        QCOMPARE(enabledButtons(f), detail ? (QStringList{"incluir", "alterar", "excluir", "verificar"})
                                           : (QStringList{"incluir", "alterar", "excluir", "procurar", "verificar"}));
    }

    // Leaving the IRPJ or CSLL pages throws a pending edit away, without a
    // word and without a save; the other pages then open again.
    void leavingTheInnerPagesDiscardsTheEdit_data()
    {
        QTest::addColumn<QString>("outer");
        QTest::newRow("IRPJ") << "tshIRPJ";
        QTest::newRow("CSLL") << "tshCSLL";
    }
    void leavingTheInnerPagesDiscardsTheEdit()
    {
        QFETCH(QString, outer);
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, QStringLiteral("01"));
        const bool csll = outer == u"tshCSLL";
        if (csll)
            clickTab(f->pgcGeral, f->tshCSLL);
        host::TDBGrid* g = csll ? f->dbgAdicCSLL : f->dbgAdicIRPJ;
        DataSet& ds = csll ? f->data().cdsAdicCSLL : f->data().cdsAdicIRPJ;
        const QString name = ds.fieldByName(QStringLiteral("NMPARAMAPU")).asString();
        g->setFocus();
        g->setSelectedIndex(0);
        QTest::keyClicks(g, QStringLiteral("Mudado"));
        QCOMPARE(ds.state(), DataSet::State::Edit);
        const std::size_t mark = fx.logMark();

        // The outer tabs are outside the inner page control: the focus goes there.
        QTabBar* tabs = f->pgcGeral->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(f->pgcGeral->currentIndex()).center());
        QCOMPARE(QApplication::focusWidget(), tabs);
        QCOMPARE(ds.state(), DataSet::State::Browse);
        QCOMPARE(ds.fieldByName(QStringLiteral("NMPARAMAPU")).asString(), name);
        QCOMPARE(fx.dialogs.errors, QStringList());
        QVERIFY(fx.dialogs.questions.isEmpty());
        QVERIFY(fx.callsSince(mark).isEmpty());
        QVERIFY(f->pgcGeral->pageEnabled(f->tshLucro));
        QCOMPARE(enabledButtons(f), (QStringList{"incluir", "alterar", "excluir", "procurar", "verificar"}));
    }

    // Search opens the find dialog over a parent page's rows and makes the
    // row found current; on an accounting page it is off and opens nothing.
    void searchOnParentPagesOnly_data()
    {
        QTest::addColumn<QString>("outer");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found");
        QTest::newRow("IRPJ") << "tshIRPJ" << "prov" << "Provisões não dedutíveis";
        QTest::newRow("CSLL") << "tshCSLL" << "COMP" << "Compensação de base de cálculo negativa";
        QTest::newRow("net-profit items") << "tshLucro" << "devol" << "Devoluções de vendas";
    }
    void searchOnParentPagesOnly()
    {
        QFETCH(QString, outer);
        QFETCH(QString, typed);
        QFETCH(QString, found);
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, QStringLiteral("01"));
        QWidget* front = f->findChild<QWidget*>(outer);
        if (front != f->tshIRPJ)
            clickTab(f->pgcGeral, front);
        const bool items = front == f->tshLucro;
        DataSet& ds = items ? f->data().cdsRecDesp : front == f->tshCSLL ? f->data().cdsAdicCSLL : f->data().cdsAdicIRPJ;
        ds.first();
        fx.dialogs.finds.push_back(host::FindRequest{0, typed});
        f->button(B::Procurar)->click();
        QVERIFY(fx.dialogs.finds.empty());
        QCOMPARE(ds.fieldByName(items ? QStringLiteral("NMRECDESPIRPJ") : QStringLiteral("NMPARAMAPU")).asString(), found);

        host::TPageControl* inner = items ? f->pgcLucro : front == f->tshCSLL ? f->pgcCSLL : f->pgcIRPJ;
        clickTab(inner, inner->widget(1));
        QVERIFY(f->data().cdsInfCtb.recordCount() > 0);
        QVERIFY(!f->action(B::Procurar)->isEnabled());
        fx.dialogs.finds.push_back(host::FindRequest{0, QStringLiteral("4")});
        f->sbtProcurarClick(f->button(B::Procurar)); // even called, it opens nothing here
        QCOMPARE(fx.dialogs.finds.size(), std::size_t(1));
        QVERIFY(fx.dialogs.informations.isEmpty());
    }

    // Closing the screen closes its connection; the next one connects again
    // and reloads both reference tables.
    void closingAndReopeningConnectsAgain()
    {
        ScreenFixture fx;
        QPointer<TfrmParamIRPJ> f = fx.open();
        QVERIFY(f);
        QVERIFY(f->netParamIRPJ().connected());
        f->close();
        QVERIFY(!boIdCriado);
        QVERIFY(f); // freed once the events are processed
        QVERIFY(!f->netParamIRPJ().connected());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!f);

        const std::size_t mark = fx.logMark();
        IniProc();
        QCoreApplication::processEvents();
        TfrmParamIRPJ* again = frmParamIRPJ;
        QVERIFY(boIdCriado && again);
        QVERIFY(again->netParamIRPJ().connected());
        QCOMPARE(fx.callsSince(mark), (QStringList{QStringLiteral("getItensDRE"), QStringLiteral("getAliquotas")}));
        QVERIFY(again->data().cdsItensDRE.recordCount() >= 10);
        QVERIFY(again->data().cdsAliquotas.recordCount() >= 4);
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void footerFollowsTheParentWhileTheDetailPageIsShown()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        chooseCompany(f, QStringLiteral("01"));
        DataSet& adic = f->data().cdsAdicIRPJ;
        QVERIFY(adic.recordCount() >= 2);
        f->pgcIRPJ->setActivePage(f->tshInfCtbIRPJ);
        f->ControlaBotoes(f->data().dtsInfCtb);
        QCOMPARE(f->dbtRodape->dataSource(), &f->data().dtsAdicIRPJ);
        adic.first();
        QCOMPARE(f->dbtRodape->text(), adic.fieldByName(QStringLiteral("NMPARAMAPU")).asString());
        f->dbnRodape->button(host::TDBNavigator::Next)->click();
        QCOMPARE(adic.recNo(), 1);
        QCOMPARE(f->dbtRodape->text(), adic.fieldByName(QStringLiteral("NMPARAMAPU")).asString());
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestScreen t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_screen.moc"
