// SPDX-License-Identifier: MIT
#include "mainwindow.h"
#include "options.h"
#include "unattended.h"

#include "host/hostapplication.h"
#include "host/locale.h"
#include "host/query.h"
#include "host/services.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    // The help needs no display: given before Qt opens one.
    if (erp::client::asksForHelp(argc, argv)) {
        std::fputs(erp::client::helpText().toUtf8().constData(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("erp-client"));
    QApplication::setApplicationDisplayName(QStringLiteral("Sistema de Gestão"));

    QString error;
    const std::optional<erp::client::Options> options = erp::client::parseOptions(QApplication::arguments().mid(1), error);
    if (!options) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    erp::host::HostApplication host(options->settings);
    // Numbers and Qt's own texts follow the user's locale; a machine without
    // one gets the Brazilian conventions the accountants work with.
    erp::host::useLocale(app, erp::host::userLocale());

    erp::client::MainWindow window(host, erp::client::packageDir());
    // With --screenshot nobody answers a dialog: messages go to stderr.
    std::unique_ptr<erp::client::UnattendedRun> unattended;
    if (!options->screenshot.isEmpty())
        unattended = std::make_unique<erp::client::UnattendedRun>(&window, options->screenshot, options->choice);
    window.show();
    if (!options->settings.databaseUrl.isEmpty())
        erp::host::guarded([&] { erp::host::openSharedConnection(options->settings.databaseUrl); });
    // The screen opens once the main window is active, so the focus entering
    // it runs its enter rules as it does for a user.
    QTimer::singleShot(0, &window, [&window, &options, &unattended] {
        QElapsedTimer waited;
        waited.start();
        while (!window.isActiveWindow() && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!options->open.isEmpty())
            window.openScreen(options->open);
        QCoreApplication::processEvents();
        if (!options->page.isEmpty()) {
            switch (window.showPage(options->page)) {
            case erp::client::MainWindow::PageShown::Unknown:
                std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Página desconhecida: %1.").arg(options->page)));
                QApplication::exit(2);
                return;
            case erp::client::MainWindow::PageShown::Refused:
                // The screen said why, if it refused; a disabled page says nothing.
                if (unattended)
                    unattended->showError(QStringLiteral("A página %1 não está disponível.").arg(options->page));
                else
                    std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("A página %1 não está disponível.").arg(options->page)));
                break;
            case erp::client::MainWindow::PageShown::Yes:
                break;
            }
        }
        if (!options->action.isEmpty()) {
            if (unattended)
                unattended->actionStarts();
            switch (window.runAction(options->action)) {
            case erp::client::MainWindow::ActionRun::Unknown:
                std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Opção desconhecida no menu Operação: %1.").arg(options->action)));
                QApplication::exit(2);
                return;
            case erp::client::MainWindow::ActionRun::Disabled: {
                const QString text = QStringLiteral("A opção %1 não está disponível agora.").arg(options->action);
                if (unattended)
                    unattended->showError(text);
                else
                    std::fprintf(stderr, "%s\n", qPrintable(text));
                break;
            }
            case erp::client::MainWindow::ActionRun::Done:
                break;
            }
        }
        if (unattended)
            unattended->finish();
    });
    const int rc = QApplication::exec();
    unattended.reset();
    erp::host::closeSharedConnection();
    return rc;
}
