// SPDX-License-Identifier: MIT
#include "search.h"

#include "dialogs.h"
#include "services.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

#include <QLineEdit>
#include <QStyle>

namespace erp::host {

namespace {

QList<Field*> shownFields(const DataSet& ds)
{
    QList<Field*> out;
    for (int i = 0; i < ds.fieldCount(); ++i)
        if (ds.field(i).visible())
            out << &ds.field(i);
    return out;
}

QString shownText(const DataSet& ds, int row, Field& f)
{
    const DataSet::RowPeek peek(ds, row);
    return f.displayText();
}

} // namespace

bool Pesquisar(DataSource* source, const QString& text, bool, bool showEmpty)
{
    DataSet* ds = source ? source->dataSet() : nullptr;
    const qsizetype bar = text.indexOf(u'|');
    const QString title = bar < 0 ? text : text.left(bar);
    const QString emptyMessage = bar < 0 ? QString() : text.mid(bar + 1);
    if (!ds || !ds->active() || ds->isEmpty()) {
        if (showEmpty && !emptyMessage.isEmpty())
            dialogs().showInformation(emptyMessage);
        return false;
    }
    ds->checkBrowseMode();
    ChoiceList list;
    list.title = title;
    const QList<Field*> fields = shownFields(*ds);
    for (Field* f : fields)
        list.columns << f->displayLabel();
    for (int r = 0; r < ds->recordCount(); ++r) {
        QStringList cells;
        QStringList stored;
        const DataSet::RowPeek peek(*ds, r);
        for (Field* f : fields) {
            cells << f->displayText();
            stored << f->asString();
        }
        list.rows << cells;
        list.stored << stored;
    }
    const std::optional<int> row = dialogs().chooseRow(list);
    if (!row || *row < 0 || *row >= ds->recordCount())
        return false;
    ds->moveTo(*row);
    return true;
}

void Procura(DataSet* ds)
{
    if (!ds || !ds->active() || ds->isEmpty())
        return;
    const QList<Field*> fields = shownFields(*ds);
    QStringList columns;
    for (Field* f : fields)
        columns << f->displayLabel();
    const std::optional<FindRequest> find = dialogs().askFind(QStringLiteral("Procurar"), columns);
    if (!find || find->column < 0 || find->column >= fields.size())
        return;
    Field* f = fields[find->column];
    for (int r = 0; r < ds->recordCount(); ++r) {
        if (shownText(*ds, r, *f).startsWith(find->text.trimmed(), Qt::CaseInsensitive)) {
            ds->moveTo(r);
            return;
        }
    }
    dialogs().showInformation(QStringLiteral("Nenhum registro encontrado com \"%1\" em %2.").arg(find->text, columns[find->column]));
}

TBtnPesquisa::TBtnPesquisa(QWidget* parent) : QToolButton(parent)
{
    setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    setToolTip(QStringLiteral("Pesquisar"));
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::clicked, this, [this] { guarded([this] { search(); }); });
}

void TBtnPesquisa::bind(QLineEdit* edit, DataSource* source, const QString& codeField, const QString& nameField)
{
    edit_ = edit;
    source_ = source;
    codeField_ = codeField;
    nameField_ = nameField;
}

void TBtnPesquisa::search()
{
    if (choose() && onAfterPesq)
        onAfterPesq(*this);
}

bool TBtnPesquisa::choose(const QString& title)
{
    bool flag = false;
    if (onBeforePesq)
        onBeforePesq(*this, flag);
    return Pesquisar(source_, (title.isEmpty() ? title_ : title) + u'|' + emptyText_, false, true);
}

} // namespace erp::host
