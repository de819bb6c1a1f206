// SPDX-License-Identifier: MIT
#include "basescreen.h"

#include "services.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

namespace erp::host {

TfrmPadraoSimples::TfrmPadraoSimples(QWidget* parent)
    : QWidget(parent), msgPadrao_(new TMessages(QStringLiteral("msgPadrao"), this)), lblCodTela_(new QLabel(this))
{
    lblCodTela_->setObjectName(QStringLiteral("lblCodTela"));
}

TfrmPadraoSimples::~TfrmPadraoSimples() = default;

void TfrmPadraoSimples::FormCreate()
{
}

void TfrmPadraoSimples::FormClose(CloseAction& action)
{
    action = CloseAction::Free;
}

void TfrmPadraoSimples::runCreate()
{
    guarded([this] { FormCreate(); });
}

void TfrmPadraoSimples::closeEvent(QCloseEvent* event)
{
    CloseAction action = CloseAction::Free;
    bool ok = false;
    guarded([&] {
        FormClose(action);
        ok = true;
    });
    if (!ok || action == CloseAction::None) {
        event->ignore();
        return;
    }
    event->accept();
    QWidget* window = parentWidget() ? parentWidget() : this;
    switch (action) {
    case CloseAction::Free: window->deleteLater(); break;
    case CloseAction::Minimize: window->showMinimized(); break;
    default: break;
    }
}

namespace {
QPointer<QMdiArea> area;
}

void HostApplication::setMdiArea(QMdiArea* a)
{
    area = a;
}

QMdiArea* HostApplication::mdiArea()
{
    return area;
}

void HostApplication::adopt(TfrmPadraoSimples* form)
{
    if (!area)
        return; // a top-level window when the host has no child-window area
    QMdiSubWindow* sub = area->addSubWindow(form);
    sub->setObjectName(form->objectName() + QStringLiteral("Window"));
}

void HostApplication::showForm(TfrmPadraoSimples* form)
{
    QWidget* window = form->parentWidget() && area ? form->parentWidget() : form;
    window->setWindowState(window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    window->show();
    window->raise();
    form->show();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window); sub && area)
        area->setActiveSubWindow(sub);
    window->activateWindow();
}

} // namespace erp::host
