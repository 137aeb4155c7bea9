#pragma once
// Small helpers shared by the suites.
#include <QString>
#include <chrono>
#include <functional>
#include <string>

class QWidget;

namespace vexlo::test {

// Saves a picture of the widget as <build>/screenshots/<name>.png; returns the path.
std::string saveScreenshot(QWidget* widget, const std::string& name);

// Processes events until `done` holds or the time runs out; returns `done()`.
bool waitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Writes `bytes` to `path` (creating parent folders); throws on failure.
void writeFile(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when missing.
std::string readFile(const std::string& path);

// The folder of the built programs (vexlo, trevok, the shipped data).
std::string binDir();

} // namespace vexlo::test
