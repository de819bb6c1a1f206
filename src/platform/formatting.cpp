// SPDX-License-Identifier: MIT
#include "formatting.h"

#include "wire/errors.h"

#include <cmath>

namespace erp {

QString formatFloat(const QString& picture, double value, const QLocale& locale)
{
    const qsizetype dot = picture.indexOf(u'.');
    const QStringView intPart = dot < 0 ? QStringView(picture) : QStringView(picture).left(dot);
    const QStringView decPart = dot < 0 ? QStringView() : QStringView(picture).mid(dot + 1);
    const int required = int(decPart.count(u'0'));
    const int optional = int(decPart.count(u'#'));

    QLocale loc = locale;
    loc.setNumberOptions(intPart.contains(u',') ? QLocale::DefaultNumberOptions : QLocale::OmitGroupSeparator);
    QString text = loc.toString(value, 'f', required + optional);
    if (optional > 0) {
        const QString point = loc.decimalPoint();
        int drop = 0;
        while (drop < optional && text.endsWith(u'0')) {
            text.chop(1);
            ++drop;
        }
        if (required == 0 && text.endsWith(point))
            text.chop(point.size());
    }
    // "#,##" without a '0' before the point hides a zero integer part.
    if (!intPart.contains(u'0')) {
        const QString zero = loc.toString(0) + loc.decimalPoint();
        if (text.startsWith(zero))
            text.remove(0, 1);
    }
    return text;
}

double parseFloat(const QString& text, const QLocale& locale)
{
    bool ok = false;
    const double v = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        throw ConversionError(QStringLiteral("'%1' não é um valor numérico válido.").arg(text));
    return v;
}

namespace {
bool isMaskChar(QChar c)
{
    return QStringView(u"09#LlAaCc").contains(c);
}
bool accepts(QChar mask, QChar c)
{
    switch (mask.unicode()) {
    case u'0':
    case u'9': return c.isDigit();
    case u'#': return c.isDigit() || c == u'+' || c == u'-';
    case u'L':
    case u'l': return c.isLetter();
    case u'A':
    case u'a': return c.isLetterOrNumber();
    default: return true;
    }
}
} // namespace

EditMask::EditMask(const QString& mask)
{
    const QList<QStringView> parts = QStringView(mask).split(u';');
    const QStringView body = parts.value(0);
    if (parts.size() > 1)
        saveLiterals_ = parts.at(1) != u"0";
    if (parts.size() > 2 && !parts.at(2).isEmpty())
        blank_ = parts.at(2).front();
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body[i];
        if (c == u'\\' && i + 1 < body.size())
            slots_.append({body[++i], true});
        else if (c == u'>' || c == u'<' || c == u'!')
            continue; // case switches do not occupy a position
        else
            slots_.append({c, !isMaskChar(c)});
    }
}

int EditMask::capacity() const
{
    int n = 0;
    for (const Slot& s : slots_)
        n += (saveLiterals_ || !s.literal) ? 1 : 0;
    return n;
}

QString EditMask::format(const QString& stored) const
{
    if (slots_.isEmpty() || saveLiterals_)
        return stored;
    QString out;
    qsizetype next = 0;
    for (const Slot& s : slots_) {
        if (next >= stored.size())
            break;
        out.append(s.literal ? s.ch : stored[next++]);
    }
    // Whatever does not fit the mask is kept rather than lost.
    out.append(QStringView(stored).mid(next));
    return out;
}

QString EditMask::strip(const QString& shown) const
{
    if (slots_.isEmpty() || saveLiterals_)
        return shown;
    QString out;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QChar c = shown[i];
        if (i < slots_.size()) {
            const Slot& s = slots_[i];
            if (s.literal || c == blank_ || !accepts(s.ch, c))
                continue;
        }
        out.append(c);
    }
    return out;
}

} // namespace erp
