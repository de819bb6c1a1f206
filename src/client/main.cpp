// SPDX-License-Identifier: MIT
#include "mainwindow.h"
#include "options.h"

#include "host/query.h"
#include "host/services.h"
#include "platform/errors.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("erp-client"));
    QApplication::setApplicationDisplayName(QStringLiteral("Sistema de Gestão"));

    QString error;
    const std::optional<erp::client::Options> options = erp::client::parseOptions(QApplication::arguments(), error);
    if (!options) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    erp::host::hostSettings() = options->settings;

    const QString packageDir = qEnvironmentVariable("ERP_PACKAGE_DIR", QStringLiteral(ERP_PACKAGE_DIR));
    erp::client::MainWindow window(packageDir);
    window.show();
    if (!options->settings.databaseUrl.isEmpty())
        erp::host::guarded([&] { erp::host::openSharedConnection(options->settings.databaseUrl); });
    if (!options->open.isEmpty())
        window.openScreen(options->open);

    if (!options->screenshot.isEmpty()) {
        // Once the screen has painted: write the picture and leave.
        QTimer::singleShot(300, &window, [&window, &options] {
            const bool ok = window.grab().save(options->screenshot, "PNG");
            if (!ok)
                std::fprintf(stderr, "Não foi possível gravar %s\n", qPrintable(options->screenshot));
            QApplication::exit(ok ? 0 : 1);
        });
    }
    const int rc = QApplication::exec();
    erp::host::closeSharedConnection();
    return rc;
}
