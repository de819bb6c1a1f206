// SPDX-License-Identifier: MIT
#pragma once

// The screen as an accountant meets it: the real application server on a
// temporary demo database, the host's settings and shared connection, and
// the screen created by the host's form creation inside a child-window area.
#include "entry/module.h"
#include "host/basescreen.h"
#include "host/dialogs.h"
#include "host/query.h"
#include "host/services.h"
#include "screen/frmparamirpj.h"
#include "support/serverprocess.h"

#include <QMdiArea>
#include <QTest>

#include <memory>

namespace erp::testing {

class ScreenFixture {
public:
    // Starts the server on a fresh demo database (unless `serverUp` is false,
    // then the host points at a port nobody listens on).
    explicit ScreenFixture(bool serverUp = true)
    {
        const std::string db = dir.path() + "/erp.db";
        if (serverUp) {
            server = std::make_unique<ServerProcess>(ERP_SERVER_BINARY,
                                                     std::vector<std::string>{"--db", "sqlite:" + db, "--listen", "127.0.0.1:0", "--demo"});
            host::hostSettings().serverHost = QString::fromStdString(server->host());
            host::hostSettings().serverPort = server->port();
            host::openSharedConnection(QStringLiteral("sqlite:") + QString::fromStdString(db));
        } else {
            host::hostSettings().serverHost = QStringLiteral("127.0.0.1");
            host::hostSettings().serverPort = freeTcpPort();
        }
        host::hostSettings().company = QStringLiteral("01");
        area = std::make_unique<QMdiArea>();
        area->resize(900, 620);
        host::HostApplication::setMdiArea(area.get());
    }
    ~ScreenFixture()
    {
        if (boIdCriado)
            frmParamIRPJ->close();
        area.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        host::closeSharedConnection();
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

    TempDir dir;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<QMdiArea> area;
    host::ScriptedDialogs dialogs;
    host::DialogServiceScope dialogScope{dialogs};
};

} // namespace erp::testing
