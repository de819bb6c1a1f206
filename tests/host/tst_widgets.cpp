// SPDX-License-Identifier: MIT
// The host's controls through the real widgets, offscreen.
#include "host/basescreen.h"
#include "host/busy.h"
#include "host/choicedialog.h"
#include "host/dbcontrols.h"
#include "host/dialogs.h"
#include "host/focuschain.h"
#include "host/hostapplication.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/search.h"
#include "host/services.h"
#include "host/tabledialog.h"
#include "platform/dataset.h"
#include "platform/datasource.h"
#include "wire/errors.h"

#include <QAction>
#include <QComboBox>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace erp;
using namespace erp::host;

namespace {

// A screen with a company-bar-like panel (two edits) and a page control.
class Screen : public TfrmPadraoSimples {
public:
    Screen()
    {
        auto* layout = new QVBoxLayout(clientArea());
        bar = new QWidget(clientArea());
        bar->setObjectName(QStringLiteral("bar"));
        auto* barLayout = new QHBoxLayout(bar);
        code = new TMaskEdit(bar);
        name = new QLineEdit(bar);
        barLayout->addWidget(code);
        barLayout->addWidget(name);
        pages = new TPageControl(clientArea());
        first = new QWidget;
        second = new QWidget;
        third = new QWidget;
        pages->addTab(first, QStringLiteral("Primeira"));
        pages->addTab(second, QStringLiteral("Segunda"));
        pages->addTab(third, QStringLiteral("Terceira"));
        inside = new QLineEdit(first);
        choices = new QComboBox(second);
        choices->setEditable(true);
        choices->addItems({QStringLiteral("Sim"), QStringLiteral("Não")});
        layout->addWidget(bar);
        layout->addWidget(pages);
    }
    void sbtConfirmarClick(QObject* sender) override
    {
        TfrmPadraoSimples::sbtConfirmarClick(sender);
        log << QStringLiteral("confirmar");
    }
    QWidget* bar;
    TMaskEdit* code;
    QLineEdit* name;
    TPageControl* pages;
    QWidget *first, *second, *third;
    QLineEdit* inside;
    QComboBox* choices;
    QStringList log;
};

DataSet* companies(QObject* parent)
{
    auto* ds = new DataSet(QStringLiteral("qryEmpresa"), parent);
    ds->setFieldDefs({{QStringLiteral("CDEMPRESA"), FieldType::String, 2}, {QStringLiteral("NMEMPRESA"), FieldType::String, 40}});
    ds->field(0).setDisplayLabel(QStringLiteral("Código"));
    ds->field(1).setDisplayLabel(QStringLiteral("Nome"));
    ds->loadPacket({ds->fieldDefs(), {{"01", "Comércio Alfa"}, {"02", "Indústria Beta"}, {"03", "Serviços Gama"}}});
    return ds;
}

} // namespace

class TestWidgets : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    std::unique_ptr<DialogServiceScope> scope;
    std::unique_ptr<HostApplication> host;
    std::unique_ptr<Screen> screen;

