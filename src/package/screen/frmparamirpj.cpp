// SPDX-License-Identifier: MIT
#include "frmparamirpj.h"

#include "entry/module.h"

#include <QLabel>

namespace erp::par47300 {

TfrmParamIRPJ::TfrmParamIRPJ(QWidget* parent) : TfrmPadraoSimples(parent), data_(new ParamIRPJData(this))
{
    setObjectName(QStringLiteral("frmParamIRPJ"));
    setWindowTitle(QStringLiteral("Parametrização da Apuração do IRPJ e CSLL"));
    lblCodTela()->setText(QStringLiteral("PAR47300"));
    setFixedSize(691, 373);
    msgPadrao()->loadFile(QStringLiteral(":/PAR47300/msgpadrao.cp1252"));
}

TfrmParamIRPJ::~TfrmParamIRPJ() = default;

void TfrmParamIRPJ::FormCreate()
{
    TfrmPadraoSimples::FormCreate();
}

void TfrmParamIRPJ::FormClose(host::CloseAction& action)
{
    TfrmPadraoSimples::FormClose(action);
    boIdCriado = false;
}

} // namespace erp::par47300
