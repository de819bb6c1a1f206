// SPDX-License-Identifier: MIT
// "Códigos da ECF…": an accountant gives the IRPJ and CSLL rows their codes
// of the Receita's tables, through the search, a suggestion or the keyboard,
// for the year being filed, and finds them again.
#include "screenfixture.h"

#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/tabledialog.h"
#include "screen/ecfdialog.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>

using namespace erp;
using erp::par47300::EcfCodesModel;
using erp::par47300::TEcfCodesDialog;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
namespace demo = erp::testing::demo;
using erp::testing::clickTab;
using B = erp::host::TfrmPadraoSimples;

namespace {

// Opens the dialog from the menu; the new one, once it shows.
TEcfCodesDialog* openCodes(TfrmParamIRPJ* f)
{
    if (!f->mnuCodigosECF->isEnabled())
        return nullptr;
    const QList<TEcfCodesDialog*> before = f->findChildren<TEcfCodesDialog*>();
    f->mnuCodigosECF->trigger();
    TEcfCodesDialog* dialog = nullptr;
    const bool shown = QTest::qWaitFor([&] {
        for (TEcfCodesDialog* d : f->findChildren<TEcfCodesDialog*>(QStringLiteral("dlgCodigosECF")))
            if (!before.contains(d) && d->isVisible())
                dialog = d;
        return dialog != nullptr;
    });
    return shown ? dialog : nullptr;
}

// Starts from rows without codes, whatever the demo data gives them: every
// row unmapped through the dialog itself.
bool clearCodes(TfrmParamIRPJ* f)
{
    TEcfCodesDialog* d = openCodes(f);
    if (!d)
        return false;
    for (int r = 0; r < d->model()->rowCount(); ++r)
        if (!d->model()->setCode(r, QString()))
            return false;
    QPointer<TEcfCodesDialog> alive(d);
    d->findChild<QPushButton*>(QStringLiteral("btnGravar"))->click();
    return QTest::qWaitFor([&] { return !alive; });
}

// Types into the current cell of the dialog's grid as the keyboard does: the
// first key opens the cell's editor, the rest and Enter go to the editor.
// (Sent to the widgets themselves: the offscreen platform leaves the focus
// in the screen under a window-modal dialog.)
void typeInCell(TEcfCodesDialog* d, const QString& s)
{
    QTest::keyClick(d->view(), char(s.front().unicode()));
    auto* editor = d->view()->findChild<QLineEdit*>();
    QVERIFY(editor);
    for (const QChar ch : s.mid(1))
        QTest::keyClick(editor, char(ch.unicode()));
    QPointer<QLineEdit> open(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits and closes its editor from the event loop.
    QTRY_VERIFY(!open);
}

int rowOf(const EcfCodesModel* m, const QString& name)
{
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->row(r).name == name)
            return r;
    return -1;
}

QString cell(const EcfCodesModel* m, int r, int column)
{
    return m->index(r, column).data().toString();
}

void goTo(TEcfCodesDialog* d, int r)
{
    d->view()->setCurrentIndex(d->model()->index(r, EcfCodesModel::Codigo));
}

void click(TEcfCodesDialog* d, const char* button)
{
    d->findChild<QPushButton*>(QLatin1String(button))->click();
}

// The codes the last search offered.
QStringList offered(const host::ScriptedDialogs& dialogs)
{
    QStringList codes;
    for (const QStringList& row : dialogs.lists.back().rows)
        codes << row.front();
    return codes;
}

// Closes with Gravar and waits until the dialog is gone.
bool saveAndClose(TEcfCodesDialog* d)
{
    QPointer<TEcfCodesDialog> alive(d);
    click(d, "btnGravar");
    return QTest::qWaitFor([&] { return !alive; });
}

} // namespace

