// SPDX-License-Identifier: MIT
#include "focuschain.h"

#include "basescreen.h"
#include "services.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace erp::host {

FocusChain::FocusChain()
{
    connect(qApp, &QApplication::focusChanged, this, &FocusChain::focusChanged);
    qApp->installEventFilter(this); // the reason of each focus change, and screens being shown
}

FocusChain::~FocusChain() = default;

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

// The screen a control belongs to, or its window when it is on none (a
// dialog opened over a screen is a window of its own).
QWidget* FocusChain::scopeOf(const QWidget* w)
{
    for (const QWidget* p = w; p; p = p->parentWidget())
        if (qobject_cast<const TfrmPadraoSimples*>(p) || p->isWindow())
            return const_cast<QWidget*>(p);
    return nullptr;
}

// The child window a screen lives in (its frame in the host's window area).
QWidget* FocusChain::frameOf(const QWidget* scope)
{
    return qobject_cast<const TfrmPadraoSimples*>(scope) ? scope->parentWidget() : nullptr;
}

bool FocusChain::leavesScope(const QWidget* from, const QWidget* to)
{
    return !to || !to->isVisible() || scopeOf(from) != scopeOf(to);
}

bool FocusChain::moveFocus(QWidget* w)
{
    w->setFocus(Qt::OtherFocusReason);
    QWidget* scope = scopeOf(w);
    return last_.value(scope) == w || (QApplication::focusWidget() == w);
}

void FocusChain::watchScope(QWidget* scope)
{
    if (last_.contains(scope))
        return;
    last_.insert(scope, nullptr);
    connect(scope, &QObject::destroyed, this, [this, scope] { last_.remove(scope); });
}

// Once Qt has finished moving the focus around (activations nest), the focus
// goes back to the control of the screen that had it, if `holder` still has
// it. When that control is gone or cannot take it, the focus stays and the
// holder becomes the screen's control, without any rule.
void FocusChain::giveBack(QWidget* scope, QWidget* holder)
{
    QTimer::singleShot(0, this, [this, scope = QPointer<QWidget>(scope), holder = QPointer<QWidget>(holder)] {
        if (!scope || !holder || QApplication::focusWidget() != holder || !last_.contains(scope))
            return;
        QWidget* w = last_.value(scope);
        if (w && w != holder && w->isVisible() && w->isEnabled() && w->isActiveWindow()) {
            w->setFocus(Qt::OtherFocusReason);
            if (QApplication::focusWidget() == w)
                return;
        }
        if (scopeOf(holder) == scope)
            last_[scope] = holder;
    });
}

bool FocusChain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        focusInWidget_ = qobject_cast<QWidget*>(watched);
        focusInReason_ = static_cast<QFocusEvent*>(event)->reason();
    } else if (event->type() == QEvent::Show) {
        // A screen restored from minimised: its child window kept the focus meanwhile.
        auto* scope = qobject_cast<QWidget*>(watched);
        if (scope && last_.contains(scope) && QApplication::focusWidget() && QApplication::focusWidget() == frameOf(scope))
            giveBack(scope, QApplication::focusWidget());
    }
    return false;
}

void FocusChain::focusChanged(QWidget* old, QWidget* now)
{
    if (!now)
        return; // the window lost the focus: it comes back below
    if (running_) {
        movedDuringRules_ = now;
        return;
    }
    if (QApplication::focusWidget() != now)
        return; // overtaken by a change made while this one was being told
    // The child window holding a screen took the focus (activated or restored):
    // the screen's control gets it back.
    for (QObject* child : now->children()) {
        auto* screen = qobject_cast<TfrmPadraoSimples*>(child);
        if (screen && screen->isVisible() && last_.contains(screen)) {
            giveBack(screen, now);
            return;
        }
    }
    if (!now->isVisible())
        return; // a screen being hidden (minimised) moves its focus: no move of the user's
    QWidget* scope = scopeOf(now);
    const bool known = last_.contains(scope);
    watchScope(scope);
    QWidget* from = last_.value(scope);
    if (from == now)
        return;
    const auto reason = focusInWidget_ == now ? Qt::FocusReason(focusInReason_) : Qt::OtherFocusReason;
    const bool fromOutside = !old || scopeOf(old) != scope;
    const bool comingBack = reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason
                            || (fromOutside && reason != Qt::MouseFocusReason && (!old || old == frameOf(scope)));
    if (known && comingBack) {
        // A window operation, not a move: nothing runs, and the focus goes
        // back where it was.
        giveBack(scope, now);
        return;
    }
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
    const bool refused = std::any_of(fromChain.cbegin(), fromChain.cend(), [this](QWidget* w) {
        const auto it = rules_.constFind(w);
        return it != rules_.cend() && it->exit && !guarded(it->exit);
    });
    if (refused) {
        // The focus goes back to the control that refused to let it go.
        if (from)
            from->setFocus(Qt::OtherFocusReason);
        running_ = false;
        last_[scope] = from;
        return;
    }
    last_[scope] = to;
    Q_EMIT moved(from, to);
    std::reverse(toChain.begin(), toChain.end());
    for (QWidget* w : toChain) {
        const auto it = rules_.constFind(w);
        if (it != rules_.cend() && it->enter)
            guarded(it->enter);
    }
    running_ = false;
    // A rule that moved the focus elsewhere starts a chain of its own.
    QWidget* next = movedDuringRules_;
    if (next && next != to && QApplication::focusWidget() == next && scopeOf(next) == scope)
        transfer(to, next);
}

} // namespace erp::host
