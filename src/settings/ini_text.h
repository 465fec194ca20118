#pragma once

#include <QtCore/QByteArrayView>
#include <QtCore/QString>
#include <QtCore/QStringView>

#include <optional>

// A value of an INI file read as a person wrote it: a comma or a semicolon is part of the text, where
// QSettings would split a list or start a comment. Double quotes and backslash escapes mean what they mean
// where QSettings writes them, so whatever QSettings wrote reads back the same.
namespace IniText {
// The value of the last `key=` line in section `[group]`; nothing when there is none.
std::optional<QString> find(QByteArrayView file, QStringView group, QStringView key);
// One value, the text after the `=`.
QString decode(QByteArrayView raw);
} // namespace IniText
