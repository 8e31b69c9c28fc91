#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Helpers shared by the tests.
namespace testsupport {

// Reads a whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Writes a whole file, creating its folder; false on failure.
bool writeFile(const QString &path, const QByteArray &data);
// The program built beside the tests.
QString executable();
// Runs the event loop until condition holds; false when ms pass first.
bool waitUntil(const std::function<bool()> &condition, int ms);

} // namespace testsupport
