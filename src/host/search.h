// SPDX-License-Identifier: MIT
#pragma once

#include <QToolButton>

#include <functional>

class QLineEdit;

namespace erp {
class DataSet;
class DataSource;
} // namespace erp

namespace erp::host {

// A search dialog over the rows of a data source. `text` is the title, a
// vertical bar, and the message shown when there is nothing to list. True
// when the user chose a row, which is then the current row.
bool Pesquisar(DataSource* source, const QString& text, bool multiple = false, bool showEmpty = true);

// Asks for a column and a text and makes current the first row whose shown
// text in that column starts with it (ignoring letter case).
void Procura(DataSet* dataSet);

// The search button beside a code box: its before-search rule prepares the
// data source, the dialog lists it, and on a choice its after-search rule runs.
class TBtnPesquisa : public QToolButton {
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget* parent = nullptr);

    void bind(QLineEdit* edit, DataSource* source, const QString& codeField, const QString& nameField);
    QLineEdit* edit() const { return edit_; }
    DataSource* dataSource() const { return source_; }
    QString codeField() const { return codeField_; }
    QString nameField() const { return nameField_; }
    void setTitle(const QString& title) { title_ = title; }
    void setEmptyText(const QString& text) { emptyText_ = text; }
    QString emptyText() const { return emptyText_; }

    // Runs the search as a click does.
    void search();
    // The same search for another purpose: the before-search rule, then the
    // list (under `title` when given); true when a row was chosen, which is
    // then the data source's current row. The after-search rule does not run.
    bool choose(const QString& title = {});

    std::function<void(TBtnPesquisa&, bool& flag)> onBeforePesq;
    std::function<void(TBtnPesquisa&)> onAfterPesq;

private:
    QLineEdit* edit_ = nullptr;
    DataSource* source_ = nullptr;
    QString codeField_;
    QString nameField_;
    QString title_ = QStringLiteral("Pesquisa");
    QString emptyText_ = QStringLiteral("Nenhum registro encontrado.");
};

} // namespace erp::host
