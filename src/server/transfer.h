// SPDX-License-Identifier: MIT
#pragma once

#include "copy.h"
#include "storage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <stdexcept>
#include <string>

// A company's parameters carried in a file: `erp-server --export COMPANY
// FILE` and `--import COMPANY FILE`. The file is one JSON document:
//   {"format":"erp-parametros-irpj","version":1,"date":"2026-12-10T10:00:00.000Z",
//    "company":"01","GetParamIRPJ":{…},"GetParamCSLL":{…},"getRecDesp":{…},"getInfCtbIRPJ":{…}}
// each packet what the method of its name answers (getInfCtbIRPJ: the
// accounting information of every parent row of the file together).
namespace erp::server {

inline constexpr char kTransferFormat[] = "erp-parametros-irpj";
inline constexpr int kTransferVersion = 1;

// A file or a company that cannot be exported or imported; the message is a
// Portuguese sentence for the operator.
class TransferError : public std::runtime_error {
public:
    explicit TransferError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The document of a company's parameters now. Throws TransferError for an
// unknown company.
QByteArray exportDocument(Db& db, const QString& company);

// The parameters of a document, every packet checked against its layout and
// every parent row against its accounting information. Throws TransferError
// for anything else than a document of this format, version and shape.
CompanyParameters readDocument(QByteArrayView text);

// Writes the parameters into the company as copiaParamIRPJ writes a copy
// (same keys skipped with their accounting information, new numbers, the
// history, one transaction), after checking every row as a save checks a new
// one. The history names the user and method "import". Throws TransferError
// and writes nothing on any refusal.
CopyCounts importParameters(Db& db, const CompanyParameters& rows, const QString& company);

// The run modes: print what was done and return the exit status (0 done;
// 1 the database, the file or its content failed; 2 a bad database URL).
int exportToFile(const std::string& url, const std::string& company, const std::string& file);
int importFromFile(const std::string& url, const std::string& company, const std::string& file);

} // namespace erp::server
