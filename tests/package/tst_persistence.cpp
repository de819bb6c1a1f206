// SPDX-License-Identifier: MIT
// Every row posted or deleted reaches the server at once, or is visibly undone.
#include "screenfixture.h"
#include "support/faultyrelay.h"

#include "contract/paramirpj.h"
#include "host/busy.h"
#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/net/netconnection.h"
#include "host/pagecontrol.h"
#include "wire/packet.h"

#include <QAction>
#include <QJsonObject>
#include <QLabel>
#include <QTabBar>
#include <QToolButton>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
namespace demo = erp::testing::demo;
using erp::testing::clickTab;
using erp::testing::field;
using B = erp::host::TfrmPadraoSimples;

namespace {


// The screen with company 01 loaded on the IRPJ tab.
TfrmParamIRPJ* openLoaded(ScreenFixture& fx)
{
    TfrmParamIRPJ* f = fx.open();
    if (!f)
        return nullptr;
    f->dbgAdicIRPJ->setFocus(); // leaving the company bar loads the IRPJ rows
    return f;
}

// A second accountant's connection, sending its own change packets.
struct OtherClient {
    explicit OtherClient(const ScreenFixture& fx) : net(QString::fromLatin1(contract::kServerObject))
    {
        net.setHost(QString::fromStdString(fx.server->host()));
        net.setPort(fx.server->port());
    }
    void save(const char* method, const ChangePacket& p)
    {
        host::CheckResultServ(net.call(QString::fromLatin1(method), QJsonArray{packet::toJson(p)}), true, 0);
    }
    // Saves a new row of `ds`'s layout with these values (by field name), under a number of its own.
    void insert(const DataSet& ds, const char* method, QHash<QString, QVariant> values)
    {
        const QString seq = ds.fieldDefs().front().name;
        values[seq] = double(host::CheckResultServ(net.call(QString::fromLatin1(contract::method::prxSeqParamIRPJ), {}), true, 0).toInteger());
        RowValues row;
        for (const FieldDef& f : ds.fieldDefs())
            row.push_back(values.value(f.name));
        save(method, {ds.fieldDefs(), {{ChangeStatus::Inserted, {}, row}}});
    }
    host::TNetConnection net;
};

} // namespace

