// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include "wire/packet.h"

#include <QJsonObject>
#include <QString>

#include <array>

// Copying a company's parameters into another company: copiaParamIRPJ and
// its preview, and the import of an exported file, which carries the same
// packets.
namespace erp::server {

class History;

// A company's parameters as the contract's packets, every field in layout
// order: the additions, exclusions and compensations of both taxes
// (ParamApu), the net-profit items (RecDesp) and the accounting information
// under any of them (InfCtb), each by number; and the ECF code of the
// additions rows that have one (NRSEQPARAMAPU, CDECF), which goes with its row.
struct CompanyParameters {
    DataPacket paramApu, recDesp, infCtb;
    DataPacket ecfCodes = {};
};

CompanyParameters readCompanyParameters(Db& db, const QString& company);

// Whether the company is registered.
bool companyExists(Db& db, const QString& company);

// The kinds of rows a copy counts, in the order the preview lists them.
enum class CopyKind { AdicIRPJ, ExclIRPJ, CompIRPJ, AdicCSLL, ExclCSLL, CompCSLL, RecDesp, InfCtb };
inline constexpr std::size_t kCopyKinds = 8;

// "Adições IRPJ", …, "Itens do lucro líquido", "Informações contábeis".
QString copyKindName(CopyKind kind);

// Rows a copy writes and skips, per kind. Every row counts, parents and
// accounting information alike.
struct CopyCounts {
    std::array<long long, kCopyKinds> applied{};
    std::array<long long, kCopyKinds> skipped{};

    long long totalApplied() const;
    long long totalSkipped() const;
    // copiaParamIRPJ's answer: {"status":"ok","applied":N,"skipped":M}.
    QJsonObject result() const;
    // previaCopiaParamIRPJ's packet: one line per kind, every kind listed.
    DataPacket preview() const;
};

// What copying `source` into the company `target` does. A parent row whose
// unique key the target already holds, or an earlier row of the same copy
// holds, is skipped with all its accounting information; the accounting
// information of a parent that is copied is copied, except a row whose key
// an earlier row of that parent already has. Decided once, when made, so the
// preview and the copy count the same rows.
class ParameterCopy {
public:
    ParameterCopy(Db& db, const CompanyParameters& source, const QString& target);

    const CopyCounts& counts() const { return counts_; }

    // Writes the planned rows into the target with new numbers from the
    // series, an additions row with its ECF code, each recorded in
    // `history`. Runs inside the caller's write transaction, which must be
    // the one the plan was made in.
    void apply(History& history);

private:
    Db& db_;
    const CompanyParameters& source_;
    QString target_;
    CopyCounts counts_;
    // Per planned row: written or skipped (indexes into the source's rows).
    std::vector<bool> copyParamApu_, copyRecDesp_, copyInfCtb_;
};

} // namespace erp::server
