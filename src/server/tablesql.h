// SPDX-License-Identifier: MIT
#pragma once

#include "changes.h"
#include "storage.h"

#include "contract/tables.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace erp::server {

// The statements of one table, generated once from its description, and the
// parameters each takes from a change's rows (one column list per table, as
// the contract gives it). An update or a delete names its row by the key and
// every old value, so a row someone else has changed meanwhile is not found.
class TableSql {
public:
    explicit TableSql(const contract::TableDef& table);

    const contract::TableDef& table() const { return table_; }
    // The stored columns, folded ones included, as a list for a statement.
    const std::string& storedColumns() const { return stored_; }

    // Ordered by the key, with `column = ?` for each of `where`.
    std::string select(std::initializer_list<const char*> where = {}) const;
    std::string exists(std::initializer_list<const char*> where) const;
    std::string removeWhere(std::initializer_list<const char*> where) const;
    // Whether a row with the given key exists.
    const std::string& keyExists() const { return keyExists_; }
    const std::string& insert() const { return insert_; }
    const std::string& update() const { return update_; }
    const std::string& remove() const { return remove_; }

    // `n` and `o` hold the table's columns (Row::at is a column's position);
    // an insert leaves out the serial column, which the database assigns.
    // An old whole number that can name no row is a conflict.
    SqlParams insertParams(const Row& n) const;
    SqlParams updateParams(const Row& o, const Row& n) const;
    SqlParams removeParams(const Row& o) const;

    // Position of a column in the table's columns (and in a row read with select()).
    qsizetype column(const char* name) const;
    // The key of a row with a one-column key, as given; an old key that can
    // name no row is a conflict.
    QVariant key(const Row& r) const { return r.at(keyColumn_); }
    QVariant oldKey(const Row& o) const { return oldValue(o, keyColumn_); }

    // Rows read with select(), as the client's packet: whole numbers as doubles.
    DataPacket rows(SqlRows rows) const;

private:
    enum class Kind { Text, Number, Whole };
    QVariant newValue(const Row& n, qsizetype column) const;
    QVariant oldValue(const Row& o, qsizetype column) const;
    void appendFolded(SqlParams& params, const Row& n) const;
    void appendWhere(SqlParams& params, const Row& o) const;
    std::string where(std::initializer_list<const char*> columns) const;

    const contract::TableDef& table_;
    std::vector<Kind> kinds_;       // per column
    std::vector<qsizetype> set_;    // columns an update writes
    std::vector<qsizetype> match_;  // columns naming the old row: the key first
    qsizetype keyColumn_ = 0;
    qsizetype serialColumn_ = -1; // assigned by the database: never written
    std::string stored_, keyExists_, insert_, update_, remove_;
};

// Every stored table's statements, generated once.
const TableSql& empresaSql();
const TableSql& contCtblSql();
const TableSql& itensDRESql();
const TableSql& aliquotasSql();
const TableSql& apurPaiSql();
const TableSql& paramApuSql();
const TableSql& recDespSql();
const TableSql& infCtbSql();
const TableSql& historicoSql();

} // namespace erp::server
