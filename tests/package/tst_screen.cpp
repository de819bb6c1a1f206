// SPDX-License-Identifier: MIT
// The screen shell through the real widgets and the real server: set-up,
// the company bar, loading, toolbar enabling, page lock and footer.
#include "screenfixture.h"

#include "host/busy.h"
#include "host/dbcontrols.h"
#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/search.h"

#include <QAction>
#include <QTabBar>
#include <QToolButton>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
using erp::testing::clickTab;

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


// Types a company code and leaves the company bar with Tab.
void chooseCompany(TfrmParamIRPJ* f, const QString& code)
{
    f->medCdEmpresa->setFocus();
    f->medCdEmpresa->selectAll();
    QTest::keyClick(f->medCdEmpresa, Qt::Key_Delete);
    QTest::keyClicks(f->medCdEmpresa, code);
    QTest::keyClick(f->medCdEmpresa, Qt::Key_Tab);
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
        QVERIFY(!host::busyAnimationVisible());
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
        host::hostSettings().company = QStringLiteral("99");
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QVERIFY(boIdCriado);
        QCOMPARE(fx.dialogs.errors, QStringList{QStringLiteral("Não existe empresa cadastrada no sistema!")});
        QVERIFY(f->medCdEmpresa->storedText().isEmpty());
        QVERIFY(f->medNmEmpresa->text().isEmpty());
        QVERIFY(!f->data().cdsItensDRE.active());
        QVERIFY(!f->data().cdsAliquotas.active());
        QVERIFY(!host::busyAnimationVisible());
    }

    void unreachableServerEndsSetUpWithAClearError()
    {
        ScreenFixture fx(false);
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY2(fx.dialogs.errors[0].contains(QStringLiteral("servidor")), qPrintable(fx.dialogs.errors[0]));
        QVERIFY(!f->data().cdsItensDRE.active());
        QVERIFY(!host::busyAnimationVisible());
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
