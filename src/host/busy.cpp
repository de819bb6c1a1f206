// SPDX-License-Identifier: MIT
#include "busy.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace erp::host {

// The panel itself, a child of the window it covers; it counts the scopes
// open over that window.
class BusyOverlay : public QFrame {
    Q_OBJECT
public:
    explicit BusyOverlay(QWidget* window) : QFrame(window), label_(new QLabel(this))
    {
        setObjectName(QStringLiteral("busyAnimation"));
        setFrameShape(QFrame::StyledPanel);
        setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(this);
        label_->setObjectName(QStringLiteral("busyText"));
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0); // an indeterminate bar
        bar->setTextVisible(false);
        layout->addWidget(label_);
        layout->addWidget(bar);
        resize(260, 70);
    }

    static BusyOverlay* of(const QWidget* window) { return window->findChild<BusyOverlay*>(QString(), Qt::FindDirectChildrenOnly); }

    void enter(const QString& text)
    {
        ++depth_;
        label_->setText(text);
        QWidget* window = parentWidget();
        move((window->width() - width()) / 2, (window->height() - height()) / 2);
        raise();
        show();
        // The call that follows blocks the event loop: paint now.
        repaint();
    }
    void leave()
    {
        if (--depth_ == 0)
            hide();
    }

private:
    QLabel* label_;
    int depth_ = 0;
};

BusyAnimation::BusyAnimation(QWidget* window, Kind kind)
{
    if (!window)
        return;
    overlay_ = BusyOverlay::of(window);
    if (!overlay_)
        overlay_ = new BusyOverlay(window);
    overlay_->enter(kind == Saving ? QStringLiteral("Gravando no servidor…") : QStringLiteral("Carregando…"));
}

BusyAnimation::~BusyAnimation()
{
    if (overlay_)
        overlay_->leave();
}

bool BusyAnimation::visibleOver(const QWidget* window)
{
    const BusyOverlay* overlay = window ? BusyOverlay::of(window) : nullptr;
    return overlay && overlay->isVisible();
}

} // namespace erp::host

#include "busy.moc"
