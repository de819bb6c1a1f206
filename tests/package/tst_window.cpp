// SPDX-License-Identifier: MIT
// Window operations are not focus moves inside the screen: minimising and
// restoring, switching windows and applications, a dialog coming and going
// run no enter or exit rule, and the focus comes back where it was.
//
// The same cases run twice: headless (offscreen, the operations made by the
// program) and on an X server with a real window manager (xcb, under
// tests/support/wm-session.sh), where the window manager minimises, restores
// and switches, driven by real input (xdotool).
#include "screenfixture.h"

#include "host/grid/dbgrid.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProcess>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <QToolButton>

#include <functional>

using namespace erp;
using erp::par47300::TfrmParamIRPJ;
using erp::testing::ScreenFixture;
using erp::testing::clickTab;
using erp::testing::focused;
using B = erp::host::TfrmPadraoSimples;

namespace {

bool realWindowManager()
{
    return QGuiApplication::platformName() == u"xcb";
}

// Real input and window-manager requests on the X server, through xdotool.
bool xdotool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0) {
        qWarning("xdotool %s failed: %s", qPrintable(args.join(u' ')), p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// A real mouse click at a point of a widget.
bool click(QWidget* w, QPoint at)
{
    if (!realWindowManager()) {
        QTest::mouseMove(w, at); // title bars act on the button under the pointer
        QTest::mouseClick(w, Qt::LeftButton, {}, at);
        return true;
    }
    const QPoint g = w->mapToGlobal(at);
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(g.x()), QString::number(g.y())})
           && xdotool({QStringLiteral("click"), QStringLiteral("1")});
}

bool key(QWidget* w, const QString& xName, Qt::Key qtKey)
{
    if (!realWindowManager()) {
        QTest::keyClick(w, qtKey);
        return true;
    }
    // The key goes where the X server's input focus is: on the widget's window.
    return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(w->window()->winId())})
           && xdotool({QStringLiteral("key"), xName});
}

QString windowId(QWidget* w)
{
    return QString::number(w->window()->winId());
}

// Where a button of a child window's title bar is drawn.
QRect titleBarButton(QMdiSubWindow* sub, QStyle::SubControl control)
{
    QStyleOptionTitleBar opt;
    opt.initFrom(sub);
    opt.subControls = QStyle::SC_All;
    opt.titleBarFlags = sub->windowFlags();
    opt.titleBarState = sub->windowState();
    opt.rect = QRect(0, 0, sub->width(), sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt, sub));
    return sub->style()->subControlRect(QStyle::CC_TitleBar, &opt, control, sub);
}

// Runs `act` on the next modal dialog once it is up; true once it has run
// and the dialog is gone.
std::shared_ptr<bool> whenDialogOpens(std::function<void(QWidget*)> act)
{
    auto done = std::make_shared<bool>(false);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, done, acted = false, dialog = QPointer<QWidget>()]() mutable {
        if (acted) {
            if (!dialog || !dialog->isVisible()) { // closed, or closed and gone
                *done = true;
                poll->deleteLater();
                poll->stop();
            }
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || (realWindowManager() && !modal->isActiveWindow()))
            return;
        dialog = modal;
        acted = true;
        act(modal);
    });
    poll->start(20);
    return done;
}

// A modal dialog nobody answers is closed after a while: a test fails
// instead of hanging in its event loop.
void closeForgottenDialogs()
{
    static QPointer<QWidget> seen;
    static QElapsedTimer since;
    auto* watch = new QTimer(qApp);
    QObject::connect(watch, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != seen) {
            seen = modal;
            since.start();
        } else if (modal && since.elapsed() > 8000) {
            qWarning("a dialog was left unanswered; closing it");
            modal->close();
        }
    });
    watch->start(250);
}

// Another application's window: a real program on the X server, a window of
// our own headless.
struct OtherApplication {
    QProcess program;
    std::unique_ptr<QWidget> window;
    QString id;

