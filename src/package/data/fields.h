// SPDX-License-Identifier: MIT
#pragma once

#include "platform/dataset.h"

#include <initializer_list>

namespace erp::par47300 {

// A field of a dataset, by its name.
inline Field& field(const DataSet& ds, const char* name)
{
    return ds.fieldByName(QString::fromLatin1(name));
}

// The stored text of a field of the current row.
inline QString text(const DataSet& ds, const char* name)
{
    return field(ds, name).asString();
}

// Field names as locate takes them, separated by ';'.
inline QString fieldList(std::initializer_list<const char*> names)
{
    QString out;
    for (const char* name : names)
        out += (out.isEmpty() ? QString() : QStringLiteral(";")) + QLatin1String(name);
    return out;
}

} // namespace erp::par47300
