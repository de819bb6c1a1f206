// SPDX-License-Identifier: MIT
#pragma once

#include "field.h"

#include "wire/packet.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace erp {

class DataSource;

// An in-memory table with a current row, an edit state, a log of pending
// changes and the conventional data-aware events. Rules raised by the events
// may throw: a throwing before-rule leaves the dataset exactly as it was.
class DataSet : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Handler = std::function<void(DataSet&)>;

    explicit DataSet(const QString& name, QObject* parent = nullptr);
    ~DataSet() override;

    // ---- structure
    void setFieldDefs(const FieldDefs& defs); // only while inactive
    const FieldDefs& fieldDefs() const { return defs_; }
    // Fields (';'-separated) whose order the content takes whenever it is loaded.
    void setIndexFieldNames(const QString& names) { indexFieldNames_ = names; }
    QString indexFieldNames() const { return indexFieldNames_; }
    int fieldCount() const { return int(fields_.size()); }
    Field& field(int i) const { return *fields_.at(std::size_t(i)); }
    Field* findField(const QString& name) const;
    Field& fieldByName(const QString& name) const; // throws DataSetError

    // ---- open and close
    State state() const { return state_; }
    bool active() const { return state_ != State::Inactive; }
    // In edit or insert: a row is being changed.
    bool isEditing() const { return state_ == State::Edit || state_ == State::Insert; }
    void createDataSet();                // opens empty, from the field list
    void close();                        // discards the content
    void loadPacket(const DataPacket&);  // replaces the whole content and opens
    DataPacket data() const;             // the whole content
    void copyFrom(const DataSet& source); // whole content of another dataset, fields by name

    // ---- change log
    int changeCount() const;
    ChangePacket delta() const;
    void mergeChangeLog();
    void cancelUpdates();

    // ---- navigation
    int recordCount() const { return int(rows_.size()); }
    bool isEmpty() const { return rows_.empty() && state_ != State::Insert; }
    int recNo() const { return cur_; } // 0-based; -1 when there is no row
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    void first();
    void last();
    void next();
    void prior();
    void moveTo(int row); // makes row current (posting or cancelling an edit first)
    // Case-insensitive (for texts), whole values, fields separated by ';'.
    bool locate(const QString& keyFields, const QVariantList& values, bool caseInsensitive = true);

    // ---- editing
    void insert();
    void append();
    void edit();
    void post();
    void cancel();
    void remove(); // the row's delete
    // Posts a modified edit, cancels an unmodified one; nothing in browse.
    void checkBrowseMode();
    bool modified() const { return modified_; }
    // Asks the attached controls to write pending editor texts into the fields.
    void updateRecord();

    // ---- attached controls
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disableCount_ > 0; }
    const std::vector<DataSource*>& dataSources() const { return sources_; }

    // Makes the fields read row r of the content (not the edit buffer) for as
    // long as it lives, without moving the cursor or raising any event: how
    // a grid draws the rows that are not current.
    class RowPeek {
    public:
        RowPeek(const DataSet& ds, int row) : ds_(ds), previous_(ds.peekRow_) { ds.peekRow_ = row; }
        ~RowPeek() { ds_.peekRow_ = previous_; }
        RowPeek(const RowPeek&) = delete;
        RowPeek& operator=(const RowPeek&) = delete;

    private:
        const DataSet& ds_;
        int previous_;
    };

    // Values of row r in field order (the posted content, not the edit buffer).
    const RowValues& rowValues(int r) const { return rows_.at(std::size_t(r)).values; }
    // Index of the row being inserted, or -1.
    int insertRow() const { return state_ == State::Insert ? cur_ : -1; }

    // ---- events
    Handler beforeInsert, afterInsert, onNewRecord;
    Handler beforeEdit, afterEdit;
    Handler beforePost, afterPost;
    Handler beforeCancel, afterCancel;
    Handler beforeDelete, afterDelete;
    Handler beforeScroll, afterScroll;
    Handler afterOpen, beforeClose;

private:
    friend class Field;
    friend class DataSource;

    struct Row {
        RowValues values;
        RowValues original; // values before the first pending modification
        enum class Status { Unchanged, Inserted, Modified } status = Status::Unchanged;
        quint64 id = 0;
        quint64 changeSeq = 0;
    };
    struct Undo {
        enum class Kind { Insert, Modify, Delete } kind;
        Row row;          // the row as it was before the change
        int position = 0; // where a deleted row stood
    };
    struct DeletedRow {
        RowValues original;
        quint64 changeSeq;
        quint64 id;
    };

    QVariant currentValue(int fieldIndex) const;
    void setCurrentValue(int fieldIndex, const QVariant& v);
    void requireActive() const;
    void requireEditing(const Field& f) const;
    void setState(State s);
    void beginInsert(int position);
    void setContent(std::vector<Row> rows);
    void fire(const Handler& h) { if (h) h(*this); }
    void notify(int event, Field* field = nullptr);
    void scrollTo(int row);
    void focusControl(Field& field);
    void addSource(DataSource* s);
    void removeSource(DataSource* s);

    FieldDefs defs_;
    QString indexFieldNames_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::vector<Row> rows_;
    std::vector<DeletedRow> deleted_;
    std::vector<Undo> undo_;
    RowValues buffer_;
    State state_ = State::Inactive;
    int cur_ = -1;
    mutable int peekRow_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    bool modified_ = false;
    quint64 nextId_ = 1;
    quint64 nextSeq_ = 1;
    int disableCount_ = 0;
    State disableState_ = State::Inactive;
    bool changedWhileDisabled_ = false;
    std::vector<DataSource*> sources_;
};

} // namespace erp
