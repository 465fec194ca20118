#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QSettings>

#include <memory>

// The settings as Windows keeps them, under HKEY_CURRENT_USER\Software\ZORVA: tests put there what a person
// writes into ZORVA.conf elsewhere.
QString zorvaRegistryKey();
std::unique_ptr<QSettings> zorvaRegistry();
void clearZorvaRegistry();
// Each Key=Value line under its [Group], the value exactly as written.
void writeZorvaRegistry(const QByteArray &ini);
