// SPDX-License-Identifier: MIT
// The screen package as the host sees it: loaded through the package loader,
// opened through its exported entry, inspected through its exports and names.
#include "host/basescreen.h"
#include "host/dialogs.h"
#include "host/hostapplication.h"
#include "host/messages.h"
#include "host/package.h"
#include "host/services.h"
#include "platform/dataset.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>

using namespace erp;

class TestPackage : public QObject {
    Q_OBJECT

    std::unique_ptr<host::HostApplication> hostApp;
    QMdiArea* area = nullptr;
    std::unique_ptr<host::PackageLoader> loader;
    host::ScriptedDialogs dialogs;
    std::unique_ptr<host::DialogServiceScope> dialogScope;

    void iniProc() { reinterpret_cast<void (*)()>(loader->entry("IniProc"))(); }
    bool& boIdCriado() { return *static_cast<bool*>(loader->variable("boIdCriado")); }
    QString& var(const char* name) { return *static_cast<QString*>(loader->variable(name)); }
    host::TfrmPadraoSimples* screen() { return *static_cast<host::TfrmPadraoSimples**>(loader->variable("frmParamIRPJ")); }
    QList<QWidget*> screens()
    {
        QList<QWidget*> out;
        for (QMdiSubWindow* sub : area->subWindowList())
            if (sub->widget() && sub->widget()->objectName() == QLatin1String("frmParamIRPJ"))
                out << sub->widget();
        return out;
    }
    void closeScreen()
    {
        screen()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private Q_SLOTS:
    void init()
    {
        dialogScope = std::make_unique<host::DialogServiceScope>(dialogs);
        // No server here: set-up reports that it cannot connect, and the screen still opens.
        hostApp = std::make_unique<host::HostApplication>(host::HostSettings{.serverPort = 1});
        area = new QMdiArea;
        area->resize(900, 600);
        area->show();
        hostApp->setMdiArea(area);
        loader = std::make_unique<host::PackageLoader>(QStringLiteral(PACKAGE_FILE));
        loader->load();
    }
    void cleanup()
    {
        delete area; // the package's windows go before the package does
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        loader.reset();
        hostApp.reset();
        dialogScope.reset();
    }

    void loadingStartsWithNoScreen() { QVERIFY(!boIdCriado()); }

    void twoCallsGiveOneScreenRestoredToNormal()
    {
        iniProc();
        QVERIFY(boIdCriado());
        QCOMPARE(screens().size(), 1);
        QWidget* first = screen();
        QCOMPARE(first->windowTitle(), QStringLiteral("Parametrização da Apuração do IRPJ e CSLL"));
        QCOMPARE(first->metaObject()->className(), "erp::par47300::TfrmParamIRPJ");

        first->parentWidget()->showMinimized();
        iniProc();
        QCOMPARE(screens().size(), 1);
        QCOMPARE(screen(), first);
        QVERIFY(!(first->parentWidget()->windowState() & Qt::WindowMinimized));

        first->parentWidget()->showMaximized();
        iniProc();
        QVERIFY(!(first->parentWidget()->windowState() & Qt::WindowMaximized));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void openCloseOpenGivesAFreshInstance()
    {
        iniProc();
        QPointer<QWidget> first = screen();
        closeScreen();
        QVERIFY(!boIdCriado());
        QVERIFY(first.isNull());
        QVERIFY(screens().isEmpty());
        iniProc();
        QVERIFY(boIdCriado());
        QCOMPARE(screens().size(), 1);
        QVERIFY(screen() != nullptr);
    }

    void catalogueHoldsTheFortyOneLinesInOrder()
    {
        iniProc();
        auto* msg = screen()->findChild<host::TMessages*>(QStringLiteral("msgPadrao"));
        QVERIFY(msg);
        const QList<std::pair<QString, QString>> expected = {
            {"E", "Exclusão"},
            {"A", "Adição"},
            {"C", "Compensação"},
            {"NAO_EMPR", "Não existe empresa cadastrada no sistema!"},
            {"EMPR_N", "Empresa não cadastrada."},
            {"EMPR_DEV", "Empresa deve ser informada."},
            {"NOME_DEV", "Nome deve ser informado."},
            {"TIPO_DEV", "Tipo deve ser informado."},
            {"PORCENT_DEV", "Porcentagem do valor deve ser informada."},
            {"PORCENT_ENTRE", "Valor da porcentagem deve ser um valor entre 1 e 100."},
            {"TIPO_INV", "Tipo informado inválido."},
            {"CONTCTBL", "Conta Contábil"},
            {"CONTCTBL_N", "Conta Contábil não cadastrada."},
            {"CONTCTBL_DEV", "Conta Contábil deve ser informada."},
            {"ITEMDRE", "Itens de Estrutura dos DRE"},
            {"ITEM_N", "Item de Estrutura não cadastrado."},
            {"ITEM_DEV", "Item de Estrutura deve ser informado."},
            {"DRE_N", "Não existe um Demonstrativo de Resultado cadastrado."},
            {"ORIGEM_DEV", "Origem do valor deve ser informada."},
            {"ORIGEM_INV", "Origem do valor inválida."},
            {"INFCTB_JA", "Informação Contábil já cadastrada."},
            {"CODINF_DEV", "Código deve ser informado."},
            {"I", "Item do DRE"},
            {"CC", "Conta Contábil"},
            {"S", "Sim"},
            {"N", "Não"},
            {"R", "Receita"},
            {"D", "Despesa"},
            {"ID_INV", "Receita ou Despesa deve ser selecionado."},
            {"OPER_DEV", "Operacional ou Não Operacional deve ser selecionado."},
            {"ALIQ_DEV", "Código da Alíquota de Presunção deve ser informada."},
            {"ALIQ_N", "Alíquota de Presunção não cadastrada."},
            {"ALIQ", "Alíquota de Presunção"},
            {"IDREC_INV", "Identificador de Receita ou Despesa inválido."},
            {"OPER_INV", "Valor informado para Operacional inválido."},
            {"ADIC_JA", "Item já cadastrado para o imposto selecionado."},
            {"INFLUCRO_JA", "Informação já cadastrada para apuração do Lucro Líquido."},
            {"SIM", "Sim"},
            {"NAO", "Não"},
            {"Comp", "Competência"},
            {"Pag", "Pagamento"},
        };
        QCOMPARE(msg->lines().size(), 41);
        QCOMPARE(msg->lines(), expected);
        QCOMPARE(msg->Msg(QStringLiteral("Comp")), QStringLiteral("Competência"));
    }

    void unitInitialisationAndFinalisationAreCounted()
    {
        auto initialize = reinterpret_cast<void (*)()>(loader->entry("Initialize"));
        auto finalize = reinterpret_cast<void (*)()>(loader->entry("Finalize"));
        initialize(); // a second package needing the same unit
        boIdCriado() = true;
        initialize(); // counted: the body does not run again
        QVERIFY(boIdCriado());
        boIdCriado() = false;
        var("stAdic") = QStringLiteral("MultaAI");
        var("stItem") = QStringLiteral("VendasRS1");
        var("stOrigem") = QStringLiteral("15C3110");
        finalize();
        finalize();
        QCOMPARE(var("stAdic"), QStringLiteral("MultaAI")); // not the last finalisation yet

        QStringList afterUnload;
        loader->afterFinalize = [&] { afterUnload << var("stAdic") << var("stItem") << var("stOrigem"); };
        loader->unload();
        QCOMPARE(afterUnload, (QStringList{QString(), QString(), QString()}));
    }

    void datasetsAndMirrorsMatchByName()
    {
        iniProc();
        auto* recDesp = screen()->findChild<DataSet*>(QStringLiteral("cdsRecDesp"));
        auto* mirror = screen()->findChild<DataSet*>(QStringLiteral("cdsRecDespEspelho"));
        auto* itens = screen()->findChild<DataSet*>(QStringLiteral("cdsItensDRE"));
        QVERIFY(recDesp && mirror && itens);
        QCOMPARE(mirror->field(0).fieldName(), QStringLiteral("IDCONSVRDEB"));
        QCOMPARE(recDesp->fieldByName(QStringLiteral("NRSEQALIQIRPJ")).displayLabel(), QStringLiteral("Alíq. de Presunção"));

        recDesp->loadPacket({{{"NMRECDESPIRPJ", FieldType::String, 200}, {"IDCONSVRDEB", FieldType::String, 1}, {"NRSEQALIQIRPJ", FieldType::Float, 0}},
                             {{"Receita de vendas", "S", 3.0}}});
        mirror->copyFrom(*recDesp);
        QCOMPARE(mirror->recordCount(), 1);
        QCOMPARE(mirror->fieldByName(QStringLiteral("IDCONSVRDEB")).asString(), QStringLiteral("S"));
        QCOMPARE(mirror->fieldByName(QStringLiteral("NRSEQALIQIRPJ")).asFloat(), 3.0);

        // Items are kept in type-then-item order whatever order they arrive in.
        itens->loadPacket({itens->fieldDefs(), {{"02", "0001", "B"}, {"01", "0002", "C"}, {"01", "0001", "A"}}});
        QStringList order;
        for (itens->first(); !itens->eof(); itens->next())
            order << itens->fieldByName(QStringLiteral("NMITEMSTRU")).asString();
        QCOMPARE(order, (QStringList{"A", "C", "B"}));
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestPackage t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_package.moc"
