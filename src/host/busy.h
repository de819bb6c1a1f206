// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace erp::host {

// A busy animation over a window while the screen waits on the server.
// Calls nest: the animation goes when the last one is hidden. Kind 0 is the
// opening of a screen, kind 1 a save.
void ActiveShowAvi(QWidget* window, int kind);
void DeactiveShowAvi();
bool busyAnimationVisible();

} // namespace erp::host
