// SPDX-License-Identifier: MIT
#pragma once

namespace erp {

class DataSource;
class Field;

// What a data-aware control hears from the dataset behind its data source.
// Every method has a harmless default so a control overrides only what it shows.
class DataLink {
public:
    virtual ~DataLink();

    DataSource* dataSource() const { return source_; }
    void setDataSource(DataSource* source);

    // The dataset opened or closed.
    virtual void activeChanged() {}
    // Rows were added, removed or replaced: redraw everything.
    virtual void dataSetChanged() {}
    // A value of the current row changed (field is null when several did).
    virtual void recordChanged(Field*) {}
    // The current row moved.
    virtual void dataSetScrolled() {}
    // The dataset entered or left edit/insert state.
    virtual void editingChanged() {}
    // Before a post: write any text still held by an editor into its field.
    virtual void updateData() {}
    // Focus the control's place for this field; true when this control took it.
    virtual bool focusControl(Field&) { return false; }

private:
    friend class DataSource;
    DataSource* source_ = nullptr;
};

} // namespace erp
