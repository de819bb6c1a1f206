// SPDX-License-Identifier: MIT
#include "fielddef.h"

namespace erp {

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::String: return QStringLiteral("string");
    case FieldType::Float: return QStringLiteral("float");
    case FieldType::Integer: return QStringLiteral("integer");
    }
    return {};
}

} // namespace erp
