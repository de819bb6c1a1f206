// SPDX-License-Identifier: MIT
#include "mainwindow.h"
#include "options.h"

#include "host/locale.h"
#include "host/query.h"
#include "host/services.h"
#include "platform/errors.h"

#include <QApplication>
#include <QElapsedTimer>
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
    // Numbers and Qt's own texts follow the user's locale; a machine without
    // one gets the Brazilian conventions the accountants work with.
    erp::host::useLocale(app, erp::host::userLocale());

    const QString packageDir = qEnvironmentVariable("ERP_PACKAGE_DIR", QStringLiteral(ERP_PACKAGE_DIR));
    erp::client::MainWindow window(packageDir);
    window.show();
    if (!options->settings.databaseUrl.isEmpty())
        erp::host::guarded([&] { erp::host::openSharedConnection(options->settings.databaseUrl); });
    // The screen opens once the main window is active, so the focus entering
    // it runs its enter rules as it does for a user.
    QTimer::singleShot(0, &window, [&window, &options] {
        QElapsedTimer waited;
        waited.start();
        while (!window.isActiveWindow() && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!options->open.isEmpty())
            window.openScreen(options->open);
        QCoreApplication::processEvents();
        if (!options->page.isEmpty() && !window.showPage(options->page))
            std::fprintf(stderr, "Página %s não encontrada ou não disponível.\n", qPrintable(options->page));
        if (options->screenshot.isEmpty())
            return;
        // Once the screen has painted: write the picture and leave.
        QTimer::singleShot(300, &window, [&window, &options] {
            const bool ok = window.grab().save(options->screenshot, "PNG");
            if (!ok)
                std::fprintf(stderr, "Não foi possível gravar %s\n", qPrintable(options->screenshot));
            QApplication::exit(ok ? 0 : 1);
        });
    });
    const int rc = QApplication::exec();
    erp::host::closeSharedConnection();
    return rc;
}
