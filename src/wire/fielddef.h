// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace erp {

enum class FieldType { String, Float, Integer };

// Name, type and (for strings) size in characters: what a packet carries of a field.
struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;

    friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

using FieldDefs = QList<FieldDef>;
// One row's values in field order; an invalid QVariant is an empty (null) value.
using RowValues = QList<QVariant>;

QString fieldTypeName(FieldType type);

} // namespace erp
