// SPDX-License-Identifier: MIT
#include "maskedit.h"

#include "services.h"
#include "platform/formatting.h"

namespace erp::host {

QString qtInputMask(const QString& mask)
{
    const QList<QStringView> parts = QStringView(mask).split(u';');
    const QStringView body = parts.value(0);
    if (body.isEmpty())
        return {};
    QString out;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body[i];
        switch (c.unicode()) {
        case u'0': out += u'9'; break; // required digit
        case u'9': out += u'0'; break; // optional digit
        case u'#': out += u'#'; break;
        case u'L': out += u'A'; break;
        case u'l': out += u'a'; break;
        case u'A': out += u'N'; break;
        case u'a': out += u'n'; break;
        case u'C': out += u'X'; break;
        case u'c': out += u'x'; break;
        case u'>':
        case u'<':
        case u'!': out += c; break;
        case u'\\':
            if (i + 1 < body.size()) {
                out += u'\\';
                out += body[++i];
            }
            break;
        default:
            // A literal; escape what the input mask would read as a command.
            if (QStringView(u"AaNnXx90Dd#HhBb><!;[]{}\\").contains(c))
                out += u'\\';
            out += c;
        }
    }
    const QChar blank = parts.size() > 2 && !parts.at(2).isEmpty() ? parts.at(2).front() : QChar(u'_');
    return out + u';' + blank;
}

TMaskEdit::TMaskEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (onChange)
            guarded([this] { onChange(*this); });
    });
}

void TMaskEdit::setEditMask(const QString& mask)
{
    mask_ = mask;
    setInputMask(qtInputMask(mask));
}

QString TMaskEdit::storedText() const
{
    const QString shown = text();
    return mask_.isEmpty() ? shown : EditMask(mask_).strip(shown).trimmed();
}

void TMaskEdit::setStoredText(const QString& text)
{
    setText(mask_.isEmpty() ? text : EditMask(mask_).format(text));
}

} // namespace erp::host