    bool show()
    {
        if (!realWindowManager()) {
            window = std::make_unique<QWidget>();
            window->setWindowTitle(QStringLiteral("Outro programa"));
            window->resize(300, 100);
            window->show();
            window->activateWindow();
            return QTest::qWaitForWindowActive(window.get());
        }
        program.start(QStringLiteral("xmessage"), {QStringLiteral("-title"), QStringLiteral("erp-outro-programa"), QStringLiteral("Outro programa")});
        if (!program.waitForStarted())
            return false;
        QProcess search;
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"), QStringLiteral("erp-outro-programa")});
        if (!search.waitForFinished(10000))
            return false;
        id = QString::fromLatin1(search.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).value(0);
        return !id.isEmpty() && xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), id});
    }
    ~OtherApplication()
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
    }
};

enum class Operation { ChildMinimised, MainMinimised, OtherApplication, OtherChildWindow, Dialog };
enum class Situation { Editing, NewRow, CompanyCode };

// The screen in the middle of something, with the focus where the user left it.
struct Scene {
    ScreenFixture fx;
    TfrmParamIRPJ* f = nullptr;
    QMdiSubWindow* sub = nullptr;
    DataSet* ds = nullptr;
    QWidget* front = nullptr;
    QPointer<QWidget> focus;
    DataSet::State state = DataSet::State::Inactive;
    int rows = 0;

    bool open()
    {
        if (realWindowManager())
            fx.area->move(40, 40);
        f = fx.open();
        sub = f ? qobject_cast<QMdiSubWindow*>(f->parentWidget()) : nullptr;
        return sub && QTest::qWaitForWindowExposed(fx.area.get()) && f->medCdEmpresa->hasFocus();
    }

    bool set(Situation s)
    {
        if (!open())
            return false;
        switch (s) {
        case Situation::Editing:
            f->dbgAdicIRPJ->setFocus(); // leaving the company bar loads the IRPJ rows
            clickTab(f->pgcGeral, f->tshCSLL);
            ds = &f->data().cdsAdicCSLL;
            f->dbgAdicCSLL->setSelectedIndex(0);
            QTest::keyClicks(f->dbgAdicCSLL, QStringLiteral("N"));
            QTest::keyClicks(focused(), QStringLiteral("ovo nome"));
            if (!qobject_cast<QLineEdit*>(focused()) || qobject_cast<QLineEdit*>(focused())->text() != u"Novo nome")
                return false;
            break;
        case Situation::NewRow:
            f->dbgAdicIRPJ->setFocus();
            ds = &f->data().cdsAdicIRPJ;
            QTest::keyClick(f->dbgAdicIRPJ, Qt::Key_Insert);
            break;
        case Situation::CompanyCode:
            ds = &f->data().cdsAdicIRPJ;
            f->medCdEmpresa->selectAll();
            QTest::keyClicks(f->medCdEmpresa, QStringLiteral("77"));
            break;
        }
        focus = focused();
        state = ds->state();
        rows = ds->active() ? ds->recordCount() : -1;
        front = f->pgcGeral->activePage();
        return focus && fx.dialogs.errors.isEmpty();
    }

