// SPDX-License-Identifier: MIT
// "Copiar parâmetros de outra empresa…": an accountant sets up an empty
// company from the demo company through the menu, sees what will be copied,
// and finds the rows on screen; copying again skips what is already there.
#include "screenfixture.h"

#include "host/grid/dbgrid.h"
#include "host/search.h"

#include <QAction>
#include <QCryptographicHash>
#include <QMenu>

#include <fstream>

#include <sys/stat.h>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::chooseCompany;
using erp::testing::clickTab;
using erp::testing::ScreenFixture;
namespace demo = erp::testing::demo;
using B = erp::host::TfrmPadraoSimples;

namespace {

// How many rows of each kind a company holds, by the lines of the preview.
struct Kind {
    const char* line;
    QString where;
};

QList<Kind> kinds()
{
    const QString param = QStringLiteral("FROM PARAMAPUIRPJ WHERE CDEMPRESA = '%1' AND IDIMPOSTO = '%2' AND IDPARAMAPU = '%3'");
    const auto p = [&](const char* tax, const char* type) { return param.arg(QStringLiteral("%1"), QLatin1String(tax), QLatin1String(type)); };
    return {
        {"Adições IRPJ", p("I", "A")},
        {"Exclusões IRPJ", p("I", "E")},
        {"Compensações IRPJ", p("I", "C")},
        {"Adições CSLL", p("C", "A")},
        {"Exclusões CSLL", p("C", "E")},
        {"Compensações CSLL", p("C", "C")},
        {"Itens do lucro líquido", QStringLiteral("FROM RECDESPIRPJ WHERE CDEMPRESA = '%1'")},
        {"Informações contábeis", QStringLiteral("FROM INFCTBIRPJ WHERE NRSEQPARAMAPU IN (SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE CDEMPRESA = '%1' "
                                                 "UNION SELECT NRSEQRECDESPIRPJ FROM RECDESPIRPJ WHERE CDEMPRESA = '%1')")},
    };
}

int count(ScreenFixture& fx, const QString& from, const QString& company)
{
    return fx.rows(QStringLiteral("SELECT COUNT(*) ") + from.arg(company)).value(0).value(0).toInt();
}

int total(ScreenFixture& fx, const QString& company)
{
    int n = 0;
    for (const Kind& k : kinds())
        n += count(fx, k.where, company);
    return n;
}

// The additions of a tax in a company as the grid would list them: name, type, percentage, accounts.
QList<QStringList> params(ScreenFixture& fx, const QString& company, const char* tax)
{
    return fx.rows(QStringLiteral("SELECT p.NMPARAMAPU, p.IDPARAMAPU, p.VRPORCENTAGEM, i.IDINFCTBIRPJ, i.CHAVE, i.IDFORMAPURITEM "
                                  "FROM PARAMAPUIRPJ p LEFT JOIN INFCTBIRPJ i ON i.NRSEQPARAMAPU = p.NRSEQPARAMAPU "
                                  "WHERE p.CDEMPRESA = '%1' AND p.IDIMPOSTO = '%2' ORDER BY 1, 2, 4, 5")
                       .arg(company, QLatin1String(tax)));
}

QStringList column(const DataSet& ds, const char* name)
{
    QStringList out;
    for (int r = 0; r < ds.recordCount(); ++r) {
        const DataSet::RowPeek peek(ds, r);
        out << erp::testing::text(ds, name);
    }
    return out;
}

// Company 02 (empty in the demo) on screen, its IRPJ additions loaded.
TfrmParamIRPJ* openOnCompany02(ScreenFixture& fx)
{
    TfrmParamIRPJ* f = fx.open();
    if (!f)
        return nullptr;
    chooseCompany(f, QStringLiteral("02"));
    return f->data().cdsAdicIRPJ.active() ? f : nullptr;
}

} // namespace

