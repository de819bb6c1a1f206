// SPDX-License-Identifier: MIT
#pragma once

#include "dataset.h"

#include <QObject>

#include <functional>
#include <vector>

namespace erp {

class DataLink;
class Field;

// The link between a dataset and the controls that show it.
class DataSource : public QObject {
    Q_OBJECT
public:
    using StateChangeHandler = std::function<void(DataSource&)>;

    explicit DataSource(const QString& name, QObject* parent = nullptr);
    ~DataSource() override;

    DataSet* dataSet() const { return dataSet_; }
    void setDataSet(DataSet* dataSet);
    // The dataset's state as the controls see it (inactive without a dataset).
    DataSet::State state() const;

    // Runs on every change of the dataset's state (also open and close).
    StateChangeHandler onStateChange;

private:
    friend class DataSet;
    friend class DataLink;
    enum class Event { Active, Changed, Record, Scrolled, State, UpdateData };
    void notify(Event e, Field* field = nullptr);
    bool focusControl(Field& field);
    void attach(DataLink* link);
    void detach(DataLink* link);

    DataSet* dataSet_ = nullptr;
    std::vector<DataLink*> links_;
};

} // namespace erp
