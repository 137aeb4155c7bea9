#pragma once
// Reads a Qt Linguist .ts file and judges each message as a translator's tool
// would: finished, not empty, and with the placeholders, accelerators, key
// names after a tab and line breaks that the program relies on.
#include <QString>
#include <string>
#include <vector>

namespace vexlo::test {

struct TsMessage {
    QString context;
    QString source;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty for a finished one
};

struct TsFile {
    QString language;
    std::vector<TsMessage> messages;
    QString error; // empty when the file was read completely
};

TsFile readTsFile(const QString& path);
TsFile parseTs(const QByteArray& xml);

// What is wrong with one message; empty when it is fine.
std::vector<std::string> problemsOf(const TsMessage& message);

// translations/*.ts of the source tree.
QStringList translationFiles();

} // namespace vexlo::test
