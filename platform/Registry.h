#pragma once
// Registry stand-in. HKEY_CURRENT_USER is a folder tree (see FolderRegistry);
// HKEY_CLASSES_ROOT is answered read-only from the shared MIME database and the
// icon theme. Key paths use "\" between components, as the Windows names do.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

enum class Hive { CurrentUser, ClassesRoot };

class Registry {
public:
    virtual ~Registry() = default;
    // An empty value name addresses the key's default (unnamed) value.
    virtual bool keyExists(Hive hive, std::string_view key) const = 0;
    virtual std::optional<std::string> readValue(Hive hive, std::string_view key, std::string_view name) const = 0;
    // Creates the key and every missing parent. False when it cannot (or for
    // the read-only classes root).
    virtual bool createKey(Hive hive, std::string_view key) = 0;
    // Writes atomically (temporary file, then rename); creates the key.
    virtual bool writeValue(Hive hive, std::string_view key, std::string_view name, std::string_view text) = 0;
    // Removes the value. True when the value is absent afterwards (also when
    // it was never there); false when it is still there.
    virtual bool deleteValue(Hive hive, std::string_view key, std::string_view name)
    {
        return !readValue(hive, key, name).has_value();
    }
};

// The key through which the engine reports back after each file.
inline constexpr std::string_view kAbortFlagKey
    = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\abortstate\\abort";

// Names in the folder tree. A key or value name becomes one file name: "%",
// "/" and control bytes (NUL included) are written as %XX, and "." and ".." as
// %2E, so no name can leave the tree. decodeRegistryName reverses it.
std::string encodeRegistryName(std::string_view name);
std::string decodeRegistryName(std::string_view encoded);
// The components of a key path, split at "\"; empty components are dropped.
std::vector<std::string> splitRegistryKey(std::string_view key);
// The file that holds value `name` of a key: "@" for the default value.
std::string valueFileName(std::string_view name);

// Root of the HKEY_CURRENT_USER tree: $VEXLO_REGISTRY, else
// ${XDG_CONFIG_HOME:-$HOME/.config}/vexlo/registry when that can be written
// (or created); else, for an account without a usable home,
// $XDG_RUNTIME_DIR/vexlo/registry, else <tmp>/vexlo-<uid>/registry in a
// folder private to the user. Every process of the user decides alike.
std::string defaultRegistryRoot();

// HKEY_CURRENT_USER as a folder tree below <root>/HKEY_CURRENT_USER/. One
// folder per key (names compare without regard to ASCII case), one file per
// value, "@" for the default value. HKEY_CLASSES_ROOT questions are passed to
// `classesRoot` when given, else answered "absent".
class FolderRegistry : public Registry {
public:
    explicit FolderRegistry(std::string root, const Registry* classesRoot = nullptr);
    bool keyExists(Hive hive, std::string_view key) const override;
    std::optional<std::string> readValue(Hive hive, std::string_view key, std::string_view name) const override;
    bool createKey(Hive hive, std::string_view key) override;
    bool writeValue(Hive hive, std::string_view key, std::string_view name, std::string_view text) override;
    bool deleteValue(Hive hive, std::string_view key, std::string_view name) override;
    const std::string& root() const { return m_root; }

private:
    std::optional<std::string> findKeyFolder(std::string_view key) const;
    std::string m_root;
    const Registry* m_classesRoot;
};

} // namespace vexlo::platform
