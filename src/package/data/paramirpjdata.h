// SPDX-License-Identifier: MIT
#pragma once

#include "host/query.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

#include <QObject>

namespace erp::par47300 {

// Every dataset, mirror, look-up query and data source of the screen, with
// their fields, labels and formats. Owned by the screen; each member is also a
// named child, so controls and tests find it by name.
class ParamIRPJData : public QObject {
    Q_OBJECT
public:
    explicit ParamIRPJData(QObject* parent = nullptr);

    // Edited datasets.
    DataSet cdsAdicIRPJ{QStringLiteral("cdsAdicIRPJ"), this};
    DataSet cdsAdicCSLL{QStringLiteral("cdsAdicCSLL"), this};
    DataSet cdsInfCtb{QStringLiteral("cdsInfCtb"), this};
    DataSet cdsRecDesp{QStringLiteral("cdsRecDesp"), this};
    // Reference datasets.
    DataSet cdsItensDRE{QStringLiteral("cdsItensDRE"), this};
    DataSet cdsAliquotas{QStringLiteral("cdsAliquotas"), this};
    // Mirrors: the content as last loaded from or saved to the service.
    DataSet cdsAdicEspelho{QStringLiteral("cdsAdicEspelho"), this};
    DataSet cdsInfEspelho{QStringLiteral("cdsInfEspelho"), this};
    DataSet cdsRecDespEspelho{QStringLiteral("cdsRecDespEspelho"), this};
    // Look-up queries over the host's shared read-only connection.
    host::TADOIBQuery qryEmpresa{QStringLiteral("qryEmpresa"), this};
    host::TADOIBQuery qryContCtbl{QStringLiteral("qryContCtbl"), this};

    DataSource dtsAdicIRPJ{QStringLiteral("dtsAdicIRPJ"), this};
    DataSource dtsAdicCSLL{QStringLiteral("dtsAdicCSLL"), this};
    DataSource dtsInfCtb{QStringLiteral("dtsInfCtb"), this};
    DataSource dtsRecDesp{QStringLiteral("dtsRecDesp"), this};
    DataSource dtsItensDRE{QStringLiteral("dtsItensDRE"), this};
    DataSource dtsAliquotas{QStringLiteral("dtsAliquotas"), this};
    DataSource dtsEmpresa{QStringLiteral("dtsEmpresa"), this};
    DataSource dtsContCtbl{QStringLiteral("dtsContCtbl"), this};
};

} // namespace erp::par47300
