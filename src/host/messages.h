// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <utility>

namespace erp::host {

// A message catalogue: lines "KEY|Text", stored in Windows-1252.
class TMessages : public QObject {
    Q_OBJECT
public:
    explicit TMessages(const QString& name = {}, QObject* parent = nullptr);

    void loadCp1252(QByteArrayView bytes);
    // Loads a catalogue file (a Qt resource path works); throws erp::Error when unreadable.
    void loadFile(const QString& path);

    // The text of the key, matched exactly. A key the catalogue lacks gives
    // the key itself, so a gap shows on screen instead of an empty message.
    QString Msg(const QString& key) const;
    bool contains(const QString& key) const;
    const QList<std::pair<QString, QString>>& lines() const { return lines_; }

private:
    QList<std::pair<QString, QString>> lines_;
};

} // namespace erp::host
