// SPDX-License-Identifier: MIT
#include "field.h"

#include "dataset.h"
#include "formatting.h"

#include "wire/cp1252.h"
#include "wire/errors.h"

#include <QLocale>

#include <cmath>

namespace erp {

namespace {
QString plainNumber(double v)
{
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(v, 'f', QLocale::FloatingPointShortest);
}
} // namespace

Field::Field(DataSet& owner, FieldDef def, int index) : owner_(owner), def_(std::move(def)), index_(index)
{
    if (def_.type != FieldType::String)
        alignment_ = Qt::AlignRight | Qt::AlignVCenter;
}

QVariant Field::value() const
{
    return owner_.currentValue(index_);
}

bool Field::isNull() const
{
    return !value().isValid();
}

QVariant Field::coerce(const QVariant& v) const
{
    if (!v.isValid() || v.isNull())
        return {};
    switch (def_.type) {
    case FieldType::String: {
        QString s = v.toString();
        if (s.isEmpty())
            return {};
        if (def_.size > 0 && s.size() > def_.size)
            throw ConversionError(QStringLiteral("O texto informado para %1 excede o tamanho máximo de %2 caracteres.")
                                      .arg(displayLabel())
                                      .arg(def_.size));
        if (const qsizetype bad = cp1252::firstUnrepresentable(s); bad >= 0)
            throw ConversionError(QStringLiteral("O caractere '%1' informado para %2 não é aceito pelo sistema.")
                                      .arg(s.mid(bad, 1), displayLabel()));
        return s;
    }
    case FieldType::Float: {
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString();
            return s.trimmed().isEmpty() ? QVariant() : QVariant(parseFloat(s));
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw ConversionError(QStringLiteral("'%1' não é um valor numérico válido.").arg(v.toString()));
        return d;
    }
    case FieldType::Integer: {
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString();
            return s.trimmed().isEmpty() ? QVariant() : QVariant(coerceInteger(s));
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || d != std::trunc(d) || std::fabs(d) > 9.0e15)
            throw ConversionError(QStringLiteral("'%1' não é um número inteiro válido.").arg(v.toString()));
        return qint64(d);
    }
    }
    return {};
}

void Field::setValue(const QVariant& v)
{
    owner_.requireEditing(*this);
    owner_.setCurrentValue(index_, coerce(v));
}

QString Field::asString() const
{
    const QVariant v = value();
    if (!v.isValid())
        return {};
    switch (def_.type) {
    case FieldType::String: return v.toString();
    case FieldType::Float: return plainNumber(v.toDouble());
    case FieldType::Integer: return QString::number(v.toLongLong());
    }
    return {};
}

void Field::setAsString(const QString& text)
{
    setValue(text.isEmpty() ? QVariant() : QVariant(text));
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (!v.isValid())
        return 0.0;
    if (def_.type == FieldType::String)
        return parseFloat(v.toString());
    return v.toDouble();
}

qint64 Field::asInteger() const
{
    const QVariant v = value();
    if (!v.isValid())
        return 0;
    if (def_.type == FieldType::String)
        return coerceInteger(v.toString());
    return def_.type == FieldType::Float ? qint64(std::llround(v.toDouble())) : v.toLongLong();
}

qint64 Field::coerceInteger(const QString& text)
{
    bool ok = false;
    const qint64 i = QLocale().toLongLong(text.trimmed(), &ok);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' não é um número inteiro válido.").arg(text));
    return i;
}

QString Field::activeEditMask() const
{
    if (editMask_.isEmpty() || (editMaskApplies && !editMaskApplies(*this)))
        return {};
    return editMask_;
}

QString Field::textFor(bool display) const
{
    if (onGetText) {
        QString text;
        onGetText(const_cast<Field&>(*this), text, display);
        return text;
    }
    if (def_.type == FieldType::Float && !isNull()) {
        const QString& fmt = (display || editFormat_.isEmpty()) ? displayFormat_ : editFormat_;
        if (!fmt.isEmpty())
            return formatFloat(fmt, value().toDouble());
    }
    // A text stored without its mask's literals is shown with them; the cell
    // editor puts them in itself.
    if (display && def_.type == FieldType::String && !isNull())
        if (const QString mask = activeEditMask(); !mask.isEmpty())
            return EditMask(mask).format(asString());
    return asString();
}

void Field::setText(const QString& text)
{
    if (onSetText)
        onSetText(*this, text);
    else
        setAsString(text);
}

void Field::focusControl()
{
    owner_.focusControl(*this);
}

} // namespace erp
