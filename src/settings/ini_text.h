#pragma once

#include <QtCore/QByteArrayView>
#include <QtCore/QString>
#include <QtCore/QStringView>

#include <functional>
#include <optional>

// A value of an INI file read as a person wrote it: a comma or a semicolon is part of the text, where
// QSettings would split a list or start a comment. Double quotes and backslash escapes mean what they mean
// where QSettings writes them, so whatever QSettings wrote reads back the same.
namespace IniText {
// The value of the last `key=` line in section `[group]`; nothing when there is none, or when that value is
// not UTF-8.
std::optional<QString> find(QByteArrayView file, QStringView group, QStringView key);
// Each `key=value` line in turn, with its section and the value's text as it stands in the file.
void forEachLine(
    QByteArrayView file,
    const std::function<void(const QString &group, const QString &key, QByteArrayView raw)> &line);
// Whether the whole file is in UTF-16, as some editors on Windows save it, which find() cannot read.
bool isUtf16(QByteArrayView file);
bool isUtf8(QByteArrayView raw);
// One value, the text after the `=`.
QString decode(QByteArrayView raw);
} // namespace IniText
