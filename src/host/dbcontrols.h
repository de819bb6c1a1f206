// SPDX-License-Identifier: MIT
#pragma once

#include "platform/datalink.h"

#include <QLabel>
#include <QWidget>

class QToolButton;

namespace erp {
class DataSet;
}

namespace erp::host {

// A label showing one field of the current row of its data source.
class TDBText : public QLabel, private DataLink {
    Q_OBJECT
public:
    explicit TDBText(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return DataLink::dataSource(); }
    void setDataField(const QString& field);
    QString dataField() const { return field_; }

private:
    void refresh();
    void activeChanged() override { refresh(); }
    void dataSetChanged() override { refresh(); }
    void recordChanged(Field*) override { refresh(); }
    void dataSetScrolled() override { refresh(); }
    void editingChanged() override { refresh(); }

    QString field_;
};

// First, prior, next and last over the rows of its data source.
class TDBNavigator : public QWidget, private DataLink {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last };

    explicit TDBNavigator(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return DataLink::dataSource(); }
    QToolButton* button(Button b) const { return buttons_[b]; }
    // Moves as the button would (the move may be refused by the dataset's rules).
    void click(Button b);

private:
    void refresh();
    void activeChanged() override { refresh(); }
    void dataSetChanged() override { refresh(); }
    void dataSetScrolled() override { refresh(); }
    void editingChanged() override { refresh(); }

    QToolButton* buttons_[4];
};

} // namespace erp::host
