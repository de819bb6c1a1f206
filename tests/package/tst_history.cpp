// SPDX-License-Identifier: MIT
// "Histórico do registro": two accountants change the same row one after the
// other, and the screen shows who changed what, newest first, in Portuguese.
#include "screenfixture.h"

#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/tabledialog.h"

#include <QAction>
#include <QCryptographicHash>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>

#include <fstream>

#include <sys/stat.h>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
namespace demo = erp::testing::demo;
using erp::testing::clickTab;
using erp::testing::field;
using erp::testing::shown;
using erp::testing::typeInto;
using B = erp::host::TfrmPadraoSimples;

namespace {

const QString kMaria = QStringLiteral("token-da-maria-0123456789");
const QString kJose = QStringLiteral("token-do-jose-9876543210");

// A users file with maria and jose, both with every company.
std::string usersFile(const std::string& folder)
{
    const auto line = [](const char* name, const QString& token) {
        return std::string(name) + ':' + QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex().toStdString() + ":*\n";
    };
    const std::string path = folder + "/usuarios";
    std::ofstream(path) << line("maria", kMaria) << line("jose", kJose);
    ::chmod(path.c_str(), 0600);
    return path;
}

QList<QStringList> withoutMoment(QList<QStringList> rows)
{
    for (QStringList& r : rows)
        r.removeFirst();
    return rows;
}

host::TTableDialog* openHistory(TfrmParamIRPJ* f, QWidget* focus)
{
    // Shortcuts work in the active window only; the offscreen platform does
    // not hand it back when a dialog closes, as a window manager does.
    focus->window()->activateWindow();
    if (!QTest::qWaitForWindowActive(focus->window()))
        return nullptr;
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_H, Qt::ControlModifier);
    host::TTableDialog* dialog = nullptr;
    const bool shownUp = QTest::qWaitFor([&] { return (dialog = f->findChild<host::TTableDialog*>(QStringLiteral("dlgHistorico"))) && dialog->isVisible(); });
    return shownUp ? dialog : nullptr;
}

