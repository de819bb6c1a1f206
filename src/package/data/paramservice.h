// SPDX-License-Identifier: MIT
#pragma once

#include "host/net/netconnection.h"
#include "platform/dataset.h"

#include <QJsonArray>
#include <QJsonObject>

namespace erp::par47300 {

// The parameter service as the screen calls it: every result checked with
// CheckResultServ, every read loaded whole into its dataset.
class ParamService {
public:
    explicit ParamService(host::TNetConnection& net) : net_(net) {}

    // Calls a reading method and replaces the dataset's content with its packet.
    void load(DataSet& target, const char* method, const QJsonArray& args = {});
    // Calls a reading method and gives its packet, read with that layout.
    DataPacket read(const char* method, const QJsonArray& args, const FieldDefs& layout);
    // The next number of a sequence series, as the screen stores it.
    qint32 nextNumber(const char* method);
    // Sends one dataset's pending changes; returns only when the service accepted them.
    void save(const char* method, const ChangePacket& changes);
    // Asks the service to remove the accounting information of one parent.
    void deleteInfCtb(double parent);
    // Calls a method that changes parameters other than by a change packet
    // (the copy between companies); its answer, once the service applied it.
    QJsonObject change(const char* method, const QJsonArray& args);

private:
    host::TNetConnection& net_;
};

} // namespace erp::par47300
