// SPDX-License-Identifier: MIT
#pragma once

#include <QLocale>
#include <QString>

namespace erp {

// Number picture in the conventional form "#,##0.00": ',' asks for thousands
// grouping, the '0's and '#'s after '.' the required and optional decimals.
QString formatFloat(const QString& picture, double value, const QLocale& locale = QLocale());

// A number typed by the user, read with the locale's separators (grouping allowed).
// Throws ConversionError with a Portuguese message when the text is not a number.
double parseFloat(const QString& text, const QLocale& locale = QLocale());

// Conventional edit masks "mask;save;blank": '0' required digit, '9' optional
// digit, '#' digit or sign, 'L'/'l' letter, 'A'/'a' letter or digit, 'C'/'c' any
// character, '\' escapes a literal; every other character is a literal. With
// save '0' the literals are not part of the stored text.
class EditMask {
public:
    explicit EditMask(const QString& mask);

    bool isEmpty() const { return slots_.isEmpty(); }
    bool saveLiterals() const { return saveLiterals_; }
    QChar blank() const { return blank_; }
    // The stored text as the user sees it in the masked editor.
    QString format(const QString& stored) const;
    // What the masked editor's text stores.
    QString strip(const QString& shown) const;
    // Number of characters the stored text can hold.
    int capacity() const;

private:
    struct Slot {
        QChar ch;
        bool literal;
    };
    QList<Slot> slots_;
    bool saveLiterals_ = true;
    QChar blank_ = u'_';
};

} // namespace erp
