// SPDX-License-Identifier: MIT
#pragma once

#include "data/ecfsuggest.h"
#include "wire/packet.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableView;

namespace erp::par47300 {

// An additions row of one tax as the ECF codes dialog lists it.
struct EcfParamRow {
    double number = 0;
    QString name;
    QString kind;     // IDPARAMAPU
    QString kindText; // as the grid shows it
    QString percentText;
    QString code;            // its saved ECF code; empty when it has none
    QString savedDescription; // the service's description of that code
};

// The rows with their codes as the user edits them, against one dynamic
// table and a year: the description and validity of each code in that year,
// and the best suggestion for a row without a code. Only the code column is
// editable; a code is accepted when the table has a line of it that the
// company may enter for a row of that kind, whatever its validity (a code
// out of validity is shown so, not refused: the year box may be on another
// year than the one being filed).
class EcfCodesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Nome, Tipo, Percentual, Codigo, Descricao, Vigencia, Sugestao, Colunas };

    EcfCodesModel(const EcfSuggester& table, QString sheet, QList<EcfParamRow> rows, int year, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The code column: a refused code is shown as an error and changes nothing.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    int year() const { return year_; }
    void setYear(int year);
    const QString& sheet() const { return sheet_; }
    const EcfParamRow& row(int r) const { return rows_[r]; }
    QString code(int r) const { return codes_[r]; }

    // Why a code cannot be given to the row; empty when it can (an empty
    // code unmaps the row).
    QString refusal(int r, const QString& code) const;
    // Gives the row the code, or says why not (through the dialog service).
    bool setCode(int r, const QString& code);

    // The lines of the code valid in the year (both, where a code has two),
    // or every line of it when none is; empty for a code the table lacks.
    QList<int> linesOf(const QString& code) const;
    QString description(int r) const;
    QString validity(int r) const;
    // Mapped to a code the table lacks or that is not valid in the year.
    bool outOfValidity(int r) const;
    // The best lines for a row without a code (see EcfSuggester), best first.
    QList<int> suggestions(int r) const;
    // "8.60 – Multas por infrações fiscais"
    QString lineText(int line) const;

    bool hasChanges() const;
    // One change per row whose code differs from the saved one: inserted for
    // a row that had none, deleted for a row left without one, modified
    // otherwise; each carries the row's number and its code.
    ChangePacket changes() const;

private:
    const EcfSuggester& table_;
    QString sheet_;
    QList<EcfParamRow> rows_;
    QStringList codes_;
    int year_;
    mutable QHash<int, QList<int>> suggestions_; // by row, for this year
};

// "Códigos da ECF": the rows of one tax with their ECF codes, a year box, a
// search of the codes that fit the current row, the suggestions for it, and
// Gravar (every change in one packet, then close) or Cancelar (asks first
// when something was changed). A refused save keeps the dialog open with
// what the user typed.
class TEcfCodesDialog : public QDialog {
    Q_OBJECT
public:
    using Save = std::function<void(const ChangePacket&)>;

    TEcfCodesDialog(const QString& title, const QString& sheet, QList<EcfLine> lines, QList<EcfParamRow> rows, int year, Save save,
                    QWidget* parent = nullptr);

    EcfCodesModel* model() const { return model_; }
    QTableView* view() const { return view_; }
    QSpinBox* yearBox() const { return year_; }
    QListWidget* suggestionList() const { return suggestionList_; }

    // The host's search over the codes that fit the current row and are
    // valid in the year; the one chosen becomes the row's code.
    void pesquisaCodigo();
    // The first suggestion becomes the current row's code.
    void aceitaSugestao();
    // Sends the changes; closes once the service accepted them.
    void grava();
    void reject() override;

private:
    int currentRow() const;
    void atualizaSugestoes();

    EcfSuggester table_;
    EcfCodesModel* model_;
    Save save_;
    QSpinBox* year_;
    QTableView* view_;
    QLabel* suggestionTitle_;
    QListWidget* suggestionList_;
    QPushButton* accept_;
};

} // namespace erp::par47300