class TestEcfCodes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The whole road: the search, a suggestion and the keyboard give three
    // rows their codes; Gravar sends them in one call; reopened, they are there.
    void picksSavesAndFindsThemAgain()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus(); // leaving the company bar loads company 01
        QVERIFY(clearCodes(f));
        DataSet& adic = f->data().cdsAdicIRPJ;
        const int current = adic.recNo();
        const std::size_t mark = fx.logMark();

        TEcfCodesDialog* d = openCodes(f);
        QVERIFY(d);
        QCOMPARE(d->windowModality(), Qt::WindowModal);
        QCOMPARE(d->yearBox()->value(), QDate::currentDate().year());
        d->yearBox()->setValue(2025);
        const EcfCodesModel* m = d->model();
        QCOMPARE(m->rowCount(), adic.recordCount());
        QStringList titles;
        for (int c = 0; c < m->columnCount(); ++c)
            titles << m->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"Nome", "Tipo", "Percentual", "Código ECF", "Descrição ECF", "Vigência", "Sugestão"}));
        const int multas = rowOf(m, demo::kMultas), brindes = rowOf(m, demo::kBrindes),
                  prejuizos = rowOf(m, QStringLiteral("Compensação de prejuízos fiscais"));
        QVERIFY(multas >= 0 && brindes >= 0 && prejuizos >= 0);
        QCOMPARE(cell(m, multas, EcfCodesModel::Tipo), QStringLiteral("Adição"));
        QCOMPARE(cell(m, prejuizos, EcfCodesModel::Tipo), QStringLiteral("Compensação"));
        QCOMPARE(cell(m, prejuizos, EcfCodesModel::Percentual), QStringLiteral("30,00"));
        QCOMPARE(cell(m, multas, EcfCodesModel::Codigo), QString());

        // The search lists the additions valid in 2025, and nothing else.
        goTo(d, multas);
        QVERIFY(d->suggestionList()->count() > 0);
        QVERIFY(d->suggestionList()->item(0)->text().startsWith(QStringLiteral("8.60 – ")));
        fx.dialogs.choices.push_back(QStringLiteral("8.60"));
        click(d, "btnPesquisar");
        QCOMPARE(fx.dialogs.lists.back().columns, (QStringList{"Código", "Descrição", "Vigência"}));
        const QStringList additions = offered(fx.dialogs);
        QVERIFY(additions.contains(QStringLiteral("8.60")));
        QVERIFY(additions.contains(QStringLiteral("6")));
        QVERIFY(!additions.contains(QStringLiteral("95")));     // an exclusion
        QVERIFY(!additions.contains(QStringLiteral("173")));    // a loss compensation
        QVERIFY(!additions.contains(QStringLiteral("9")));      // computed by the ECF
        QVERIFY(!additions.contains(QStringLiteral("8.1101"))); // begins in 2026
        QCOMPARE(cell(m, multas, EcfCodesModel::Codigo), QStringLiteral("8.60"));
        QCOMPARE(cell(m, multas, EcfCodesModel::Descricao), QStringLiteral("Multas por infrações fiscais"));
        QCOMPARE(cell(m, multas, EcfCodesModel::Vigencia), QStringLiteral("01/01/2017 a —"));
        QCOMPARE(cell(m, multas, EcfCodesModel::Sugestao), QString());

        // A compensation is offered the loss compensations only.
        goTo(d, prejuizos);
        fx.dialogs.choices.push_back(std::nullopt);
        click(d, "btnPesquisar");
        QCOMPARE(offered(fx.dialogs), (QStringList{"173", "174"}));
        QCOMPARE(cell(m, prejuizos, EcfCodesModel::Codigo), QString());

        // The first suggestion, accepted.
        goTo(d, brindes);
        QVERIFY(!cell(m, brindes, EcfCodesModel::Sugestao).isEmpty());
        click(d, "btnAceitarSugestao");
        QCOMPARE(cell(m, brindes, EcfCodesModel::Codigo), QStringLiteral("8.55"));
        QVERIFY(!d->findChild<QPushButton*>(QStringLiteral("btnAceitarSugestao"))->isEnabled());

        // Typed: a code of another entry type is refused and changes nothing;
        // the right one is taken.
        goTo(d, prejuizos);
        typeInCell(d, QStringLiteral("95"));
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QCOMPARE(fx.dialogs.errors.front(),
                 QStringLiteral("O código 95 da tabela M300A é de exclusão e não serve a \"Compensação de prejuízos fiscais\", que é de compensação."));
        QCOMPARE(cell(m, prejuizos, EcfCodesModel::Codigo), QString());
        typeInCell(d, QStringLiteral("173"));
        QCOMPARE(cell(m, prejuizos, EcfCodesModel::Codigo), QStringLiteral("173"));
        typeInCell(d, QStringLiteral("999"));
        QCOMPARE(fx.dialogs.errors.back(), QStringLiteral("O código 999 não consta da tabela M300A da ECF."));
        QCOMPARE(cell(m, prejuizos, EcfCodesModel::Codigo), QStringLiteral("173"));

        QVERIFY(saveAndClose(d));
        QCOMPARE(fx.dialogs.errors.size(), 2);
        QCOMPARE(fx.callsSince(mark), (QStringList{"getTabelaECF", "getCodECF", "setCodECF"}));
        // Nothing else on the screen changed.
        QCOMPARE(adic.state(), DataSet::State::Browse);
        QCOMPARE(adic.recNo(), current);
        QCOMPARE(adic.changeCount(), 0);

        d = openCodes(f);
        QVERIFY(d);
        d->yearBox()->setValue(2025);
        m = d->model();
        QCOMPARE(cell(m, multas, EcfCodesModel::Codigo), QStringLiteral("8.60"));
        QCOMPARE(cell(m, brindes, EcfCodesModel::Codigo), QStringLiteral("8.55"));
        QCOMPARE(cell(m, prejuizos, EcfCodesModel::Codigo), QStringLiteral("173"));
        QCOMPARE(cell(m, multas, EcfCodesModel::Descricao), QStringLiteral("Multas por infrações fiscais"));
        QVERIFY(!m->hasChanges());

        // Left without a code: the row is unmapped.
        goTo(d, brindes);
        QTest::keyClick(d->view(), Qt::Key_F2);
        auto* editor = d->view()->findChild<QLineEdit*>();
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("8.55"));
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Delete);
        QPointer<QLineEdit> open(editor);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!open);
        QCOMPARE(cell(m, brindes, EcfCodesModel::Codigo), QString());
        QVERIFY(saveAndClose(d));
        d = openCodes(f);
        QVERIFY(d);
        QCOMPARE(cell(d->model(), brindes, EcfCodesModel::Codigo), QString());
        QCOMPARE(cell(d->model(), multas, EcfCodesModel::Codigo), QStringLiteral("8.60"));
        click(d, "btnCancelar");
        QCOMPARE(fx.dialogs.questions.size(), 0); // nothing changed, nothing asked
        QTRY_VERIFY(!f->findChild<TEcfCodesDialog*>());
    }

    // A code that begins on 2026-01-01 is offered for 2026 and not for 2025;
    // mapped, it shows as out of validity in 2025, with its dates.
    void validityFollowsTheYear()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus();
        QVERIFY(clearCodes(f));
        TEcfCodesDialog* d = openCodes(f);
        QVERIFY(d);
        const EcfCodesModel* m = d->model();
        const int multas = rowOf(m, demo::kMultas);
        goTo(d, multas);

        d->yearBox()->setValue(2025);
        fx.dialogs.choices.push_back(QStringLiteral("8.1101"));
        click(d, "btnPesquisar");
        QVERIFY(!offered(fx.dialogs).contains(QStringLiteral("8.1101")));
        QCOMPARE(cell(m, multas, EcfCodesModel::Codigo), QString());

        d->yearBox()->setValue(2026);
        fx.dialogs.choices.push_back(QStringLiteral("8.1101"));
        click(d, "btnPesquisar");
        QVERIFY(offered(fx.dialogs).contains(QStringLiteral("8.1101")));
        QCOMPARE(cell(m, multas, EcfCodesModel::Codigo), QStringLiteral("8.1101"));
        QCOMPARE(cell(m, multas, EcfCodesModel::Vigencia), QStringLiteral("01/01/2026 a —"));
        QVERIFY(!m->outOfValidity(multas));

        d->yearBox()->setValue(2025);
        QCOMPARE(cell(m, multas, EcfCodesModel::Vigencia), QStringLiteral("Fora de vigência em 2025 (01/01/2026 a —)"));
        QVERIFY(cell(m, multas, EcfCodesModel::Descricao).startsWith(QStringLiteral("PRONAC")));
        QCOMPARE(m->index(multas, EcfCodesModel::Vigencia).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::darkRed));

        // Saved as it is, and shown so again.
        QVERIFY(saveAndClose(d));
        QCOMPARE(fx.dialogs.errors, QStringList());
        d = openCodes(f);
        QVERIFY(d);
        d->yearBox()->setValue(2025);
        QCOMPARE(cell(d->model(), multas, EcfCodesModel::Vigencia), QStringLiteral("Fora de vigência em 2025 (01/01/2026 a —)"));
        d->yearBox()->setValue(2027);
        QCOMPARE(cell(d->model(), multas, EcfCodesModel::Vigencia), QStringLiteral("01/01/2026 a —"));
        click(d, "btnCancelar");
        QTRY_VERIFY(!f->findChild<TEcfCodesDialog*>());

        // The row's history tells who gave it the code.
        QVERIFY(f->data().cdsAdicIRPJ.locate(QStringLiteral("NMPARAMAPU"), {demo::kMultas}));
        QVERIFY(f->mnuHistorico->isEnabled());
        f->mnuHistorico->trigger();
        host::TTableDialog* history = nullptr;
        QTRY_VERIFY((history = f->findChild<host::TTableDialog*>(QStringLiteral("dlgHistorico"))));
        const QAbstractItemModel* lines = history->view()->model();
        QList<QStringList> shown;
        for (int r = 0; r < lines->rowCount(); ++r) {
            QStringList line;
            for (int c = 1; c < lines->columnCount(); ++c)
                line << lines->index(r, c).data().toString();
            shown << line;
        }
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.front(), (QStringList{"local", "Incluído", "Código ECF", "", "8.1101"})); // newest first
    }

    // CSLL rows take M350A's codes; its code 13 has two lines valid in the
    // same year, and both descriptions are shown.
    void csllCodeWithTwoLines()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus();
        clickTab(f->pgcGeral, f->tshCSLL);
        QVERIFY(!f->data().cdsAdicCSLL.isEmpty());
        QVERIFY(clearCodes(f));
        TEcfCodesDialog* d = openCodes(f);
        QVERIFY(d);
        QVERIFY(d->windowTitle().contains(QStringLiteral("M350A")));
        d->yearBox()->setValue(2025);
        const EcfCodesModel* m = d->model();
        QCOMPARE(m->rowCount(), f->data().cdsAdicCSLL.recordCount());
        const int brindes = rowOf(m, demo::kBrindes);
        goTo(d, brindes);
        fx.dialogs.choices.push_back(QStringLiteral("13"));
        click(d, "btnPesquisar");
        QCOMPARE(offered(fx.dialogs).count(QStringLiteral("13")), 2);
        const auto both = [&] {
            const QString text = cell(d->model(), brindes, EcfCodesModel::Descricao);
            return text.contains(QStringLiteral("não constituída em país")) && text.contains(QStringLiteral("situadas em país"))
                   && text.contains(QStringLiteral(" / "));
        };
        QVERIFY(both());
        QVERIFY(saveAndClose(d));
        QCOMPARE(fx.dialogs.errors, QStringList());
        d = openCodes(f);
        QVERIFY(d);
        d->yearBox()->setValue(2025);
        QCOMPARE(cell(d->model(), brindes, EcfCodesModel::Codigo), QStringLiteral("13"));
        QVERIFY(both());
    }

    // Someone else mapped the row meanwhile: the service refuses, its
    // message is shown, and the dialog stays with what the user chose.
    void refusalKeepsTheEdits()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus();
        QVERIFY(clearCodes(f));
        TEcfCodesDialog* first = openCodes(f);
        QVERIFY(first);
        const int multas = rowOf(first->model(), demo::kMultas);
        QVERIFY(first->model()->setCode(multas, QStringLiteral("8.60")));

        TEcfCodesDialog* second = openCodes(f);
        QVERIFY(second && second != first);
        QVERIFY(second->model()->setCode(multas, QStringLiteral("8.65")));
        QVERIFY(saveAndClose(second));
        QCOMPARE(fx.dialogs.errors, QStringList());

        click(first, "btnGravar");
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(first->isVisible());
        QCOMPARE(cell(first->model(), multas, EcfCodesModel::Codigo), QStringLiteral("8.60"));
        QVERIFY(first->model()->hasChanges());

        // Cancelar asks before dropping them; No keeps the dialog.
        fx.dialogs.answers.push_back(false);
        click(first, "btnCancelar");
        QCOMPARE(fx.dialogs.questions, QStringList{QStringLiteral("Descartar as alterações dos códigos da ECF?")});
        QVERIFY(first->isVisible());
        fx.dialogs.answers.push_back(true);
        QPointer<TEcfCodesDialog> alive(first);
        click(first, "btnCancelar");
        QTRY_VERIFY(!alive);

        TEcfCodesDialog* again = openCodes(f);
        QVERIFY(again);
        QCOMPARE(cell(again->model(), multas, EcfCodesModel::Codigo), QStringLiteral("8.65"));
    }

    // Only on the IRPJ and CSLL rows' own pages, with saved rows and none
    // being typed.
    void entryOnTheTaxRowsOnly()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QVERIFY(f->mnuOperacao()->actions().contains(f->mnuCodigosECF));
        QCOMPARE(f->mnuCodigosECF->text().remove(u'&'), QStringLiteral("Códigos da ECF…"));
        QVERIFY(!f->mnuCodigosECF->isEnabled()); // no company loaded yet
        f->dbgAdicIRPJ->setFocus();
        QVERIFY(f->mnuCodigosECF->isEnabled());

        f->button(B::Incluir)->click();
        QVERIFY(!f->mnuCodigosECF->isEnabled());
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QVERIFY(f->mnuCodigosECF->isEnabled());
        f->button(B::Alterar)->click();
        QVERIFY(!f->mnuCodigosECF->isEnabled());
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QVERIFY(f->mnuCodigosECF->isEnabled());

        clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
        QVERIFY(!f->mnuCodigosECF->isEnabled());
        clickTab(f->pgcIRPJ, f->tshAdicIRPJ);
        QVERIFY(f->mnuCodigosECF->isEnabled());
        clickTab(f->pgcGeral, f->tshLucro);
        QVERIFY(!f->mnuCodigosECF->isEnabled());
        clickTab(f->pgcGeral, f->tshCSLL);
        QVERIFY(f->mnuCodigosECF->isEnabled());

        // Choosing a company closes the rows.
        f->medCdEmpresa->setFocus();
        QVERIFY(!f->mnuCodigosECF->isEnabled());
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestEcfCodes t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_ecfcodes.moc"