private Q_SLOTS:
    void init()
    {
        scope = std::make_unique<DialogServiceScope>(dialogs);
        dialogs = ScriptedDialogs();
        host = std::make_unique<HostApplication>();
        screen = std::make_unique<Screen>();
        screen->show();
        QVERIFY(QTest::qWaitForWindowActive(screen.get()));
    }
    void cleanup()
    {
        screen.reset();
        host.reset();
        scope.reset();
    }

    void toolbarStartsDisabledAndMenuFollowsButtons()
    {
        const char* names[] = {"sbtConfirmar", "sbtCancelar", "sbtIncluir", "sbtAlterar", "sbtExcluir",
                               "sbtProcurar", "sbtVerificar", "sbtAjuda", "sbtImprimir"};
        for (const char* n : names) {
            auto* b = screen->findChild<QToolButton*>(QString::fromLatin1(n));
            QVERIFY2(b, n);
            QVERIFY2(!b->isEnabled(), n);
            QVERIFY2(!b->toolTip().isEmpty(), n);
        }
        QCOMPARE(screen->mnuOperacao()->actions().count(screen->action(TfrmPadraoSimples::Incluir)), 1);
        screen->action(TfrmPadraoSimples::Incluir)->setEnabled(true);
        QVERIFY(screen->button(TfrmPadraoSimples::Incluir)->isEnabled());
        QCOMPARE(screen->msgBase()->Msg(QStringLiteral("Excl")), QStringLiteral("Confirma a exclusão do registro?"));
        QCOMPARE(screen->msgBase()->Msg(QStringLiteral("Canc")), QStringLiteral("Confirma o cancelamento das alterações?"));
    }

    void shortcutRunsTheRuleOnlyWhenEnabled()
    {
        screen->code->setFocus();
        QTest::keyClick(screen->code, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(screen->log.isEmpty());
        screen->action(TfrmPadraoSimples::Confirmar)->setEnabled(true);
        QTest::keyClick(screen->code, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(screen->log, QStringList{QStringLiteral("confirmar")});
    }

    // An enabled toolbar key is the screen's in every editor, even one that
    // has a use for it (Ctrl+Z undoes typing, Ctrl+E moves to the end).
    void toolbarKeysWinOverTheEditorsOwn_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::newRow("masked edit") << "code";
        QTest::newRow("line edit") << "name";
        QTest::newRow("editable combo box") << "choices";
    }
    void toolbarKeysWinOverTheEditorsOwn()
    {
        QFETCH(QString, editor);
        QWidget* w = editor == u"code" ? screen->code : editor == u"name" ? static_cast<QWidget*>(screen->name) : screen->choices;
        if (w == screen->choices)
            screen->pages->setCurrentWidget(screen->second);
        auto* line = qobject_cast<QLineEdit*>(w) ? qobject_cast<QLineEdit*>(w) : screen->choices->lineEdit();
        line->setFocus();
        QTest::keyClicks(line, QStringLiteral("12"));
        const QString typed = line->text();
        for (int b = 0; b < TfrmPadraoSimples::ButtonCount; ++b) {
            QAction* act = screen->action(TfrmPadraoSimples::Button(b));
            act->setEnabled(true);
            QSignalSpy triggered(act, &QAction::triggered);
            const QKeyCombination key = act->shortcut()[0];
            QTest::keyClick(line, key.key(), key.keyboardModifiers());
            QVERIFY2(triggered.size() == 1, qPrintable(act->shortcut().toString()));
            QCOMPARE(line->text(), typed); // nothing undone, nothing moved into the text
            QCOMPARE(QApplication::focusWidget(), w);
            act->setEnabled(false);
        }
        // A disabled button leaves the key to the editor: Ctrl+Z undoes the typing.
        QTest::keyClick(line, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(line->text() != typed);
    }

    void focusChainRunsExitsInnermostFirstAndEntersOutermostFirst()
    {
        QStringList log;
        FocusChain& chain = host->focusChain();
        chain.setExit(screen->code, [&] { log << "exit code"; });
        chain.setExit(screen->bar, [&] { log << "exit bar"; });
        chain.setEnter(screen->pages, [&] { log << "enter pages"; });
        chain.setEnter(screen->first, [&] { log << "enter first"; });
        chain.setEnter(screen->inside, [&] { log << "enter inside"; });
        screen->code->setFocus();
        QTRY_VERIFY(screen->code->hasFocus());
        log.clear();
        screen->name->setFocus(); // same container: only the control's exit
        QCOMPARE(log, QStringList{"exit code"});
        log.clear();
        screen->inside->setFocus();
        QCOMPARE(log, (QStringList{"exit bar", "enter pages", "enter first", "enter inside"}));
    }

    void refusedExitKeepsTheFocusAndStopsTheChain()
    {
        QStringList log;
        FocusChain& chain = host->focusChain();
        chain.setExit(screen->code, [&] {
            log << "exit code";
            screen->code->setFocus();
            MensErro(QStringLiteral("Empresa deve ser informada."));
        });
        chain.setExit(screen->bar, [&] { log << "exit bar"; });
        chain.setEnter(screen->inside, [&] { log << "enter inside"; });
        screen->code->setFocus();
        QTRY_VERIFY(screen->code->hasFocus());
        log.clear();
        screen->inside->setFocus();
        QVERIFY(screen->code->hasFocus());
        QCOMPARE(log, QStringList{"exit code"});
        QCOMPARE(dialogs.errors, QStringList{QStringLiteral("Empresa deve ser informada.")});

        // A click on another tab is cancelled too.
        const QRect tab = screen->pages->tabBar()->tabRect(1);
        QTest::mouseClick(screen->pages->tabBar(), Qt::LeftButton, {}, tab.center());
        QCOMPARE(screen->pages->activePage(), screen->first);
        QVERIFY(screen->code->hasFocus());
    }

    void pageChangeRuleOnlyForTheUserAndDisabledPages()
    {
        int changes = 0;
        screen->pages->onChange = [&](TPageControl&) { ++changes; };
        screen->pages->setActivePage(screen->second);
        QCOMPARE(changes, 0);
        QTest::mouseClick(screen->pages->tabBar(), Qt::LeftButton, {}, screen->pages->tabBar()->tabRect(0).center());
        QCOMPARE(screen->pages->activePage(), screen->first);
        QCOMPARE(changes, 1);

        screen->pages->setPageEnabled(screen->third, false);
        QTest::mouseClick(screen->pages->tabBar(), Qt::LeftButton, {}, screen->pages->tabBar()->tabRect(2).center());
        QCOMPARE(screen->pages->activePage(), screen->first);
        QVERIFY(!screen->third->isEnabled());

        screen->pages->setPageEnabled(screen->first, false); // the front page stays in front
        QCOMPARE(screen->pages->activePage(), screen->first);
        QVERIFY(!screen->pages->pageEnabled(screen->first));
        QCOMPARE(changes, 1);
    }

    void maskEditStoresWithoutLiteralsAndRunsItsChangeRule()
    {
        int changes = 0;
        screen->code->setEditMask(QStringLiteral("99;0; "));
        screen->code->onChange = [&](TMaskEdit&) { ++changes; };
        screen->code->setFocus();
        screen->code->home(false);
        QTest::keyClicks(screen->code, QStringLiteral("1"));
        QCOMPARE(screen->code->storedText(), QStringLiteral("1"));
        QTest::keyClicks(screen->code, QStringLiteral("a2"));
        QCOMPARE(screen->code->storedText(), QStringLiteral("12"));
        QVERIFY(changes >= 2);

        TMaskEdit account;
        account.setEditMask(QStringLiteral("9.9.9.99.9999;0;_"));
        account.setStoredText(QStringLiteral("111010001"));
        QCOMPARE(account.text(), QStringLiteral("1.1.1.01.0001"));
        QCOMPARE(account.storedText(), QStringLiteral("111010001"));
    }

    // Typing in the search dialog filters on what a cell shows and on what it
    // stores: a masked code is found by its digits too.
    void choiceListFiltersOnShownAndStoredTexts()
    {
        ChoiceList list{QStringLiteral("Conta Contábil"), {QStringLiteral("Código"), QStringLiteral("Nome")},
                        {{QStringLiteral("1.1.1.01.0001"), QStringLiteral("Caixa")}, {QStringLiteral("4.2.3.01.0004"), QStringLiteral("Provisões")}},
                        {{QStringLiteral("111010001"), QStringLiteral("Caixa")}, {QStringLiteral("423010004"), QStringLiteral("Provisões")}}};
        ChoiceDialog dialog(list);
        auto* filter = dialog.findChild<QLineEdit*>();
        auto* view = dialog.findChild<QTableView*>();
        QVERIFY(filter && view);
        const struct {
            QString typed;
            int rows;
        } cases[] = {{QString(), 2}, {QStringLiteral("42301"), 1}, {QStringLiteral("4.2.3"), 1}, {QStringLiteral("caixa"), 1}, {QStringLiteral("999"), 0}};
        for (const auto& c : cases) {
            filter->setText(c.typed);
            QVERIFY2(view->model()->rowCount() == c.rows, qPrintable(c.typed));
        }
        filter->setText(QStringLiteral("42301"));
        QCOMPARE(view->model()->index(0, 0).data().toString(), QStringLiteral("4.2.3.01.0004"));
        QCOMPARE(view->currentIndex().row(), 0);
        dialog.accept();
        QCOMPARE(dialog.chosenRow(), std::optional<int>(1));
    }

    void searchListsTheRowsAndMakesTheChoiceCurrent()
    {
        DataSet* ds = companies(this);
        DataSource src(QStringLiteral("dtsEmpresa"));
        src.setDataSet(ds);
        TBtnPesquisa button;
        QLineEdit edit;
        button.bind(&edit, &src, QStringLiteral("CDEMPRESA"), QStringLiteral("NMEMPRESA"));
        button.setEmptyText(QStringLiteral("Não há empresa"));
        QStringList log;
        button.onBeforePesq = [&](TBtnPesquisa&, bool&) { log << "before"; };
        button.onAfterPesq = [&](TBtnPesquisa& b) {
            log << "after " + b.dataSource()->dataSet()->fieldByName(b.codeField()).asString();
        };

        dialogs.choices.push_back(QStringLiteral("Indústria Beta"));
        button.click();
        QCOMPARE(log, (QStringList{"before", "after 02"}));
        QCOMPARE(dialogs.lists.size(), 1);
        QCOMPARE(dialogs.lists[0].columns, (QStringList{"Código", "Nome"}));
        QCOMPARE(dialogs.lists[0].rows.size(), 3);

        log.clear();
        dialogs.choices.push_back(std::nullopt); // given up
        button.click();
        QCOMPARE(log, QStringList{"before"});
        QCOMPARE(ds->recNo(), 1);

        // The same search for another purpose: its own title, no after-search rule.
        log.clear();
        dialogs.choices.push_back(QStringLiteral("Serviços Gama"));
        QVERIFY(button.choose(QStringLiteral("Copiar da empresa")));
        QCOMPARE(log, QStringList{"before"});
        QCOMPARE(dialogs.lists.last().title, QStringLiteral("Copiar da empresa"));
        QCOMPARE(ds->fieldByName(QStringLiteral("CDEMPRESA")).asString(), QStringLiteral("03"));
        dialogs.choices.push_back(std::nullopt);
        QVERIFY(!button.choose());

        ds->createDataSet();
        button.click();
        QCOMPARE(dialogs.informations, QStringList{QStringLiteral("Não há empresa")});
    }

    // A double-click, or Enter, reports the model's row whatever the order shown.
    void tableDialogReportsTheActivatedRowOfTheModel()
    {
        auto* model = new QStandardItemModel(0, 2);
        for (const char* name : {"Carla", "Ana", "Bruno"})
            model->appendRow({new QStandardItem(QString::fromLatin1(name)), new QStandardItem(QStringLiteral("x"))});
        TTableDialog dialog(QStringLiteral("Pessoas"), model, QStringLiteral("pessoas.csv"), 0, Qt::AscendingOrder, screen.get());
        QSignalSpy activated(&dialog, &TTableDialog::rowActivated);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTableView* view = dialog.view();
        QCOMPARE(view->model()->index(0, 0).data().toString(), QStringLiteral("Ana"));
        const QRect bruno = view->visualRect(view->model()->index(1, 1));
        // A double-click is a click, then the second press (QTest's double-click sends only that).
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, bruno.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, bruno.center());
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.takeFirst().at(0).toInt(), 2);
        view->setFocus();
        view->setCurrentIndex(view->model()->index(2, 0)); // Carla
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.takeFirst().at(0).toInt(), 0);
    }

    void procuraFindsByTheStartOfTheShownText()
    {
        DataSet* ds = companies(this);
        dialogs.finds.push_back(FindRequest{1, QStringLiteral("serv")});
        Procura(ds);
        QCOMPARE(ds->fieldByName(QStringLiteral("CDEMPRESA")).asString(), QStringLiteral("03"));
        dialogs.finds.push_back(FindRequest{1, QStringLiteral("Zeta")});
        Procura(ds);
        QCOMPARE(ds->recNo(), 2);
        QCOMPARE(dialogs.informations.size(), 1);
    }

    void footerFollowsItsDataSource()
    {
        DataSet* ds = companies(this);
        DataSource src(QStringLiteral("dtsEmpresa"));
        src.setDataSet(ds);
        TDBText text;
        TDBNavigator nav;
        text.setDataSource(&src);
        nav.setDataSource(&src);
        text.setDataField(QStringLiteral("NMEMPRESA"));
        QCOMPARE(text.text(), QStringLiteral("Comércio Alfa"));
        QVERIFY(!nav.button(TDBNavigator::Prior)->isEnabled());
        nav.button(TDBNavigator::Last)->click();
        QCOMPARE(text.text(), QStringLiteral("Serviços Gama"));
        QVERIFY(!nav.button(TDBNavigator::Next)->isEnabled());
        nav.button(TDBNavigator::Prior)->click();
        QCOMPARE(text.text(), QStringLiteral("Indústria Beta"));

        // A move the dataset refuses is shown and leaves the row.
        ds->edit();
        ds->fieldByName(QStringLiteral("NMEMPRESA")).setAsString(QStringLiteral("Outra"));
        ds->beforePost = [](DataSet&) { MensErro(QStringLiteral("Nome deve ser informado.")); };
        nav.button(TDBNavigator::First)->click();
        QCOMPARE(ds->recNo(), 1);
        QCOMPARE(dialogs.errors, QStringList{QStringLiteral("Nome deve ser informado.")});
    }

    void busyAnimationNests()
    {
        {
            const BusyAnimation opening(screen.get(), BusyAnimation::Opening);
            {
                const BusyAnimation saving(screen.get(), BusyAnimation::Saving);
                QVERIFY(BusyAnimation::visibleOver(screen.get()));
            }
            QVERIFY(BusyAnimation::visibleOver(screen.get()));
        }
        QVERIFY(!BusyAnimation::visibleOver(screen.get()));
        // Without a window there is nothing to show, and nothing to pair up.
        { const BusyAnimation none(nullptr, BusyAnimation::Saving); }
        QVERIFY(!BusyAnimation::visibleOver(screen.get()));
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