class TestCopy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void copiesTheDemoCompanyIntoAnEmptyOneAndSkipsWhatItHas()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOnCompany02(fx);
        QVERIFY(f);
        QVERIFY(f->data().cdsAdicIRPJ.isEmpty());
        QVERIFY(f->mnuCopiarParam->isEnabled());
        const int all = total(fx, QStringLiteral("01"));
        QVERIFY(all > 0);
        QCOMPARE(total(fx, QStringLiteral("02")), 0);

        // The company bar's search, its own title; answered No: nothing written.
        fx.dialogs.choices.push_back(QStringLiteral("01"));
        fx.dialogs.answers.push_back(false);
        f->mnuCopiarParam->trigger();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(fx.dialogs.lists.size(), 1);
        QCOMPARE(fx.dialogs.lists[0].title, QStringLiteral("Copiar parâmetros da empresa"));
        QCOMPARE(fx.dialogs.lists[0].rows.size(), 4);
        QCOMPARE(fx.dialogs.questions.size(), 1);
        QCOMPARE(total(fx, QStringLiteral("02")), 0);
        QVERIFY(fx.dialogs.informations.isEmpty());

        // Every kind the demo company has, with its count, in the question.
        const QString question = fx.dialogs.questions[0];
        QVERIFY2(question.startsWith(QStringLiteral("Copiar os parâmetros da empresa 01 – Comercial Serra Azul de Alimentos Ltda para a "
                                                    "empresa 02 – Metalúrgica Vale do Itajaí S.A.?")),
                 qPrintable(question));
        for (const Kind& k : kinds()) {
            const int n = count(fx, k.where, QStringLiteral("01"));
            const QString line = QString::fromUtf8(k.line) + QStringLiteral(": %1 a copiar\n").arg(n);
            QVERIFY2(n == 0 ? !question.contains(QString::fromUtf8(k.line)) : (question + u'\n').contains(line), qPrintable(question));
        }

        // Yes: copied, reported, and on screen.
        fx.dialogs.choices.push_back(QStringLiteral("01"));
        fx.dialogs.answers.push_back(true);
        f->mnuCopiarParam->trigger();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(fx.dialogs.informations, QStringList{QStringLiteral("%1 registros copiados, 0 já existentes ignorados.").arg(all)});
        QCOMPARE(total(fx, QStringLiteral("02")), all);
        for (const char* tax : {"I", "C"})
            QCOMPARE(params(fx, QStringLiteral("02"), tax), params(fx, QStringLiteral("01"), tax));
        const DataSet& adic = f->data().cdsAdicIRPJ;
        QCOMPARE(adic.state(), DataSet::State::Browse);
        QCOMPARE(f->dbgAdicIRPJ->model()->rowCount(), count(fx, kinds()[0].where, QStringLiteral("01")) + count(fx, kinds()[1].where, QStringLiteral("01"))
                                                            + count(fx, kinds()[2].where, QStringLiteral("01")));
        QVERIFY(column(adic, "NMPARAMAPU").contains(demo::kBrindes));
        QCOMPARE(column(adic, "CDEMPRESA").filter(QStringLiteral("02")).size(), adic.recordCount());
        // New numbers: none of the demo company's.
        const QList<QStringList> numbers01 = fx.rows(QStringLiteral("SELECT NRSEQPARAMAPU FROM PARAMAPUIRPJ WHERE CDEMPRESA = '01'"));
        for (const QString& n : column(adic, "NRSEQPARAMAPU"))
            QVERIFY(!numbers01.contains(QStringList{n}));
        // The accounting information came along.
        QVERIFY(f->data().cdsAdicIRPJ.locate(QStringLiteral("NMPARAMAPU"), {demo::kBrindes}));
        clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
        QCOMPARE(column(f->data().cdsInfCtb, "CHAVE"), QStringList{demo::kBrindesConta});
        clickTab(f->pgcIRPJ, f->tshAdicIRPJ);

        // Again: nothing to copy, nothing asked, nothing written.
        fx.dialogs.informations.clear();
        fx.dialogs.choices.push_back(QStringLiteral("01"));
        f->mnuCopiarParam->trigger();
        QCOMPARE(fx.dialogs.questions.size(), 2);
        QCOMPARE(fx.dialogs.informations,
                 QStringList{QStringLiteral("Nada a copiar: os %1 registros da empresa 01 já existem na empresa 02.").arg(all)});
        QCOMPARE(total(fx, QStringLiteral("02")), all);

        // One row removed: only it (with its account) is copied, the rest skipped.
        QVERIFY(f->data().cdsAdicIRPJ.locate(QStringLiteral("NMPARAMAPU"), {demo::kBrindes}));
        fx.dialogs.answers.push_back(true);
        f->button(B::Excluir)->click();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(total(fx, QStringLiteral("02")), all - 2);
        fx.dialogs.informations.clear();
        fx.dialogs.choices.push_back(QStringLiteral("01"));
        fx.dialogs.answers.push_back(true);
        f->mnuCopiarParam->trigger();
        const int additions = count(fx, kinds()[0].where, QStringLiteral("01"));
        QVERIFY2(fx.dialogs.questions.last().contains(QStringLiteral("Adições IRPJ: 1 a copiar, %1 já existentes\n").arg(additions - 1)),
                 qPrintable(fx.dialogs.questions.last()));
        QVERIFY(fx.dialogs.questions.last().contains(QStringLiteral("Informações contábeis: 1 a copiar, ")));
        QVERIFY(fx.dialogs.questions.last().endsWith(QStringLiteral("Os registros que já existem na empresa 02 ficam como estão.")));
        QCOMPARE(fx.dialogs.informations, QStringList{QStringLiteral("2 registros copiados, %1 já existentes ignorados.").arg(all - 2)});
        QVERIFY(column(f->data().cdsAdicIRPJ, "NMPARAMAPU").contains(demo::kBrindes));
        QCOMPARE(fx.dialogs.errors, QStringList());
    }

    // The front tab is what is read again, whichever it is.
    void reloadsTheFrontTab()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = openOnCompany02(fx);
        QVERIFY(f);
        clickTab(f->pgcGeral, f->tshLucro);
        QVERIFY(f->data().cdsRecDesp.isEmpty());
        fx.dialogs.choices.push_back(QStringLiteral("01"));
        fx.dialogs.answers.push_back(true);
        f->mnuCopiarParam->trigger();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(f->data().cdsRecDesp.recordCount(), count(fx, kinds()[6].where, QStringLiteral("01")));
        QVERIFY(column(f->data().cdsRecDesp, "NMRECDESPIRPJ").contains(demo::kReceitaBruta));
        QCOMPARE(f->data().cdsRecDespEspelho.recordCount(), f->data().cdsRecDesp.recordCount());
        // The other tabs read theirs when they come forward.
        clickTab(f->pgcGeral, f->tshCSLL);
        QCOMPARE(f->data().cdsAdicCSLL.recordCount(), count(fx, QStringLiteral("FROM PARAMAPUIRPJ WHERE CDEMPRESA = '%1' AND IDIMPOSTO = 'C'"),
                                                            QStringLiteral("01")));
    }

    // Off while there is no company's rows on screen or a row is being typed.
    void entriesOffWithoutACompanyAndWhileEditing()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        const auto entries = [f] { return QList<bool>{f->mnuCopiarParam->isEnabled(), f->mnuVerificarParam->isEnabled()}; };
        const QList<bool> on{true, true};
        const QList<bool> off{false, false};
        QVERIFY(f->mnuOperacao()->actions().contains(f->mnuCopiarParam));
        QVERIFY(f->mnuOperacao()->actions().contains(f->mnuVerificarParam));
        QCOMPARE(entries(), off); // the company is being chosen
        f->dbgAdicIRPJ->setFocus();
        QCOMPARE(entries(), on);

        f->button(B::Incluir)->click();
        QCOMPARE(entries(), off);
        f->mnuCopiarParam->trigger(); // an entry that is off does nothing
        QVERIFY(fx.dialogs.lists.isEmpty());
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QCOMPARE(entries(), on);

        f->button(B::Alterar)->click();
        QCOMPARE(entries(), off);
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QCOMPARE(entries(), on);

        clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
        QCOMPARE(entries(), on);
        f->button(B::Incluir)->click();
        QCOMPARE(entries(), off);
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QCOMPARE(entries(), on);

        clickTab(f->pgcGeral, f->tshLucro);
        f->button(B::Incluir)->click();
        QCOMPARE(entries(), off);
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QCOMPARE(entries(), on);

        f->medCdEmpresa->setFocus();
        QCOMPARE(entries(), off);
        QCOMPARE(fx.dialogs.errors, QStringList());
    }

    // The company on screen cannot be its own source; the service's
    // refusals are shown as they come; giving up the search does nothing.
    void refusals()
    {
        // A user who may see company 02 only.
        erp::testing::TempDir users;
        const QString token = QStringLiteral("token-da-ana-0123456789");
        const std::string file = users.path() + "/usuarios";
        std::ofstream(file) << "ana:" << QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex().toStdString() << ":02\n";
        ::chmod(file.c_str(), 0600);
        ScreenFixture fx(true, {"--users", file});
        fx.host.settings().token = token;
        fx.host.settings().company = QStringLiteral("02");
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus();
        QVERIFY(f->mnuCopiarParam->isEnabled());

        fx.dialogs.choices.push_back(std::nullopt);
        f->mnuCopiarParam->trigger();
        QVERIFY(fx.dialogs.questions.isEmpty());
        QVERIFY(fx.dialogs.errors.isEmpty());

        fx.dialogs.choices.push_back(QStringLiteral("02"));
        f->mnuCopiarParam->trigger();
        QCOMPARE(fx.dialogs.errors,
                 QStringList{QStringLiteral("Os parâmetros não podem ser copiados da empresa 02 para ela mesma: escolha outra empresa de origem.")});
        const std::size_t mark = fx.logMark();

        fx.dialogs.errors.clear();
        fx.dialogs.choices.push_back(QStringLiteral("01"));
        f->mnuCopiarParam->trigger();
        QCOMPARE(fx.dialogs.errors, QStringList{QStringLiteral("Usuário sem acesso à empresa 01.")});
        QVERIFY(fx.dialogs.questions.isEmpty());
        QCOMPARE(fx.callsSince(mark), QStringList{QStringLiteral("previaCopiaParamIRPJ")});
        QCOMPARE(total(fx, QStringLiteral("02")), 0);
        QCOMPARE(f->data().cdsAdicIRPJ.state(), DataSet::State::Browse);
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestCopy t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_copy.moc"
