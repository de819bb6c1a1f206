// SPDX-License-Identifier: MIT
#pragma once

#include "wire/fielddef.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace erp {

class DataSet;

// A typed column of a dataset, read and written through the dataset's current
// row (or its edit buffer while editing).
class Field {
public:
    // Rule that gives the field's text; displayText is false for the cell editor.
    using GetTextHandler = std::function<void(Field&, QString& text, bool displayText)>;
    // Rule that takes a text the user entered in place of the default conversion.
    using SetTextHandler = std::function<void(Field&, const QString& text)>;
    using ChangeHandler = std::function<void(Field&)>;

    Field(DataSet& owner, FieldDef def, int index);
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    const QString& fieldName() const { return def_.name; }
    FieldType dataType() const { return def_.type; }
    int size() const { return def_.size; }
    const FieldDef& def() const { return def_; }
    int index() const { return index_; }
    DataSet& dataSet() const { return owner_; }

    QString displayLabel() const { return label_.isEmpty() ? def_.name : label_; }
    void setDisplayLabel(const QString& label) { label_ = label; }
    QString displayFormat() const { return displayFormat_; }
    void setDisplayFormat(const QString& f) { displayFormat_ = f; }
    QString editFormat() const { return editFormat_; }
    void setEditFormat(const QString& f) { editFormat_ = f; }
    QString editMask() const { return editMask_; }
    void setEditMask(const QString& m) { editMask_ = m; }
    // The edit mask where it applies to the row being read: a text field
    // shows its stored text through it and its editor types through it.
    QString activeEditMask() const;
    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment a) { alignment_ = a; }
    bool visible() const { return visible_; }
    void setVisible(bool v) { visible_ = v; }

    QVariant value() const;
    // Stores a value converted to the field's type; requires edit or insert state.
    void setValue(const QVariant& v);
    bool isNull() const;
    void clear() { setValue(QVariant()); }

    QString asString() const;
    void setAsString(const QString& text);
    double asFloat() const;
    void setAsFloat(double v) { setValue(v); }
    qint64 asInteger() const;
    void setAsInteger(qint64 v) { setValue(v); }

    // The text for the cell editor / for display: the get-text rule, or the
    // default formatting with the edit or display format.
    QString text() const { return textFor(false); }
    QString displayText() const { return textFor(true); }
    // A text the user entered: the set-text rule, or the default conversion.
    void setText(const QString& text);

    // Asks the controls showing this field to take the focus on its column.
    void focusControl();

    GetTextHandler onGetText;
    SetTextHandler onSetText;
    ChangeHandler onChange;
    // Whether the edit mask applies to the row being read (a key that is a
    // ledger account on some rows and something else on others); without
    // this rule it applies to every row.
    std::function<bool(const Field&)> editMaskApplies;

    // Converts a value to this field's type (a text with the user's locale);
    // throws ConversionError for a value that does not fit.
    QVariant coerce(const QVariant& v) const;

private:
    static qint64 coerceInteger(const QString& text);
    QString textFor(bool display) const;

    DataSet& owner_;
    FieldDef def_;
    int index_;
    QString label_;
    QString displayFormat_;
    QString editFormat_;
    QString editMask_;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    bool visible_ = true;
};

} // namespace erp
