// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace erp::host {

// Enter and exit rules of controls and containers. When the focus moves
// inside a screen, the exit rules of the control left run innermost first,
// then those of its containers up to the one shared with the new control; an
// exit that throws keeps the focus where it was and stops the chain (an abort
// silently, anything else shown). Then the enter rules run outermost first.
//
// Window operations are not moves inside the screen and run nothing: the
// focus leaving for another window (a dialog, another child window, another
// application) and coming back, and the screen being minimised and restored.
// When the focus comes back, it goes to the control that had it, whichever
// control Qt chose to give it to.
//
// The host application owns the chain (HostApplication::focusChain()); it
// listens to the application's focus changes from its construction on.
class FocusChain : public QObject {
    Q_OBJECT
public:
    FocusChain();
    ~FocusChain() override;

    void setEnter(QWidget* w, std::function<void()> rule);
    void setExit(QWidget* w, std::function<void()> rule);

    // Gives the focus to w and runs the chain now; false when an exit refused.
    bool moveFocus(QWidget* w);

    // True when the focus going from `from` to `to` is no move inside one
    // screen: `to` is nothing, is hidden (a screen being minimised) or lies
    // in another window or screen.
    static bool leavesScope(const QWidget* from, const QWidget* to);

Q_SIGNALS:
    // The focus moved inside a screen from one control to another, and the
    // exit rules let it go (before the enter rules run).
    void moved(QWidget* from, QWidget* to);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focusChanged(QWidget* old, QWidget* now);
    void transfer(QWidget* from, QWidget* to);
    void watchScope(QWidget* scope);
    void giveBack(QWidget* scope, QWidget* holder);
    static QWidget* scopeOf(const QWidget* w);
    static QWidget* frameOf(const QWidget* scope);

    struct Rules {
        std::function<void()> enter;
        std::function<void()> exit;
    };
    Rules& rulesOf(QWidget* w);
    QHash<QWidget*, Rules> rules_;
    QHash<QWidget*, QPointer<QWidget>> last_; // per screen: the control that has the focus
    bool running_ = false;
    QPointer<QWidget> movedDuringRules_;
    // Why the last control that received the focus got it.
    QPointer<QWidget> focusInWidget_;
    int focusInReason_ = 0;
};

} // namespace erp::host
