// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

namespace erp {
class DataSet;
class DataSource;
namespace host {
class TDBGrid;
class TPageControl;
} // namespace host
} // namespace erp

namespace erp::par47300 {

// One of the four edited datasets and what its rules need: the mirror its
// duplicate checks search, the data source the toolbar follows, the
// service's methods, and how its pre-edit key is made. Every row posted or
// deleted goes through one save algorithm; the last three members are what
// the datasets do differently around it.
struct EditedDataSet {
    DataSet* cds;
    DataSet* mirror;
    DataSource* dts;
    const char* saveMethod;
    const char* sequenceMethod; // the numbers of its new rows
    const char* keyField;       // a row's sequence number
    const char* table;          // the server's table of its rows, as the history names it
    QString* preEditKey;        // stAdic, stOrigem or stItem
    QString (*rowKey)(const DataSet&); // the key columns' texts, joined
    bool refreshOnPost;         // the after-post refreshes the toolbar (the additions' leave it to the state change)
    bool mirrorAgain;           // after every post and delete, also when nothing was sent
    bool refreshAgainOnDelete;  // likewise, the toolbar after a delete
};

// One outer tab of the screen: its pages and grids, its parent dataset and
// how the parent's rows are loaded. The detail page shows the accounting
// information of the parent's current row. Every rule that asks which tab is
// in front, or which tab a dataset or page belongs to, looks it up in the
// screen's table of these.
struct ScreenTab {
    QWidget* tab;
    host::TPageControl* inner;
    QWidget* first;  // the parent's page
    QWidget* detail; // "Informações Contábeis"
    host::TDBGrid* grid;
    host::TDBGrid* detailGrid;
    EditedDataSet parent;
    const char* loadMethod;  // the company's rows
    const char* footerField; // the footer shows this field of the parent's current row
    bool withRates;          // loading the tab also reloads the rate table its rows refer to
};

} // namespace erp::par47300
