// SPDX-License-Identifier: MIT
#pragma once

#include "data/paramirpjdata.h"
#include "host/basescreen.h"

namespace erp::par47300 {

// The screen "Parametrização da Apuração do IRPJ e CSLL".
class TfrmParamIRPJ : public host::TfrmPadraoSimples {
    Q_OBJECT
public:
    explicit TfrmParamIRPJ(QWidget* parent = nullptr);
    ~TfrmParamIRPJ() override;

    ParamIRPJData& data() { return *data_; }

    void FormCreate() override;
    void FormClose(host::CloseAction& action) override;

private:
    ParamIRPJData* data_;
};

} // namespace erp::par47300