    bool perform(Operation op)
    {
        QWidget* main = fx.area.get();
        switch (op) {
        case Operation::ChildMinimised:
            if (!click(sub, titleBarButton(sub, QStyle::SC_TitleBarMinButton).center()))
                return false;
            if (!QTest::qWaitFor([this] { return sub->isMinimized(); }))
                return false;
            if (!click(sub, titleBarButton(sub, QStyle::SC_TitleBarNormalButton).center()))
                return false;
            return QTest::qWaitFor([this] { return !sub->isMinimized() && f->isVisible(); });
        case Operation::MainMinimised:
            if (!realWindowManager()) {
                main->showMinimized();
                main->showNormal();
                main->activateWindow();
                return QTest::qWaitForWindowActive(main);
            }
            return xdotool({QStringLiteral("windowminimize"), QStringLiteral("--sync"), windowId(main)})
                   && QTest::qWaitFor([main] { return main->isMinimized() && !main->isActiveWindow(); })
                   && xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), windowId(main)})
                   && QTest::qWaitFor([main] { return !main->isMinimized() && main->isActiveWindow(); });
        case Operation::OtherApplication: {
            OtherApplication other;
            if (!other.show() || !QTest::qWaitFor([main] { return !main->isActiveWindow(); }))
                return false;
            if (realWindowManager()) {
                if (!xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), windowId(main)}))
                    return false;
            } else {
                main->activateWindow();
            }
            return QTest::qWaitForWindowActive(main);
        }
        case Operation::OtherChildWindow: {
            auto* page = new QWidget;
            page->setObjectName(QStringLiteral("outraJanela"));
            auto* edit = new QLineEdit(page);
            edit->setObjectName(QStringLiteral("outraCaixa"));
            QMdiSubWindow* other = fx.area->addSubWindow(page);
            other->setGeometry(sub->geometry().right() - 150, 20, 220, 90);
            other->show();
            if (!click(edit, edit->rect().center()) || !QTest::qWaitFor([edit] { return edit->hasFocus(); }))
                return false;
            if (!click(sub, QPoint(sub->width() / 3, titleBarButton(sub, QStyle::SC_TitleBarLabel).center().y())))
                return false;
            return QTest::qWaitFor([this] { return fx.area->activeSubWindow() == sub; });
        }
        case Operation::Dialog: {
            const auto answered = whenDialogOpens([](QWidget* box) { key(box, QStringLiteral("Escape"), Qt::Key_Escape); });
            QMessageBox box(QMessageBox::Information, QStringLiteral("Aviso"), QStringLiteral("Uma mensagem."), QMessageBox::Ok, main);
            box.exec();
            if (!QTest::qWaitFor([answered] { return *answered; }))
                return false;
            if (!realWindowManager())
                main->activateWindow();
            return QTest::qWaitForWindowActive(main);
        }
        }
        return false;
    }
};

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        closeForgottenDialogs();
        if (realWindowManager())
            qInfo("on X with a window manager: real minimise, restore and switches");
    }

    void windowOperationsRunNoRule_data()
    {
        QTest::addColumn<Situation>("situation");
        QTest::addColumn<Operation>("operation");
        const std::pair<Situation, const char*> situations[] = {
            {Situation::Editing, "editing a CSLL row"}, {Situation::NewRow, "a new IRPJ row"}, {Situation::CompanyCode, "an unregistered code typed"}};
        const std::pair<Operation, const char*> operations[] = {{Operation::ChildMinimised, "screen minimised and restored"},
                                                                {Operation::MainMinimised, "main window minimised and restored"},
                                                                {Operation::OtherApplication, "another application and back"},
                                                                {Operation::OtherChildWindow, "another child window and back"},
                                                                {Operation::Dialog, "a dialog opened and closed"}};
        for (const auto& [s, sName] : situations)
            for (const auto& [o, oName] : operations)
                QTest::addRow("%s, %s", sName, oName) << s << o;
    }
    void windowOperationsRunNoRule()
    {
        QFETCH(Situation, situation);
        QFETCH(Operation, operation);
        Scene scene;
        QVERIFY(scene.set(situation));
        const std::size_t mark = scene.fx.logMark();

        QVERIFY(scene.perform(operation));
        QTRY_COMPARE(focused(), scene.focus.data());
        QTest::qWait(50); // anything still queued has run
        QCOMPARE(focused(), scene.focus.data());
        QCOMPARE(scene.fx.dialogs.errors, QStringList());
        QCOMPARE(scene.fx.callsSince(mark), QStringList());
        QCOMPARE(scene.f->pgcGeral->activePage(), scene.front);
        QCOMPARE(scene.ds->state(), scene.state);
        QCOMPARE(scene.ds->active() ? scene.ds->recordCount() : -1, scene.rows);
        switch (situation) {
        case Situation::Editing:
            QCOMPARE(qobject_cast<QLineEdit*>(focused())->text(), QStringLiteral("Novo nome"));
            break;
        case Situation::NewRow:
            QCOMPARE(scene.f->dbgAdicIRPJ->model()->rowCount(), scene.rows + 1);
            break;
        case Situation::CompanyCode:
            QCOMPARE(scene.f->medCdEmpresa->storedText(), QStringLiteral("77"));
            break;
        }
        // The screen goes on as before: the edit posts, the code is refused.
        if (situation == Situation::Editing) {
            QTest::keyClick(focused(), Qt::Key_Return);
            scene.f->button(B::Confirmar)->click();
            QCOMPARE(scene.ds->state(), DataSet::State::Browse);
            QCOMPARE(scene.fx.callsSince(mark), QStringList{QStringLiteral("SetParamIRPJ")});
        } else if (situation == Situation::CompanyCode) {
            QTest::keyClick(focused(), Qt::Key_Tab);
            QCOMPARE(scene.fx.dialogs.errors, QStringList{QStringLiteral("Empresa não cadastrada.")});
        }
        QCOMPARE(scene.fx.dialogs.errors.size(), situation == Situation::CompanyCode ? 1 : 0);
    }

    // Delete asked and answered No, then asked and answered Yes, through the
    // real message boxes: the keyboard comes back to the grid each time.
    void deleteAnsweredNoThenYesKeepsTheFocusInTheGrid()
    {
        Scene scene;
        QVERIFY(scene.open());
        TfrmParamIRPJ* f = scene.f;
        f->dbgAdicIRPJ->setFocus();
        DataSet& adic = f->data().cdsAdicIRPJ;
        const int rows = adic.recordCount();
        QVERIFY(rows > 1);
        host::QtDialogService real;
        host::DialogServiceScope scope(real);
        const std::size_t mark = scene.fx.logMark();

        auto answered = whenDialogOpens([](QWidget* box) { key(box, QStringLiteral("Escape"), Qt::Key_Escape); });
        QVERIFY(key(f->dbgAdicIRPJ, QStringLiteral("F8"), Qt::Key_F8));
        QTRY_VERIFY(*answered);
        if (!realWindowManager())
            scene.fx.area->activateWindow(); // what the window manager does once the dialog is gone
        QTRY_COMPARE(focused(), f->dbgAdicIRPJ);
        QCOMPARE(adic.recordCount(), rows);

        answered = whenDialogOpens([](QWidget* box) {
            // No is the default: Shift+Tab goes to Yes, Space presses it.
            if (realWindowManager()) {
                key(box, QStringLiteral("shift+Tab"), Qt::Key_Backtab);
                key(box, QStringLiteral("space"), Qt::Key_Space);
            } else {
                QTest::keyClick(box->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
                QTest::keyClick(box->focusWidget(), Qt::Key_Space);
            }
        });
        QVERIFY(key(f->dbgAdicIRPJ, QStringLiteral("F8"), Qt::Key_F8));
        QTRY_VERIFY(*answered);
        QTRY_COMPARE(adic.recordCount(), rows - 1);
        if (!realWindowManager())
            scene.fx.area->activateWindow();
        QTRY_COMPARE(focused(), f->dbgAdicIRPJ);
        QTest::qWait(50);
        QCOMPARE(focused(), f->dbgAdicIRPJ);
        QVERIFY(adic.active()); // the company bar was not entered
        QCOMPARE(f->pgcGeral->activePage(), f->tshIRPJ);
        QCOMPARE(scene.fx.callsSince(mark), (QStringList{QStringLiteral("setDeleteInfCtb"), QStringLiteral("SetParamIRPJ")}));
    }

    // Coming back by clicking another control of the screen is a move inside
    // it: the rules of the control left and of the control reached run.
    void clickingAnotherControlToComeBackIsAMove()
    {
        Scene scene;
        QVERIFY(scene.set(Situation::Editing));
        auto* page = new QWidget;
        auto* edit = new QLineEdit(page);
        QMdiSubWindow* other = scene.fx.area->addSubWindow(page);
        other->setGeometry(scene.sub->geometry().right() - 150, 20, 220, 90);
        other->show();
        QVERIFY(click(edit, edit->rect().center()));
        QTRY_VERIFY(edit->hasFocus());
        QCOMPARE(scene.ds->state(), DataSet::State::Edit);

        QVERIFY(click(scene.f->medCdEmpresa, scene.f->medCdEmpresa->rect().center()));
        QTRY_COMPARE(focused(), scene.f->medCdEmpresa);
        QCOMPARE(scene.ds->state(), DataSet::State::Browse); // leaving the CSLL pages threw the edit away
        QCOMPARE(scene.f->pgcGeral->activePage(), scene.f->tshIRPJ); // entering the company bar
        QVERIFY(!scene.f->data().cdsAdicIRPJ.active());
    }
};

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    TestWindow t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_window.moc"
