// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>

class QWidget;

namespace erp::host {

class BusyOverlay;

// The busy animation over a window while the screen waits on the server,
// for as long as this scope lives: it shows when the scope opens
// (ActiveShowAvi) and goes when it closes, however the block ends
// (DeactiveShowAvi). Scopes over one window nest: the animation goes with
// the outermost. Without a window nothing is shown.
class BusyAnimation {
public:
    enum Kind { Opening, Saving };

    BusyAnimation(QWidget* window, Kind kind);
    ~BusyAnimation();
    BusyAnimation(const BusyAnimation&) = delete;
    BusyAnimation& operator=(const BusyAnimation&) = delete;

    // Whether an animation shows over the window now.
    static bool visibleOver(const QWidget* window);

private:
    QPointer<BusyOverlay> overlay_;
};

} // namespace erp::host
