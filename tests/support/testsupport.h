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

// Starts Xvfb with one screen of that size (WIDTHxHEIGHTxDEPTH) on a free display and points
// DISPLAY and the Qt platform at it; call it before the application is made. False when Xvfb is
// not installed or does not start. stopDesktop ends it.
bool startDesktop(const QString &screen = QStringLiteral("800x600x24"));
void stopDesktop();

} // namespace testsupport
