// SPDX-License-Identifier: MIT
#include "focuschain.h"

#include "basescreen.h"
#include "services.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace erp::host {

FocusChain& FocusChain::instance()
{
    static FocusChain* chain = new FocusChain; // lives as long as the application
    return *chain;
}

FocusChain::FocusChain() : QObject(qApp)
{
    connect(qApp, &QApplication::focusChanged, this, &FocusChain::focusChanged);
}

FocusChain::Rules& FocusChain::rulesOf(QWidget* w)
{
    if (!rules_.contains(w))
        connect(w, &QObject::destroyed, this, [this, w] { rules_.remove(w); });
    return rules_[w];
}

void FocusChain::setEnter(QWidget* w, std::function<void()> rule)
{
    rulesOf(w).enter = std::move(rule);
}

void FocusChain::setExit(QWidget* w, std::function<void()> rule)
{
    rulesOf(w).exit = std::move(rule);
}

// The screen a control belongs to, or its window when it is on none.
QWidget* FocusChain::scopeOf(QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget())
        if (qobject_cast<TfrmPadraoSimples*>(p))
            return p;
    return w ? w->window() : nullptr;
}

bool FocusChain::moveFocus(QWidget* w)
{
    w->setFocus(Qt::OtherFocusReason);
    QWidget* scope = scopeOf(w);
    return last_.value(scope) == w || (QApplication::focusWidget() == w);
}

void FocusChain::focusChanged(QWidget*, QWidget* now)
{
    if (!now)
        return;
    if (running_) {
        movedDuringRules_ = now;
        return;
    }
    QWidget* scope = scopeOf(now);
    if (!last_.contains(scope))
        connect(scope, &QObject::destroyed, this, [this, scope] { last_.remove(scope); });
    QWidget* from = last_.value(scope);
    if (from == now)
        return;
    transfer(from, now);
}

void FocusChain::transfer(QWidget* from, QWidget* to)
{
    QWidget* scope = scopeOf(to);
    QList<QWidget*> fromChain; // from the control left up to the screen
    for (QWidget* p = from; p && p != scope; p = p->parentWidget())
        fromChain << p;
    QList<QWidget*> toChain;
    for (QWidget* p = to; p && p != scope; p = p->parentWidget())
        toChain << p;
    // Containers holding both controls are neither left nor entered.
    while (!fromChain.isEmpty() && !toChain.isEmpty() && fromChain.last() == toChain.last()) {
        fromChain.removeLast();
        toChain.removeLast();
    }

    running_ = true;
    movedDuringRules_ = nullptr;
    bool refused = false;
    for (QWidget* w : fromChain) {
        const auto it = rules_.constFind(w);
        if (it == rules_.cend() || !it->exit)
            continue;
        try {
            it->exit();
        } catch (...) {
            reportCurrentException();
            refused = true;
            break;
        }
    }
    if (refused) {
        // The focus goes back to the control that refused to let it go.
        if (from)
            from->setFocus(Qt::OtherFocusReason);
        running_ = false;
        last_[scope] = from;
        return;
    }
    last_[scope] = to;
    std::reverse(toChain.begin(), toChain.end());
    for (QWidget* w : toChain) {
        const auto it = rules_.constFind(w);
        if (it != rules_.cend() && it->enter)
            guarded(it->enter);
    }
    running_ = false;
    // A rule that moved the focus elsewhere starts a chain of its own.
    QWidget* moved = movedDuringRules_;
    if (moved && moved != to && QApplication::focusWidget() == moved && scopeOf(moved) == scope)
        transfer(to, moved);
}

} // namespace erp::host
