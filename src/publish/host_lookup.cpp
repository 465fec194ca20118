#include "host_lookup.h"

AddressLookup::AddressLookup(QObject *parent) : QObject(parent) {}

AddressLookup::~AddressLookup() = default;

HostLookup::HostLookup(QObject *parent) : AddressLookup(parent)
{
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &HostLookup::poll);
}

HostLookup::~HostLookup()
{
    abandon();
}
