// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

#include <functional>

namespace erp::host {

// A conventional edit mask ("mask;save;blank") as a QLineEdit input mask.
QString qtInputMask(const QString& mask);

// A line edit with a conventional edit mask; text() is what the mask stores.
class TMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget* parent = nullptr);

    void setEditMask(const QString& mask);
    QString editMask() const { return mask_; }
    // The text as stored: without the mask's literals when it does not save them.
    QString storedText() const;
    // Writes the text (runs the change rule, as any change does).
    void setStoredText(const QString& text);

    std::function<void(TMaskEdit&)> onChange;

private:
    QString mask_;
};

} // namespace erp::host
