// SPDX-License-Identifier: MIT
#include "hostapplication.h"

#include "basescreen.h"
#include "focuschain.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace erp::host {

namespace {
HostApplication* running = nullptr;
}

HostApplication::HostApplication(HostSettings settings)
    : settings_(std::move(settings)), focusChain_(std::make_unique<FocusChain>())
{
    Q_ASSERT_X(!running, "HostApplication", "one host application at a time");
    running = this;
}

HostApplication::~HostApplication()
{
    if (running == this)
        running = nullptr;
}

HostApplication* HostApplication::instance()
{
    return running;
}

void HostApplication::setMdiArea(QMdiArea* area)
{
    area_ = area;
}

QMdiArea* HostApplication::mdiArea() const
{
    return area_;
}

QWidget* HostApplication::mainWindow()
{
    QMdiArea* area = running ? running->area_.data() : nullptr;
    return area ? area->window() : nullptr;
}

void HostApplication::adopt(TfrmPadraoSimples* form)
{
    QMdiArea* area = running ? running->area_.data() : nullptr;
    if (!area)
        return; // a top-level window when the host has no child-window area
    QMdiSubWindow* sub = area->addSubWindow(form, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                                                      | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    sub->setObjectName(form->objectName() + QStringLiteral("Window"));
}

void HostApplication::showForm(TfrmPadraoSimples* form)
{
    QMdiArea* area = running ? running->area_.data() : nullptr;
    QWidget* window = form->parentWidget() && area ? form->parentWidget() : form;
    window->setWindowState(window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    window->show();
    window->raise();
    form->show();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window); sub && area)
        area->setActiveSubWindow(sub);
    window->activateWindow();
    QWidget* focused = QApplication::focusWidget();
    if (form->activeControl() && !(focused && form->isAncestorOf(focused)))
        form->activeControl()->setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace erp::host
