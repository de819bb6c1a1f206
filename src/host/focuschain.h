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
// Focus moving to another window (a dialog) and back runs nothing.
class FocusChain : public QObject {
    Q_OBJECT
public:
    static FocusChain& instance();

    void setEnter(QWidget* w, std::function<void()> rule);
    void setExit(QWidget* w, std::function<void()> rule);

    // Gives the focus to w and runs the chain now; false when an exit refused.
    bool moveFocus(QWidget* w);

private:
    FocusChain();
    void focusChanged(QWidget* old, QWidget* now);
    void transfer(QWidget* from, QWidget* to);
    static QWidget* scopeOf(QWidget* w);

    struct Rules {
        std::function<void()> enter;
        std::function<void()> exit;
    };
    Rules& rulesOf(QWidget* w);
    QHash<QWidget*, Rules> rules_;
    QHash<QWidget*, QPointer<QWidget>> last_; // per screen: the control that has the focus
    bool running_ = false;
    QPointer<QWidget> movedDuringRules_;
};

} // namespace erp::host
