// SPDX-License-Identifier: MIT
#include "datasource.h"

#include "datalink.h"
#include "dataset.h"

#include <algorithm>

namespace erp {

DataSource::DataSource(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

DataSource::~DataSource()
{
    setDataSet(nullptr);
    for (DataLink* l : links_)
        l->source_ = nullptr;
}

void DataSource::setDataSet(DataSet* dataSet)
{
    if (dataSet_ == dataSet)
        return;
    if (dataSet_)
        dataSet_->removeSource(this);
    dataSet_ = dataSet;
    if (dataSet_)
        dataSet_->addSource(this);
    notify(Event::Active);
    notify(Event::Changed);
}

DataSet::State DataSource::state() const
{
    return dataSet_ ? dataSet_->state() : DataSet::State::Inactive;
}

void DataSource::notify(Event e, Field* field)
{
    const std::vector<DataLink*> links = links_;
    for (DataLink* l : links) {
        switch (e) {
        case Event::Active: l->activeChanged(); break;
        case Event::Changed: l->dataSetChanged(); break;
        case Event::Record: l->recordChanged(field); break;
        case Event::Scrolled: l->dataSetScrolled(); break;
        case Event::State: l->editingChanged(); break;
        case Event::UpdateData: l->updateData(); break;
        }
    }
    // Controls first, then the screen's rule, so the rule sees them up to date.
    if (e == Event::State && onStateChange)
        onStateChange(*this);
}

bool DataSource::focusControl(Field& field)
{
    for (DataLink* l : links_)
        if (l->focusControl(field))
            return true;
    return false;
}

void DataSource::attach(DataLink* link)
{
    if (std::find(links_.begin(), links_.end(), link) == links_.end())
        links_.push_back(link);
}

void DataSource::detach(DataLink* link)
{
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

DataLink::~DataLink()
{
    setDataSource(nullptr);
}

void DataLink::setDataSource(DataSource* source)
{
    if (source_ == source)
        return;
    if (source_)
        source_->detach(this);
    source_ = source;
    if (source_)
        source_->attach(this);
}

} // namespace erp
