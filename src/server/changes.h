// SPDX-License-Identifier: MIT
#pragma once

#include "wire/packet.h"

#include <QJsonArray>
#include <QVariant>

#include <optional>
#include <vector>

namespace erp::server {

// A number that names a row: whole and exactly representable in a double.
std::optional<long long> wholeNumber(double d);

// The row was changed or removed by someone else since the client read it:
// its old values name no stored row.
[[noreturn]] void refuseConflict();

// One row of a change packet, read by field name whatever the packet's field
// order, or by its position in the layout the packet was checked against.
class Row {
public:
    // `index`: layout position -> position in `values`; null when they agree.
    Row(const FieldDefs& layout, const RowValues& values, const std::vector<int>* index = nullptr)
        : layout_(layout), values_(values), index_(index)
    {
    }

    const FieldDefs& layout() const { return layout_; }
    QVariant at(qsizetype position) const { return values_[index_ ? (*index_)[std::size_t(position)] : position]; }
    QVariant value(const char* name) const;
    QString text(const char* name) const { return value(name).toString(); }
    // A text as the packet carries it: NULL when empty.
    QVariant str(const char* name) const
    {
        const QVariant v = value(name);
        return v.isValid() ? QVariant(v.toString()) : QVariant();
    }
    bool isNull(const char* name) const { return !value(name).isValid(); }

private:
    const FieldDefs& layout_;
    const RowValues& values_;
    const std::vector<int>* index_;
};

// A decoded change packet whose fields cover the whole layout.
struct Changes {
    FieldDefs layout;
    ChangePacket packet;
    std::vector<int> index; // layout position -> packet position

    Row oldRow(const Change& c) const { return Row(layout, c.oldValues, &index); }
    Row newRow(const Change& c) const { return Row(layout, c.newValues, &index); }
};

// The one parameter of a save: a change packet that fits `layout`, with no
// NUL in its texts. Anything else is refused as invalid params. `accepted`,
// when given, is a wider layout whose other fields may travel too, unread.
Changes decodeChanges(const QJsonArray& params, const char* method, const FieldDefs& layout, const FieldDefs* accepted = nullptr);

} // namespace erp::server