void closeHistory(host::TTableDialog* dialog)
{
    QPointer<host::TTableDialog> alive(dialog);
    dialog->findChild<QPushButton*>(QStringLiteral("btnFechar"))->click();
    QTRY_VERIFY(!alive);
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsBothUsersChangesNewestFirstAndExportsThem()
    {
        erp::testing::TempDir users;
        ScreenFixture fx(true, {"--users", usersFile(users.path())});
        fx.host.settings().token = kMaria;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus(); // leaving the company bar loads company 01
        DataSet& adic = f->data().cdsAdicIRPJ;
        QVERIFY(adic.locate(QStringLiteral("NMPARAMAPU"), {demo::kBrindes}));

        typeInto(f, f->dbgAdicIRPJ, {{"NMPARAMAPU", QStringLiteral("Presentes")}});
        QCOMPARE(adic.state(), DataSet::State::Browse);
        // Another accountant, on another connection.
        fx.host.settings().token = kJose;
        f->netParamIRPJ().close();
        typeInto(f, f->dbgAdicIRPJ, {{"IDPARAMAPU", QStringLiteral("e")}, {"VRPORCENTAGEM", QStringLiteral("12,5")}});
        QCOMPARE(adic.state(), DataSet::State::Browse);
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(field(adic, "VRPORCENTAGEM").asFloat(), 12.5);

        host::TTableDialog* dialog = openHistory(f, f->dbgAdicIRPJ);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Histórico do registro"));
        QTableView* view = dialog->view();
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
        QStringList titles;
        for (int c = 0; c < view->model()->columnCount(); ++c)
            titles << view->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"Data e hora", "Usuário", "Operação", "Campo", "Antes", "Depois"}));
        const QList<QStringList> expected{{"jose", "Alterado", "Tipo", "Adição", "Exclusão"},
                                          {"jose", "Alterado", "% do valor", "100", "12,5"},
                                          {"maria", "Alterado", "Nome", demo::kBrindes, "Presentes"}};
        QCOMPARE(withoutMoment(shown(view)), expected);
        // The moment in the user's locale, local time, to the second.
        const QRegularExpression moment(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
        for (const QStringList& row : shown(view))
            QVERIFY2(moment.match(row.front()).hasMatch(), qPrintable(row.front()));

        // Sorted by a click on a title: by user, then the other way round.
        QHeaderView* header = view->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QCOMPARE(shown(view).front().at(1), header->sortIndicatorOrder() == Qt::AscendingOrder ? QStringLiteral("jose") : QStringLiteral("maria"));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QCOMPARE(shown(view).front().at(1), header->sortIndicatorOrder() == Qt::AscendingOrder ? QStringLiteral("jose") : QStringLiteral("maria"));
        header->setSortIndicator(0, Qt::DescendingOrder);
        QCOMPARE(withoutMoment(shown(view)), expected);

        // The rows as shown, in a file Brazilian spreadsheets open as they are.
        const QString csv = QString::fromStdString(fx.dir.path()) + QStringLiteral("/historico.csv");
        fx.dialogs.saveFiles.push_back(csv);
        dialog->findChild<QPushButton*>(QStringLiteral("btnExportar"))->click();
        QCOMPARE(fx.dialogs.errors, QStringList());
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.front(), QStringLiteral("Data e hora;Usuário;Operação;Campo;Antes;Depois"));
        const QList<QStringList> rows = shown(view);
        for (int r = 0; r < rows.size(); ++r)
            QCOMPARE(lines.at(r + 1), rows.at(r).join(u';'));
        QVERIFY(lines.at(2).endsWith(QStringLiteral(";jose;Alterado;% do valor;100;12,5")));
        closeHistory(dialog);

        // From the accounting information, the history of its parent.
        clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
        QVERIFY(f->mnuHistorico->isEnabled());
        dialog = openHistory(f, f->dbgInfCtbIRPJ);
        QVERIFY(dialog);
        QCOMPARE(withoutMoment(shown(dialog->view())), expected);
        closeHistory(dialog);
    }

    // Only a saved row has a history to show: not an empty grid, not a row
    // being inserted or edited, not while the company is being chosen.
    void entryOnlyForASavedRow()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        QVERIFY(f->data().cdsAdicIRPJ.isEmpty());
        QVERIFY(!f->mnuHistorico->isEnabled()); // no company loaded yet
        QVERIFY(f->mnuOperacao()->actions().contains(f->mnuHistorico));
        f->dbgAdicIRPJ->setFocus();
        QVERIFY(!f->data().cdsAdicIRPJ.isEmpty());
        QVERIFY(f->mnuHistorico->isEnabled());

        f->button(B::Incluir)->click();
        QVERIFY(!f->mnuHistorico->isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::ControlModifier);
        QVERIFY(!f->findChild<host::TTableDialog*>());
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QVERIFY(f->mnuHistorico->isEnabled());

        f->button(B::Alterar)->click();
        QVERIFY(!f->mnuHistorico->isEnabled());
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();

        // An accounting row being inserted under a saved parent.
        clickTab(f->pgcIRPJ, f->tshInfCtbIRPJ);
        QVERIFY(f->mnuHistorico->isEnabled());
        f->button(B::Incluir)->click();
        QVERIFY(!f->mnuHistorico->isEnabled());
        fx.dialogs.answers.push_back(true);
        f->button(B::Cancelar)->click();
        QVERIFY(f->mnuHistorico->isEnabled());

        // Choosing a company closes the rows.
        f->medCdEmpresa->setFocus();
        QVERIFY(!f->mnuHistorico->isEnabled());
    }

    // A refusal is shown as any other: a message, and no dialog.
    void refusalShowsAMessage()
    {
        ScreenFixture fx;
        TfrmParamIRPJ* f = fx.open();
        QVERIFY(f);
        f->dbgAdicIRPJ->setFocus();
        QVERIFY(f->mnuHistorico->isEnabled());
        fx.server.reset();
        f->mnuHistorico->trigger();
        QCOMPARE(fx.dialogs.errors.size(), 1);
        QVERIFY(!f->findChild<host::TTableDialog*>());
        QCOMPARE(f->data().cdsAdicIRPJ.state(), DataSet::State::Browse);
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestHistory t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_history.moc"
