#include "TsFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <algorithm>

namespace vexlo::test {

namespace {

// The text of <source> or <translation>: characters, with <byte value="xd"/>
// standing for bytes that XML cannot hold as they are (the carriage return).
QString readText(QXmlStreamReader& xml)
{
    QString text;
    const QString element = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters()) {
            text += xml.text();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("byte")) {
            const QString value = xml.attributes().value(QLatin1String("value")).toString();
            bool ok = false;
            const uint code = value.startsWith(QLatin1Char('x')) ? value.mid(1).toUInt(&ok, 16) : value.toUInt(&ok);
            if (ok)
                text += QChar(char16_t(code));
        } else if (xml.isEndElement() && xml.name() == element) {
            break;
        }
    }
    return text;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList matches(const QString& text, const QRegularExpression& pattern)
{
    QStringList found;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        found.append(it.next().captured(0));
    return found;
}

// Accelerator marks: a single "&" before a character; "&&" is a literal "&".
int acceleratorCount(const QString& text)
{
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&'))
            ++i;
        else
            ++count;
    }
    return count;
}

std::string quoted(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    shown.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return "\"" + shown.toStdString() + "\"";
}

} // namespace

TsFile parseTs(const QByteArray& bytes)
{
    TsFile file;
    QXmlStreamReader xml(bytes);
    QString context;
    TsMessage message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("TS")) {
                file.language = xml.attributes().value(QLatin1String("language")).toString();
            } else if (xml.name() == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (xml.name() == QLatin1String("message")) {
                message = TsMessage{context, {}, {}, {}};
            } else if (xml.name() == QLatin1String("source")) {
                message.source = readText(xml);
            } else if (xml.name() == QLatin1String("translation")) {
                message.type = xml.attributes().value(QLatin1String("type")).toString();
                message.translation = readText(xml);
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            file.messages.push_back(message);
        }
    }
    if (xml.hasError())
        file.error = xml.errorString();
    return file;
}

TsFile readTsFile(const QString& path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        TsFile file;
        file.error = QStringLiteral("cannot open ") + path;
        return file;
    }
    return parseTs(in.readAll());
}

std::vector<std::string> problemsOf(const TsMessage& m)
{
    std::vector<std::string> problems;
    const auto problem = [&](const std::string& what) {
        problems.push_back(
            m.context.toStdString() + " " + quoted(m.source) + " -> " + quoted(m.translation) + ": " + what);
    };
    if (!m.type.isEmpty())
        problem("marked " + m.type.toStdString());
    if (m.translation.trimmed().isEmpty()) {
        problem("empty translation");
        return problems;
    }
    // %1..%99 (each as often as in the source) and the format routine's %s, %d.
    static const QRegularExpression numbered(QStringLiteral("%(?:[1-9][0-9]?|L[1-9])"));
    static const QRegularExpression printfStyle(QStringLiteral("%[sd]"));
    if (sorted(matches(m.source, numbered)) != sorted(matches(m.translation, numbered)))
        problem("numbered placeholders differ");
    if (sorted(matches(m.source, printfStyle)) != sorted(matches(m.translation, printfStyle)))
        problem("%s/%d placeholders differ");
    if (acceleratorCount(m.source) != acceleratorCount(m.translation))
        problem("accelerator (&) count differs");
    if (m.source.count(QLatin1Char('\t')) != m.translation.count(QLatin1Char('\t')))
        problem("the key text after a tab is missing or doubled");
    if (m.source.count(QLatin1Char('\n')) != m.translation.count(QLatin1Char('\n'))
        || m.source.count(QLatin1Char('\r')) != m.translation.count(QLatin1Char('\r')))
        problem("line breaks differ");
    return problems;
}

QStringList translationFiles()
{
    const QDir folder(QStringLiteral(VEXLO_SOURCE_DIR "/translations"));
    QStringList files;
    for (const QString& name : folder.entryList({QStringLiteral("*.ts")}, QDir::Files, QDir::Name))
        files.append(folder.filePath(name));
    return files;
}

} // namespace vexlo::test
