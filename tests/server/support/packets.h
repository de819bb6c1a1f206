// SPDX-License-Identifier: MIT
#pragma once

#include "contract/paramirpj.h"
#include "wire/packet.h"
#include "wire/rpccodes.h"

#include <QJsonArray>
#include <QJsonObject>

#include <stdexcept>
#include <string>

// Requests and packets as the server cases write them: fields by name,
// codes by name.
namespace erp::testing {

namespace f = contract::f;
namespace letter = contract::letter;
namespace code = rpc::code;

// A packet layout whose fields the tests name instead of counting:
// row[adic[f::VRPORCENTAGEM]], adic.with(row, f::NMPARAMAPU, "Outro").
class Layout {
public:
    explicit Layout(FieldDefs fields) : fields_(std::move(fields)) {}
    operator const FieldDefs&() const { return fields_; }

    qsizetype operator[](const char* name) const
    {
        for (qsizetype i = 0; i < fields_.size(); ++i)
            if (fields_[i].name == QLatin1String(name))
                return i;
        throw std::invalid_argument(std::string("no field ") + name + " in the layout");
    }
    // The row with one value replaced; any row type indexed as the layout.
    template <class Row>
    Row with(Row row, const char* name, const typename Row::value_type& value) const
    {
        row[std::size_t((*this)[name])] = value;
        return row;
    }

private:
    FieldDefs fields_;
};

using contract::letterText;

QJsonObject changeJson(const FieldDefs& layout, ChangeStatus status, const RowValues& oldValues, const RowValues& newValues);
QJsonObject insertJson(const FieldDefs& layout, const RowValues& row);

// A JSON-RPC 2.0 request as its text.
std::string rpcRequest(const char* method, const QJsonArray& params, int id = 1);
// A new IRPJ addition of company 01 (type A, 10 %) as a SetParamIRPJ request.
std::string newAdditionRequest(double seq, const QString& name, int id = 1);

} // namespace erp::testing
