// SPDX-License-Identifier: MIT
#pragma once

// The screen as an accountant meets it: the real application server on a
// temporary demo database, the host's settings and shared connection, and
// the screen created by the host's form creation inside a child-window area.
#include "entry/module.h"
#include "host/basescreen.h"
#include "host/dialogs.h"
#include "host/grid/dbgrid.h"
#include "host/hostapplication.h"
#include "host/maskedit.h"
#include "host/pagecontrol.h"
#include "host/query.h"
#include "host/services.h"
#include "screen/frmparamirpj.h"
#include "support/demorows.h"
#include "support/guitest.h"
#include "support/serverprocess.h"

#include <QMdiArea>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>

namespace erp::testing {

// The texts of every row of a read-only grid, as shown.
inline QList<QStringList> shown(const QTableView* view)
{
    QList<QStringList> rows;
    const QAbstractItemModel* m = view->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < m->columnCount(); ++c)
            row << m->index(r, c).data().toString();
        rows << row;
    }
    return rows;
}

// Brings a page forward with a click on its tab, as the user does.
inline void clickTab(host::TPageControl* pages, QWidget* page)
{
    QTabBar* bar = pages->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(pages->indexOf(page)).center());
}

// Types a company code and leaves the company bar with Tab.
inline void chooseCompany(par47300::TfrmParamIRPJ* f, const QString& code)
{
    f->medCdEmpresa->setFocus();
    f->medCdEmpresa->selectAll();
    QTest::keyClick(f->medCdEmpresa, Qt::Key_Delete);
    QTest::keyClicks(f->medCdEmpresa, code);
    QTest::keyClick(f->medCdEmpresa, Qt::Key_Tab);
}

// One key, as the keyboard sends it; then whatever has the focus takes the next.
inline void typeKeys(const QString& s)
{
    for (const QChar ch : s)
        QTest::keyClick(QApplication::focusWidget(), char(ch.unicode()));
}

// Types into cells of the current row as the user does, then confirms.
inline void typeInto(par47300::TfrmParamIRPJ* f, host::TDBGrid* g, const QList<std::pair<const char*, QString>>& cells)
{
    for (const auto& [name, typed] : cells) {
        g->setSelectedField(&field(*g->dataSource()->dataSet(), name));
        g->setFocus();
        typeKeys(typed);
    }
    f->button(host::TfrmPadraoSimples::Confirmar)->click();
}

class ScreenFixture {
public:
    // Starts the server on a fresh demo database, with these options besides
    // (unless `serverUp` is false, then the host points at a port nobody
    // listens on).
    explicit ScreenFixture(bool serverUp = true, const std::vector<std::string>& serverOptions = {})
    {
        const std::string db = dir.path() + "/erp.db";
        if (serverUp) {
            std::vector<std::string> args{"--db", "sqlite:" + db, "--listen", "127.0.0.1:0", "--demo"};
            args.insert(args.end(), serverOptions.begin(), serverOptions.end());
            server = std::make_unique<ServerProcess>(ERP_SERVER_BINARY, args);
            host.settings().serverHost = QString::fromStdString(server->host());
            host.settings().serverPort = server->port();
            host::openSharedConnection(QStringLiteral("sqlite:") + QString::fromStdString(db));
        } else {
            host.settings().serverHost = QStringLiteral("127.0.0.1");
            host.settings().serverPort = freeTcpPort();
        }
        host.settings().company = QStringLiteral("01");
        area = std::make_unique<QMdiArea>();
        area->resize(900, 620);
        host.setMdiArea(area.get());
    }
    ~ScreenFixture()
    {
        if (boIdCriado)
            frmParamIRPJ->close();
        area.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        host::closeSharedConnection();
        QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
    }

    // Opens the screen as the menu entry does and waits until it has the focus.
    par47300::TfrmParamIRPJ* open()
    {
        area->show();
        if (!QTest::qWaitForWindowActive(area.get()))
            return nullptr;
        IniProc();
        QCoreApplication::processEvents();
        return frmParamIRPJ;
    }

    // Rows of the server's database, read on a connection of the test's own.
    QList<QStringList> rows(const QString& sql)
    {
        const QString name = QStringLiteral("fixture");
        QList<QStringList> out;
        {
            QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name) : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QString::fromStdString(dir.path() + "/erp.db"));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (!db.isOpen() && !db.open())
                return out;
            QSqlQuery q(db);
            if (!q.exec(sql))
                qWarning("fixture query failed: %s", qPrintable(q.lastError().text()));
            out = rowTexts(q);
        }
        return out;
    }

    // The methods the server was called with since `mark` (a position in its log).
    QStringList callsSince(std::size_t mark) const
    {
        QStringList out;
        const QString log = QString::fromStdString(server->errorLog().substr(mark));
        for (const QString& line : log.split(u'\n', Qt::SkipEmptyParts))
            if (line.startsWith(QLatin1String("PAR47300.rdmParamIRPJ ")))
                out << line.section(u' ', 1, 1);
        return out;
    }
    std::size_t logMark() const { return server->errorLog().size(); }

    TempDir dir;
    std::unique_ptr<ServerProcess> server;
    // The host the screen runs in: its settings point at this fixture's server.
    host::HostApplication host;
    std::unique_ptr<QMdiArea> area;
    host::ScriptedDialogs dialogs;
    host::DialogServiceScope dialogScope{dialogs};
};

} // namespace erp::testing
