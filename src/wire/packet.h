// SPDX-License-Identifier: MIT
#pragma once

#include "fielddef.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>
#include <vector>

namespace erp {

// The whole content of a dataset: its fields and its rows.
struct DataPacket {
    FieldDefs fields;
    std::vector<RowValues> rows;

    int indexOf(const QString& name) const;
};

enum class ChangeStatus { Inserted, Modified, Deleted };

struct Change {
    ChangeStatus status = ChangeStatus::Inserted;
    RowValues oldValues; // modified and deleted
    RowValues newValues; // inserted and modified
};

// The pending changes of a dataset, in the order they were made.
struct ChangePacket {
    FieldDefs fields;
    std::vector<Change> changes;

    int indexOf(const QString& name) const;
};

// The JSON form of both packets. Decoding checks everything and throws
// PacketError with a Portuguese message; nothing is half-decoded.
namespace packet {

QJsonObject toJson(const DataPacket& p);
QJsonObject toJson(const ChangePacket& p);
QByteArray encode(const DataPacket& p);
QByteArray encode(const ChangePacket& p);

// With a layout, the packet must fit it: every packet field known to the
// layout with the same type (and a size no larger), every text within the
// layout's size. Rows are then returned in the packet's own field order.
DataPacket decodeData(const QJsonObject& json, const FieldDefs* layout = nullptr);
DataPacket decodeData(QByteArrayView json, const FieldDefs* layout = nullptr);
ChangePacket decodeChanges(const QJsonObject& json, const FieldDefs* layout = nullptr);
ChangePacket decodeChanges(QByteArrayView json, const FieldDefs* layout = nullptr);

QString statusName(ChangeStatus s);

} // namespace packet
} // namespace erp
