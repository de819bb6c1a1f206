// SPDX-License-Identifier: MIT
#include "mainwindow.h"

#include "host/basescreen.h"
#include "host/focuschain.h"
#include "host/hostapplication.h"
#include "host/services.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

namespace erp::client {

MainWindow::MainWindow(host::HostApplication& host, const QString& packageDir, QWidget* parent)
    : QMainWindow(parent), host_(host), par47300_(QDir(packageDir).filePath(QStringLiteral("libPKG_PAR47300.so"))), area_(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Sistema de Gestão — Contabilidade"));
    area_->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(area_);
    host_.setMdiArea(area_);

    QMenu* cadastros = menuBar()->addMenu(QStringLiteral("&Parâmetros"));
    QAction* open = cadastros->addAction(QStringLiteral("Parametrização da Apuração do IRPJ e CSLL"));
    open->setObjectName(QStringLiteral("actPAR47300"));
    connect(open, &QAction::triggered, this, [this] { openScreen(QStringLiteral("PAR47300")); });
    cadastros->addSeparator();
    cadastros->addAction(QStringLiteral("&Sair"), this, &QWidget::close);
    resize(1024, 700);
}

MainWindow::~MainWindow()
{
    // The package's windows go before the package does.
    for (QMdiSubWindow* sub : area_->subWindowList())
        delete sub;
    host::guarded([this] { par47300_.unload(); });
}

bool MainWindow::openScreen(const QString& code)
{
    if (code.compare(QLatin1String("PAR47300"), Qt::CaseInsensitive) != 0)
        return false;
    host::guarded([this] {
        par47300_.load();
        reinterpret_cast<void (*)()>(par47300_.entry("IniProc"))();
    });
    return true;
}

MainWindow::PageShown MainWindow::showPage(const QString& name)
{
    QWidget* page = area_->findChild<QWidget*>(name);
    QTabWidget* tabs = nullptr;
    for (QWidget* p = page ? page->parentWidget() : nullptr; p && !tabs; p = p->parentWidget())
        tabs = qobject_cast<QTabWidget*>(p);
    if (!tabs || tabs->indexOf(page) < 0)
        return PageShown::Unknown;
    if (!host_.focusChain().moveFocus(tabs->tabBar()))
        return PageShown::Refused;
    tabs->tabBar()->setCurrentIndex(tabs->indexOf(page));
    return tabs->currentWidget() == page ? PageShown::Yes : PageShown::Refused;
}

namespace {
// A menu text as the user reads it: no accelerator marks, no closing ellipsis.
QString readable(QString text)
{
    text.remove(u'&');
    text = text.trimmed();
    for (const QString& ellipsis : {QStringLiteral("…"), QStringLiteral("...")})
        if (text.endsWith(ellipsis))
            return text.chopped(ellipsis.size()).trimmed();
    return text;
}
} // namespace

MainWindow::ActionRun MainWindow::runAction(const QString& text)
{
    const QString wanted = readable(text);
    for (host::TfrmPadraoSimples* screen : area_->findChildren<host::TfrmPadraoSimples*>()) {
        for (QAction* action : screen->mnuOperacao()->actions()) {
            if (action->isSeparator() || action->text().isEmpty() || readable(action->text()).compare(wanted, Qt::CaseInsensitive) != 0)
                continue;
            if (!action->isEnabled())
                return ActionRun::Disabled;
            action->trigger();
            return ActionRun::Done;
        }
    }
    return ActionRun::Unknown;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    area_->closeAllSubWindows();
    const QList<QMdiSubWindow*> left = area_->subWindowList();
    if (std::any_of(left.begin(), left.end(), [](QMdiSubWindow* w) { return w->isVisible(); })) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace erp::client
