// SPDX-License-Identifier: MIT
#pragma once

#include <QTabWidget>

#include <functional>

namespace erp::host {

// Tabbed pages. The change rule runs when the user brings another page to
// the front (not when code sets the active page). Clicking a tab first moves
// the focus into the page control, so exit rules of the control being left
// run first and can keep the user where they are. A disabled page cannot be
// chosen and its controls are disabled; disabling the front page keeps it
// in front.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* parent = nullptr);

    QWidget* activePage() const { return currentWidget(); }
    void setActivePage(QWidget* page);
    void setPageEnabled(QWidget* page, bool enabled);
    bool pageEnabled(QWidget* page) const;

    std::function<void(TPageControl&)> onChange;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void currentPageChanged();
    bool fromCode_ = false;
};

} // namespace erp::host
