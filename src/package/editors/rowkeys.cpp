// SPDX-License-Identifier: MIT
#include "rowkeys.h"

#include "data/fields.h"

#include <cmath>

namespace erp::par47300 {

QString adicKey(const DataSet& ds)
{
    return text(ds, "NMPARAMAPU") + text(ds, "IDPARAMAPU") + text(ds, "IDIMPOSTO");
}

QString infCtbKey(const DataSet& ds)
{
    const double parent = field(ds, "NRSEQPARAMAPU").asFloat();
    return QString::number(qint64(std::llround(parent))) + text(ds, "IDINFCTBIRPJ") + text(ds, "CHAVE");
}

QString itemKey(const DataSet& ds)
{
    return text(ds, "NMRECDESPIRPJ") + text(ds, "IDRECDESPIRPJ") + text(ds, "IDRECDESPIRPJOP") + text(ds, "NRSEQALIQIRPJ");
}

bool keptKey(const DataSet& ds, const QString& rowKey, const QString& preEditKey)
{
    return ds.state() == DataSet::State::Edit && rowKey == preEditKey;
}

} // namespace erp::par47300
