#include "EntryTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

#include <memory>

namespace vexlo::integration {

std::string inCurrentLanguage(const char* english)
{
    return QCoreApplication::translate(kTextContext, english).toStdString();
}

const std::vector<std::pair<std::string, Translate>>& otherLanguages()
{
    static const std::vector<std::pair<std::string, Translate>> languages = [] {
        std::vector<std::pair<std::string, Translate>> found;
        const QDir folder(QStringLiteral(":/i18n"));
        for (const QString& name : folder.entryList({QStringLiteral("vexlo_*.qm")}, QDir::Files, QDir::Name)) {
            auto translator = std::make_shared<QTranslator>();
            if (!translator->load(folder.filePath(name)))
                continue;
            const QString language = name.mid(6, name.size() - 6 - 3);
            found.emplace_back(language.toStdString(), [translator](const char* english) {
                const QString text = translator->translate(kTextContext, english);
                return text.isEmpty() ? std::string(english) : text.toStdString();
            });
        }
        return found;
    }();
    return languages;
}

std::string localizedKey(const std::string& key, const std::function<std::string(const Translate&)>& make)
{
    const std::string english = make([](const char* text) { return std::string(text); });
    std::string lines = key + "=" + english + "\n";
    for (const auto& [language, translate] : otherLanguages()) {
        const std::string value = make(translate);
        if (value != english)
            lines += key + "[" + language + "]=" + value + "\n";
    }
    return lines;
}

} // namespace vexlo::integration
