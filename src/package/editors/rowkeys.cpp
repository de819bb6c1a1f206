// SPDX-License-Identifier: MIT
#include "rowkeys.h"

#include "data/fields.h"

#include <cmath>

namespace erp::par47300 {

QString adicKey(const DataSet& ds)
{
    return text(ds, f::NMPARAMAPU) + text(ds, f::IDPARAMAPU) + text(ds, f::IDIMPOSTO);
}

QString infCtbKey(const DataSet& ds)
{
    const double parent = field(ds, f::NRSEQPARAMAPU).asFloat();
    return QString::number(qint64(std::llround(parent))) + text(ds, f::IDINFCTBIRPJ) + text(ds, f::CHAVE);
}

QString itemKey(const DataSet& ds)
{
    return text(ds, f::NMRECDESPIRPJ) + text(ds, f::IDRECDESPIRPJ) + text(ds, f::IDRECDESPIRPJOP) + text(ds, f::NRSEQALIQIRPJ);
}

bool keptKey(const DataSet& ds, const QString& rowKey, const QString& preEditKey)
{
    return ds.state() == DataSet::State::Edit && rowKey == preEditKey;
}

} // namespace erp::par47300
