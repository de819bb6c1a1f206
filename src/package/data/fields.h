// SPDX-License-Identifier: MIT
#pragma once

#include "contract/letters.h"
#include "contract/names.h"
#include "platform/dataset.h"

namespace erp::par47300 {

// Field names and letters as the contract defines them: f::NMPARAMAPU, letter::tipo::Adicao.
namespace f = contract::f;
namespace letter = contract::letter;
using contract::fieldList;
using contract::holdsLetter;

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

// Whether a coded field's stored value is exactly `code`.
inline bool isLetter(QStringView value, char code)
{
    return value.size() == 1 && value.front() == QLatin1Char(code);
}
// Whether it begins with `code` (the checks that look only at the first character).
inline bool startsWithLetter(QStringView value, char code)
{
    return value.startsWith(QLatin1Char(code));
}
// A letter as a coded field stores it.
inline QString letterText(char code)
{
    return QString(QLatin1Char(code));
}

} // namespace erp::par47300
