// SPDX-License-Identifier: MIT
#include "busy.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

namespace erp::host {

namespace {
QPointer<QWidget> overlay;
int depth = 0;

QWidget* makeOverlay(QWidget* window)
{
    auto* w = new QFrame(window);
    w->setObjectName(QStringLiteral("busyAnimation"));
    w->setFrameShape(QFrame::StyledPanel);
    w->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(w);
    auto* label = new QLabel(w);
    label->setObjectName(QStringLiteral("busyText"));
    auto* bar = new QProgressBar(w);
    bar->setRange(0, 0); // an indeterminate bar
    bar->setTextVisible(false);
    layout->addWidget(label);
    layout->addWidget(bar);
    w->resize(260, 70);
    return w;
}
} // namespace

void ActiveShowAvi(QWidget* window, int kind)
{
    ++depth;
    if (!window)
        return;
    if (!overlay || overlay->parentWidget() != window) {
        delete overlay;
        overlay = makeOverlay(window);
    }
    overlay->findChild<QLabel*>(QStringLiteral("busyText"))
        ->setText(kind == 1 ? QStringLiteral("Gravando no servidor…") : QStringLiteral("Carregando…"));
    overlay->move((window->width() - overlay->width()) / 2, (window->height() - overlay->height()) / 2);
    overlay->raise();
    overlay->show();
    // The call that follows blocks the event loop: paint now.
    overlay->repaint();
}

void DeactiveShowAvi()
{
    if (depth > 0)
        --depth;
    if (depth == 0 && overlay)
        overlay->hide();
}

bool busyAnimationVisible()
{
    return overlay && overlay->isVisible();
}

} // namespace erp::host