class TestPersistence : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newRowsGetTheirDefaults()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();

        f->button(B::Incluir)->click();
        QCOMPARE(d.cdsAdicIRPJ.state(), DataSet::State::Insert);
        QCOMPARE(field(d.cdsAdicIRPJ, "IDIMPOSTO").asString(), QStringLiteral("I"));
        QCOMPARE(field(d.cdsAdicIRPJ, "VRPORCENTAGEM").asFloat(), 100.0);
        QCOMPARE(field(d.cdsAdicIRPJ, "CDEMPRESA").asString(), QStringLiteral("01"));
        QVERIFY(field(d.cdsAdicIRPJ, "NRSEQPARAMAPU").asFloat() > 0);
        QVERIFY(field(d.cdsAdicIRPJ, "NMPARAMAPU").isNull());
        QVERIFY(field(d.cdsAdicIRPJ, "IDPARAMAPU").isNull());
        QCOMPARE(f->dbgAdicIRPJ->selectedField()->fieldName(), QStringLiteral("NMPARAMAPU"));
        QVERIFY(f->button(B::Confirmar)->isEnabled() && !f->button(B::Incluir)->isEnabled());
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();

        clickTab(f->pgcGeral, f->tshCSLL);
        f->button(B::Incluir)->click();
        QCOMPARE(field(d.cdsAdicCSLL, "IDIMPOSTO").asString(), QStringLiteral("C"));
        QCOMPARE(field(d.cdsAdicCSLL, "VRPORCENTAGEM").asFloat(), 100.0);
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();

        // An accounting row on the CSLL tab belongs to the current CSLL row.
        d.cdsAdicCSLL.last();
        const double parent = field(d.cdsAdicCSLL, "NRSEQPARAMAPU").asFloat();
        clickTab(f->pgcCSLL, f->tshInfCtbCSLL);
        f->button(B::Incluir)->click();
        QCOMPARE(d.cdsInfCtb.state(), DataSet::State::Insert);
        QCOMPARE(field(d.cdsInfCtb, "NRSEQPARAMAPU").asFloat(), parent);
        QVERIFY(field(d.cdsInfCtb, "NRSEQINFCTBIRPJ").asFloat() > 0);
        QCOMPARE(field(d.cdsInfCtb, "IDFORMAPURITEM").asString(), QStringLiteral("C"));
        QVERIFY(f->dbgInfCtbCSLL->hasFocus());
        QCOMPARE(f->dbgInfCtbCSLL->selectedIndex(), 0);
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();

        clickTab(f->pgcCSLL, f->tshAdicCSLL);
        clickTab(f->pgcGeral, f->tshLucro);
        f->button(B::Incluir)->click();
        QCOMPARE(field(d.cdsRecDesp, "IDRECDESPIRPJ").asString(), QStringLiteral("R"));
        QCOMPARE(field(d.cdsRecDesp, "IDRECDESPIRPJOP").asString(), QStringLiteral("S"));
        QCOMPARE(field(d.cdsRecDesp, "IDCONSVRDEB").asString(), QStringLiteral("S"));
        QCOMPARE(field(d.cdsRecDesp, "CDEMPRESA").asString(), QStringLiteral("01"));
        QVERIFY(field(d.cdsRecDesp, "NRSEQALIQIRPJ").isNull());
        QCOMPARE(f->dbgRecDesp->selectedField()->fieldName(), QStringLiteral("NMRECDESPIRPJ"));
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void everyNewRowCostsANumberEvenWhenCancelled()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        DataSet& adic = f->data().cdsAdicIRPJ;
        f->button(B::Incluir)->click();
        const double first = field(adic, "NRSEQPARAMAPU").asFloat();
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        f->button(B::Incluir)->click();
        const double second = field(adic, "NRSEQPARAMAPU").asFloat();
        QVERIFY2(second > first, qPrintable(QStringLiteral("%1 then %2").arg(first).arg(second)));
    }

    void aPostReachesTheDatabaseAndTheMirror()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        f->button(B::Incluir)->click();
        field(d.cdsAdicIRPJ, "NMPARAMAPU").setText(QStringLiteral("Juros sobre capital próprio"));
        field(d.cdsAdicIRPJ, "IDPARAMAPU").setText(QStringLiteral("Exclusão"));
        field(d.cdsAdicIRPJ, "VRPORCENTAGEM").setText(QStringLiteral("12,5"));
        const QString seq = field(d.cdsAdicIRPJ, "NRSEQPARAMAPU").asString();
        const std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(d.cdsAdicIRPJ.state(), DataSet::State::Browse);
        QCOMPARE(d.cdsAdicIRPJ.changeCount(), 0);
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("SetParamIRPJ")});
        QCOMPARE(fx.rows(QStringLiteral("SELECT NMPARAMAPU, IDPARAMAPU, IDIMPOSTO, VRPORCENTAGEM FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU = ") + seq),
                 (QList<QStringList>{{QStringLiteral("Juros sobre capital próprio"), "E", "I", "12.5"}}));
        QVERIFY(d.cdsAdicEspelho.locate(QStringLiteral("NRSEQPARAMAPU"), {seq.toDouble()}));
        QCOMPARE(d.cdsAdicEspelho.recordCount(), d.cdsAdicIRPJ.recordCount());
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void aSaveTheServerRefusesIsUndone()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        DataSet& adic = d.cdsAdicIRPJ;
        adic.first();
        const QString seq = field(adic, "NRSEQPARAMAPU").asString();
        const QString name = field(adic, "NMPARAMAPU").asString();
        const int rows = adic.recordCount();

        // Another accountant changes the row first: our edit is a conflict.
        OtherClient other(fx);
        RowValues old = adic.rowValues(0);
        RowValues changed = old;
        changed[adic.fieldByName(QStringLiteral("VRPORCENTAGEM")).index()] = 55.0;
        other.save(contract::method::SetParamIRPJ, {adic.fieldDefs(), {{ChangeStatus::Modified, old, changed}}});

        f->button(B::Alterar)->click();
        field(adic, "NMPARAMAPU").setText(QStringLiteral("Nome novo"));
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY2(fx.dialogs.errors[0].contains(QStringLiteral("outro usuário")), qPrintable(fx.dialogs.errors[0]));
        QCOMPARE(adic.state(), DataSet::State::Browse);
        QCOMPARE(field(adic, "NMPARAMAPU").asString(), name);
        QCOMPARE(adic.changeCount(), 0);
        QVERIFY(d.cdsAdicEspelho.locate(QStringLiteral("NMPARAMAPU"), {name}));
        QCOMPARE(fx.rows(QStringLiteral("SELECT NMPARAMAPU, VRPORCENTAGEM FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU = ") + seq),
                 (QList<QStringList>{{name, "55"}}));

        // A value only the server checks: the inserted row goes away.
        fx.dialogs.errors.clear();
        clickTab(f->pgcGeral, f->tshLucro);
        DataSet& items = d.cdsRecDesp;
        const int itemRows = items.recordCount();
        f->button(B::Incluir)->click();
        field(items, "NMRECDESPIRPJ").setText(QStringLiteral("Outras receitas"));
        field(items, "NRSEQALIQIRPJ").setText(field(d.cdsAliquotas, "NRSEQALIQIRPJ").asString());
        field(items, "IDCONSVRDEB").setAsString(QStringLiteral("X"));
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QCOMPARE(items.state(), DataSet::State::Browse);
        QCOMPARE(items.recordCount(), itemRows);
        QCOMPARE(d.cdsRecDespEspelho.recordCount(), itemRows);
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM RECDESPIRPJ WHERE NMRECDESPIRPJ = 'Outras receitas'")),
                 (QList<QStringList>{{"0"}}));
        QCOMPARE(rows, adic.recordCount());
    }

    void deletingAParentSendsItsAccountingInformationFirst()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        DataSet& adic = d.cdsAdicIRPJ;
        adic.first();
        const QString seq = field(adic, "NRSEQPARAMAPU").asString();
        QVERIFY(fx.rows(QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ") + seq).value(0).value(0).toInt() > 0);
        const int rows = adic.recordCount();

        // No: nothing happens.
        std::size_t mark = fx.logMark();
        fx.dialogs.answers.push_back(false);
        f->button(B::Excluir)->click();
        QCOMPARE(adic.recordCount(), rows);
        QVERIFY(fx.callsSince(mark).isEmpty());
        QCOMPARE(fx.dialogs.questions.last(), QStringLiteral("Confirma a exclusão do registro?"));

        fx.dialogs.answers.push_back(true);
        f->button(B::Excluir)->click();
        QCOMPARE(fx.callsSince(mark), (QStringList{QStringLiteral("setDeleteInfCtb"), QStringLiteral("SetParamIRPJ")}));
        QCOMPARE(adic.recordCount(), rows - 1);
        QVERIFY(!adic.locate(QStringLiteral("NRSEQPARAMAPU"), {seq.toDouble()}));
        QVERIFY(!d.cdsAdicEspelho.locate(QStringLiteral("NRSEQPARAMAPU"), {seq.toDouble()}));
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM PARAMAPUIRPJ WHERE NRSEQPARAMAPU = ") + seq), (QList<QStringList>{{"0"}}));
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ") + seq), (QList<QStringList>{{"0"}}));
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJREMOVIDA")), (QList<QStringList>{{"0"}}));
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void aRefusedParentDeleteLosesNoAccountingInformation()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        DataSet& adic = d.cdsAdicIRPJ;
        adic.first();
        const QString seq = field(adic, "NRSEQPARAMAPU").asString();
        const QString count = QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = ") + seq;
        const QString before = fx.rows(count).value(0).value(0);
        QVERIFY(before.toInt() > 0);

        // Another accountant changed the row: its accounting information is
        // taken away first, then the delete itself is refused as a conflict.
        OtherClient other(fx);
        RowValues old = adic.rowValues(0);
        RowValues changed = old;
        changed[adic.fieldByName(QStringLiteral("VRPORCENTAGEM")).index()] = 42.0;
        other.save(contract::method::SetParamIRPJ, {adic.fieldDefs(), {{ChangeStatus::Modified, old, changed}}});
        const std::size_t mark = fx.logMark();
        fx.dialogs.answers.push_back(true);
        f->button(B::Excluir)->click();
        QCOMPARE(fx.callsSince(mark), (QStringList{QStringLiteral("setDeleteInfCtb"), QStringLiteral("SetParamIRPJ")}));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(adic.locate(QStringLiteral("NRSEQPARAMAPU"), {seq.toDouble()}));

        // Showing the row's accounting information brings every row back.
        QTabBar* bar = f->pgcIRPJ->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(f->pgcIRPJ->indexOf(f->tshInfCtbIRPJ)).center());
        QCOMPARE(QString::number(d.cdsInfCtb.recordCount()), before);
        QCOMPARE(fx.rows(count).value(0).value(0), before);
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJREMOVIDA")), (QList<QStringList>{{"0"}}));
    }

    // A CSLL row and a net-profit item go as an IRPJ row does: their
    // accounting information first, under their own number, then the row.
    void deletingACsllRowOrAnItem_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("name");
        QTest::newRow("CSLL addition") << "CSLL" << demo::kBrindes;
        QTest::newRow("net-profit item") << "Lucro" << "Receita bruta de vendas";
    }
    void deletingACsllRowOrAnItem()
    {
        QFETCH(QString, tab);
        QFETCH(QString, name);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        const bool items = tab == u"Lucro";
        clickTab(f->pgcGeral, items ? f->tshLucro : f->tshCSLL);
        DataSet& ds = items ? d.cdsRecDesp : d.cdsAdicCSLL;
        DataSet& mirror = items ? d.cdsRecDespEspelho : d.cdsAdicEspelho;
        const char* nameField = items ? "NMRECDESPIRPJ" : "NMPARAMAPU";
        QVERIFY(ds.locate(QString::fromLatin1(nameField), {name}));
        const QString seq = field(ds, items ? "NRSEQRECDESPIRPJ" : "NRSEQPARAMAPU").asString();
        // Another parent's rows, to show only this one's go.
        const QString infOf = QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJ WHERE NRSEQPARAMAPU = %1");
        QVERIFY(fx.rows(infOf.arg(seq)).value(0).value(0).toInt() > 0);
        const int allInf = fx.rows(QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJ")).value(0).value(0).toInt();
        const int own = fx.rows(infOf.arg(seq)).value(0).value(0).toInt();
        const int rows = ds.recordCount();

        const std::size_t mark = fx.logMark();
        fx.dialogs.answers.push_back(true);
        f->button(B::Excluir)->click();
        QCOMPARE(fx.callsSince(mark), (QStringList{QStringLiteral("setDeleteInfCtb"), items ? QStringLiteral("setRecDesp") : QStringLiteral("SetParamIRPJ")}));
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(ds.recordCount(), rows - 1);
        QVERIFY(!mirror.locate(QString::fromLatin1(nameField), {name}));
        QCOMPARE(fx.rows(infOf.arg(seq)), (QList<QStringList>{{"0"}}));
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJ")).value(0).value(0).toInt(), allInf - own);
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = %3")
                             .arg(items ? QStringLiteral("RECDESPIRPJ") : QStringLiteral("PARAMAPUIRPJ"),
                                  items ? QStringLiteral("NRSEQRECDESPIRPJ") : QStringLiteral("NRSEQPARAMAPU"), seq)),
                 (QList<QStringList>{{"0"}}));
    }

    // Every save, of a post or of a delete, is made under the busy animation,
    // which is gone once the answer is in.
    void busyAnimationAroundEverySave_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::newRow("IRPJ additions") << "IRPJ";
        QTest::newRow("CSLL additions") << "CSLL";
        QTest::newRow("net-profit items") << "Lucro";
        QTest::newRow("accounting information") << "InfCtb";
    }
    void busyAnimationAroundEverySave()
    {
        QFETCH(QString, tab);
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        DataSet* ds = &d.cdsAdicIRPJ;
        const char* nameField = "NMPARAMAPU";
        if (tab == u"CSLL") {
            clickTab(f->pgcGeral, f->tshCSLL);
            ds = &d.cdsAdicCSLL;
        } else if (tab == u"Lucro") {
            clickTab(f->pgcGeral, f->tshLucro);
            ds = &d.cdsRecDesp;
            nameField = "NMRECDESPIRPJ";
        } else if (tab == u"InfCtb") {
            clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
            ds = &d.cdsInfCtb;
            nameField = "IDFORMAPURITEM";
        }
        // Each time the animation shows: its text.
        struct Watch : QObject {
            QStringList shown;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() == QEvent::Show && o->objectName() == u"busyAnimation")
                    shown << o->findChild<QLabel*>(QStringLiteral("busyText"))->text();
                return false;
            }
        } watch;
        qApp->installEventFilter(&watch);
        const std::size_t mark = fx.logMark();

        f->button(B::Alterar)->click();
        field(*ds, nameField).setText(tab == u"InfCtb" ? QStringLiteral("Pagamento") : QStringLiteral("Outro nome"));
        f->button(B::Confirmar)->click();
        QCOMPARE(watch.shown, QStringList{QStringLiteral("Gravando no servidor…")});
        QVERIFY(!host::BusyAnimation::visibleOver(host::HostApplication::mainWindow()));
        fx.dialogs.answers.push_back(true);
        f->button(B::Excluir)->click();
        qApp->removeEventFilter(&watch);
        QCOMPARE(watch.shown, (QStringList{QStringLiteral("Gravando no servidor…"), QStringLiteral("Gravando no servidor…")}));
        QVERIFY(!host::BusyAnimation::visibleOver(host::HostApplication::mainWindow()));
        QCOMPARE(fx.dialogs.errors, QStringList());
        const QString save = tab == u"InfCtb" ? QStringLiteral("SetInfCtbIRPJ") : tab == u"Lucro" ? QStringLiteral("setRecDesp") : QStringLiteral("SetParamIRPJ");
        const QStringList calls = tab == u"InfCtb" ? QStringList{save, save} : QStringList{save, QStringLiteral("setDeleteInfCtb"), save};
        QCOMPARE(fx.callsSince(mark), calls);
    }

    void deletingAnAccountingRowSendsOnlyItsOwnSave()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
        DataSet& inf = d.cdsInfCtb;
        QVERIFY(inf.recordCount() > 0);
        const int rows = inf.recordCount();
        const QString seq = field(inf, "NRSEQINFCTBIRPJ").asString();
        const std::size_t mark = fx.logMark();
        fx.dialogs.answers.push_back(true);
        f->button(B::Excluir)->click();
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("SetInfCtbIRPJ")});
        QCOMPARE(inf.recordCount(), rows - 1);
        QCOMPARE(d.cdsInfEspelho.recordCount(), rows - 1);
        QCOMPARE(fx.rows(QStringLiteral("SELECT COUNT(*) FROM INFCTBIRPJ WHERE NRSEQINFCTBIRPJ = ") + seq), (QList<QStringList>{{"0"}}));
    }

    // The server refuses the first row of an empty grid: the row is undone,
    // and with it go edit, delete, search and the detail page.
    void aRefusedFirstRowLeavesNothingToEdit_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::newRow("IRPJ additions") << "IRPJ";
        QTest::newRow("CSLL additions") << "CSLL";
        QTest::newRow("net-profit items") << "Lucro";
        QTest::newRow("accounting information") << "InfCtb";
    }
    void aRefusedFirstRowLeavesNothingToEdit()
    {
        QFETCH(QString, tab);
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        auto& d = f->data();
        OtherClient other(fx);
        DataSet* ds = nullptr;
        host::TPageControl* inner = nullptr;
        QWidget* detail = nullptr;
        if (tab == u"InfCtb") {
            // Someone else deletes the parent, and its accounting information, meanwhile.
            f->dbgAdicIRPJ->setFocus();
            DataSet& adic = d.cdsAdicIRPJ;
            QVERIFY(adic.locate(QStringLiteral("NMPARAMAPU"), {demo::kBrindes}));
            const double seq = field(adic, "NRSEQPARAMAPU").asFloat();
            host::CheckResultServ(other.net.call(QString::fromLatin1(contract::method::setDeleteInfCtb), {seq}), true, 0);
            other.save(contract::method::SetParamIRPJ, {adic.fieldDefs(), {{ChangeStatus::Deleted, adic.rowValues(adic.recNo()), {}}}});
            clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
            ds = &d.cdsInfCtb;
            QVERIFY(ds->active() && ds->isEmpty());
            f->button(B::Incluir)->click();
            field(*ds, "IDINFCTBIRPJ").setText(QStringLiteral("Conta Contábil"));
            field(*ds, "CHAVE").setText(demo::kBrindesConta);
            inner = f->pgcIRPJ;
            detail = f->tshAdicIRPJ; // the sibling page stays open: its rows are browsing
        } else {
            // Company 04 has no parameters; someone else saves the same row first.
            f->medCdEmpresa->selectAll();
            QTest::keyClicks(f->medCdEmpresa, QStringLiteral("04"));
            QTest::keyClick(f->medCdEmpresa, Qt::Key_Tab);
            if (tab == u"CSLL")
                clickTab(f->pgcGeral, f->tshCSLL);
            else if (tab == u"Lucro")
                clickTab(f->pgcGeral, f->tshLucro);
            const bool items = tab == u"Lucro";
            ds = items ? &d.cdsRecDesp : tab == u"CSLL" ? &d.cdsAdicCSLL : &d.cdsAdicIRPJ;
            inner = items ? f->pgcLucro : tab == u"CSLL" ? f->pgcCSLL : f->pgcIRPJ;
            detail = items ? f->tshInfCtbLucro : tab == u"CSLL" ? f->tshInfCtbCSLL : f->tshInfCtbIRPJ;
            QVERIFY(ds->active() && ds->isEmpty());
            const QString name = QStringLiteral("Multas fiscais");
            if (items)
                other.insert(*ds, contract::method::setRecDesp,
                             {{"CDEMPRESA", "04"}, {"NMRECDESPIRPJ", name}, {"IDRECDESPIRPJ", "R"}, {"IDRECDESPIRPJOP", "S"},
                              {"NRSEQALIQIRPJ", 2.0}, {"VRALIQPRESIRPJ", 8.0}, {"VRALIQPRESCSLL", 12.0}, {"IDCONSVRDEB", "S"}});
            else
                other.insert(*ds, contract::method::SetParamIRPJ,
                             {{"CDEMPRESA", "04"}, {"NMPARAMAPU", name}, {"IDPARAMAPU", "A"}, {"IDIMPOSTO", tab == u"CSLL" ? "C" : "I"},
                              {"VRPORCENTAGEM", 100.0}});
            f->button(B::Incluir)->click();
            field(*ds, items ? "NMRECDESPIRPJ" : "NMPARAMAPU").setText(name);
            if (items)
                field(*ds, "NRSEQALIQIRPJ").setText(QStringLiteral("2"));
            else
                field(*ds, "IDPARAMAPU").setText(QStringLiteral("Adição"));
        }
        QVERIFY(fx.dialogs.errors.isEmpty());
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QCOMPARE(ds->state(), DataSet::State::Browse);
        QVERIFY(ds->isEmpty());
        for (const B::Button b : {B::Alterar, B::Excluir, B::Procurar, B::Confirmar, B::Cancelar})
            QVERIFY2(!f->action(b)->isEnabled(), f->button(b)->objectName().toLatin1().constData());
        QVERIFY(f->action(B::Incluir)->isEnabled() && f->action(B::Verificar)->isEnabled());
        QCOMPARE(inner->pageEnabled(detail), tab == u"InfCtb");
    }

    // A save whose answer never came may have been kept or not: the grid is
    // read again and shows the row exactly when the service holds it,
    // instead of undoing it (a kept insert would vanish and come back as a
    // duplicate when typed again). The failure is still reported.
    void anUncertainSaveShowsTheRowExactlyWhenTheServiceHoldsIt()
    {
        using Fault = testing::FaultyRelay::Fault;
        ScreenFixture fx;
        testing::FaultyRelay relay(fx.server->host(), fx.server->port());
        fx.host.settings().serverPort = relay.port();
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        auto& d = f->data();
        DataSet& adic = d.cdsAdicIRPJ;
        auto held = [&](const QString& table, const QString& column, const QString& name) {
            return fx.rows(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = '%3'").arg(table, column, name)).value(0).value(0).toInt();
        };
        auto shown = [](DataSet& ds, const char* column, const QString& name) {
            int n = 0;
            for (int i = 0; i < ds.recordCount(); ++i)
                n += ds.rowValues(i).value(ds.fieldByName(QString::fromLatin1(column)).index()).toString() == name ? 1 : 0;
            return n;
        };
        auto addition = [&](const QString& name) {
            f->button(B::Incluir)->click();
            field(adic, "NMPARAMAPU").setText(name);
            field(adic, "IDPARAMAPU").setText(QStringLiteral("Adição"));
            f->button(B::Confirmar)->click();
        };
        // Lost twice: the connection itself sends a request lost once again.
        auto lose = [&](const char* marker, Fault fault) {
            relay.loseNext(marker, fault);
            relay.loseNext(marker, fault);
        };
        auto expectOneUncertainError = [&] {
            QCOMPARE(fx.dialogs.errors.size(), 1);
            QVERIFY2(fx.dialogs.errors[0].contains(QStringLiteral("Não é possível saber se a alteração foi gravada")), qPrintable(fx.dialogs.errors[0]));
            fx.dialogs.errors.clear();
        };

        // An insert whose answer was lost: the service kept it.
        lose("SetParamIRPJ", Fault::DropAnswer);
        addition(QStringLiteral("Guardada sem resposta"));
        expectOneUncertainError();
        QCOMPARE(held("PARAMAPUIRPJ", "NMPARAMAPU", "Guardada sem resposta"), 1);
        QCOMPARE(shown(adic, "NMPARAMAPU", "Guardada sem resposta"), 1);
        QCOMPARE(field(adic, "NMPARAMAPU").asString(), QStringLiteral("Guardada sem resposta"));
        QCOMPARE(shown(d.cdsAdicEspelho, "NMPARAMAPU", "Guardada sem resposta"), 1);
        QCOMPARE(adic.state(), DataSet::State::Browse);
        QCOMPARE(adic.changeCount(), 0);

        // Typed again it is a duplicate the screen itself refuses, not a second row.
        addition(QStringLiteral("Guardada sem resposta"));
        QCOMPARE(fx.dialogs.errors, QStringList{QStringLiteral("Item já cadastrado para o imposto selecionado.")});
        fx.dialogs.errors.clear();
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();

        // An insert lost on its way: the service never saw it.
        lose("SetParamIRPJ", Fault::DropRequest);
        addition(QStringLiteral("Perdida no caminho"));
        expectOneUncertainError();
        QCOMPARE(held("PARAMAPUIRPJ", "NMPARAMAPU", "Perdida no caminho"), 0);
        QCOMPARE(shown(adic, "NMPARAMAPU", "Perdida no caminho"), 0);
        QCOMPARE(adic.recordCount(), d.cdsAdicEspelho.recordCount());

        // An edit whose answer was lost shows the new values.
        adic.first();
        const QString old = field(adic, "NMPARAMAPU").asString();
        f->button(B::Alterar)->click();
        field(adic, "NMPARAMAPU").setText(QStringLiteral("Renomeada sem resposta"));
        lose("SetParamIRPJ", Fault::DropAnswer);
        f->button(B::Confirmar)->click();
        expectOneUncertainError();
        QCOMPARE(held("PARAMAPUIRPJ", "NMPARAMAPU", "Renomeada sem resposta"), 1);
        QCOMPARE(shown(adic, "NMPARAMAPU", "Renomeada sem resposta"), 1);
        QCOMPARE(shown(adic, "NMPARAMAPU", old), 0);

        // A net-profit item deleted, its answer lost: gone from the grid and the mirror.
        clickTab(f->pgcGeral, f->tshLucro);
        DataSet& items = d.cdsRecDesp;
        items.first();
        const QString item = field(items, "NMRECDESPIRPJ").asString();
        lose("setRecDesp", Fault::DropAnswer);
        fx.dialogs.answers.push_back(true);
        f->button(B::Excluir)->click();
        expectOneUncertainError();
        QCOMPARE(held("RECDESPIRPJ", "NMRECDESPIRPJ", item), 0);
        QCOMPARE(shown(items, "NMRECDESPIRPJ", item), 0);
        QCOMPARE(shown(d.cdsRecDespEspelho, "NMRECDESPIRPJ", item), 0);

        // Accounting information inserted, its answer lost: read again for its parent.
        clickTab(f->pgcGeral, f->tshIRPJ);
        clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
        DataSet& inf = d.cdsInfCtb;
        const int before = inf.recordCount();
        f->button(B::Incluir)->click();
        const QString seq = field(inf, "NRSEQINFCTBIRPJ").asString();
        const QString account = fx.rows(QStringLiteral("SELECT CDCONTCTBL FROM CONTCTBL WHERE CDCONTCTBL NOT IN (SELECT CDINFCTBIRPJ FROM INFCTBIRPJ) "
                                                       "ORDER BY 1 LIMIT 1"))
                                    .value(0)
                                    .value(0);
        field(inf, "IDINFCTBIRPJ").setText(QStringLiteral("Conta Contábil"));
        field(inf, "CHAVE").setText(account);
        lose("SetInfCtbIRPJ", Fault::DropAnswer);
        f->button(B::Confirmar)->click();
        expectOneUncertainError();
        QCOMPARE(held("INFCTBIRPJ", "NRSEQINFCTBIRPJ", seq), 1);
        QCOMPARE(inf.recordCount(), before + 1);
        QVERIFY(inf.locate(QStringLiteral("NRSEQINFCTBIRPJ"), {seq.toDouble()}));
        QCOMPARE(d.cdsInfEspelho.recordCount(), before + 1);

        // The answer lost and the rows not read again either: the message
        // says so, and Verificar later shows what the service holds.
        clickTab(f->pgcIRPJ, f->tshAdicIRPJ);
        lose("SetParamIRPJ", Fault::DropAnswer);
        lose("GetParamIRPJ", Fault::DropRequest);
        addition(QStringLiteral("Sem resposta nem recarga"));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY2(fx.dialogs.errors[0].contains(QStringLiteral("Não é possível saber se a alteração foi gravada")) &&
                     fx.dialogs.errors[0].endsWith(QStringLiteral("Não foi possível recarregar os registros para mostrar o que está gravado; use "
                                                                  "Verificar quando o servidor voltar a responder.")),
                 qPrintable(fx.dialogs.errors[0]));
        fx.dialogs.errors.clear();
        QCOMPARE(held("PARAMAPUIRPJ", "NMPARAMAPU", "Sem resposta nem recarga"), 1);
        f->button(B::Verificar)->click();
        QCOMPARE(shown(adic, "NMPARAMAPU", "Sem resposta nem recarga"), 1);
        QVERIFY(fx.dialogs.errors.isEmpty());
        QCOMPARE(relay.struck(), 14);
    }

    void cancelAnsweredNoKeepsTheEditAndConfirmOnAnInvalidRowKeepsBothButtons()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openLoaded(fx);
        QVERIFY(f);
        DataSet& adic = f->data().cdsAdicIRPJ;
        f->button(B::Alterar)->click();
        field(adic, "NMPARAMAPU").setText(QStringLiteral("Mudado"));
        fx.dialogs.answers.push_back(false);
        f->button(B::Cancelar)->click();
        QCOMPARE(fx.dialogs.questions.last(), QStringLiteral("Confirma o cancelamento das alterações?"));
        QCOMPARE(adic.state(), DataSet::State::Edit);
        QCOMPARE(field(adic, "NMPARAMAPU").asString(), QStringLiteral("Mudado"));

        field(adic, "NMPARAMAPU").setText(QString());
        const std::size_t mark = fx.logMark();
        f->button(B::Confirmar)->click();
        QCOMPARE(fx.dialogs.errors, QStringList{QStringLiteral("Nome deve ser informado.")});
        QCOMPARE(adic.state(), DataSet::State::Edit);
        QVERIFY(f->button(B::Confirmar)->isEnabled());
        QVERIFY(f->button(B::Cancelar)->isEnabled());
        QVERIFY(fx.callsSince(mark).isEmpty());
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestPersistence t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_persistence.moc"
