// The translation files as a translator hands them in, and the texts the
// sources ask to translate.
#include "TsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace vexlo::test;

namespace {

// The folders whose windows are translated.
const char* const kTranslatedFolders[]
    = {"app", "conversion", "dialogs", "engine", "integration", "platform", "settings"};

struct SourceText {
    QString context; // empty for tr(): the class is not worked out here
    QString text;
    QString where;
};

QString unescape(const QString& literal)
{
    QString out;
    for (qsizetype i = 0; i < literal.size(); ++i) {
        if (literal[i] != QLatin1Char('\\') || i + 1 == literal.size()) {
            out += literal[i];
            continue;
        }
        const QChar next = literal[++i];
        if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (next == QLatin1Char('x') && i + 2 < literal.size()) {
            out += QChar(char16_t(literal.mid(i + 1, 2).toUInt(nullptr, 16)));
            i += 2;
        } else
            out += next;
    }
    return out;
}

// tr("..."), QCoreApplication::translate("Context", "...") and
// QT_TRANSLATE_NOOP("Context", "..."), with adjacent literals joined.
std::vector<SourceText> textsToTranslate(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString code = QString::fromUtf8(file.readAll());
    static const QRegularExpression call(QStringLiteral(
        R"re((\btr|\btranslate|\bQT_TRANSLATE_NOOP)\(\s*("(?:[^"\\]|\\.)*"(?:\s*"(?:[^"\\]|\\.)*")*)(\s*,\s*("(?:[^"\\]|\\.)*"(?:\s*"(?:[^"\\]|\\.)*")*))?)re"));
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    const auto join = [](const QString& literals) {
        QString text;
        for (auto it = literal.globalMatch(literals); it.hasNext();)
            text += unescape(it.next().captured(1));
        return text;
    };
    std::vector<SourceText> texts;
    for (auto it = call.globalMatch(code); it.hasNext();) {
        const auto match = it.next();
        const int line = int(code.left(match.capturedStart()).count(QLatin1Char('\n'))) + 1;
        const QString where = QFileInfo(path).fileName() + QLatin1Char(':') + QString::number(line);
        if (match.capturedLength(4) > 0)
            texts.push_back({join(match.captured(2)), join(match.captured(4)), where});
        else if (match.captured(1) == QLatin1String("tr"))
            texts.push_back({QString(), join(match.captured(2)), where});
        // else translate("Context", text) of a text the table beside it marks.
    }
    return texts;
}

} // namespace

TEST(L10nFiles, EveryMessageIsFinishedAndKeepsPlaceholdersAcceleratorsAndKeys)
{
    const QStringList files = translationFiles();
    ASSERT_FALSE(files.isEmpty());
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        const TsFile ts = readTsFile(path);
        ASSERT_TRUE(ts.error.isEmpty()) << ts.error.toStdString();
        // vexlo_de.ts holds language "de" or "de_DE": the loader finds it by
        // the name, the tools by the attribute.
        const QString named = QFileInfo(path).completeBaseName().mid(QStringLiteral("vexlo_").size());
        EXPECT_TRUE(ts.language.startsWith(named)) << ts.language.toStdString();
        EXPECT_FALSE(ts.messages.empty());
        std::set<std::pair<QString, QString>> seen;
        for (const TsMessage& m : ts.messages) {
            for (const std::string& problem : problemsOf(m))
                ADD_FAILURE() << problem;
            EXPECT_TRUE(seen.insert({m.context, m.source}).second) << "twice: " << m.source.toStdString();
        }
    }
}

TEST(L10nFiles, EveryTextTheSourcesTranslateIsInEachTranslation)
{
    std::vector<SourceText> wanted;
    for (const char* folder : kTranslatedFolders) {
        const QDir dir(QStringLiteral(VEXLO_SOURCE_DIR "/") + QLatin1String(folder));
        for (const QString& name : dir.entryList({QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files)) {
            const auto texts = textsToTranslate(dir.filePath(name));
            wanted.insert(wanted.end(), texts.begin(), texts.end());
        }
    }
    // The windows' texts at least: the check must have found them.
    ASSERT_GT(wanted.size(), 80u);
    for (const QString& path : translationFiles()) {
        SCOPED_TRACE(path.toStdString());
        const TsFile ts = readTsFile(path);
        std::set<std::pair<QString, QString>> have;
        std::set<QString> sources;
        for (const TsMessage& m : ts.messages) {
            have.insert({m.context, m.source});
            sources.insert(m.source);
        }
        for (const SourceText& t : wanted) {
            const bool found = t.context.isEmpty() ? sources.count(t.text) > 0 : have.count({t.context, t.text}) > 0;
            EXPECT_TRUE(found) << t.where.toStdString() << ": " << t.context.toStdString() << " \""
                               << t.text.toStdString() << "\" has no translation (update_translations)";
        }
    }
}

TEST(L10nFiles, GermanHoldsEveryWindowAndTheMainWindowsTexts)
{
    const TsFile ts = readTsFile(QStringLiteral(VEXLO_SOURCE_DIR "/translations/vexlo_de.ts"));
    ASSERT_TRUE(ts.error.isEmpty());
    std::map<QString, int> perContext;
    std::map<std::pair<QString, QString>, QString> german;
    const auto in = [&](const char* context, const char* source) {
        return german[{QString::fromUtf8(context), QString::fromUtf8(source)}];
    };
    for (const TsMessage& m : ts.messages) {
        ++perContext[m.context];
        german[{m.context, m.source}] = m.translation;
    }
    for (const char* context : {"TMainForm", "vexlo::dialogs::TAboutForm", "vexlo::settings::TOptionForm",
             "vexlo::settings::TConvertOptionsForm", "TProgressForm", "vexlo::engine::ProgressWindow", "ConversionJob"})
        EXPECT_GT(perContext[QString::fromLatin1(context)], 0) << context;
    // The main window's texts are looked up by their English text exactly,
    // misspellings and key texts included.
    EXPECT_EQ(in("TMainForm", "Ready"), QStringLiteral("Bereit"));
    EXPECT_EQ(in("TMainForm", "&Add files...\tIns"), QString::fromUtf8("Dateien &hinzufügen...\tEinfg"));
    EXPECT_EQ(in("TMainForm", "&License..."), QStringLiteral("&Lizenz..."));
    EXPECT_EQ(in("vexlo::settings::TConvertOptionsForm", "Please select output fomat"),
        QString::fromUtf8("Bitte wählen Sie das Ausgabeformat"));
}

TEST(L10nFiles, TheCheckFindsWhatATranslatorCanBreak)
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>C</name>
    <message><source>Fine %1 &amp;x<byte value="xd"/>
</source><translation>Gut %1 &amp;y<byte value="xd"/>
</translation></message>
    <message><source>Open</source><translation type="unfinished"></translation></message>
    <message><source>Gone</source><translation type="vanished">Weg</translation></message>
    <message><source>%1 of %2</source><translation>%1 von</translation></message>
    <message><source>'%s' missing</source><translation>'%d' fehlt</translation></message>
    <message><source>&amp;Save</source><translation>Speichern</translation></message>
    <message><source>&amp;Help&#9;F1</source><translation>&amp;Hilfe F1</translation></message>
    <message><source>A&amp;&amp;B</source><translation>A &amp;&amp; &amp;B</translation></message>
    <message><source>One<byte value="xd"/>
two</source><translation>Eins zwei</translation></message>
</context>
</TS>
)";
    const TsFile ts = parseTs(xml);
    ASSERT_TRUE(ts.error.isEmpty()) << ts.error.toStdString();
    ASSERT_EQ(ts.messages.size(), 9u);
    EXPECT_EQ(ts.messages[0].source, QStringLiteral("Fine %1 &x\r\n"));
    EXPECT_TRUE(problemsOf(ts.messages[0]).empty());
    for (size_t i = 1; i < ts.messages.size(); ++i)
        EXPECT_FALSE(problemsOf(ts.messages[i]).empty()) << ts.messages[i].source.toStdString();
}
