// SPDX-License-Identifier: MIT
#pragma once

// Small helpers the screen, package and end-to-end tests share.
#include "platform/dataset.h"

#include <QApplication>
#include <QList>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

namespace erp::testing {

// The widget that has the keyboard focus now.
inline QWidget* focused()
{
    return QApplication::focusWidget();
}

// A field of a dataset, by its name.
inline Field& field(const DataSet& ds, const char* name)
{
    return ds.fieldByName(QString::fromLatin1(name));
}

// The stored text of a field of the current row.
inline QString text(const DataSet& ds, const char* name)
{
    return field(ds, name).asString();
}

// The rows an executed query gives, each as the texts of its columns.
inline QList<QStringList> rowTexts(QSqlQuery& q)
{
    QList<QStringList> out;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i).toString();
        out << row;
    }
    return out;
}

} // namespace erp::testing
