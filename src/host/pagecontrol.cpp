// SPDX-License-Identifier: MIT
#include "pagecontrol.h"

#include "focuschain.h"
#include "hostapplication.h"
#include "services.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTabBar>

namespace erp::host {

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent)
{
    tabBar()->setFocusPolicy(Qt::StrongFocus);
    tabBar()->installEventFilter(this);
    connect(this, &QTabWidget::currentChanged, this, &TPageControl::currentPageChanged);
}

void TPageControl::setActivePage(QWidget* page)
{
    const int i = indexOf(page);
    if (i < 0 || i == currentIndex())
        return;
    fromCode_ = true;
    setCurrentIndex(i);
    fromCode_ = false;
}

void TPageControl::setPageEnabled(QWidget* page, bool enabled)
{
    const int i = indexOf(page);
    if (i < 0 || isTabEnabled(i) == enabled)
        return;
    const int front = currentIndex();
    fromCode_ = true;
    setTabEnabled(i, enabled);
    // The tab bar would move off a disabled front page; the front page stays.
    if (currentIndex() != front)
        setCurrentIndex(front);
    fromCode_ = false;
}

bool TPageControl::pageEnabled(QWidget* page) const
{
    const int i = indexOf(page);
    return i >= 0 && isTabEnabled(i);
}

void TPageControl::currentPageChanged()
{
    if (fromCode_ || !onChange)
        return;
    guarded([this] { onChange(*this); });
}

bool TPageControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tabBar() && event->type() == QEvent::MouseButtonPress) {
        const auto* e = static_cast<QMouseEvent*>(event);
        const int tab = tabBar()->tabAt(e->position().toPoint());
        if (tab >= 0 && tab != currentIndex() && isTabEnabled(tab) && !tabBar()->hasFocus()) {
            // The focus moves first; a refused exit cancels the click.
            HostApplication* host = HostApplication::instance();
            if (host && !host->focusChain().moveFocus(tabBar()))
                return true;
        }
    }
    return QTabWidget::eventFilter(watched, event);
}

} // namespace erp::host
