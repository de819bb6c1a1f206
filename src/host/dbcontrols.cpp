// SPDX-License-Identifier: MIT
#include "dbcontrols.h"

#include "services.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace erp::host {

TDBText::TDBText(QWidget* parent) : QLabel(parent)
{
}

void TDBText::setDataSource(DataSource* source)
{
    DataLink::setDataSource(source);
    refresh();
}

void TDBText::setDataField(const QString& field)
{
    field_ = field;
    refresh();
}

void TDBText::refresh()
{
    DataSet* ds = dataSource() ? dataSource()->dataSet() : nullptr;
    Field* f = ds && ds->active() && !field_.isEmpty() ? ds->findField(field_) : nullptr;
    setText(f ? f->displayText() : QString());
}

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent)
{
    static const struct {
        const char* name;
        const char* hint;
        QStyle::StandardPixmap icon;
    } looks[] = {
        {"First", "Primeiro registro", QStyle::SP_MediaSkipBackward},
        {"Prior", "Registro anterior", QStyle::SP_MediaSeekBackward},
        {"Next", "Próximo registro", QStyle::SP_MediaSeekForward},
        {"Last", "Último registro", QStyle::SP_MediaSkipForward},
    };
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int b = 0; b < 4; ++b) {
        auto* btn = new QToolButton(this);
        btn->setObjectName(QStringLiteral("nbt") + QString::fromLatin1(looks[b].name));
        btn->setIcon(style()->standardIcon(looks[b].icon));
        btn->setToolTip(QString::fromUtf8(looks[b].hint));
        btn->setAutoRaise(true);
        btn->setFocusPolicy(Qt::NoFocus);
        connect(btn, &QToolButton::clicked, this, [this, b] { click(Button(b)); });
        layout->addWidget(btn);
        buttons_[b] = btn;
    }
    refresh();
}

void TDBNavigator::setDataSource(DataSource* source)
{
    DataLink::setDataSource(source);
    refresh();
}

void TDBNavigator::click(Button b)
{
    DataSet* ds = dataSource() ? dataSource()->dataSet() : nullptr;
    if (!ds || !ds->active())
        return;
    guarded([ds, b] {
        switch (b) {
        case First: ds->first(); break;
        case Prior: ds->prior(); break;
        case Next: ds->next(); break;
        case Last: ds->last(); break;
        }
    });
}

void TDBNavigator::refresh()
{
    DataSet* ds = dataSource() ? dataSource()->dataSet() : nullptr;
    const bool rows = ds && ds->active() && !ds->isEmpty();
    const bool atFirst = !rows || ds->recNo() <= 0;
    const bool atLast = !rows || ds->recNo() >= ds->recordCount() - 1;
    buttons_[First]->setEnabled(!atFirst);
    buttons_[Prior]->setEnabled(!atFirst);
    buttons_[Next]->setEnabled(!atLast);
    buttons_[Last]->setEnabled(!atLast);
}

} // namespace erp::host
