#pragma once
#include "Registry.h"

namespace vexlo::platform {

// HKEY_CLASSES_ROOT from the MIME database: key ".ext" has the MIME type name as
// default value; key "<type>\DefaultIcon" has the absolute path of the icon
// theme's file for that type.
class MimeClassesRoot : public Registry {
public:
    bool keyExists(Hive hive, std::string_view key) const override;
    std::optional<std::string> readValue(Hive hive, std::string_view key, std::string_view name) const override;
    bool createKey(Hive, std::string_view) override { return false; }
    bool writeValue(Hive, std::string_view, std::string_view, std::string_view) override { return false; }
};

} // namespace vexlo::platform
