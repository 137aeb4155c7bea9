#include "Translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

namespace vexlo::translations {

namespace {

// "de-AT" (as the locale lists it) gives "de_AT", then "de".
QStringList candidates(const QString& language)
{
    QString name = language;
    name.replace(QLatin1Char('-'), QLatin1Char('_'));
    QStringList names{name};
    const qsizetype cut = name.indexOf(QLatin1Char('_'));
    if (cut > 0)
        names.append(name.left(cut));
    return names;
}

bool isEnglish(const QString& language)
{
    return language.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0
        || language.startsWith(QLatin1String("en_"), Qt::CaseInsensitive)
        || language.startsWith(QLatin1String("en-"), Qt::CaseInsensitive);
}

bool installFile(const QString& folder, const QString& base, const QString& language)
{
    const QString path = folder + QLatin1Char('/') + base + QLatin1Char('_') + language + QLatin1String(".qm");
    if (!QFileInfo::exists(path))
        return false;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(path) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

// The locale that decides the language of messages, as the C library reads it.
QByteArray messagesLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value;
    }
    return QByteArray();
}

bool isPlainLocale(const QByteArray& name)
{
    return name.isEmpty() || name == "C" || name == "POSIX" || name.startsWith("C.");
}

} // namespace

QString installForSystem()
{
    if (isPlainLocale(messagesLocale()))
        return QString();
    return install(QLocale::system());
}

QString install(const QLocale& locale)
{
    if (!QCoreApplication::instance())
        return QString();
    for (const QString& language : locale.uiLanguages()) {
        // "C" and "POSIX" are the program's own texts too.
        if (isEnglish(language) || language == QLatin1String("C") || language == QLatin1String("POSIX"))
            return QString();
        for (const QString& name : candidates(language)) {
            if (!installFile(QString::fromLatin1(kResourceFolder), QStringLiteral("vexlo"), name))
                continue;
            // Qt's own texts (the buttons of message boxes, the file dialog),
            // when the system has them in this language.
            installFile(QLibraryInfo::path(QLibraryInfo::TranslationsPath), QStringLiteral("qtbase"), name);
            return name;
        }
    }
    return QString();
}

} // namespace vexlo::translations
